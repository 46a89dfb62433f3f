#include "platform/DriveInventory.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace twl {
namespace {

namespace fs = std::filesystem;

// One line per drive with every field, so a mismatch shows which drive and field differ.
std::vector<std::string> Lines(const std::vector<DriveInfo>& drives) {
    std::vector<std::string> lines;
    for (const auto& d : drives) {
        std::ostringstream line;
        line << d.devicePath << " model=[" << d.model << "] serial=[" << d.serial << "] fw=["
             << d.firmware << "] bus=[" << d.bus << "] removable=" << d.removable
             << " bytes=" << d.sizeBytes << " sectors=" << d.sectors << " media=[" << d.mediaType
             << "] mounts=[";
        for (const auto& point : d.mountPoints)
            line << point << (&point == &d.mountPoints.back() ? "" : ",");
        line << "]";
        lines.push_back(line.str());
    }
    return lines;
}

class DriveInventoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "twl-drives-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_root = pattern;
        m_roots = {(m_root / "sys/block").string(), "/dev", (m_root / "udev").string(),
                   (m_root / "mounts").string()};
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }

    void Write(const fs::path& relative, const std::string& content) {
        fs::create_directories((m_root / relative).parent_path());
        std::ofstream(m_root / relative, std::ios::binary) << content;
    }

    // A disk folder with a "device" folder, as the kernel makes for real hardware.
    void AddDisk(const std::string& name) {
        fs::create_directories(m_root / "sys/block" / name / "device");
    }

    // The fake machine: SATA, USB, NVMe, virtio and MMC disks among virtual devices.
    void BuildSysfs() {
        AddDisk("sda");
        Write("sys/block/sda/size", "2000409264\n");
        Write("sys/block/sda/removable", "0\n");
        Write("sys/block/sda/dev", "8:0\n");
        Write("sys/block/sda/device/model", "  Samsung SSD  \n");
        Write("sys/block/sda/device/vendor", "ATA     \n");
        Write("sys/block/sda/sda1/partition", "1\n");
        Write("sys/block/sda/sda2/partition", "2\n");
        // The disk's partitions are mounted, one at a place whose name holds a blank.
        Write("mounts", "proc /proc proc rw 0 0\n"
                        "/dev/sda1 / ext4 rw 0 0\n"
                        "/dev/sdb /media/usb\\040stick vfat rw 0 0\n"
                        "/dev/sda2 /home ext4 rw 0 0\n"
                        "/dev/sdaa1 /elsewhere ext4 rw 0 0\n");
        Write("sys/block/sda/device/rev", "2B6Q\n");
        Write("sys/block/sda/device/serial", " S3Z1NB0K \n");
        // The kernel's serial wins over udev's; udev still gives the bus.
        Write("udev/b8:0", "E:ID_SERIAL_SHORT=FROM_UDEV\nE:ID_BUS=ata\n");

        AddDisk("sdb");
        Write("sys/block/sdb/size", "15633408\n");
        Write("sys/block/sdb/removable", "1\n");
        Write("sys/block/sdb/dev", "8:16\n");
        Write("sys/block/sdb/device/model", "Flash Drive     \n");
        Write("udev/b8:16", "S:disk/by-id/usb-Maker_Flash_ABC123-0:0\n"
                            "E:ID_SERIAL=Maker_Flash_ABC123-0:0\n"
                            "E:ID_SERIAL_SHORT=ABC123\n"
                            "E:ID_BUS=usb\n");

        // Behind a USB bridge with no bus in udev: the link gives the bus, ID_SERIAL the serial.
        const fs::path usbDevice =
            m_root / "sys/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/6:0:0:0";
        fs::create_directories(usbDevice);
        fs::create_directories(m_root / "sys/block/sdc");
        fs::create_directory_symlink("../../devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/"
                                     "host6/6:0:0:0",
                                     m_root / "sys/block/sdc/device");
        Write("sys/block/sdc/size", "not a number\n"); // unknown size: nothing to read
        Write("sys/block/sdc/dev", "8:32\n");
        Write("udev/b8:32", "E:ID_SERIAL=Bridge_0001\nE:ID_VENDOR=Bridge\n");

        AddDisk("sdz");
        AddDisk("sdaa");
        Write("sys/block/sdz/size", "2048\n");
        Write("sys/block/sdaa/size", "2048\n");

        for (const std::string name : {"nvme10n1", "nvme2n1"}) {
            AddDisk(name);
            Write("sys/block/" + name + "/size", "1000215216\n");
            Write("sys/block/" + name + "/device/model", "NVMe Disk " + name + "\n");
            Write("sys/block/" + name + "/device/firmware_rev", "3B2QGXA7\n");
            Write("sys/block/" + name + "/device/serial", "SN-" + name + "\n");
        }

        AddDisk("vda");
        Write("sys/block/vda/serial", "virtio-serial\n");
        Write("sys/block/vda/size", "8\n");
        AddDisk("mmcblk0");
        Write("sys/block/mmcblk0/size", "62333952\n");
        AddDisk("sr0"); // an optical drive without a disc: size 0
        Write("sys/block/sr0/size", "0\n");

        // Virtual devices, each with a "device" entry and a size so only the name filter
        // removes them.
        for (const std::string name : {"ram0", "zram0", "dm-0", "md127"}) {
            AddDisk(name);
            Write("sys/block/" + name + "/size", "2048\n");
        }
        // A loop device counts when a file is behind it.
        for (const std::string name : {"loop0", "loop1"})
            Write("sys/block/" + name + "/size", "4096\n");
        Write("sys/block/loop0/loop/backing_file", "/images/disk.img\n");
        // A folder without a device entry is not hardware, whatever its name.
        fs::create_directories(m_root / "sys/block/sdd");
        Write("sys/block/sdd/size", "2048\n");
        // A stray file is no disk either.
        Write("sys/block/sde", "");
    }

    fs::path m_root;
    InventoryRoots m_roots;
};

