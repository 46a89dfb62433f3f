#pragma once

// The small volume under the scan information fuzzer: an image of one ext2 volume from
// sector 0 with folders and files (one large enough for an indirect block), always built the
// same, so that a seed file saved from it finds the same source again.

#include "ext2/Inode.h"
#include "fixtures/Ext2ImageBuilder.h"
#include "fixtures/MemoryBlockReader.h"

#include <memory>
#include <vector>

namespace twl::fuzz {

inline constexpr char kFuzzImagePath[] = "/fuzz/volume.img";

inline std::shared_ptr<fixtures::MemoryMedium> FuzzVolumeMedium() {
    fixtures::Ext2Image image;
    const auto folder = image.AddDirectory(kRootInode, "docs");
    image.AddFile(folder, "letter.txt", std::vector<std::uint8_t>(700, 'l'));
    image.AddFile(folder, "long.bin", std::vector<std::uint8_t>(20 * 1024, 'b'));
    image.AddFile(kRootInode, "top.txt", std::vector<std::uint8_t>(10, 't'));
    return image.ToMedium();
}

} // namespace twl::fuzz
