#pragma once

// Saving into a folder of a local disk. Everything is made relative to open folder
// descriptors with O_NOFOLLOW and O_EXCL, so no name can lead outside the folder and no link
// already in it is ever followed.

#include "core/Status.h"
#include "recover/SaveDestination.h"

#include <map>
#include <string>

namespace twl {

class LocalDestination final : public SaveDestination {
public:
    // Opens `folder`, making it when it does not exist (its parent must).
    static std::unique_ptr<LocalDestination> Open(const std::string& folder, Status& status);
    ~LocalDestination() override;

    int Root() const override { return m_root; }
    MadeItem MakeFolder(int parent, const std::string& name) override;
    void FinishFolder(int folder, const ItemTimes& times) override;
    MadeItem MakeSymlink(int parent, const std::string& name, const std::string& target,
                         const ItemTimes& times) override;
    std::unique_ptr<SaveFile> MakeFile(int parent, const std::string& name,
                                       MadeItem& made) override;

protected:
    void MakeExecutable(const std::string& name) override;

private:
    explicit LocalDestination(int root) : m_root(root) {}
    int m_root;
};

} // namespace twl
