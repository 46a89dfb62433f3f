#include "app/SingleInstance.h"

#include <QDir>
#include <QStandardPaths>
#include <unistd.h>

namespace twl::gui {
namespace {

constexpr char kLockName[] = "GlobalMutexTW-Linux1828gatgw";

} // namespace

QString SingleInstance::DefaultLockPath() {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty() && QDir(runtime).exists())
        return runtime + "/" + kLockName + ".lock";
    return QDir::tempPath() + "/" + kLockName + "-" + QString::number(::getuid()) + ".lock";
}

SingleInstance::SingleInstance(const QString& lockPath) : m_lock(lockPath) {
    // A lock is stale only when the process it names is gone, however old it is.
    m_lock.setStaleLockTime(0);
}

SingleInstance::Outcome SingleInstance::Take() {
    if (m_lock.tryLock(0))
        return Outcome::kTaken;
    return m_lock.error() == QLockFile::LockFailedError ? Outcome::kHeldElsewhere
                                                        : Outcome::kFailed;
}

} // namespace twl::gui
