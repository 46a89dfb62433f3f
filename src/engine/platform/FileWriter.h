#pragma once

// Writes a new file through a large buffer, and puts it in place only when every byte was
// written: the data goes to a temporary file beside PATH, which is renamed to PATH on
// Commit(). The temporary file is created exclusively (PATH.part, or PATH.part-XXXX when that
// name is taken), so nothing already there, a symbolic link least of all, is ever written
// through. A failure at any step leaves no partial file at PATH.

#include "core/ByteCodec.h"
#include "core/Status.h"
#include "platform/UniqueFd.h"

#include <string>
#include <vector>

namespace twl {

class FileWriter {
public:
    explicit FileWriter(std::string path);
    ~FileWriter(); // removes the .part file unless committed

    // Why the file could not be created, or the first write error; Ok while all is well.
    const Status& State() const { return m_status; }

    void Write(ConstBytes bytes);
    // Flushes, syncs and renames into place. Returns the final state.
    Status Commit();

private:
    void Flush();

    std::string m_path;
    std::string m_partPath;
    UniqueFd m_fd;
    std::vector<std::uint8_t> m_buffer;
    Status m_status;
    bool m_committed = false;
};

} // namespace twl
