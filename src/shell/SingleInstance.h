#pragma once
// Only one Tarn_B runs at a time. The named lock lives in the runtime folder (XDG_RUNTIME_DIR, else the
// temporary folder); a lock left by a process that died is taken over.
#include <QLockFile>
#include <QString>
#include <memory>

namespace tarn::shell {

class SingleInstance {
public:
    explicit SingleInstance(const QString& name);
    // False when another instance holds the lock.
    bool acquire();
    QString lockPath() const { return path_; }

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
};

} // namespace tarn::shell
