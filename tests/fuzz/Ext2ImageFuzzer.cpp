// Arbitrary bytes as a whole ext2/ext3 volume held in memory: the volume open (with the backup
// search), the tree walk (names in folder slack too), Turbo Scan with its journal search, and
// a scan information save and reload of the result
// must finish within libFuzzer's time and memory limits, stay within their buffers, and keep
// the catalogue a tree that survives the round trip unchanged.

#include "ext2/TreeBuilder.h"
#include "ext2/TurboScan.h"
#include "fixtures/MemoryBlockReader.h"
#include "scaninfo/ScanInfoReader.h"
#include "scaninfo/ScanInfoWriter.h"
#include "session/ListedVolumes.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace {

using namespace twl;

// Volumes beyond this are not tried: the work per input stays small enough to fuzz.
constexpr std::size_t kMaxImageBytes = std::size_t{4} << 20;
constexpr char kImagePath[] = "/fuzz/ext2.img";

void Require(bool holds) {
    if (!holds)
        std::abort();
}

// Nodes below the root anchor, each reached once, with their names in walk order. Every
// node is reached in a catalogue just built or loaded; Turbo Scan unlinks the lost folders it
// prunes or merges, which stay in the arena unreached.
std::vector<std::string> NamesBelowRoot(const Catalog& catalog, bool everyNode) {
    std::vector<std::string> names;
    catalog.ForEachBelow(kRootAnchor, [&](NodeId id) { names.emplace_back(catalog.Name(id)); });
    Require(names.size() + 1 <= catalog.NodeCount());
    Require(!everyNode || names.size() + 1 == catalog.NodeCount());
    return names;
}

// Saves the session's result and loads it back: the same catalogue and volume come back. A
// volume whose file could not be loaded again is refused, and nothing is written.
void RoundTrip(RecoverySession& session) {
    const std::string path = "/tmp/fuzz-ext2-image-" + std::to_string(getpid()) + ".ds1";
    std::remove(path.c_str());
    const Status saved = WriteScanInfoFile(session, path, {});
    if (saved.code == ErrorCode::kNotLoadable) {
        Require(::access(path.c_str(), F_OK) != 0);
        return;
    }
    Require(saved.Ok());
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> file{std::istreambuf_iterator<char>(in), {}};
    std::remove(path.c_str());
    LoadedScanInfo loaded;
    Require(ParseScanInfo(file, loaded) == ScanInfoReadResult::kOk);
    Require(NamesBelowRoot(loaded.catalog, true) == NamesBelowRoot(session.Catalogue(), false));
    Require(loaded.volume->superblock == session.Volume()->superblock);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4 * kSectorSize || size > kMaxImageBytes)
        return 0;
    auto medium = std::make_shared<fixtures::MemoryMedium>();
    medium->bytes.assign(data, data + size);
    RecoverySession session({}, fixtures::MemoryFactory{kImagePath, medium});
    Require(session.Source().SelectImageFile(kImagePath).Ok());
    session.SetMode(ProcessingMode::kTable);
    session.Lists().partitions.entries.push_back(
        PartitionEntry{0, kLinuxPartitionType, 0, static_cast<SectorCount>(size / kSectorSize)});
    if (OpenListedVolume(session, 0, [] { return true; }) != OpenOutcome::kOpened)
        return 0;
    EngineEvents events;
    VolumeReader reader(session.Source(), *session.Volume());
    TreeBuilder builder(reader, session.Catalogue(), session.Counters(), session.Stop(), events);
    builder.BuildTree();
    NamesBelowRoot(session.Catalogue(), true);
    TurboScan scan(reader, session.Catalogue(), session.Counters(), session.Stop(), events);
    if (scan.SearchLostFolders() == 1) {
        scan.SearchLostFiles();
        scan.CheckLostFilesAgainstTree();
        scan.SearchJournal();
    }
    scan.EmptyCandidateList();
    RoundTrip(session);
    return 0;
}