TEST_F(DriveInventoryTest, ScanListsRealDisksInNaturalOrderWithTheirDetails) {
    BuildSysfs();
    const std::vector<std::string> expected = {
        "/dev/loop0 model=[] serial=[] fw=[] bus=[Loop] removable=0 bytes=2097152 sectors=4096 "
        "media=[Loop device backed by /images/disk.img] mounts=[]",
        "/dev/mmcblk0 model=[] serial=[] fw=[] bus=[MMC] removable=0 bytes=31914983424 "
        "sectors=62333952 media=[Fixed hard disk media] mounts=[]",
        "/dev/nvme2n1 model=[NVMe Disk nvme2n1] serial=[SN-nvme2n1] fw=[3B2QGXA7] bus=[NVMe] "
        "removable=0 bytes=512110190592 sectors=1000215216 "
        "media=[Fixed hard disk media: NVMe Disk nvme2n1] mounts=[]",
        "/dev/nvme10n1 model=[NVMe Disk nvme10n1] serial=[SN-nvme10n1] fw=[3B2QGXA7] bus=[NVMe] "
        "removable=0 bytes=512110190592 sectors=1000215216 "
        "media=[Fixed hard disk media: NVMe Disk nvme10n1] mounts=[]",
        "/dev/sda model=[Samsung SSD] serial=[S3Z1NB0K] fw=[2B6Q] bus=[ATA] removable=0 "
        "bytes=1024209543168 sectors=2000409264 media=[Fixed hard disk media: ATA Samsung SSD] "
        "mounts=[/,/home]",
        "/dev/sdb model=[Flash Drive] serial=[ABC123] fw=[] bus=[USB] removable=1 "
        "bytes=8004304896 sectors=15633408 media=[Removable media: Flash Drive] "
        "mounts=[/media/usb stick]",
        "/dev/sdz model=[] serial=[] fw=[] bus=[] removable=0 bytes=1048576 sectors=2048 "
        "media=[Fixed hard disk media] mounts=[]",
        "/dev/sdaa model=[] serial=[] fw=[] bus=[] removable=0 bytes=1048576 sectors=2048 "
        "media=[Fixed hard disk media] mounts=[]",
        "/dev/vda model=[] serial=[virtio-serial] fw=[] bus=[virtio] removable=0 bytes=4096 "
        "sectors=8 media=[Fixed hard disk media] mounts=[]",
    };
    EXPECT_EQ(Lines(ScanSysfsDrives(m_roots)), expected);
}

