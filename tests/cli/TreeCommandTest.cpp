// twl tree on real volumes made by mke2fs -d from folders: the listing must be exactly the
// folder each volume was made from.

#include "CliRunner.h"
#include "fixtures/TestDisks.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace twl::cli {
namespace {

namespace fs = std::filesystem;
using testing::RunTwl;

constexpr char kHeader[] = "path\ttype\tinode\tsize\tmode\tuid\tgid\tctime\tmtime\tstate\torigin";
constexpr char kDamagedText[] = "Primary Super block damaged\nSearching for others";

enum Image { kMixedDisk, kBigDisk, kDamagedDisk };
enum Source { kMixedSource, kBigSource };

// The shared tree volumes (made once per ctest run) and the folders they were made from.
struct MadeVolumes {
    std::string folder = fixtures::TestDisk("tree-volumes");
    fs::path sources[2] = {folder + "/mixed", folder + "/big"};
    std::string images[3] = {folder + "/mixed.img", folder + "/big.img", folder + "/damaged.img"};
    bool made = !folder.empty();
};

const MadeVolumes& SharedVolumes() {
    static const MadeVolumes volumes;
    return volumes;
}

// Name bytes as the listing escapes them.
std::string Escaped(const std::string& name) {
    std::string text;
    for (const unsigned char c : name) {
        if (c == '\t' || c == '\n' || c == '\r' || c == '\\') {
            text += '\\';
            text += c == '\t' ? 't' : c == '\n' ? 'n' : c == '\r' ? 'r' : '\\';
        } else if (c < 0x20 || c > 0x7e) {
            constexpr char kHex[] = "0123456789abcdef";
            text += {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
        } else {
            text += static_cast<char>(c);
        }
    }
    return text;
}

int TypeCode(mode_t mode) {
    if (S_ISREG(mode))
        return 1;
    if (S_ISDIR(mode))
        return 2;
    if (S_ISCHR(mode))
        return 3;
    if (S_ISBLK(mode))
        return 4;
    if (S_ISFIFO(mode))
        return 5;
    return S_ISSOCK(mode) ? 6 : 7;
}

struct Row {
    std::string path, type, size, mode, uid, gid, mtime;

    // Folders without their size: on disk it is a count of blocks.
    std::string Key() const {
        return path + " " + type + " " + (type == "2" ? "-" : size) + " " + mode + " " + uid + " " +
               gid + " " + mtime;
    }
};

// The rows twl tree should print for the folder a volume was made from, as a set of keys.
std::set<std::string> ExpectedKeys(const fs::path& root) {
    std::set<std::string> keys;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        struct stat st {};
        if (::lstat(entry.path().c_str(), &st) != 0)
            continue;
        std::string path;
        for (const fs::path& part : entry.path().lexically_relative(root))
            path += "/" + Escaped(part.string());
        std::ostringstream mode;
        mode << '0' << std::oct << st.st_mode;
        const Row row{path,
                      std::to_string(TypeCode(st.st_mode)),
                      std::to_string(st.st_size),
                      mode.str(),
                      std::to_string(st.st_uid),
                      std::to_string(st.st_gid),
                      std::to_string(st.st_mtime)};
        keys.insert(row.Key());
    }
    return keys;
}

struct Listing {
    std::string header;
    std::vector<Row> rows;
};

Listing ParseTsv(const std::string& tsv) {
    Listing listing;
    std::istringstream lines(tsv);
    std::getline(lines, listing.header);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');)
            f.push_back(field);
        if (f.size() != 11) {
            ADD_FAILURE() << "not a row of 11 fields: " << line;
            continue;
        }
        listing.rows.push_back({f[0], f[1], f[3], f[4], f[5], f[6], f[8]});
    }
    return listing;
}

std::set<std::string> KeysWithoutLostAndFound(const std::vector<Row>& rows) {
    std::set<std::string> keys;
    for (const Row& row : rows) {
        if (row.path != "/lost+found" && !row.path.starts_with("/lost+found/"))
            keys.insert(row.Key());
    }
    return keys;
}

