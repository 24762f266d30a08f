#include "shell/SingleInstance.h"

#include "common/Language.h"

#include <QDir>

namespace tarn::shell {

SingleInstance::SingleInstance(const DataRoot& root)
    : root_(QDir::toNativeSeparators(root.root())),
      path_(root.file(folder::Current, QStringLiteral("Tarn_B.lock"))) {}

bool SingleInstance::acquire() {
    lock_ = std::make_unique<QLockFile>(path_);
    lock_->setStaleLockTime(0); // only a dead owner makes a lock stale
    return lock_->tryLock(0);
}

QString SingleInstance::refusal(int languageIndex) const {
    if (lock_ && lock_->error() != QLockFile::LockFailedError)
        return uaRu(languageIndex, "Tarn_B: не вдалося створити файл блокування ",
                    "Tarn_B: не удалось создать файл блокировки ") +
               QDir::toNativeSeparators(path_) +
               uaRu(languageIndex, "; програму завершено.", "; программа завершена.");
    qint64 pid = 0;
    QString host, application;
    const bool known = lock_ && lock_->getLockInfo(&pid, &host, &application);
    const QString holder =
        known ? uaRu(languageIndex, ", процес ", ", процесс ") + QString::number(pid) : QString();
    return uaRu(languageIndex, "Tarn_B вже працює з установкою ", "Tarn_B уже работает с установкой ") +
           root_ + holder + uaRu(languageIndex, "; другий запуск завершено.", "; второй запуск завершен.");
}

} // namespace tarn::shell
