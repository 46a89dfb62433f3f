// Writes the fuzzers' seed corpora: FOLDER/partition_walk holds the fixture disks,
// FOLDER/scaninfo_reader a small scan information file.

#include "fixtures/MemoryBlockReader.h"
#include "fixtures/SampleDisks.h"
#include "scaninfo/ScanInfoWriter.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

bool WriteScanInfoSeed(const std::string& path) {
    using namespace twl;
    auto medium = std::make_shared<fixtures::MemoryMedium>();
    medium->bytes = fixtures::MixedDisk().Bytes();
    RecoverySession session({}, fixtures::MemoryFactory{"/seed/disk.img", medium});
    session.Source().SelectImageFile("/seed/disk.img");
    session.Lists().partitions.entries.push_back(PartitionEntry{0x80, 0x83, 10, 20});
    auto volume = std::make_unique<Ext2Volume>();
    RawSuperblock raw{};
    PutLe32(raw, 0x00, 32);
    PutLe32(raw, 0x04, 64);
    PutLe32(raw, 0x28, 16);
    volume->SetSuperblock(raw);
    volume->descriptorTable.assign(512, 1);
    session.SetVolume(std::move(volume));
    Catalog& catalog = session.Catalogue();
    const NodeId folder = catalog.AddNode("folder");
    catalog.Node(folder).type = 2;
    catalog.AttachChildList(kRootAnchor, folder);
    catalog.LinkSibling(folder, catalog.AddNode("file"));
    catalog.AttachChildList(folder, catalog.AddNode("D:\\$TW\\folder"));
    return WriteScanInfoFile(session, path, {}).Ok();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    std::filesystem::create_directories(folder + "/partition_walk");
    std::filesystem::create_directories(folder + "/scaninfo_reader");
    const bool ok =
        twl::fixtures::MixedDisk().SaveTo(folder + "/partition_walk/mixed.img") &&
        twl::fixtures::LoopingChainDisk().SaveTo(folder + "/partition_walk/looping.img") &&
        WriteScanInfoSeed(folder + "/scaninfo_reader/small.ds1");
    return ok ? 0 : 1;
}
