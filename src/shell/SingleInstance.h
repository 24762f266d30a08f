#pragma once
// Only one Tarn_B runs on an installation at a time. The lock is a file in the installation's Current
// folder, so it belongs to the data root: two installations run side by side, while two users or two
// sessions on the same installation (one database) cannot. A lock left by a process that died is taken
// over.
#include "common/DataRoot.h"

#include <QLockFile>
#include <QString>
#include <memory>

namespace tarn::shell {

class SingleInstance {
public:
    explicit SingleInstance(const DataRoot& root);
    // False when another instance holds the lock (or the lock file cannot be made).
    bool acquire();
    QString lockPath() const { return path_; }
    // Why acquire() said no, in the installation's language: one line for stderr.
    QString refusal(int languageIndex) const;

private:
    QString root_;
    QString path_;
    std::unique_ptr<QLockFile> lock_;
};

} // namespace tarn::shell
