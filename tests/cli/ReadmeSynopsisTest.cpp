#include "CliRunner.h"
#include "fixtures/TempDir.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include <gtest/gtest.h>

namespace twl::cli {
namespace {

using fixtures::TempDir;
using testing::CliRun;
using testing::RunTwl;

// The "twl ..." lines of the README's command-line synopsis block.
std::vector<std::string> SynopsisLines() {
    std::ifstream in(TWL_README);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    const std::size_t section = text.find("## The command-line tool");
    const std::size_t open = text.find("```\n", section);
    const std::size_t close = text.find("```", open + 4);
    std::vector<std::string> lines;
    std::istringstream block(text.substr(open + 4, close - open - 4));
    for (std::string line; std::getline(block, line);) {
        if (line.rfind("twl ", 0) == 0)
            lines.push_back(line.substr(4));
    }
    return lines;
}

// One synopsis form as a tree: words, and optional groups in brackets (an FTP address keeps
// its own brackets).
struct Form {
    std::string word;         // empty for a group
    std::vector<Form> inside; // a group's parts
};

std::vector<Form> ParseForm(std::istringstream& in, bool inGroup) {
    std::vector<Form> parts;
    std::string word;
    char c = 0;
    const auto flush = [&] {
        if (!word.empty())
            parts.push_back({std::exchange(word, {}), {}});
    };
    while (in.get(c)) {
        if (c == ' ') {
            flush();
        } else if (c == '[' && word.rfind("ftp://", 0) != 0) {
            flush();
            parts.push_back({{}, ParseForm(in, true)});
        } else if (c == ']' && word.rfind("ftp://", 0) != 0) {
            flush();
            EXPECT_TRUE(inGroup) << "a ] without its [";
            return parts;
        } else {
            word += c;
        }
    }
    flush();
    EXPECT_FALSE(inGroup) << "a [ without its ]";
    return parts;
}

// Writes a concrete command line for a form: optional groups all in or all out, the first of
// each choice, and a value of the fixture for each placeholder.
class Instantiation {
public:
    Instantiation(std::map<std::string, std::string> values, const TempDir& dir, int& made,
                  bool withGroups)
        : m_values(std::move(values)), m_dir(dir), m_made(made), m_withGroups(withGroups) {}

    void Add(const std::vector<Form>& parts) {
        for (const Form& part : parts) {
            if (part.word.empty()) {
                if (m_withGroups)
                    Add(part.inside);
            } else {
                m_words.push_back(Value(part.word));
            }
        }
    }
    const std::vector<std::string>& Words() const { return m_words; }

private:
    std::string Value(const std::string& word) {
        const std::string previous = m_words.empty() ? "" : m_words.back();
        if (word.rfind("ftp://", 0) == 0)
            return m_values.at("ftp");
        if (word == "PATH" || word == "DIR" || word == "MAPFILE") // a new file or folder to write
            return m_dir.File("made" + std::to_string(++m_made));
        if (const auto it = m_values.find(previous + " " + word); it != m_values.end())
            return it->second;
        if (const auto it = m_values.find(word); it != m_values.end())
            return it->second;
        EXPECT_EQ(word.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ."), std::string::npos)
            << "no value for the placeholder " << word;
        return word.substr(0, word.find('|'));
    }

    std::map<std::string, std::string> m_values;
    const TempDir& m_dir;
    int& m_made; // files and folders made so far: each run writes to new ones
    bool m_withGroups;
    std::vector<std::string> m_words;
};

// Every form of the README's synopsis runs as written on a disk of two drives, with its
// optional parts and without them; the help text shows each form the same way.
TEST(ReadmeSynopsis, EveryFormRunsAsWrittenAndTheHelpShowsIt) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("files"));
    std::ofstream(dir.File("files/a.txt")) << "a\n";
    std::ofstream(dir.File("layout")) << "label: dos\nstart=2048, size=4096, type=83\n";
    const std::string disk = dir.File("disk.img");
    ASSERT_EQ(fixtures::RunShell(std::string(TWL_MAKE_DISK_IMAGE) + " " + disk + " 3 " +
                                 dir.File("layout") + " 1:ext2:" + dir.File("files") +
                                 ":synopsis >/dev/null"),
              0);
    const std::string blank = dir.File("blank.img");
    std::ofstream(blank, std::ios::binary) << std::string(4 << 20, '\0');
    const std::string drives = disk + ":" + blank;
    const std::string scanInfo = dir.File("disk.ds1");
    ASSERT_EQ(RunTwl({"scaninfo", "save", "disk:0", "-o", scanInfo}, drives).status, 0);
    std::ofstream(dir.File("password")) << "secret\n";
    const std::map<std::string, std::string> values = {
        {"SOURCE", "disk:0"},     {"DEST", "disk:1"},
        {"FILE", scanInfo},       {"N", "1"},
        {"--start S", "0"},       {"--end E", "100"},
        {"PATH...", "/a.txt"},    {"--password-file F", dir.File("password")},
        {"--retry-delay S", "0"}, {"ftp", "ftp://nobody@127.0.0.1:1/dir"},
    };

    // A SOURCE beside --scaninfo is a mistake the parser names: the file names its source.
    const CliRun both = RunTwl({"save", "disk:0", "--scaninfo", scanInfo, "--out", dir.File("o")});
    EXPECT_EQ(both.status, 2);
    EXPECT_NE(both.err.find("takes no SOURCE with --scaninfo (the file names its source): disk:0"),
              std::string::npos)
        << both.err;

    const std::string help = RunTwl({"--help"}).out;
    const std::vector<std::string> lines = SynopsisLines();
    int made = 0;
    ASSERT_GE(lines.size(), 10u);
    for (const std::string& line : lines) {
        EXPECT_NE(help.find("\n  " + line + "\n"), std::string::npos) << line;
        std::istringstream in(line);
        const std::vector<Form> form = ParseForm(in, false);
        for (const bool withGroups : {false, true}) {
            Instantiation command(values, dir, made, withGroups);
            command.Add(form);
            const CliRun run = RunTwl(command.Words(), drives);
            const std::string shown = line + (withGroups ? " (all options)" : " (no options)");
            EXPECT_EQ(run.err.find("usage:"), std::string::npos) << shown << '\n' << run.err;
            if (line.find("--ftp") != std::string::npos) // nothing listens there
                EXPECT_NE(run.err.find("twl save: "), std::string::npos) << shown << run.err;
            else if (line.rfind("clone", 0) == 0 && !withGroups) // asks, and no one says yes
                EXPECT_NE(run.err.find("Nothing was written."), std::string::npos) << shown;
            else
                EXPECT_EQ(run.status, 0) << shown << '\n' << run.err;
        }
    }
}

} // namespace
} // namespace twl::cli
