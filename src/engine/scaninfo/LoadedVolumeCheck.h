#pragma once

// The checks a superblock and group descriptor table taken from a scan information file pass
// before anything reads the source by them: the rules a volume open applies to a superblock
// read from the disk, the group count of the file's own descriptor block, and bounds from the
// source, so that no count in the file can make a reader step outside its buffers or allocate
// beyond what the source could hold.

#include "core/Types.h"
#include "ext2/Ext2Volume.h"

#include <string>

namespace twl {

// Why `volume` (superblock, descriptor table with groupCount from the file's descriptor
// block, start and size of the selected volume) cannot describe a volume on a source of
// `sourceBytes` bytes; empty when it can. The text completes "The scan info file ... is
// damaged: ".
std::string LoadedVolumeProblem(const Ext2Volume& volume, ByteCount sourceBytes);

} // namespace twl
