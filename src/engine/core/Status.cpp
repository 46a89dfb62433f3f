#include "core/Status.h"

#include <cerrno>
#include <cstring>

namespace twl {

std::string_view ErrorText(ErrorCode code) {
    switch (code) {
    case ErrorCode::kOk:
        return "success";
    case ErrorCode::kNoSource:
        return "no disk or image chosen";
    case ErrorCode::kCannotOpen:
        return "cannot open";
    case ErrorCode::kCannotSize:
        return "cannot find the size of";
    case ErrorCode::kNotInInventory:
        return "no such drive";
    case ErrorCode::kReadFailed:
        return "cannot read";
    case ErrorCode::kCannotCreate:
        return "cannot create";
    case ErrorCode::kWriteFailed:
        return "cannot write";
    case ErrorCode::kIsTheSource:
        return "will not write to the disk or image being recovered from:";
    case ErrorCode::kNameTooLong:
        return "the name is too long to be stored (at most 259 characters):";
    case ErrorCode::kNotDiskOrImage:
        return "neither a disk nor an image file:";
    case ErrorCode::kStopped:
        return "stopped while writing";
    case ErrorCode::kNotLoadable:
        return "the file could not be loaded again, as";
    case ErrorCode::kBeyondStorable:
        return "a scan information file holds sector numbers below 4294967296 (2 TiB) and "
               "cannot describe";
    }
    return "unknown error";
}

std::string Describe(const Status& status) {
    std::string text(ErrorText(status.code));
    if (!status.subject.empty())
        text += " " + status.subject;
    if (status.sysError != 0) {
        text += ": ";
        text += std::strerror(status.sysError);
    }
    if (status.sysError == EACCES || status.sysError == EPERM)
        text += status.isFile ? " (check the permissions of the file and its folders)"
                              : " (run as root or join the disk group)";
    return text;
}

} // namespace twl
