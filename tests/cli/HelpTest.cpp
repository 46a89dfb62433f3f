#include "CliRunner.h"
#include "CommandHelp.h"
#include "fixtures/TempDir.h"

#include <fstream>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

namespace twl::cli {
namespace {

using fixtures::TempDir;
using testing::RunTwl;

// Every command's --help shows its forms and each option its parser takes, and the parser
// refuses what the help does not list; the man page and the completion name them all.
TEST(Help, EveryCommandsHelpShowsWhatItsParserTakes) {
    const std::string man = RunTwl({"--man"}).out;
    const std::string completion = RunTwl({"--bash-completion"}).out;
    ASSERT_FALSE(CommandHelps().empty());
    for (const CommandHelp& command : CommandHelps()) {
        SCOPED_TRACE(command.name);
        const auto help = RunTwl({command.name, "--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(RunTwl({"help", command.name}).out, help.out);
        for (const FormHelp& form : command.forms) {
            EXPECT_NE(help.out.find(form.synopsis), std::string::npos) << form.synopsis;
            EXPECT_NE(RunTwl({"--help"}).out.find(std::string("\n  ") + form.synopsis + "\n"),
                      std::string::npos);
        }
        const std::vector<OptionDef> options = OptionsOf(command.name);
        EXPECT_EQ(options.size(), command.options.size());
        for (const OptionDef& option : options) {
            EXPECT_NE(help.out.find("\n  " + option.name + (option.takesValue ? " " : "\n")),
                      std::string::npos)
                << option.name;
            std::string inMan = option.name;
            inMan = std::regex_replace(inMan, std::regex("-"), "\\-");
            EXPECT_NE(man.find(".B " + inMan), std::string::npos) << option.name;
            EXPECT_NE(completion.find(" " + option.name), std::string::npos) << option.name;
        }
        // The command's own words ("scaninfo save"), then an option no command takes.
        std::vector<std::string> words;
        std::istringstream first(command.forms.front().synopsis);
        for (std::string word; first >> word && std::islower(static_cast<unsigned char>(word[0]));)
            words.push_back(word);
        words.push_back("--no-such-option");
        const auto unknown = RunTwl(words);
        EXPECT_EQ(unknown.status, 2) << unknown.err;
        EXPECT_NE(unknown.err.find("--no-such-option"), std::string::npos) << unknown.err;
    }
    EXPECT_TRUE(
        std::regex_match(RunTwl({"--version"}).out, std::regex("twl [0-9]+\\.[0-9]+\\.[0-9]+\n")));
}

// The man page is sound troff for man, and the completion completes commands, options and
// the choices of an option.
TEST(Help, TheManPageRendersAndTheCompletionCompletes) {
    TempDir dir;
    std::ofstream(dir.File("twl.1")) << RunTwl({"--man"}).out;
    std::ofstream(dir.File("twl.bash")) << RunTwl({"--bash-completion"}).out;
    if (fixtures::RunShell("command -v man >/dev/null") == 0) {
        ASSERT_EQ(fixtures::RunShell("MANWIDTH=80 man --warnings -l " + dir.File("twl.1") + " >" +
                                     dir.File("page") + " 2>" + dir.File("warnings")),
                  0);
        EXPECT_EQ(fixtures::ReadFileText(dir.File("warnings")), "");
        EXPECT_NE(fixtures::ReadFileText(dir.File("page")).find("--map MAPFILE"),
                  std::string::npos);
    }
    const struct {
        const char* words;
        const char* offered;
    } cases[] = {
        {"twl tr", "tree"},
        {"twl tree --fo", "--format"},
        {"twl volumes x --mode s", "scan"},
        {"twl image x --ma", "--map"},
    };
    for (const auto& c : cases) {
        const std::string script = "source " + dir.File("twl.bash") + "; COMP_WORDS=(" + c.words +
                                   "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _twl; echo "
                                   "\"${COMPREPLY[*]}\" >" +
                                   dir.File("offered");
        std::ofstream(dir.File("complete.sh")) << script;
        ASSERT_EQ(fixtures::RunShell("bash " + dir.File("complete.sh")), 0) << c.words;
        EXPECT_EQ(fixtures::ReadFileText(dir.File("offered")), std::string(c.offered) + "\n")
            << c.words;
    }
}

} // namespace
} // namespace twl::cli