TEST_F(DriveInventoryTest, ScanOfAMissingOrEmptyFolderIsEmpty) {
    EXPECT_TRUE(ScanSysfsDrives(m_roots).empty());
    fs::create_directories(m_roots.sysBlock);
    EXPECT_TRUE(ScanSysfsDrives(m_roots).empty());
}

TEST_F(DriveInventoryTest, ListMakesOneDrivePerImageInOrder) {
    Write("a.img", std::string(4096, 'x'));
    Write("b.img", std::string(1000, 'y')); // not a whole number of sectors
    const std::string a = (m_root / "a.img").string();
    const std::string b = (m_root / "b.img").string();
    const std::string missing = (m_root / "missing.img").string();

    const std::vector<std::string> expected = {
        b +
            " model=[Image file] serial=[] fw=[] bus=[] removable=0 bytes=1000 sectors=1 "
            "media=[Image file " +
            b + "] mounts=[]",
        a +
            " model=[Image file] serial=[] fw=[] bus=[] removable=0 bytes=4096 sectors=8 "
            "media=[Image file " +
            a + "] mounts=[]",
        missing +
            " model=[Image file] serial=[] fw=[] bus=[] removable=0 bytes=0 sectors=0 media=[Image "
            "file " +
            missing + "] mounts=[]",
    };
    EXPECT_EQ(Lines(DrivesFromList(":" + b + "::" + a + ":" + missing + ":")), expected);
    EXPECT_TRUE(DrivesFromList("").empty());
    EXPECT_TRUE(DrivesFromList(":::").empty());
}

TEST_F(DriveInventoryTest, LoadPrefersTheListWheneverItIsSet) {
    BuildSysfs();
    Write("disk.img", std::string(512, '\0'));
    const std::string image = (m_root / "disk.img").string();

    EXPECT_EQ(Lines(LoadDriveInventory(image, m_roots)), Lines(DrivesFromList(image)));
    EXPECT_TRUE(LoadDriveInventory(std::string(), m_roots).empty());
    const auto fromSysfs = LoadDriveInventory(std::nullopt, m_roots);
    EXPECT_EQ(fromSysfs.size(), 9u);
    EXPECT_EQ(Lines(fromSysfs), Lines(ScanSysfsDrives(m_roots)));
}

// The kernel's own shape: each /sys/block entry is a link into /sys/devices, and a disk's
// "device" is a link up to its hardware; a virtual device's folder has no "device" at all.
TEST_F(DriveInventoryTest, ScanFollowsTheKernelsLinksIntoTheDeviceTree) {
    const std::string hardware = "devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0";
    fs::create_directories(m_root / "sys" / hardware / "block/sda");
    Write("sys/" + hardware + "/block/sda/size", "4096\n");
    Write("sys/" + hardware + "/model", "Link Disk\n");
    fs::create_directory_symlink("../..", m_root / "sys" / hardware / "block/sda/device");
    fs::create_directories(m_root / "sys/devices/virtual/block/loop7");
    Write("sys/devices/virtual/block/loop7/size", "8\n");
    fs::create_directories(m_root / "sys/block");
    fs::create_directory_symlink("../" + hardware + "/block/sda", m_root / "sys/block/sda");
    fs::create_directory_symlink("../devices/virtual/block/loop7", m_root / "sys/block/loop7");
    // Named like a disk, but virtual: no "device" link, so not listed.
    fs::create_directories(m_root / "sys/devices/virtual/block/sdx");
    fs::create_directory_symlink("../devices/virtual/block/sdx", m_root / "sys/block/sdx");

    EXPECT_EQ(Lines(ScanSysfsDrives(m_roots)),
              (std::vector<std::string>{"/dev/sda model=[Link Disk] serial=[] fw=[] bus=[] "
                                        "removable=0 bytes=2097152 sectors=4096 "
                                        "media=[Fixed hard disk media: Link Disk] mounts=[]"}));
}

} // namespace
} // namespace twl
