#pragma once
// Who polls which point now, when several pollers share one database. Before a group or schedule run
// dials a point it claims it; the claim is a lease the poller renews while the point is in hand, so a
// poller that dies frees its points when the lease runs out. Finishing a point records that it was polled
// in its polling window, so another poller does not poll it again in that window.
//
// An installation on table files has one poller, which LocalPointClaims always grants; a server database
// has postgres::PgPointClaims.
#include <QHash>
#include <QProcessEnvironment>
#include <QString>

namespace tarn::database {

struct ClaimAnswer {
    enum class Outcome {
        Granted,
        Held,           // another poller holds the point now (holder: which)
        PolledInWindow, // the point was polled in this window already (holder: by which poller)
        Failed,         // the claims could not be asked (error: why); the point is not polled
    };
    Outcome outcome = Outcome::Granted;
    QString holder;
    QString error;
    bool granted() const { return outcome == Outcome::Granted; }
};

class PointClaims {
public:
    virtual ~PointClaims() = default;
    // This poller's name, as other pollers see it as a holder.
    virtual QString claimer() const = 0;
    // How long a claim lasts without a renewal; the run renews well before.
    virtual int leaseSeconds() const = 0;
    // window names the polling window the point is polled for (the day, the group and its hours); empty
    // when the poll belongs to no window (a group started by hand, a retry of failed points): then only a
    // live claim of another poller stands in the way.
    virtual ClaimAnswer claim(const QString& point, const QString& window) = 0;
    // The lease extended; false when this poller no longer holds the point (its lease ran out and
    // another took it) or the claims could not be reached.
    virtual bool renew(const QString& point) = 0;
    // The point polled and stored: the claim ends and, with a window, the point counts as polled in it.
    // Called after the store has committed, so a poller killed between the two at most polls the point
    // again, and the store keeps a record once however often it is written.
    virtual bool finish(const QString& point, const QString& window) = 0;
    // The claim ends without the point counting as polled (a stopped run, our own modem lost).
    virtual void release(const QString& point) = 0;
    // Another poller's live claim of the point: its name; empty when nobody else holds it (or the claims
    // could not be asked: a workstation's menu is no place to refuse on a guess; the claim at the start
    // of a poll decides). Asks, takes nothing.
    virtual QString holder(const QString& point) = 0;
    // Every point another poller holds now (point → holder), asked at once for a list of points: the
    // console marks them. Empty when nobody else holds any, or when the claims could not be asked (the
    // marks are a hint; the claim at the start of a poll decides).
    virtual QHash<QString, QString> heldByOthers() { return {}; }
};

// The single poller of a files installation: every claim granted, nothing kept.
class LocalPointClaims final : public PointClaims {
public:
    QString claimer() const override { return claimer_; }
    int leaseSeconds() const override { return kDefaultLeaseSeconds; }
    ClaimAnswer claim(const QString&, const QString&) override { return {}; }
    bool renew(const QString&) override { return true; }
    bool finish(const QString&, const QString&) override { return true; }
    void release(const QString&) override {}
    QString holder(const QString&) override { return {}; }

    // A few minutes: long enough that a slow telephone call is renewed many times over before it could
    // run out, short enough that the points of a poller that died are polled again within the window.
    static constexpr int kDefaultLeaseSeconds = 300;

private:
    QString claimer_ = QStringLiteral("local");
};

// This process as a claimer: the host's name and the process id, so a console line names the machine
// that holds a point.
QString defaultClaimer();

// The lease in seconds: TARN_CLAIM_LEASE_SECONDS (a positive whole number; tests shorten it) else the
// default.
int claimLeaseSeconds(const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());

} // namespace tarn::database
