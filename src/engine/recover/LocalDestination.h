#pragma once

// Saving into a folder of a local disk. Everything is made relative to open folder
// descriptors with O_NOFOLLOW and O_EXCL, so no name can lead outside the folder and no link
// already in it is ever followed. Only a bounded number of folders are held open at a time:
// a folder let go is opened again from its nearest open ancestor, one name at a time, so
// folders nested thousands deep save without running out of descriptors.

#include "core/Status.h"
#include "recover/SaveDestination.h"
#include "recover/UniqueName.h"
#include "recover/WriteBehind.h"

#include <string>
#include <vector>

namespace twl {

class LocalDestination final : public SaveDestination {
public:
    // Opens `folder`, making it when it does not exist (its parent must).
    static std::unique_ptr<LocalDestination> Open(const std::string& folder, Status& status);
    ~LocalDestination() override;

    int Root() const override { return 0; }
    MadeItem MakeFolder(int parent, const std::string& name) override;
    void FinishFolder(int folder, const ItemTimes& times) override;
    MadeItem MakeSymlink(int parent, const std::string& name, const std::string& target,
                         const ItemTimes& times) override;
    std::unique_ptr<SaveFile> MakeFile(int parent, const std::string& name,
                                       MadeItem& made) override;

    // Removes file `name` of folder `parent` (a file that could not be written whole).
    int RemoveFile(int parent, const std::string& name);
    // Leaves file `name` of folder `parent` to the second thread; how it came out reaches
    // `done` at the next Flush.
    void WriteLater(WriteJob job, int parent, std::string name, SaveFile::Done done);
    void Flush() override;

    // Files left to the second thread are reported at least this often, and at once after one
    // failed.
    static constexpr std::size_t kMaxWaiting = 256;

    // Folders held open at most, the top folder included.
    static constexpr std::size_t kMaxOpenFolders = 32;

protected:
    void MakeExecutable(const std::string& name) override;

private:
    struct Folder {
        int parent = -1;
        std::string name; // in its parent, as made
        int fd = -1;      // -1 while not held open
        std::uint64_t used = 0;
    };

    explicit LocalDestination(int root);
    // A descriptor of the folder, valid until the next call; -1 with errno when it cannot be
    // opened again.
    int FolderFd(int handle);
    void Hold(int handle, int fd);
    void LetGo(int handle);
    // Gives a folder whose files are all written its times, and lets it go.
    void GiveFolderTimes(int folder, const ItemTimes& times);

    struct Waiting {
        int parent;
        std::string name;
        SaveFile::Done done;
    };

    std::vector<Folder> m_folders; // by handle; 0 is the top folder, always open
    std::vector<int> m_open;       // handles held open, the top folder not counted
    std::uint64_t m_clock = 0;
    UniqueNames m_names;
    std::vector<Waiting> m_waiting; // files left to m_behind, in the order given
    // Folders finished while files of theirs were waiting: given their times at Flush.
    std::vector<std::pair<int, ItemTimes>> m_finishing;
    std::unique_ptr<WriteBehind> m_behind; // made when a file is first left to it
};

} // namespace twl
