#include "shell/SingleInstance.h"

#include <QDir>

namespace tarn::shell {

SingleInstance::SingleInstance(const QString& name) {
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty() || !QDir(dir).exists()) dir = QDir::tempPath();
    path_ = dir + QLatin1Char('/') + name + QStringLiteral(".lock");
}

bool SingleInstance::acquire() {
    lock_ = std::make_unique<QLockFile>(path_);
    lock_->setStaleLockTime(0); // only a dead owner makes a lock stale
    return lock_->tryLock(0);
}

} // namespace tarn::shell
