#include "recover/LocalDestination.h"

#include "platform/FullIo.h"
#include "recover/WriteBehind.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace twl {
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

class LocalFile final : public SaveFile {
public:
    LocalFile(LocalDestination& destination, int parent, std::string name, int fd)
        : m_destination(destination), m_parent(parent), m_name(std::move(name)), m_fd(fd) {}
    ~LocalFile() override { Close(); }
    int WriteAt(ByteOffset offset, ConstBytes bytes) override {
        m_end = std::max<ByteCount>(m_end, offset + bytes.size());
        return WriteAllAt(m_fd, offset, bytes).error;
    }
    int Finish(ByteCount size, const ItemTimes& times) override {
        const int error = WriteAndClose(m_fd, {}, m_end, size, times);
        m_fd = -1;
        return error;
    }
    void WriteHeld(HeldBytes held, ByteCount size, const ItemTimes& times,
                   const Done& done) override {
        if (m_end != 0) { // written to already: not a whole file in memory
            SaveFile::WriteHeld(std::move(held), size, times, done);
            return;
        }
        m_destination.WriteLater({m_fd, std::move(held), size, times, 0}, m_parent, m_name, done);
        m_fd = -1;
    }
    void Abandon() override {
        Close();
        m_destination.RemoveFile(m_parent, m_name);
    }

private:
    int Close() {
        const int error = m_fd >= 0 && ::close(m_fd) != 0 ? errno : 0;
        m_fd = -1;
        return error;
    }

