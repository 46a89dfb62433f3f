// twl tree on real volumes made by mke2fs -d from folders: the listing must be exactly the
// folder each volume was made from.

#include "CliRunner.h"
#include "fixtures/TempDir.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace twl::cli {
namespace {

namespace fs = std::filesystem;
using fixtures::TempDir;
using testing::RunTwl;

constexpr char kHeader[] = "path\ttype\tinode\tsize\tmode\tuid\tgid\tctime\tmtime";
constexpr char kDamagedText[] = "Primary Super block damaged\nSearching for others";
constexpr std::time_t kFirstTime = 1234567890; // not the image's creation time
constexpr int kStartSector = 2048;

void Write(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('a' + (i * 7 + i / 1021) % 26);
    return bytes;
}

// 4 KiB of data, a hole, and 4 KiB of data again at the end.
void WriteSparse(const fs::path& path, std::uintmax_t size) {
    Write(path, Pattern(4096));
    fs::resize_file(path, size);
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(size - 4096));
    file << Pattern(4096);
}

void MakeSocket(const fs::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.string().size() >= sizeof address.sun_path)
        return; // too long a temporary folder: the listing is compared without it
    path.string().copy(address.sun_path, sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::close(fd);
}

// Gives every item below root its own fixed modification time, once all of them exist.
void FixTimes(const fs::path& root) {
    std::vector<fs::path> paths;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        paths.push_back(entry.path());
    std::time_t time = kFirstTime;
    for (const fs::path& path : paths) {
        const timespec times[2] = {{time, 0}, {time, 0}};
        ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
        time += 7919;
    }
}

// Every kind of item mke2fs -d copies, names that need escaping, a file that needs double
// indirect blocks on 1 KiB blocks and a sparse one.
void MakeMixedFolder(const fs::path& root) {
    Write(root / "home/ada/letters/grace.txt", "Dear Grace\n");
    Write(root / "home/ada/empty.txt", "");
    Write(root / "home/ada/big.bin", Pattern(700 * 1024 + 5));
    WriteSparse(root / "home/ada/sparse.img", 2 * 1024 * 1024 + 123);
    fs::create_directories(root / "empty folder");
    Write(root / "with space/tab\there", "tab\n");
    Write(root / "tab\tfolder/caf\xc3\xa9.txt", "caf\xc3\xa9\n");
    Write(root / "back\\slash", "\\");
    Write(root / "odd\x01\x7f\n\r", "odd");
    fs::create_directories(root / "links");
    fs::create_symlink("../home/ada", root / "links/short");
    fs::create_symlink("../" + std::string(100, 'l') + "/target", root / "links/long");
    fs::create_hard_link(root / "home/ada/letters/grace.txt", root / "links/hard");
    ::mkfifo((root / "fifo").c_str(), 0644);
    MakeSocket(root / "socket");
    FixTimes(root);
}

// One folder big enough to fill many directory blocks, and a folder inside it.
void MakeBigFolder(const fs::path& root) {
    for (int i = 0; i < 5000; ++i)
        Write(root / "big" / ("entry-" + std::to_string(i) + std::string(i % 23, 'n')),
              std::to_string(i));
    Write(root / "big/inner/deep.txt", "deep\n");
    Write(root / "top.txt", "top\n");
    FixTimes(root);
}

struct Partition {
    std::string fsType;
    std::string options;
    int mib;
    fs::path folder;
};

// A disk with an MBR and the partitions back to back from kStartSector; "" when not made.
std::string MakeDisk(const TempDir& dir, const std::string& name,
                     const std::vector<Partition>& partitions) {
    std::ofstream layout(dir.File(name + ".sfdisk"));
    layout << "label: dos\n";
    std::string words;
    int mib = kStartSector / 2048;
    for (std::size_t i = 0; i < partitions.size(); ++i) {
        const Partition& p = partitions[i];
        layout << "start=" << mib * 2048 << ", size=" << p.mib * 2048 << ", type=83\n";
        words += " '" + std::to_string(i + 1) + ":" + p.fsType + ":" + p.folder.string() +
                 "::" + p.options + "'";
        mib += p.mib;
    }
    layout.close();
    const std::string image = dir.File(name + ".img");
    const std::string command = std::string(TWL_MAKE_DISK_IMAGE) + " " + image + " " +
                                std::to_string(mib + 1) + " " + dir.File(name + ".sfdisk") + words +
                                " >/dev/null";
    return fixtures::RunShell(command) == 0 ? image : "";
}

// Rebuilds the directories of the first partition as hash-indexed ones: mke2fs -d writes
// them linear.
bool IndexDirectories(const TempDir& dir, const std::string& image, int mib) {
    const std::string part = dir.File("indexed.part");
    const std::string range = " bs=512 count=" + std::to_string(mib * 2048) + " status=none";
    return fixtures::RunShell("PATH=$PATH:/usr/sbin:/sbin; dd if=" + image + " of=" + part +
                              " skip=" + std::to_string(kStartSector) + range +
                              " && { e2fsck -fyD " + part + " >/dev/null 2>&1; [ $? -le 1 ]; }" +
                              " && dd if=" + part + " of=" + image +
                              " conv=notrunc seek=" + std::to_string(kStartSector) + range) == 0;
}

bool ZeroPrimarySuperblock(const std::string& image) {
    const int kib = kStartSector / 2 + 1;
    return fixtures::RunShell("dd if=/dev/zero of=" + image + " bs=1024 count=1 seek=" +
                              std::to_string(kib) + " conv=notrunc status=none") == 0;
}

enum Image { kMixedDisk, kBigDisk, kDamagedDisk };
enum Source { kMixedSource, kBigSource };

// The source folders and the disks made from them, once for all the tests.
struct MadeVolumes {
    TempDir dir;
    fs::path sources[2] = {dir.File("mixed"), dir.File("big")};
    std::string images[3];
    bool made = false;

    MadeVolumes() {
        MakeMixedFolder(sources[kMixedSource]);
        MakeBigFolder(sources[kBigSource]);
        const fs::path& mixed = sources[kMixedSource];
        images[kMixedDisk] = MakeDisk(dir, "mixed",
                                      {{"ext2", "-b 1024", 4, mixed},
                                       {"ext3", "-b 4096 -I 256", 16, mixed},
                                       {"ext2", "-b 1024 -O ^filetype", 4, mixed}});
        images[kBigDisk] =
            MakeDisk(dir, "big", {{"ext3", "-b 1024 -N 6000", 16, sources[kBigSource]}});
        images[kDamagedDisk] = MakeDisk(dir, "damaged", {{"ext2", "-b 1024 -g 1024", 4, mixed}});
        made = std::none_of(std::begin(images), std::end(images),
                            [](const std::string& image) { return image.empty(); }) &&
               IndexDirectories(dir, images[kBigDisk], 16) &&
               ZeroPrimarySuperblock(images[kDamagedDisk]);
    }
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
        if (f.size() != 9) {
            ADD_FAILURE() << "not a row of 9 fields: " << line;
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