// Depth first: every row lies in the folder listed last on the way down to it, so each
// folder comes before its contents and they follow it without a break.
void ExpectDepthFirst(const std::vector<Row>& rows) {
    std::vector<std::string> open;
    for (const Row& row : rows) {
        const std::string parent = row.path.substr(0, row.path.rfind('/'));
        while (!open.empty() && open.back() != parent)
            open.pop_back();
        EXPECT_TRUE(parent.empty() || !open.empty())
            << row.path << " is not below the folder listed before it";
        if (row.type == "2")
            open.push_back(row.path);
    }
}

// The closing lines: the size line's counts are those of the rows.
std::string ClosingText(const std::vector<Row>& rows) {
    const auto folders =
        std::count_if(rows.begin(), rows.end(), [](const Row& row) { return row.type == "2"; });
    return " " + std::to_string(rows.size() - folders) + " Files in " + std::to_string(folders) +
           " Folders\nTree Creation Completed\n";
}

struct VolumeCase {
    const char* name;
    Image image;
    int volume;
    Source source;
    bool damaged;
};

void PrintTo(const VolumeCase& c, std::ostream* out) {
    *out << c.name;
}

class TreeOfRealVolume : public ::testing::TestWithParam<VolumeCase> {
protected:
    void SetUp() override { ASSERT_TRUE(SharedVolumes().made) << "could not make the images"; }
};

TEST_P(TreeOfRealVolume, ListsExactlyTheFolderItWasMadeFrom) {
    const VolumeCase& c = GetParam();
    const MadeVolumes& volumes = SharedVolumes();
    const auto run = RunTwl(
        {"tree", volumes.images[c.image], "--volume", std::to_string(c.volume), "--format", "tsv"});
    ASSERT_EQ(run.status, 0) << run.err;
    const Listing listing = ParseTsv(run.out);
    EXPECT_EQ(listing.header, kHeader);
    EXPECT_EQ(KeysWithoutLostAndFound(listing.rows), ExpectedKeys(volumes.sources[c.source]));
    ExpectDepthFirst(listing.rows);
    EXPECT_EQ(run.err.find(kDamagedText) != std::string::npos, c.damaged) << run.err;
    EXPECT_TRUE(run.err.ends_with(ClosingText(listing.rows))) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Volumes, TreeOfRealVolume,
    ::testing::Values(VolumeCase{"Ext2OneKiBBlocks", kMixedDisk, 1, kMixedSource, false},
                      VolumeCase{"Ext3FourKiBBlocks256ByteInodes", kMixedDisk, 2, kMixedSource,
                                 false},
                      VolumeCase{"Ext2WithoutFileTypes", kMixedDisk, 3, kMixedSource, false},
                      VolumeCase{"Ext3IndexedFolderOf5000Files", kBigDisk, 1, kBigSource, false},
                      VolumeCase{"PrimarySuperblockZeroed", kDamagedDisk, 1, kMixedSource, true}),
    [](const ::testing::TestParamInfo<VolumeCase>& param) {
        return std::string(param.param.name);
    });

TEST(TreeOfDamagedVolume, WithoutBackupSearchNothingIsOpenedAndNothingListed) {
    const MadeVolumes& volumes = SharedVolumes();
    ASSERT_TRUE(volumes.made) << "could not make the images";
    const auto damaged =
        RunTwl({"tree", volumes.images[kDamagedDisk], "--format", "tsv", "--no-backup-search"});
    EXPECT_EQ(damaged.status, 1);
    EXPECT_TRUE(ParseTsv(damaged.out).rows.empty()) << damaged.out;
    EXPECT_NE(damaged.err.find("Primary Super block damaged"), std::string::npos) << damaged.err;

    // An intact volume needs no backup, so the option changes nothing there.
    const auto intact =
        RunTwl({"tree", volumes.images[kMixedDisk], "--format", "tsv", "--no-backup-search"});
    EXPECT_EQ(intact.status, 0) << intact.err;
    EXPECT_EQ(intact.out, RunTwl({"tree", volumes.images[kMixedDisk], "--format", "tsv"}).out);
}

} // namespace
} // namespace twl::cli
