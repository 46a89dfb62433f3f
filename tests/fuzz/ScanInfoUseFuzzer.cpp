// Arbitrary bytes as a scan information file over a fixed small volume: what the reader
// accepts and the source check lets through is taken into a session, Turbo Scan runs on the
// loaded catalogue and every file in it is saved into a destination that keeps nothing. None
// of it may step outside a buffer, the volume or the source, hang or grow without bound.

#include "FuzzVolume.h"
#include "ext2/TurboScan.h"
#include "recover/SaveOperation.h"
#include "scaninfo/ScanInfoCommands.h"

#include <cstdlib>

namespace {

using namespace twl;

// Takes every write and keeps nothing but the furthest byte written to each file.
class DiscardFile final : public SaveFile {
public:
    int WriteAt(ByteOffset offset, ConstBytes bytes) override {
        m_end = std::max(m_end, offset + bytes.size());
        return 0;
    }
    int Finish(ByteCount size, const ItemTimes&) override {
        if (m_end > size)
            std::abort(); // data written past the size the file is given
        return 0;
    }
    void Abandon() override {}

private:
    ByteOffset m_end = 0;
};

class DiscardDestination final : public SaveDestination {
public:
    int Root() const override { return 0; }
    MadeItem MakeFolder(int, const std::string& name) override { return Made(name); }
    void FinishFolder(int, const ItemTimes&) override {}
    MadeItem MakeSymlink(int, const std::string& name, const std::string&,
                         const ItemTimes&) override {
        return Made(name);
    }
    std::unique_ptr<SaveFile> MakeFile(int, const std::string& name, MadeItem& made) override {
        made = Made(name);
        return std::make_unique<DiscardFile>();
    }

private:
    MadeItem Made(const std::string& name) {
        MadeItem made;
        made.handle = ++m_next;
        made.name = name;
        return made;
    }

    int m_next = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto medium = fuzz::FuzzVolumeMedium();
    LoadedScanInfo loaded;
    if (ParseScanInfo({data, size}, loaded) != ScanInfoReadResult::kOk)
        return 0;
    RecoverySession session({}, fixtures::MemoryFactory{fuzz::kFuzzImagePath, medium});
    EngineEvents events;
    if (!AdoptScanInfo(session, loaded, events))
        return 0;
    const Ext2Volume& volume = *session.Volume();
    // What the checks promise: inode tables no larger than the source holds.
    if (std::uint64_t{volume.sb.s_inodes_count} * volume.sb.InodeSize() > medium->bytes.size())
        std::abort();
    VolumeReader reader(session.Source(), *session.Volume());
    TurboScan scan(reader, session.Catalogue(), session.Counters(), session.Stop(), events);
    RunTurboScan(scan, session.Catalogue(), session.Stop(), events);
    std::size_t reached = 0;
    session.Catalogue().ForEachBelow(kRootAnchor, [&](NodeId) { ++reached; });
    if (reached + 1 != session.Catalogue().NodeCount())
        std::abort();
    DiscardDestination destination;
    SaveCatalogue(reader, session.Catalogue(), destination, {}, session.Stop(), events);
    return 0;
}
