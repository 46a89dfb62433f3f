// Arbitrary bytes as a scan information file: the reader must accept or refuse them without
// reading past the end, and what it accepts must be a tree (every node reached once).

#include "scaninfo/ScanInfoReader.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace twl;
    LoadedScanInfo loaded;
    if (ParseScanInfo({data, size}, loaded) != ScanInfoReadResult::kOk)
        return 0;
    std::size_t reached = 0;
    loaded.catalog.ForEachBelow(kRootAnchor, [&](NodeId) { ++reached; });
    if (reached + 1 != loaded.catalog.NodeCount() || reached * 43 > size)
        std::abort();
    if (loaded.volume->descriptorTable.size() < std::size_t{loaded.volume->groupCount} * 32)
        std::abort();
    return 0;
}
