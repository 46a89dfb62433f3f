// The desktop program runs long work on a worker thread; to ask whether to stop, its UI thread
// pauses the worker at its next checkpoint, then stops or resumes it. These tests run the
// engine's workers that way, on a thread of their own, so that the thread sanitizer build
// sees every hand-over between the two threads.

#include "clone/CopyEngine.h"
#include "core/StopControl.h"
#include "ext2/TreeBuilder.h"
#include "fixtures/Ext2ImageBuilder.h"
#include "fixtures/MemoryBlockReader.h"
#include "session/ListedVolumes.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

namespace twl {
namespace {

constexpr char kPath[] = "/test/worker.img";

// Holds the worker at its first report until the test thread has paused it.
class PausingEvents : public EngineEvents {
public:
    explicit PausingEvents(StopControl& stop) : m_stop(stop) {}

    void TreeProgress(const TreeCounters&, int) override { Reported(); }
    void CopyProgress(std::uint64_t, std::uint64_t) override { Reported(); }
    void WorkerDone(WorkerResult result) override { done = result; }

    // On the test thread: waits for the first report and pauses the worker, then leaves it
    // time to reach its next checkpoint and wait there.
    void PauseAtFirstReport() {
        m_reported.get_future().wait();
        m_stop.Pause();
        m_paused.set_value();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }

    std::optional<WorkerResult> done; // read once the worker has been joined

private:
    void Reported() {
        if (m_first) {
            m_first = false;
            m_reported.set_value();
            m_pausedSeen.wait();
        }
    }

    StopControl& m_stop;
    bool m_first = true; // the worker's own
    std::promise<void> m_reported;
    std::promise<void> m_paused;
    std::future<void> m_pausedSeen = m_paused.get_future();
};

// Runs `work` on a worker thread, pauses it at its first report and, while it is held, asks
// it to stop, as a "yes" to the question does.
void StopWhilePaused(StopControl& stop, PausingEvents& events, const std::function<void()>& work) {
    stop.Clear();
    std::thread worker(work);
    events.PauseAtFirstReport();
    stop.RequestStop();
    stop.Resume();
    worker.join();
}

TEST(WorkerStop, TheTreeWalkHeldInTheRootStopsBeforeAnyFolderBelowIt) {
    fixtures::Ext2Options options;
    options.inodesPerGroup = 128;
    fixtures::Ext2Image image(options);
    const std::vector<std::uint8_t> text = {'x', '\n'};
    for (int i = 0; i < 40; ++i)
        image.AddFile(image.AddDirectory(2, "folder-" + std::to_string(i)), "inner.txt", text);
    RecoverySession session({}, fixtures::MemoryFactory{kPath, image.ToMedium()});
    ASSERT_TRUE(session.Source().SelectImageFile(kPath).Ok());
    session.SetMode(ProcessingMode::kTable);
    session.Lists().partitions.entries.push_back(
        PartitionEntry{0, kLinuxPartitionType, 0, image.Sectors()});
    ASSERT_EQ(OpenListedVolume(session, 0, {}), OpenOutcome::kOpened);

    PausingEvents events(session.Stop());
    StopWhilePaused(session.Stop(), events, [&] {
        VolumeReader reader(session.Source(), *session.Volume());
        TreeBuilder builder(reader, session.Catalogue(), session.Counters(), session.Stop(),
                            events);
        RunTreeCreation(builder, session.Stop(), events);
    });
    EXPECT_EQ(events.done, WorkerResult::kAborted);
    // Held while listing the root: entries of the root were listed, no folder below it.
    EXPECT_GE(session.Counters().folders, 1u);
    EXPECT_EQ(session.Counters().files, 0u);
}

// Keeps only how many sectors were written to it.
class CountingTarget final : public CopyTarget {
public:
    int WriteAt(ByteOffset, ConstBytes bytes) override {
        sectors += bytes.size() / 512;
        return 0;
    }
    int Finish() override { return 0; }
    std::uint64_t sectors = 0;
};

TEST(WorkerStop, ACopyHeldAfterItsFirstSpanStopsThere) {
    auto medium = std::make_shared<fixtures::MemoryMedium>();
    medium->bytes.assign(std::size_t{4} * kSpanSectors * 512, 0x5a);
    SectorSource source({}, fixtures::MemoryFactory{kPath, medium});
    ASSERT_TRUE(source.SelectImageFile(kPath).Ok());
    CountingTarget target;
    StopControl stop;
    PausingEvents events(stop);
    CopyReport report;
    StopWhilePaused(stop, events, [&] {
        report = CopySectors(source, kImageDriveId, target, 4 * kSpanSectors, stop, events);
    });
    EXPECT_FALSE(report.completed);
    EXPECT_EQ(report.sectorsDone, kSpanSectors);
    EXPECT_EQ(target.sectors, kSpanSectors);
}

} // namespace
} // namespace twl
