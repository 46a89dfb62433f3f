#include "recover/LocalDestination.h"

#include "recover/SafeName.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace twl {
namespace {

constexpr unsigned kMaxNumbered = 10000;

// A time of 0 is one the catalogue does not know: the item keeps the time it has.
timespec Seconds(std::uint32_t seconds) {
    return seconds == 0 ? timespec{0, UTIME_OMIT} : timespec{static_cast<time_t>(seconds), 0};
}

// Tries `name`, then "name (2)", "name (3)", ... while `make` fails with EEXIST.
template <typename Make>
MadeItem MakeUnique(const std::string& name, Make make) {
    MadeItem made;
    for (unsigned number = 1; number <= kMaxNumbered; ++number) {
        made.name = number == 1 ? name : NumberedName(name, number);
        made.error = make(made.name, made.handle);
        if (made.error != EEXIST)
            return made;
    }
    return made;
}

class LocalFile final : public SaveFile {
public:
    explicit LocalFile(int fd) : m_fd(fd) {}
    ~LocalFile() override {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int WriteAt(ByteOffset offset, ConstBytes bytes) override {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t wrote = ::pwrite(m_fd, bytes.data() + done, bytes.size() - done,
                                           static_cast<off_t>(offset + done));
            if (wrote < 0 && errno == EINTR)
                continue;
            if (wrote <= 0)
                return wrote < 0 ? errno : ENOSPC;
            done += static_cast<std::size_t>(wrote);
        }
        return 0;
    }
    int Finish(ByteCount size, const ItemTimes& times) override {
        int error = ::ftruncate(m_fd, static_cast<off_t>(size)) == 0 ? 0 : errno;
        const timespec stamps[2] = {Seconds(times.atime), Seconds(times.mtime)};
        if (error == 0 && ::futimens(m_fd, stamps) != 0)
            error = errno;
        if (::close(m_fd) != 0 && error == 0)
            error = errno;
        m_fd = -1;
        return error;
    }

private:
    int m_fd;
};

} // namespace

std::unique_ptr<LocalDestination> LocalDestination::Open(const std::string& folder,
                                                         Status& status) {
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
        status = Status::Failure(ErrorCode::kCannotCreate, folder, errno);
        return nullptr;
    }
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        status = Status::Failure(ErrorCode::kCannotOpen, folder, errno);
        return nullptr;
    }
    return std::unique_ptr<LocalDestination>(new LocalDestination(fd));
}

LocalDestination::~LocalDestination() {
    ::close(m_root);
}

MadeItem LocalDestination::MakeFolder(int parent, const std::string& name) {
    return MakeUnique(name, [&](const std::string& tried, int& handle) {
        if (::mkdirat(parent, tried.c_str(), 0755) != 0)
            return errno;
        handle = ::openat(parent, tried.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        return handle < 0 ? errno : 0;
    });
}

void LocalDestination::FinishFolder(int folder, const ItemTimes& times) {
    const timespec stamps[2] = {Seconds(times.atime), Seconds(times.mtime)};
    ::futimens(folder, stamps);
    if (folder != m_root)
        ::close(folder);
}

MadeItem LocalDestination::MakeSymlink(int parent, const std::string& name,
                                       const std::string& target, const ItemTimes& times) {
    MadeItem made = MakeUnique(name, [&](const std::string& tried, int&) {
        return ::symlinkat(target.c_str(), parent, tried.c_str()) == 0 ? 0 : errno;
    });
    if (made.error == 0) {
        const timespec stamps[2] = {Seconds(times.atime), Seconds(times.mtime)};
        ::utimensat(parent, made.name.c_str(), stamps, AT_SYMLINK_NOFOLLOW);
    }
    return made;
}

std::unique_ptr<SaveFile> LocalDestination::MakeFile(int parent, const std::string& name,
                                                     MadeItem& made) {
    made = MakeUnique(name, [&](const std::string& tried, int& handle) {
        handle = ::openat(parent, tried.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        return handle < 0 ? errno : 0;
    });
    if (made.error != 0)
        return nullptr;
    return std::make_unique<LocalFile>(made.handle);
}

void LocalDestination::MakeExecutable(const std::string& name) {
    ::fchmodat(m_root, name.c_str(), 0755, 0);
}

} // namespace twl
