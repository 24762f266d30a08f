#pragma once
// The claims of pollers sharing an installation's schema on a server, in its table claims: one row per
// point ever claimed, with who holds it until when, and the window it was last polled in and by whom.
//
// A claim is taken with SELECT … FOR UPDATE SKIP LOCKED in a short transaction of its own: two pollers
// asking for one point at once never both get it, and a poller whose row is being claimed by another
// moves on at once rather than waiting for that transaction.
//
// The lease runs on the server's clock (now() in the SQL), never on a poller's: the pollers' computers
// may disagree by minutes, and a lease written by one and read by another must mean the same moment to
// both. Tests expire a lease by writing its end into the past, or by a lease of no seconds.
#include "database/PointClaims.h"
#include "database/postgres/PgConnection.h"

#include <memory>

namespace tarn::database::postgres {

class PgPointClaims final : public PointClaims {
public:
    // connection: one of the claims' own (PgConnection::another), so a claim's transaction never mixes
    // with a store's; claimer: this poller's name; leaseSeconds: 0 or more.
    PgPointClaims(std::unique_ptr<PgConnection> connection, QString claimer, int leaseSeconds);
    // The claims of the installation at url, on a connection of their own, as this process (its host
    // and process id) with the lease of the environment; nothing when the server cannot be reached.
    static std::unique_ptr<PgPointClaims> open(const DatabaseUrl& url, Error* error = nullptr);

    QString claimer() const override { return claimer_; }
    int leaseSeconds() const override { return leaseSeconds_; }
    ClaimAnswer claim(const QString& point, const QString& window) override;
    bool renew(const QString& point) override;
    bool finish(const QString& point, const QString& window) override;
    void release(const QString& point) override;
    QString holder(const QString& point) override;
    QHash<QString, QString> heldByOthers() override;

    // Why the last call that failed failed.
    const Error& lastFailure() const { return failure_; }

private:
    ClaimAnswer claimInTransaction(const QString& point, const QString& window);
    // An UPDATE of this poller's own claim of point; false when none was changed or it failed.
    bool updateOwnClaim(const QString& sql, QVariantList values, const QString& point);

    std::unique_ptr<PgConnection> connection_;
    QString claimer_;
    int leaseSeconds_;
    Error failure_;
};

} // namespace tarn::database::postgres
