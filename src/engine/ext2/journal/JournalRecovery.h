#pragma once

// Turbo Scan's journal pass: files a current kernel deleted, found in the journal with their
// names (JournalInodes, JournalNames), put under a container of their own at the places
// they had. A file whose folder still exists goes under a rebuilt copy of that folder's path;
// one whose folder was deleted too goes into that folder, itself brought back; one whose
// name the journal does not hold is listed as "InodeN".

#include "core/StopControl.h"
#include "ext2/Catalog.h"
#include "ext2/VolumeReader.h"
#include "ext2/journal/JournalIndex.h"
#include "ext2/journal/JournalInodes.h"
#include "ext2/journal/JournalNames.h"

#include <cstddef>
#include <functional>
#include <unordered_map>
#include <vector>

namespace twl {

struct JournalFindings {
    std::size_t files = 0;       // regular files and links placed
    std::size_t folders = 0;     // deleted folders brought back
    std::size_t named = 0;       // of both, those with their names
    std::size_t overwritten = 0; // files listed as possibly overwritten
};

class JournalRecovery {
public:
    JournalRecovery(VolumeReader& reader, Catalog& catalog, StopControl& stop);

    // Reads the journal and finds the deleted inodes it holds live versions of, and their
    // names. Returns false when the volume has no journal to read (Report() says why).
    bool Find();
    const JournalReport& Report() const { return m_index.Report(); }
    bool FoundAny() const { return !m_inodes.All().empty(); }

    // Adds what Find found below `container` (a folder whose child list is a lone header).
    JournalFindings Place(NodeId container);

private:
    NodeId FolderFor(InodeNo folder, std::size_t depth);
    NodeId RebuiltLiveFolder(NodeId live);
    NodeId PlaceInode(const JournalInode& found, std::size_t depth);
    NodeId AddFolder(NodeId parent, std::string_view name);
    void Append(NodeId folder, NodeId node);
    void ResolveUnknownFolders();
    void IndexCatalogue();

    VolumeReader& m_reader;
    Catalog& m_catalog;
    StopControl& m_stop;
    JournalIndex m_index;
    JournalInodes m_inodes;
    JournalNames m_names;

    NodeId m_container = kNoNode;
    std::vector<bool> m_known;                         // inodes the catalogue holds
    std::unordered_map<InodeNo, NodeId> m_liveFolders; // folders reached from the root
    std::unordered_map<NodeId, NodeId> m_rebuilt;      // live folder -> its copy in the container
    std::unordered_map<InodeNo, NodeId> m_placed;      // recovered inode -> its node
    std::unordered_map<NodeId, NodeId> m_tails;        // folder -> last node of its list
    JournalFindings m_findings;
};

} // namespace twl
