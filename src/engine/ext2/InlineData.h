#pragma once

// ext4's inline data: a small file or folder kept in its inode. The first 60 bytes lie where
// a map would (i_block); the rest is the value of the "system.data" extended attribute in the
// inode's body past its extra fields. A folder's inline data begins with its parent's inode
// number, then holds entries in two runs (the i_block part and the attribute part).

#include "ext2/Inode.h"

#include <cstdint>
#include <vector>

namespace twl {

// The inline bytes of an inode whose whole record (the inode size, 128 bytes or more) is
// `body`: i_block's 60 bytes, then the system.data value where the body holds a sound one.
// Every offset and length of the attribute area is checked against the body.
std::vector<std::uint8_t> InlineDataBytes(ConstBytes body);

// A folder block made of an inline folder's bytes, for the folder listing: "." naming `self`,
// ".." naming the parent the bytes begin with, then the entries of both runs as they are,
// then an empty record to the end of a block of `blockSize` bytes. Empty when the bytes are
// too short to hold a parent or too long for one block.
std::vector<std::uint8_t> InlineFolderBlock(ConstBytes inlineBytes, InodeNo self,
                                            std::uint32_t blockSize);

} // namespace twl
