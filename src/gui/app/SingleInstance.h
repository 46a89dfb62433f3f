#pragma once

// One running copy of the program per user: a lock file in the user's runtime folder, held
// for the whole run. A lock left behind by a copy that crashed names a process that is gone,
// and is taken over.

#include <QLockFile>
#include <QString>
#include <memory>

namespace twl::gui {

inline constexpr char kAlreadyRunningText[] =
    "Tarnwell Linux already running.\nPlease close the running instance first.";
inline constexpr char kLoadFailedText[] = "Failed to load Tarnwell Linux";

class SingleInstance {
public:
    enum class Outcome { kTaken, kHeldElsewhere, kFailed };

    // The lock's path: in the user's runtime folder, or (without one) in the temporary folder
    // under a name that carries the user's id.
    static QString DefaultLockPath();

    explicit SingleInstance(const QString& lockPath = DefaultLockPath());

    // Takes the lock, or says why not. Kept until this object goes.
    Outcome Take();

private:
    QLockFile m_lock;
};

} // namespace twl::gui
