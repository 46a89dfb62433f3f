#pragma once

// Finding the volumes of the source a page has chosen, by the page's processing mode: the
// partition tables, the superblock sweep, or the tables and then the sweep when they hold no
// Linux volume.

#include "app/Prompter.h"
#include "session/RecoverySession.h"

#include <QStringList>

class QWidget;

namespace twl::gui {

enum class Discovery {
    kTables,   // the partition tables list a Linux volume
    kSweep,    // the sweep ran and ended: what it found is listed
    kNotFound, // nothing to go on with; the user was told why
};

// The table walk's notes as sentences for the user, one per fault it met.
QStringList WalkSentences(const WalkReport& walk);

// Runs the discovery on the session's current source for `mode`, which becomes the session's
// mode. Every box goes through `prompter`.
Discovery DiscoverVolumes(QWidget* page, Prompter& prompter, RecoverySession& session,
                          ProcessingMode mode);

} // namespace twl::gui
