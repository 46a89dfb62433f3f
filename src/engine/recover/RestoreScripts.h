#pragma once

// The restore scripts written beside saved files: POSIX shell scripts that give every saved
// item its permission bits (chmod) or its owner (chown uid:gid). Each runs from its own
// folder, writes every path so that no byte of a name can end a line or a word (comments
// included), changes items inside before the folders holding them, never
// follows a link, and can be run again with the same result. Devices, FIFOs and sockets,
// which the save does not create, are listed in both as comments with what mknod would need.

#include "ext2/Catalog.h"

#include <string>
#include <utility>
#include <vector>

namespace twl {

// What kind of item a node is: its entry type, or its mode's when the type is unknown.
std::uint8_t ItemType(const CatalogNode& node);

// "character device", "block device", "FIFO", "socket" for a node of type 3 to 6.
std::string SpecialKind(const CatalogNode& node);

class RestoreScripts {
public:
    // `path` is the item's path from the destination's top folder ("./a/b").
    void Add(const std::string& path, const CatalogNode& node, bool folder);
    void AddLink(const std::string& path, const CatalogNode& node);
    void AddSpecial(const std::string& path, const CatalogNode& node,
                    std::pair<unsigned, unsigned> numbers);

    std::string PermissionScript() const;
    std::string OwnershipScript() const;

private:
    enum class Kind { kFile, kFolder, kLink, kSpecial };
    struct Item {
        std::string path;
        Kind kind;
        std::uint16_t mode;
        std::uint16_t uid;
        std::uint16_t gid;
        std::string special; // mknod's words for a special file
        std::string what;    // and what kind it is
    };
    std::string Script(const char* purpose, bool owners) const;

    std::vector<Item> m_items; // in the order saved: folders before their contents
};

} // namespace twl
