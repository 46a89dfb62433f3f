// Files a real kernel deleted from ext3 volumes, brought back through the journal by
// `twl tree --turbo` and `twl save --turbo`: each one the manifest of its image names, at its
// old path, byte for byte, and a file whose blocks went to another file flagged as possibly
// overwritten in the listing and the save report rather than saved as sound.

#include "CliRunner.h"
#include "fixtures/JournalImages.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace twl::cli {
namespace {

using testing::CliRun;
using testing::RunTwl;

constexpr char kContainer[] = "Journal Recovered Files1/";

std::string TypeOf(const fixtures::DeletedItem& item) {
    return item.kind == "folder" ? "2" : item.kind == "symlink" ? "7" : "1";
}

// The JSON row of `path`, or "".
std::string RowOf(const std::string& json, const std::string& path) {
    const std::size_t at = json.find("{\"path\": \"/" + path + "\",");
    if (at == std::string::npos)
        return {};
    return json.substr(at, json.find('}', at) - at + 1);
}

std::string Sha256(const std::string& text, const fixtures::TempDir& dir) {
    const std::string in = dir.File("sha-in"), out = dir.File("sha-out");
    std::ofstream(in, std::ios::binary) << text;
    EXPECT_EQ(fixtures::RunShell("sha256sum < '" + in + "' | cut -c1-64 > '" + out + "'"), 0);
    std::string sum;
    std::ifstream(out) >> sum;
    return sum;
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(JournalUndelete, KernelDeletedFilesComeBackNamedWholeAndFlaggedWhereOverwritten) {
    const std::vector<std::string> names = fixtures::JournalImageNames();
    ASSERT_FALSE(names.empty());
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        fixtures::TempDir dir;
        const std::string image = fixtures::JournalImage(name, dir);
        ASSERT_FALSE(image.empty());
        const std::vector<fixtures::DeletedItem> manifest = fixtures::JournalManifest(name);
        ASSERT_FALSE(manifest.empty());

        const CliRun tree = RunTwl({"tree", image, "--turbo", "--format", "json"});
        ASSERT_EQ(tree.status, 0) << tree.err;
        const std::string out = dir.File("out");
        RunTwl({"save", image, "--turbo", "--out", out});
        const std::string report = FileText(out + "/twl-save-report.txt");
        for (const fixtures::DeletedItem& item : manifest) {
            SCOPED_TRACE(item.path);
            const std::string row = RowOf(tree.out, kContainer + item.path);
            ASSERT_FALSE(row.empty()) << "not listed";
            EXPECT_NE(row.find("\"type\": " + TypeOf(item) + ","), std::string::npos) << row;
            const bool flagged = row.find("\"possiblyOverwritten\": true") != std::string::npos;
            EXPECT_EQ(flagged, item.kind == "overwritten") << row;
            const std::string saved = out + "/" + kContainer + item.path;
            if (item.kind == "folder") {
                EXPECT_TRUE(std::filesystem::is_directory(saved));
            } else if (item.kind == "symlink") {
                EXPECT_EQ(Sha256(std::filesystem::read_symlink(saved).string(), dir), item.sha256);
            } else if (item.kind == "overwritten") {
                EXPECT_NE(report.find("possibly overwritten: ./" + std::string(kContainer) +
                                      item.path + " "),
                          std::string::npos)
                    << report;
            } else {
                EXPECT_NE(row.find("\"size\": " + std::to_string(item.size) + ","),
                          std::string::npos)
                    << row;
                EXPECT_EQ(Sha256(FileText(saved), dir), item.sha256);
            }
        }
    }
}

// A scan information file keeps the journal's container as catalogue nodes, flags included;
// saving from it reads the journal again for the files' maps.
TEST(JournalUndelete, AScanInformationFileKeepsWhatTheJournalGaveBack) {
    fixtures::TempDir dir;
    const std::string image = fixtures::JournalImage("reused", dir);
    ASSERT_FALSE(image.empty());
    const std::string saved = dir.File("reused.ds1");
    ASSERT_EQ(RunTwl({"scaninfo", "save", image, "--turbo", "-o", saved}).status, 0);
    const CliRun tree = RunTwl({"tree", "--scaninfo", saved, "--format", "json"});
    ASSERT_EQ(tree.status, 0) << tree.err;
    EXPECT_NE(RowOf(tree.out, std::string(kContainer) + "first.bin")
                  .find("\"possiblyOverwritten\": true"),
              std::string::npos);
    const std::string out = dir.File("out");
    RunTwl({"save", "--scaninfo", saved, "--out", out});
    for (const fixtures::DeletedItem& item : fixtures::JournalManifest("reused")) {
        if (item.kind == "file") {
            EXPECT_EQ(Sha256(FileText(out + "/" + kContainer + item.path), dir), item.sha256)
                << item.path;
        }
    }
}

} // namespace
} // namespace twl::cli
