#pragma once

// The program's pictures: its own icon set, drawn for it and built into the program, so that
// every desktop shows the same consistent family.

#include "ext2/Catalog.h"
#include "ext2/TurboScan.h"

#include <QIcon>
#include <map>

namespace twl::gui {

// The icon named `name` (":/icons/NAME.svg"): commands, log rows, the program itself.
QIcon NamedIcon(const QString& name);

// The pictures of the folder tree and the file list, made once per model.
class ItemIcons {
public:
    // A folder item: closed, and open while it is the selected one; lost folders marked.
    const QIcon& Folder(NodeOrigin origin);
    // A row of the list: folder, file, symbolic link, device, FIFO or socket, with deleted
    // and lost files marked as such.
    const QIcon& Item(const CatalogNode& node, NodeOrigin origin);

private:
    const QIcon& Cached(const QString& name);
    std::map<QString, QIcon> m_icons;
};

} // namespace twl::gui
