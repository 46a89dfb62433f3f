#pragma once

// The volume page's rows and opening one of them: the row's entry taken from the session's
// lists as its processing mode says, the source checked against a loaded scan information
// file, and the open volume replaced only when the open succeeded, so a failed open leaves
// the previous volume as it was.

#include "ext2/VolumeOpen.h"
#include "session/RecoverySession.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace twl {

// Whether the volume page lists the partition list (the table mode, or auto with a partition
// list) rather than the found-volume list.
bool ListsPartitions(const RecoverySession& session);

// Rows of the volume page, 0-based, for the session's processing mode: the Linux entries with
// a non-zero size of the partition list (or of the found-volume list on the scan path).
std::size_t ListedVolumeCount(const RecoverySession& session);

// One row of the volume page: where the volume lies and its label.
struct ListedVolume {
    SectorNo start = 0;
    SectorCount size = 0;
    std::string label; // the volume name, as stored (any bytes)
};
std::vector<ListedVolume> ListedVolumes(const RecoverySession& session);

// What the listing says of a listed volume besides its place: the UnreadableVolumeNote of
// the superblock at its start + 2, when that passes the field test; "" otherwise.
std::string ListedVolumeNote(RecoverySession& session, const ListedVolume& volume);

// One sentence for each thing the last partition-table walk met that a user should know:
// a missing signature, a damaged GUID partition table, entries not followed.
std::vector<std::string> TableWalkNotes(const WalkReport& walk);

// False when a scan information file was loaded and the source's fingerprint sector no longer
// holds what the file recorded (an unreadable one does not count against it); true otherwise.
// Nothing that reads the volume by the loaded catalogue may run when it is false.
bool SourceMatchesLoadedScanInfo(RecoverySession& session);

// Opens listed row `row`. `searchForBackup` is asked when the primary superblock is damaged
// and answers whether to search the volume for a backup. A volume whose superblock passes the
// field test but names incompatible features the engine cannot read is not opened
// (kUnreadableFeatures). When `text` is given it receives what a front end shows: on failure
// the outcome's text (with the features named), after kOpened the read-only features note.
OpenOutcome OpenListedVolume(RecoverySession& session, std::size_t row,
                             const std::function<bool()>& searchForBackup,
                             std::string* text = nullptr);

} // namespace twl
