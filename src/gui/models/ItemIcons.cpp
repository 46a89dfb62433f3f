#include "models/ItemIcons.h"

namespace twl::gui {
namespace {

// The kind of an item from its directory-entry type, or from the file type bits of its mode
// when the entry carried none.
enum class Kind { kFile, kFolder, kSymlink, kDevice, kFifo, kSocket };

Kind KindOf(const CatalogNode& node) {
    switch (node.type) {
    case kTypeFile:
        return Kind::kFile;
    case kTypeFolder:
        return Kind::kFolder;
    case 3: // character device
    case 4: // block device
        return Kind::kDevice;
    case 5:
        return Kind::kFifo;
    case 6:
        return Kind::kSocket;
    case kTypeSymlink:
        return Kind::kSymlink;
    default:
        break;
    }
    switch (node.mode >> 12) {
    case 0x4:
        return Kind::kFolder;
    case 0xA:
        return Kind::kSymlink;
    case 0x2:
    case 0x6:
        return Kind::kDevice;
    case 0x1:
        return Kind::kFifo;
    case 0xC:
        return Kind::kSocket;
    default:
        return Kind::kFile;
    }
}

QString IconName(Kind kind, NodeOrigin origin) {
    switch (kind) {
    case Kind::kFolder:
        return origin == NodeOrigin::kTree ? "folder" : "folder-lost";
    case Kind::kSymlink:
        return "symlink";
    case Kind::kDevice:
        return "device";
    case Kind::kFifo:
        return "fifo";
    case Kind::kSocket:
        return "socket";
    case Kind::kFile:
        break;
    }
    return origin == NodeOrigin::kDeleted || origin == NodeOrigin::kJournal ? "file-deleted"
           : origin == NodeOrigin::kLost                                    ? "file-lost"
                                                                            : "file";
}

} // namespace

QIcon NamedIcon(const QString& name) {
    return QIcon(":/icons/" + name + ".svg");
}

const QIcon& ItemIcons::Cached(const QString& name) {
    auto it = m_icons.find(name);
    if (it == m_icons.end())
        it = m_icons.emplace(name, NamedIcon(name)).first;
    return it->second;
}

const QIcon& ItemIcons::Folder(NodeOrigin origin) {
    if (origin != NodeOrigin::kTree)
        return Cached("folder-lost");
    auto it = m_icons.find("folder-tree");
    if (it == m_icons.end()) {
        QIcon icon = NamedIcon("folder");
        for (const int size : {16, 22, 32, 48})
            icon.addFile(":/icons/folder-open.svg", QSize(size, size), QIcon::Selected);
        it = m_icons.emplace("folder-tree", icon).first;
    }
    return it->second;
}

const QIcon& ItemIcons::Item(const CatalogNode& node, NodeOrigin origin) {
    // A deleted file given back its place in the tree is still drawn as deleted.
    if ((node.flags & kNodeDeleted) != 0)
        origin = NodeOrigin::kDeleted;
    return Cached(IconName(KindOf(node), origin));
}

} // namespace twl::gui
