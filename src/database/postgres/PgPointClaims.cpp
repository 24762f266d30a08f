#include "database/postgres/PgPointClaims.h"

#include "database/postgres/PgStorage.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace tarn::database::postgres {

PgPointClaims::PgPointClaims(std::unique_ptr<PgConnection> connection, QString claimer, int leaseSeconds)
    : connection_(std::move(connection)), claimer_(std::move(claimer)), leaseSeconds_(qMax(0, leaseSeconds)) {
}

std::unique_ptr<PgPointClaims> PgPointClaims::open(const DatabaseUrl& url, Error* error) {
    auto connection = PgConnection::open(url, error);
    if (!connection) return nullptr;
    return std::make_unique<PgPointClaims>(std::move(connection), defaultClaimer(), claimLeaseSeconds());
}

ClaimAnswer PgPointClaims::claim(const QString& point, const QString& window) {
    QSqlDatabase db = connection_->database();
    if (!db.transaction()) {
        failure_ = pgError(db.lastError());
        return {ClaimAnswer::Outcome::Failed, {}, failure_.detail};
    }
    ClaimAnswer answer = claimInTransaction(point, window);
    if (answer.outcome == ClaimAnswer::Outcome::Failed) {
        db.rollback();
        return answer;
    }
    if (!db.commit()) {
        failure_ = pgError(db.lastError());
        db.rollback();
        return {ClaimAnswer::Outcome::Failed, {}, failure_.detail};
    }
    return answer;
}

ClaimAnswer PgPointClaims::claimInTransaction(const QString& point, const QString& window) {
    QSqlDatabase db = connection_->database();
    const auto failed = [this](const QSqlQuery& q) {
        failure_ = pgError(q.lastError());
        return ClaimAnswer{ClaimAnswer::Outcome::Failed, {}, failure_.detail};
    };
    QSqlQuery q(db);
    // A row another poller is claiming at this moment is skipped, not waited for: that poller has it.
    q.prepare(QStringLiteral("SELECT claimer, lease_until > now(), polled_window, polled_by FROM claims "
                             "WHERE point = ? FOR UPDATE SKIP LOCKED"));
    q.addBindValue(point);
    if (!q.exec()) return failed(q);
    if (q.next()) {
        const QString holder = q.value(0).toString();
        const bool live = q.value(1).toBool();
        if (!holder.isEmpty() && holder != claimer_ && live) return {ClaimAnswer::Outcome::Held, holder, {}};
        if (!window.isEmpty() && q.value(2).toString() == window)
            return {ClaimAnswer::Outcome::PolledInWindow, q.value(3).toString(), {}};
        QSqlQuery take(db);
        take.prepare(QStringLiteral("UPDATE claims SET claimer = ?, lease_until = now() + make_interval(secs "
                                    "=> ?) WHERE point = ?"));
        take.addBindValue(claimer_);
        take.addBindValue(leaseSeconds_);
        take.addBindValue(point);
        if (!take.exec()) return failed(take);
        return {};
    }
    // No row we could lock: either the point was never claimed, or another poller has its row locked.
    // The insert tells them apart without waiting on the row lock (a conflict with a committed row does
    // nothing).
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO claims (point, claimer, lease_until) VALUES (?, ?, now() + "
                                  "make_interval(secs => ?)) ON CONFLICT (point) DO NOTHING"));
    insert.addBindValue(point);
    insert.addBindValue(claimer_);
    insert.addBindValue(leaseSeconds_);
    if (!insert.exec()) return failed(insert);
    if (insert.numRowsAffected() == 1) return {};
    // The holder as last committed: the claim in progress may still name someone else, but a name is
    // only for the console line.
    QSqlQuery holder(db);
    holder.prepare(QStringLiteral("SELECT claimer FROM claims WHERE point = ?"));
    holder.addBindValue(point);
    if (!holder.exec()) return failed(holder);
    const QString name = holder.next() ? holder.value(0).toString() : QString();
    return {ClaimAnswer::Outcome::Held, name, {}};
}

bool PgPointClaims::updateOwnClaim(const QString& sql, QVariantList values, const QString& point) {
    QSqlQuery q(connection_->database());
    q.prepare(sql);
    values << point << claimer_;
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec()) {
        failure_ = pgError(q.lastError());
        return false;
    }
    if (q.numRowsAffected() == 1) return true;
    failure_ =
        Error(ErrorKind::Locked, QStringLiteral("point %1 is no longer claimed by %2").arg(point, claimer_));
    return false;
}

bool PgPointClaims::renew(const QString& point) {
    // Renewed even when the lease has just run out, as long as nobody took the point meanwhile.
    return updateOwnClaim(QStringLiteral("UPDATE claims SET lease_until = now() + make_interval(secs => ?) "
                                         "WHERE point = ? AND claimer = ?"),
                          {leaseSeconds_}, point);
}

bool PgPointClaims::finish(const QString& point, const QString& window) {
    if (window.isEmpty())
        return updateOwnClaim(QStringLiteral("UPDATE claims SET claimer = '', lease_until = now() "
                                             "WHERE point = ? AND claimer = ?"),
                              {}, point);
    return updateOwnClaim(QStringLiteral("UPDATE claims SET claimer = '', lease_until = now(), "
                                         "polled_window = ?, polled_by = ?, polled_at = now() "
                                         "WHERE point = ? AND claimer = ?"),
                          {window, claimer_}, point);
}

void PgPointClaims::release(const QString& point) {
    updateOwnClaim(QStringLiteral("UPDATE claims SET claimer = '', lease_until = now() "
                                  "WHERE point = ? AND claimer = ?"),
                   {}, point);
}

QString PgPointClaims::holder(const QString& point) {
    // Without a lock: a claim being taken right now shows once it has committed, which for a menu opened
    // by hand is soon enough.
    QSqlQuery q(connection_->database());
    q.prepare(QStringLiteral("SELECT claimer FROM claims WHERE point = ? AND claimer <> '' AND claimer <> ? "
                             "AND lease_until > now()"));
    q.addBindValue(point);
    q.addBindValue(claimer_);
    if (!q.exec()) {
        failure_ = pgError(q.lastError());
        return {};
    }
    return q.next() ? q.value(0).toString() : QString();
}

QHash<QString, QString> PgPointClaims::heldByOthers() {
    // One statement for the whole list, without a lock, as holder() asks for one point.
    QSqlQuery q(connection_->database());
    q.prepare(QStringLiteral("SELECT point, claimer FROM claims WHERE claimer <> '' AND claimer <> ? "
                             "AND lease_until > now()"));
    q.addBindValue(claimer_);
    QHash<QString, QString> held;
    if (!q.exec()) {
        failure_ = pgError(q.lastError());
        return held;
    }
    while (q.next())
        held.insert(q.value(0).toString(), q.value(1).toString());
    return held;
}

} // namespace tarn::database::postgres
