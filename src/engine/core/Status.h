#pragma once

// The engine's result type: a code from one table, the operating-system error where there is
// one, and the object it concerns (a path, a sector). Front ends turn it into text with
// Describe(); nothing is thrown.

#include <string>
#include <string_view>

namespace twl {

enum class ErrorCode {
    kOk = 0,
    kNoSource,       // nothing chosen to read from
    kCannotOpen,     // open(2) failed; sysError says why
    kCannotSize,     // the size of a file or device could not be found
    kNotInInventory, // a drive number beyond the drive inventory
    kReadFailed,     // a read failed; the sectors read as zeros
    kCannotCreate,   // a file to write could not be created
    kWriteFailed,    // writing a file failed (the file was not put in place)
    kIsTheSource,    // a destination that is the disk or image being recovered from
    kNameTooLong,    // a path too long for the field it must be stored in
    kNotDiskOrImage, // a FIFO, socket, character device or folder given as a disk or image
    kStopped,        // the user stopped the work before the file was complete (none was left)
    kBeyondStorable, // a volume past the 2 TiB a scan information file can describe
    kNotLoadable,    // a volume whose scan information file could not be loaded again
};

struct Status {
    ErrorCode code = ErrorCode::kOk;
    int sysError = 0;    // errno, when the failure came from the operating system
    std::string subject; // what the failure concerns, usually a path
    bool isFile = false; // the subject is a file, not a disk: access is up to its permissions

    bool Ok() const { return code == ErrorCode::kOk; }
    static Status Success() { return {}; }
    static Status Failure(ErrorCode code, std::string subject, int sysError = 0) {
        return Status{code, sysError, std::move(subject), false};
    }
};

// The fixed wording of each code ("cannot open", "cannot find the size of", ...).
std::string_view ErrorText(ErrorCode code);

// One line for the user: "cannot open /dev/sdb: Permission denied (run as root or join the
// disk group)". The hint is added where the operating system refused access: the disk group
// for a disk, the permissions of the file and its folders when the subject is a file.
std::string Describe(const Status& status);

} // namespace twl
