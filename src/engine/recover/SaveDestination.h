#pragma once

// Where saved files go: a folder on a local disk, or an FTP server. Folders, files and links
// are made inside folders the destination itself made, by safe names; an existing item is
// never replaced: the new one gets a numbered name instead, which the caller reports.

#include "core/ByteCodec.h"
#include "core/Types.h"

#include <cstdint>
#include <memory>
#include <string>

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

class SaveFile {
public:
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
    // Writes a small text file (report, scripts) into the top folder, through MakeFile: all
    // of it, or (the file abandoned) nothing.
    MadeItem WriteTextFile(const std::string& name, const std::string& text, bool executable);

protected:
    // Lets a script written by WriteTextFile be run; nothing where files have no such bit.
    virtual void MakeExecutable(const std::string& /*name*/) {}
};

} // namespace twl
