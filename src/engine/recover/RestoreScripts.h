#pragma once

// The restore scripts written beside saved files: POSIX shell scripts that give every saved
// item its permission bits (chmod) or its owner (chown uid:gid). Each runs from its own
// folder, writes every name so that no byte of it can end a line or a word (comments
// included), changes items inside before the folders holding them, never follows a link,
// and can be run again with the same result. Devices, FIFOs and sockets, which the save
// does not create, are listed in both as comments with what mknod would need.
//
// Items are kept by folder and name, and the scripts step from folder to folder with cd, so
// that their size grows with the names, not with the depth of the tree times its size, and
// no command names a path longer than one name.

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
    // The folder the scripts are written in.
    static constexpr int kTop = 0;

    // A folder made as `name` in folder `parent`; returns the folder to add its items to.
    // `restore`: give it its owner and bits (a folder made only to hold marked items is not).
    int AddFolder(int parent, const std::string& name, const CatalogNode& node, bool restore);
    void AddFile(int parent, const std::string& name, const CatalogNode& node);
    void AddLink(int parent, const std::string& name, const CatalogNode& node);
    void AddSpecial(int parent, const std::string& name, const CatalogNode& node,
                    std::pair<unsigned, unsigned> numbers);

    std::string PermissionScript() const;
    std::string OwnershipScript() const;

private:
    // kPlace: a folder made only to hold marked items, stepped through but not changed.
    enum class Kind { kFile, kFolder, kPlace, kLink, kSpecial };
    struct Item {
        int folder; // where the item is
        std::string name;
        Kind kind;
        std::uint16_t mode;
        std::uint16_t uid;
        std::uint16_t gid;
        std::string special; // mknod's words for a special file
        std::string what;    // and what kind it is
    };
    struct Folder {
        int parent;
        std::size_t depth;
        std::size_t item; // the item that names it
    };
    std::string Script(const char* purpose, bool owners) const;
    void MoveTo(std::string& text, int& current, int target) const;
    static void AddCommand(std::string& text, const Item& item, bool owners);

    std::vector<Item> m_items;                 // in the order saved: folders before contents
    std::vector<Folder> m_folders{{-1, 0, 0}}; // kTop first
};

} // namespace twl
