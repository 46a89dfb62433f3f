#pragma once

// The checksums ext4 keeps with metadata_csum (CRC32C) or, on older volumes, gdt_csum (CRC16
// of the group descriptors), checked only to be told: a checksum that does not match marks
// damage to say, never a reason to refuse what the bytes hold.

#include "ext2/Ext2Volume.h"

#include <cstdint>
#include <string>

namespace twl {

// What the open volume's superblock and group descriptor checksums say, on a volume with
// metadata_csum or gdt_csum: "" when they match (or the volume keeps none), else a sentence
// naming the superblock and how many descriptors do not match, the first of them by group.
std::string ChecksumMismatchNote(const Ext2Volume& volume);

} // namespace twl
