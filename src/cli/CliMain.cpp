#include "CliMain.h"

#include "Commands.h"

#include <ostream>

namespace twl::cli {
namespace {

constexpr const char* kUsage =
    "usage: twl COMMAND [ARGS]\n"
    "\n"
    "Reads Linux ext2/ext3 volumes from a disk or disk image without mounting it; the disk\n"
    "or image is only ever read.\n"
    "\n"
    "commands:\n"
    "  volumes SOURCE [--mode table|scan|auto] [--thorough [--start S] [--end E]] [--all]\n"
    "      list the Linux volumes of SOURCE\n"
    "  tree SOURCE [--volume N] [--mode table|scan|auto] [--format text|tsv|json] "
    "[--no-backup-search] [--turbo]\n"
    "      print the file tree of volume N (from 1)\n"
    "  tree --scaninfo FILE [--format text|tsv|json] [--turbo]\n"
    "      print the catalogue kept in a scan info file\n"
    "  scaninfo save SOURCE [--volume N] [--turbo] -o PATH\n"
    "      save the catalogue as a scan info file\n"
    "  scaninfo show FILE\n"
    "      describe a scan info file\n"
    "  save SOURCE [--volume N] [--turbo] --out DIR [PATH...] [--scripts]\n"
    "  save --scaninfo FILE [--turbo] --out DIR [PATH...] [--scripts]\n"
    "      save files (all, or PATHs as tree prints them) into DIR\n"
    "  save SOURCE [--volume N] [--turbo] --ftp ftp://[user@]host[:port]/dir "
    "[--password-file F] [--retries N] [--retry-delay S] [PATH...]\n"
    "      save files onto an FTP server (--ftp also goes with --scaninfo FILE)\n"
    "  image SOURCE -o PATH [--map MAPFILE] [--retries N]\n"
    "      copy SOURCE sector by sector into an image, what reads easily first; with a map\n"
    "      file, run again to go on where a stopped copy stopped\n"
    "  clone SOURCE DEST [--yes] [--map MAPFILE] [--retries N]\n"
    "      copy drive SOURCE onto drive DEST\n"
    "  drives\n"
    "      list the disks of this machine\n"
    "\n"
    "SOURCE is an image file, a block device (/dev/sdb) or disk:N (drive N of 'twl drives').\n"
    "TWL_DRIVES=img1:img2:... makes the listed image files stand in for the drives.\n";

} // namespace

int CliMain(std::span<const std::string> words, CliContext& context) {
    if (words.empty()) {
        context.err << kUsage;
        return kExitUsage;
    }
    const std::string& command = words.front();
    const std::span<const std::string> rest = words.subspan(1);
    if (command == "volumes")
        return RunVolumesCommand(rest, context);
    if (command == "drives")
        return RunDrivesCommand(rest, context);
    if (command == "tree")
        return RunTreeCommand(rest, context);
    if (command == "scaninfo")
        return RunScanInfoCommand(rest, context);
    if (command == "save")
        return RunSaveCommand(rest, context);
    if (command == "image")
        return RunImageCommand(rest, context);
    if (command == "clone")
        return RunCloneCommand(rest, context);
    if (command == "help" || command == "--help" || command == "-h") {
        context.out << kUsage;
        return kExitOk;
    }
    context.err << "twl: unknown command '" << command << "'\n" << kUsage;
    return kExitUsage;
}

} // namespace twl::cli
