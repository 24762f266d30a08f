#pragma once
// The polling groups of an installation whose database is a schema on a server: the Group folder's
// files in the table group_files (name, bytes as the files hold them), every change counted in
// group_files_revision in the same transaction. Workstations and pollers on one schema so read and
// change the same groups, and a console notices a change made anywhere by the count moving.
//
// Threads: a connection belongs to the thread that made it. The group files' own connection answers on
// the thread that opened them (the program's main thread, where the console, the configurator and the
// commands read the groups); a report's work on a background worker gets a short connection for its call.
#include "database/GroupFiles.h"
#include "database/postgres/PgConnection.h"

#include <functional>
#include <memory>
#include <mutex>

class QThread;

namespace tarn::database::postgres {

class PgGroupFiles final : public GroupFiles {
public:
    // connection: one of the group files' own (PgConnection::another, or open for the URL), so that a
    // change's transaction never mixes with a table's.
    explicit PgGroupFiles(std::unique_ptr<PgConnection> connection);
    ~PgGroupFiles() override;
    // The group files of the installation at url on a connection of their own; nothing when the server
    // cannot be reached (error says why).
    static std::unique_ptr<PgGroupFiles> open(const DatabaseUrl& url, Error* error = nullptr);

    std::optional<QByteArray> read(const QString& name, Error& error) const override;
    bool exists(const QString& name) const override;
    Error change(const QList<GroupFileChange>& changes, QString* failedName = nullptr) override;
    // make reads inside the change's transaction, after the change count's row is taken: a change of
    // another workstation under way is waited for, never read half done or written over.
    Error changeFromCurrent(const GroupChangeMaker& make, QString* failedName = nullptr) override;
    // The change count; while the server cannot be asked, the last count seen, so that an outage does
    // not look like every group having gone.
    std::optional<QByteArray> changeMark() const override;
    // "postgresql://…?schema=name: group file 240301120000".
    QString location(const QString& name) const override;
    QList<QString> names(Error& error) const override;

private:
    // work on a connection of the calling thread: the own one on its thread (made again once when the
    // server had ended it), a short one on any other. work answers whether to try again on a new
    // connection (a lost link).
    Error onConnection(const std::function<Error(QSqlDatabase& db)>& work) const;

    mutable std::mutex connectionMutex_;
    mutable std::unique_ptr<PgConnection> connection_;
    const DatabaseUrl url_;
    QThread* const owner_;
    mutable QByteArray lastMark_;
};

} // namespace tarn::database::postgres