    LocalDestination& m_destination;
    int m_parent;
    std::string m_name;
    int m_fd;
    ByteCount m_end = 0; // one past the last byte written
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

LocalDestination::LocalDestination(int root) {
    m_folders.push_back({-1, {}, root, 0});
}

LocalDestination::~LocalDestination() {
    for (const Folder& folder : m_folders) {
        if (folder.fd >= 0)
            ::close(folder.fd);
    }
}

int LocalDestination::FolderFd(int handle) {
    Folder& wanted = m_folders[static_cast<std::size_t>(handle)];
    wanted.used = ++m_clock;
    if (wanted.fd >= 0)
        return wanted.fd;
    // The folders from the nearest one held open down to the one wanted, opened in turn.
    std::vector<int> chain{handle};
    while (m_folders[static_cast<std::size_t>(chain.back())].fd < 0)
        chain.push_back(m_folders[static_cast<std::size_t>(chain.back())].parent);
    for (std::size_t i = chain.size() - 1; i > 0; --i) {
        const int parentFd = m_folders[static_cast<std::size_t>(chain[i])].fd;
        const Folder& child = m_folders[static_cast<std::size_t>(chain[i - 1])];
        const int fd = ::openat(parentFd, child.name.c_str(), kFolderFlags);
        if (fd < 0)
            return -1;
        Hold(chain[i - 1], fd);
    }
    return wanted.fd;
}

// Keeps `fd` for the folder, letting go of the one used longest ago when too many are held;
// never the folder's parent, which the caller may still be using.
void LocalDestination::Hold(int handle, int fd) {
    Folder& folder = m_folders[static_cast<std::size_t>(handle)];
    folder.fd = fd;
    folder.used = ++m_clock;
    if (m_open.size() + 1 >= kMaxOpenFolders) {
        const auto oldest = std::min_element(m_open.begin(), m_open.end(), [&](int a, int b) {
            const bool aParent = a == folder.parent;
            const bool bParent = b == folder.parent;
            if (aParent != bParent)
                return bParent; // the parent sorts last
            return m_folders[static_cast<std::size_t>(a)].used <
                   m_folders[static_cast<std::size_t>(b)].used;
        });
        LetGo(*oldest);
    }
    m_open.push_back(handle);
}

void LocalDestination::LetGo(int handle) {
    Folder& folder = m_folders[static_cast<std::size_t>(handle)];
    if (handle == 0 || folder.fd < 0)
        return;
    ::close(folder.fd);
    folder.fd = -1;
    m_open.erase(std::find(m_open.begin(), m_open.end(), handle));
}

MadeItem LocalDestination::MakeFolder(int parent, const std::string& name) {
    MadeItem made;
    const int parentFd = FolderFd(parent);
    if (parentFd < 0) {
        made.error = errno;
        return made;
    }
    int fd = -1;
    const UniqueNames::Outcome outcome = m_names.Find(parent, name, [&](const std::string& tried) {
        if (::mkdirat(parentFd, tried.c_str(), 0755) != 0)
            return errno;
        fd = ::openat(parentFd, tried.c_str(), kFolderFlags);
        return fd < 0 ? errno : 0;
    });
    made.name = outcome.name;
    made.error = outcome.error;
    if (made.error != 0)
        return made;
    m_folders.push_back({parent, made.name, -1, 0});
    made.handle = static_cast<int>(m_folders.size() - 1);
    Hold(made.handle, fd);
    return made;
}

void LocalDestination::FinishFolder(int folder, const ItemTimes& times) {
    if (m_waiting.empty())
        GiveFolderTimes(folder, times);
    else // a file of it taken back would change its time
        m_finishing.emplace_back(folder, times);
}

void LocalDestination::GiveFolderTimes(int folder, const ItemTimes& times) {
    const int fd = FolderFd(folder);
    if (fd >= 0)
        ::futimens(fd, TimeStamps(times).data());
    LetGo(folder);
    m_names.Forget(folder);
    if (folder != 0)
        std::string().swap(m_folders[static_cast<std::size_t>(folder)].name);
}

MadeItem LocalDestination::MakeSymlink(int parent, const std::string& name,
                                       const std::string& target, const ItemTimes& times) {
    MadeItem made;
    const int parentFd = FolderFd(parent);
    if (parentFd < 0) {
        made.error = errno;
        return made;
    }
    const UniqueNames::Outcome outcome = m_names.Find(parent, name, [&](const std::string& tried) {
        return ::symlinkat(target.c_str(), parentFd, tried.c_str()) == 0 ? 0 : errno;
    });
    made.name = outcome.name;
    made.error = outcome.error;
    if (made.error == 0)
        ::utimensat(parentFd, made.name.c_str(), TimeStamps(times).data(), AT_SYMLINK_NOFOLLOW);
    return made;
}

std::unique_ptr<SaveFile> LocalDestination::MakeFile(int parent, const std::string& name,
                                                     MadeItem& made) {
    made = {};
    const int parentFd = FolderFd(parent);
    if (parentFd < 0) {
        made.error = errno;
        return nullptr;
    }
    const UniqueNames::Outcome outcome = m_names.Find(parent, name, [&](const std::string& tried) {
        made.handle = ::openat(parentFd, tried.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        return made.handle < 0 ? errno : 0;
    });
    made.name = outcome.name;
    made.error = outcome.error;
    if (made.error != 0)
        return nullptr;
    return std::make_unique<LocalFile>(*this, parent, made.name, made.handle);
}

int LocalDestination::RemoveFile(int parent, const std::string& name) {
    const int parentFd = FolderFd(parent);
    if (parentFd < 0)
        return errno;
    return ::unlinkat(parentFd, name.c_str(), 0) == 0 ? 0 : errno;
}

void LocalDestination::WriteLater(WriteJob job, int parent, std::string name, SaveFile::Done done) {
    if (!m_behind)
        m_behind = std::make_unique<WriteBehind>();
    m_behind->Submit(std::move(job));
    m_waiting.push_back({parent, std::move(name), std::move(done)});
    if (m_waiting.size() >= kMaxWaiting || m_behind->Failed())
        Flush();
}

void LocalDestination::Flush() {
    if (m_waiting.empty())
        return;
    const std::vector<WriteJob> jobs = m_behind->Drain();
    std::vector<Waiting> waiting = std::exchange(m_waiting, {});
    for (std::size_t i = 0; i < waiting.size(); ++i) {
        const int error = i < jobs.size() ? jobs[i].error : EIO;
        if (error != 0)
            RemoveFile(waiting[i].parent, waiting[i].name);
        waiting[i].done(error, {});
    }
    for (const auto& [folder, times] : std::exchange(m_finishing, {}))
        GiveFolderTimes(folder, times);
}

void LocalDestination::MakeExecutable(const std::string& name) {
    ::fchmodat(m_folders[0].fd, name.c_str(), 0755, 0);
}

} // namespace twl
