#pragma once

// Where saved files go: a folder on a local disk, or an FTP server. Folders, files and links
// are made inside folders the destination itself made, by safe names; an existing item is
// never replaced: the new one gets a numbered name instead, which the caller reports.

#include "core/ByteCodec.h"
#include "core/Types.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace twl {

struct ItemTimes {
    std::uint32_t atime = 0;
    std::uint32_t mtime = 0;
};

struct MadeItem {
    int handle = -1;    // the destination's handle of a folder or file; -1 when it failed
    std::string name;   // the name it got (the asked name, or a numbered one)
    int error = 0;      // errno when it failed
    std::string detail; // what the destination said, when it said more than an errno
};

// Bytes of a file held in memory: each run is `length` bytes of `bytes` from `at`, written at
// `offset` in the file. What no run covers is a hole.
struct HeldBytes {
    struct Run {
        ByteOffset offset = 0;
        std::size_t at = 0;
        std::size_t length = 0;
    };
    std::vector<std::uint8_t> bytes;
    std::vector<Run> runs;
};

class SaveFile {
public:
    // How a file written by WriteHeld came out: 0 or an errno, and what the destination said
    // when it said more.
    using Done = std::function<void(int error, const std::string& detail)>;

    virtual ~SaveFile() = default;
    // Writes at byte `offset`; returns 0 or an errno. Offsets never go backwards.
    virtual int WriteAt(ByteOffset offset, ConstBytes bytes) = 0;
    // Gives the file its size (a hole up to it where nothing was written) and its times,
    // and closes it; returns 0 or an errno.
    virtual int Finish(ByteCount size, const ItemTimes& times) = 0;
    // Takes back a file that could not be written whole: nothing of it stays in the
    // destination, so that no file is left looking whole with a tail that was never written.
    virtual void Abandon() = 0;
    // What the destination said about the last failure, when it said more than an errno.
    virtual std::string LastError() const { return {}; }
    // Writes `held` into the new file and finishes it, or abandons it when either failed. A
    // destination may do this later, on another thread; `done` is then called on the saving
    // thread, from a later call of the destination and at the latest by Flush. Here it is
    // done at once. The file is not used after.
    virtual void WriteHeld(HeldBytes held, ByteCount size, const ItemTimes& times,
                           const Done& done);
};

class SaveDestination {
public:
    virtual ~SaveDestination() = default;

    // The destination's top folder, made (or opened) once at the start.
    virtual int Root() const = 0;
    virtual MadeItem MakeFolder(int parent, const std::string& name) = 0;
    // Gives a folder its times once everything inside it is written, and lets it go.
    virtual void FinishFolder(int folder, const ItemTimes& times) = 0;
    virtual MadeItem MakeSymlink(int parent, const std::string& name, const std::string& target,
                                 const ItemTimes& times) = 0;
    virtual std::unique_ptr<SaveFile> MakeFile(int parent, const std::string& name,
                                               MadeItem& made) = 0;
    // Waits for the files whose writing was left for later (SaveFile::WriteHeld) and reports
    // how each came out.
    virtual void Flush() {}
    // Writes a small text file (report, scripts) into the top folder, through MakeFile: all
    // of it, or (the file abandoned) nothing.
    MadeItem WriteTextFile(const std::string& name, const std::string& text, bool executable);

protected:
    // Lets a script written by WriteTextFile be run; nothing where files have no such bit.
    virtual void MakeExecutable(const std::string& /*name*/) {}
};

} // namespace twl
