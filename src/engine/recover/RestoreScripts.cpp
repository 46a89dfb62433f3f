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

void RestoreScripts::Add(const std::string& path, const CatalogNode& node, bool folder) {
    m_items.push_back(
        {path, folder ? Kind::kFolder : Kind::kFile, node.mode, node.uid, node.gid, {}, {}});
}

void RestoreScripts::AddLink(const std::string& path, const CatalogNode& node) {
    m_items.push_back({path, Kind::kLink, node.mode, node.uid, node.gid, {}, {}});
}

void RestoreScripts::AddSpecial(const std::string& path, const CatalogNode& node,
                                std::pair<unsigned, unsigned> numbers) {
    const std::uint8_t type = ItemType(node);
    std::string words = type == 3 ? "c " : type == 4 ? "b " : type == 5 ? "p" : "";
    if (type == 3 || type == 4)
        words += std::to_string(numbers.first) + " " + std::to_string(numbers.second);
    m_items.push_back(
        {path, Kind::kSpecial, node.mode, node.uid, node.gid, words, SpecialKind(node)});
}

std::string RestoreScripts::Script(const char* purpose, bool owners) const {
    std::string text = "#!/bin/sh\n# ";
    text += purpose;
    text += "\n# Written by Tarnwell Linux Data Recovery; safe to run more than once.\n"
            "cd -- \"$(dirname -- \"$0\")\" || exit 1\n";
    // Contents before the folders holding them, so that a folder closed to its owner does
    // not stop the items inside from being changed.
    for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) {
        const Item& item = *it;
        char head[32];
        if (item.kind == Kind::kSpecial) {
            // A comment all the same: the name is escaped so that no byte of it ends the line.
            const std::string word = ShellCommentWord(item.path);
            text += "# not saved: " + item.what + " " + word;
            text += item.special.empty() ? "\n" : " (mknod " + word + " " + item.special + ")\n";
            continue;
        }
        if (owners) {
            std::snprintf(head, sizeof head, "chown -h %u:%u --", item.uid, item.gid);
            text += ShellCommand(head, item.path) + "\n";
        } else if (item.kind != Kind::kLink) { // chmod would follow a link to its target
            std::snprintf(head, sizeof head, "chmod %04o --", item.mode & 07777u);
            text += ShellCommand(head, item.path) + "\n";
        }
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
