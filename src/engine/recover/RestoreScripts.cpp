#include "recover/RestoreScripts.h"

#include "ext2/Inode.h"
#include "recover/ShellWords.h"

#include <cstdio>

namespace twl {

std::uint8_t ItemType(const CatalogNode& node) {
    return node.type != kTypeUnknown ? node.type : EntryTypeOfMode(node.mode);
}

std::string SpecialKind(const CatalogNode& node) {
    switch (ItemType(node)) {
    case 3:
        return "character device";
    case 4:
        return "block device";
    case 5:
        return "FIFO";
    case 6:
        return "socket";
    default:
        return "special file";
    }
}

int RestoreScripts::AddFolder(int parent, const std::string& name, const CatalogNode& node,
                              bool restore) {
    m_items.push_back({parent,
                       name,
                       restore ? Kind::kFolder : Kind::kPlace,
                       node.mode,
                       node.uid,
                       node.gid,
                       {},
                       {}});
    const Folder& above = m_folders[static_cast<std::size_t>(parent)];
    m_folders.push_back({parent, above.depth + 1, m_items.size() - 1});
    return static_cast<int>(m_folders.size() - 1);
}

void RestoreScripts::AddFile(int parent, const std::string& name, const CatalogNode& node) {
    m_items.push_back({parent, name, Kind::kFile, node.mode, node.uid, node.gid, {}, {}});
}

void RestoreScripts::AddLink(int parent, const std::string& name, const CatalogNode& node) {
    m_items.push_back({parent, name, Kind::kLink, node.mode, node.uid, node.gid, {}, {}});
}

void RestoreScripts::AddSpecial(int parent, const std::string& name, const CatalogNode& node,
                                std::pair<unsigned, unsigned> numbers) {
    const std::uint8_t type = ItemType(node);
    std::string words = type == 3 ? "c " : type == 4 ? "b " : type == 5 ? "p" : "";
    if (type == 3 || type == 4)
        words += std::to_string(numbers.first) + " " + std::to_string(numbers.second);
    m_items.push_back(
        {parent, name, Kind::kSpecial, node.mode, node.uid, node.gid, words, SpecialKind(node)});
}

// Steps from folder `current` to folder `target`: up with "cd -P ..", down one name at a
// time. -P keeps the shell from building the whole path, which past PATH_MAX cannot be
// entered. A cd that fails ends the script, so that no command is run in the wrong folder.
void RestoreScripts::MoveTo(std::string& text, int& current, int target) const {
    const auto folder = [&](int id) -> const Folder& {
        return m_folders[static_cast<std::size_t>(id)];
    };
    std::vector<int> down;
    int up = current;
    while (folder(up).depth > folder(target).depth) {
        text += "cd -P .. || exit 1\n";
        up = folder(up).parent;
    }
    for (int at = target; at != up;) {
        if (folder(at).depth == folder(up).depth) {
            text += "cd -P .. || exit 1\n";
            up = folder(up).parent;
        }
        down.push_back(at);
        at = folder(at).parent;
    }
    for (auto it = down.rbegin(); it != down.rend(); ++it)
        text += ShellCommand("cd -P --", "./" + m_items[folder(*it).item].name) + " || exit 1\n";
    current = target;
}

void RestoreScripts::AddCommand(std::string& text, const Item& item, bool owners) {
    const std::string path = "./" + item.name;
    char head[32];
    if (item.kind == Kind::kPlace)
        return;
    if (item.kind == Kind::kSpecial) {
        // A comment all the same: the name is escaped so that no byte of it ends the line.
        const std::string word = ShellCommentWord(path);
        text += "# not saved: " + item.what + " " + word;
        text += item.special.empty() ? "\n" : " (mknod " + word + " " + item.special + ")\n";
    } else if (owners) {
        std::snprintf(head, sizeof head, "chown -h %u:%u --", item.uid, item.gid);
        text += ShellCommand(head, path) + "\n";
    } else if (item.kind != Kind::kLink) { // chmod would follow a link to its target
        std::snprintf(head, sizeof head, "chmod %04o --", item.mode & 07777u);
        text += ShellCommand(head, path) + "\n";
    }
}

std::string RestoreScripts::Script(const char* purpose, bool owners) const {
    std::string text = "#!/bin/sh\n# ";
    text += purpose;
    text += "\n# Written by Tarnwell Linux Data Recovery; safe to run more than once.\n"
            "cd -- \"$(dirname -- \"$0\")\" || exit 1\n";
    // Contents before the folders holding them, so that a folder closed to its owner does
    // not stop the items inside from being changed.
    int current = kTop;
    for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) {
        if (it->kind == Kind::kPlace)
            continue;
        MoveTo(text, current, it->folder);
        AddCommand(text, *it, owners);
    }
    return text;
}

std::string RestoreScripts::PermissionScript() const {
    return Script("Gives the saved files and folders their permission bits.", false);
}

std::string RestoreScripts::OwnershipScript() const {
    return Script("Gives the saved files, folders and links their owner and group.", true);
}

} // namespace twl
