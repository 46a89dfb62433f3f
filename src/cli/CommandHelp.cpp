#include "CommandHelp.h"

#include "core/ManPage.h"

#include <algorithm>

namespace twl::cli {
namespace {

const OptionHelp kMode = {"--mode", "table|scan|auto",
                          "how to find the volumes: the partition tables, a sweep for superblocks, "
                          "or the tables and the sweep when they hold no Linux volume (auto, the "
                          "default)"};
const OptionHelp kThorough = {"--thorough", nullptr,
                              "sweep every sector (of --start to --end) for superblocks"};
const OptionHelp kStart = {"--start", "S", "the first sector of the thorough sweep"};
const OptionHelp kEnd = {"--end", "E", "the last sector of the thorough sweep"};
const OptionHelp kVolume = {"--volume", "N",
                            "the volume of row N of 'twl volumes' (1 unless given)"};
const OptionHelp kNoBackup = {"--no-backup-search", nullptr,
                              "do not look for a backup superblock when the primary is damaged"};
const OptionHelp kTurbo = {"--turbo", nullptr,
                           "add Turbo Scan's lost folders, deleted files and lost files"};
const OptionHelp kScanInfo = {"--scaninfo", "FILE",
                              "take the catalogue kept in a scan info file; it names the source"};
const OptionHelp kMap = {"--map", "MAPFILE",
                         "keep every sector's state in a map file (GNU ddrescue's format), so that "
                         "the same command goes on where a stopped copy stopped"};
const OptionHelp kCopyRetries = {"--retries", "N",
                                 "read the bad sectors again N more times at the end (2)"};

std::vector<OptionHelp> VolumeOptions(std::vector<OptionHelp> more) {
    std::vector<OptionHelp> options = {kVolume, kMode, kThorough, kStart, kEnd, kNoBackup};
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

const std::vector<CommandHelp> kCommands = {
    {"volumes",
     {{"volumes SOURCE [--mode table|scan|auto] [--thorough [--start S] [--end E]] [--all]",
       "list the Linux volumes of SOURCE"}},
     {kMode, kThorough, kStart, kEnd, {"--all", nullptr, "also list every partition table entry"}}},
    {"tree",
     {{"tree SOURCE [--volume N] [--mode table|scan|auto] [--format text|tsv|json] "
       "[--no-backup-search] [--turbo]",
       "print the file tree of volume N (from 1)"},
      {"tree --scaninfo FILE [--format text|tsv|json] [--turbo]",
       "print the catalogue kept in a scan info file"}},
     VolumeOptions({{"--format", "text|tsv|json", "an indented tree (text), TSV or JSON"},
                    kTurbo,
                    kScanInfo})},
    {"scaninfo",
     {{"scaninfo save SOURCE [--volume N] [--turbo] -o PATH",
       "save the catalogue as a scan info file"},
      {"scaninfo show FILE", "describe a scan info file"}},
     VolumeOptions(
         {{"-o", "PATH", "the scan info file to write (a folder: a dated name in it)"}, kTurbo})},
    {"save",
     {{"save SOURCE [--volume N] [--turbo] --out DIR [PATH...] [--scripts]", ""},
      {"save --scaninfo FILE [--turbo] --out DIR [PATH...] [--scripts]",
       "save files (all, or PATHs as tree prints them) into DIR"},
      {"save SOURCE [--volume N] [--turbo] --ftp ftp://[user@]host[:port]/dir "
       "[--password-file F] [--retries N] [--retry-delay S] [PATH...]",
       "save files onto an FTP server (--ftp also goes with --scaninfo FILE)"}},
     VolumeOptions(
         {kTurbo,
          kScanInfo,
          {"--out", "DIR", "the folder to save into (made when missing)"},
          {"--scripts", nullptr,
           "also write restore-permissions.sh and restore-ownership.sh beside the files"},
          {"--ftp", "URL", "save onto the FTP server and folder of ftp://[user@]host[:port]/dir"},
          {"--password-file", "F", "the FTP password, on the first line of file F"},
          {"--retries", "N", "try a failed FTP upload N more times (3)"},
          {"--retry-delay", "S", "wait S seconds before each FTP retry (5)"}})},
    {"image",
     {{"image SOURCE -o PATH [--map MAPFILE] [--retries N]",
       "copy SOURCE sector by sector into an image, what reads easily first; with a map file, "
       "run again to go on where a stopped copy stopped"}},
     {{"-o", "PATH", "the image file to write (a folder: a dated name in it)"},
      kMap,
      kCopyRetries}},
    {"clone",
     {{"clone SOURCE DEST [--yes] [--map MAPFILE] [--retries N]",
       "copy drive SOURCE onto drive DEST"}},
     {{"--yes", nullptr, "do not ask before overwriting DEST"}, kMap, kCopyRetries}},
    {"drives", {{"drives", "list the disks of this machine"}}, {}},
};

constexpr const char* kIntro = "Reads Linux ext2/ext3/ext4 volumes from a disk or disk image "
                               "without mounting it; the disk\nor image is only ever read.\n";
constexpr const char* kSourceNote =
    "SOURCE is an image file, a block device (/dev/sdb) or disk:N (drive N of 'twl drives').\n"
    "TWL_DRIVES=img1:img2:... makes the listed image files stand in for the drives.\n";

std::string OptionWords(const OptionHelp& option) {
    return std::string(option.name) + (option.value ? std::string(" ") + option.value : "");
}

} // namespace

const std::vector<CommandHelp>& CommandHelps() {
    return kCommands;
}

const CommandHelp* FindCommandHelp(std::string_view name) {
    const auto found = std::find_if(kCommands.begin(), kCommands.end(),
                                    [&](const CommandHelp& c) { return c.name == name; });
    return found == kCommands.end() ? nullptr : &*found;
}

std::vector<OptionDef> OptionsOf(std::string_view command) {
    std::vector<OptionDef> options;
    if (const CommandHelp* help = FindCommandHelp(command)) {
        for (const OptionHelp& option : help->options)
            options.push_back({option.name, option.value != nullptr});
    }
    return options;
}

std::string UsageText() {
    std::string text = std::string("usage: twl COMMAND [ARGS]\n       twl COMMAND --help\n"
                                   "       twl --version\n\n") +
                       kIntro + "\ncommands:\n";
    for (const CommandHelp& command : kCommands) {
        for (const FormHelp& form : command.forms) {
            text += std::string("  ") + form.synopsis + "\n";
            if (*form.text != '\0')
                text += std::string("      ") + form.text + "\n";
        }
    }
    return text + "\n" + kSourceNote;
}

std::string UsageLines(std::string_view name) {
    std::string text;
    const CommandHelp* command = FindCommandHelp(name);
    for (std::size_t i = 0; command != nullptr && i < command->forms.size(); ++i)
        text +=
            std::string(i == 0 ? "usage: twl " : "       twl ") + command->forms[i].synopsis + "\n";
    return text + "       twl " + std::string(name) + " --help tells more\n";
}

std::string CommandHelpText(const CommandHelp& command) {
    std::string text;
    for (std::size_t i = 0; i < command.forms.size(); ++i)
        text +=
            std::string(i == 0 ? "usage: twl " : "       twl ") + command.forms[i].synopsis + "\n";
    for (const FormHelp& form : command.forms) {
        if (*form.text != '\0')
            text += std::string("\n") + form.text + "\n";
    }
    if (!command.options.empty())
        text += "\noptions:\n";
    for (const OptionHelp& option : command.options)
        text += "  " + OptionWords(option) + "\n      " + option.text + "\n";
    return text;
}

std::string ManPage(std::string_view version) {
    ManPageSource page;
    page.name = "twl";
    page.version = std::string(version);
    page.summary = "recover files from Linux ext2, ext3 and ext4 volumes of a disk or disk image";
    for (const CommandHelp& command : kCommands) {
        for (const FormHelp& form : command.forms)
            page.synopsis.push_back(form.synopsis);
    }
    page.description = kIntro;
    for (const CommandHelp& command : kCommands) {
        ManSection section{std::string("twl ") + command.name, {}, {}};
        for (const FormHelp& form : command.forms) {
            if (*form.text != '\0')
                section.text += std::string(section.text.empty() ? "" : "; ") + form.text;
        }
        section.text += ".";
        for (const OptionHelp& option : command.options)
            section.items.emplace_back(OptionWords(option), option.text);
        page.sections.push_back(std::move(section));
    }
    page.sections.push_back({"SOURCES", kSourceNote, {}});
    page.sections.push_back(
        {"EXIT STATUS",
         "0 when the job was done whole; 1 when it ran but found nothing or could not do all of "
         "it; 2 for a bad command line or a source that cannot be read; 130 or 143 when an "
         "interrupt or SIGTERM stopped it.",
         {}});
    page.sections.push_back(
        {"ENVIRONMENT",
         {},
         {{"TWL_DRIVES", "A colon-separated list of image files that stand in for the drives of "
                         "the machine."}}});
    page.sections.push_back({"SEE ALSO", "tarnwell-linux(1), ddrescue(1)", {}});
    return ManPageText(page);
}

std::string BashCompletion() {
    std::string names;
    for (const CommandHelp& command : kCommands)
        names += std::string(names.empty() ? "" : " ") + command.name;
    std::string script =
        "# bash completion for twl, made from its command table\n"
        "_twl() {\n"
        "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
        "    if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
        "        COMPREPLY=($(compgen -W \"" +
        names +
        " --help --version\" -- \"$cur\"))\n"
        "        return\n"
        "    fi\n"
        "    local options=\n"
        "    case ${COMP_WORDS[1]} in\n";
    for (const CommandHelp& command : kCommands) {
        std::string options = "--help";
        std::string choices;
        for (const OptionHelp& option : command.options) {
            options += std::string(" ") + option.name;
            const std::string_view value = option.value ? option.value : "";
            if (value.find('|') != std::string_view::npos) {
                std::string words(value);
                std::replace(words.begin(), words.end(), '|', ' ');
                choices += std::string("        ") + option.name + ") COMPREPLY=($(compgen -W \"" +
                           words + "\" -- \"$cur\")); return ;;\n";
            }
        }
        script += std::string("    ") + command.name + ")\n        options=\"" + options +
                  "\"\n        case $prev in\n" + choices + "        esac ;;\n";
    }
    script += "    esac\n"
              "    if [[ $cur == -* ]]; then\n"
              "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
              "    else\n"
              "        COMPREPLY=($(compgen -f -- \"$cur\"))\n"
              "    fi\n"
              "}\n"
              "complete -o filenames -F _twl twl\n";
    return script;
}

} // namespace twl::cli
