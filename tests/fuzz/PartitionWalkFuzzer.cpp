// Arbitrary bytes as a disk image: the partition table walk and the Linux partition check
// must finish, stay within their buffers and keep the list bounded.

#include "fixtures/MemoryBlockReader.h"
#include "volumes/PartitionTableWalk.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace twl;
    auto medium = std::make_shared<fixtures::MemoryMedium>();
    medium->bytes.assign(data, data + size);
    SectorSource source({}, fixtures::MemoryFactory{"/fuzz.img", medium});
    if (!source.SelectImageFile("/fuzz.img").Ok())
        std::abort();
    VolumeLists lists;
    ListVolumesFromTable(source, kImageDriveId, lists);
    const PartitionList& list = lists.partitions;
    if (list.entries.size() > kMaxPartitionEntries)
        std::abort();
    // An entry a stored record can hold comes back from it unchanged; one past 2 TiB (a
    // logical partition whose offsets add up past 32 bits) is known not to fit.
    for (const PartitionEntry& entry : list.entries) {
        if (entry.Storable() && !(PartitionEntry::Decode(entry.Encode(true)) == entry))
            std::abort();
    }
    for (const std::size_t row : ListedLinuxPartitions(list)) {
        if (row >= list.entries.size())
            std::abort();
    }
    return 0;
}
