// Pollers sharing one schema on the test server, each with its own connection: a point claimed by one
// is refused to the others until its lease runs out or it is finished; a finished point is skipped for
// the rest of its window. The leases run on the server's clock: a test ends one by writing it into the
// past, never by waiting.
#include "PgTestSupport.h"
#include "database/postgres/PgPointClaims.h"

#include <QCoreApplication>
#include <QSet>
#include <array>
#include <thread>

using namespace tarn;
using namespace tarn::database;
using namespace tarn::database::postgres;

namespace {

using Outcome = ClaimAnswer::Outcome;

const QString kWindow = QStringLiteral("2026-12-10 Ніч 08:00-10:00");
const QString kNextWindow = QStringLiteral("2026-12-10 Ніч 10:00-12:00");

class PgClaims : public test::PgTest {
protected:
    void SetUp() override {
        PgTest::SetUp();
        if (IsSkipped()) return;
        url_ = freshSchema();
        Error error;
        first_ = PgConnection::open(url_, &error);
        ASSERT_TRUE(first_) << error.detail.toStdString();
    }

    // A poller of its own, on a connection of its own.
    std::unique_ptr<PgPointClaims> poller(const QString& name, int leaseSeconds = 300) {
        Error error;
        auto connection = first_->another(&error);
        EXPECT_TRUE(connection) << error.detail.toStdString();
        if (!connection) return nullptr;
        return std::make_unique<PgPointClaims>(std::move(connection), name, leaseSeconds);
    }

    // The test's own view of the claims table.
    QString claims() const { return quotedIdentifier(url_.schema) + QStringLiteral(".claims"); }
    void expireLease(const QString& point) {
        QSqlQuery q(admin());
        q.prepare(QStringLiteral("UPDATE ") + claims() +
                  QStringLiteral(" SET lease_until = now() - interval '1 second' WHERE point = ?"));
        q.addBindValue(point);
        ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
    }

    DatabaseUrl url_;
    std::unique_ptr<PgConnection> first_;
};

} // namespace

TEST_F(PgClaims, AClaimedPointIsRefusedToAnotherPollerNamingItsHolder) {
    auto a = poller(QStringLiteral("host-a:11"));
    auto b = poller(QStringLiteral("host-b:22"));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->claim(QStringLiteral("t1"), kWindow).outcome, Outcome::Granted);
    const ClaimAnswer refused = b->claim(QStringLiteral("t1"), kWindow);
    EXPECT_EQ(refused.outcome, Outcome::Held);
    EXPECT_EQ(refused.holder, QStringLiteral("host-a:11"));
    // The holder asking again keeps it; another point is free.
    EXPECT_EQ(a->claim(QStringLiteral("t1"), kWindow).outcome, Outcome::Granted);
    EXPECT_EQ(b->claim(QStringLiteral("t2"), kWindow).outcome, Outcome::Granted);
    // Only the holder renews, finishes or releases a claim.
    EXPECT_FALSE(b->renew(QStringLiteral("t1")));
    EXPECT_FALSE(b->finish(QStringLiteral("t1"), kWindow));
    b->release(QStringLiteral("t1"));
    EXPECT_EQ(
        rows(QStringLiteral("SELECT point, claimer, lease_until > now() + interval '200 seconds' FROM ") +
             claims() + QStringLiteral(" ORDER BY point")),
        (QStringList{QStringLiteral("t1|host-a:11|true"), QStringLiteral("t2|host-b:22|true")}));
}

TEST_F(PgClaims, PollersClaimingOnePointAtOnceNeverBothGetIt) {
    constexpr int kPollers = 4;
    constexpr int kPoints = 20;
    // Every poller asks for every point at once, each in a thread of its own; each point must go to
    // exactly one of them. The first race is over points never claimed (the claims' rows are made by
    // it), the second over the same points given back (the rows are there to lock).
    const auto race = [&](const QString& round) {
        std::array<QStringList, kPollers> granted;
        std::array<QString, kPollers> failures;
        std::vector<std::thread> threads;
        for (int i = 0; i < kPollers; ++i) {
            // Each thread opens its own connection: a driver connection belongs to the thread that made it.
            threads.emplace_back([&, i] {
                Error error;
                auto connection = PgConnection::open(url_, &error);
                if (!connection) {
                    failures[i] = error.detail;
                    return;
                }
                PgPointClaims claims(std::move(connection), QStringLiteral("poller-%1").arg(i), 300);
                for (int p = 0; p < kPoints; ++p) {
                    const QString point = QStringLiteral("t%1").arg(p, 5, 10, QLatin1Char('0'));
                    const ClaimAnswer answer = claims.claim(point, kWindow);
                    if (answer.outcome == Outcome::Failed) failures[i] += answer.error + QLatin1Char('\n');
                    if (answer.granted()) granted[i].append(point);
                }
            });
        }
        for (std::thread& t : threads)
            t.join();
        QSet<QString> all;
        int grants = 0;
        for (int i = 0; i < kPollers; ++i) {
            EXPECT_TRUE(failures[i].isEmpty()) << round.toStdString() << ": " << failures[i].toStdString();
            grants += static_cast<int>(granted[i].size());
            for (const QString& point : granted[i])
                all.insert(point);
        }
        EXPECT_EQ(grants, kPoints) << round.toStdString()
                                   << ": a point was granted to two pollers, or to none";
        EXPECT_EQ(all.size(), kPoints) << round.toStdString();
        // The table says the same: each point held by the poller that was granted it.
        for (int i = 0; i < kPollers; ++i)
            for (const QString& point : granted[i])
                EXPECT_EQ(rows(QStringLiteral("SELECT claimer FROM ") + claims() +
                                   QStringLiteral(" WHERE point = ?"),
                               {point}),
                          QStringList{QStringLiteral("poller-%1").arg(i)})
                    << round.toStdString();
    };
    race(QStringLiteral("new points"));
    QSqlQuery q(admin());
    ASSERT_TRUE(q.exec(QStringLiteral("UPDATE ") + claims() +
                       QStringLiteral(" SET claimer = '', lease_until = now()")))
        << q.lastError().text().toStdString();
    race(QStringLiteral("points given back"));
}

TEST_F(PgClaims, ARowBeingClaimedElsewhereIsSkippedNotWaitedFor) {
    auto a = poller(QStringLiteral("host-a:11"));
    auto b = poller(QStringLiteral("host-b:22"));
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->claim(QStringLiteral("t1"), kWindow).outcome, Outcome::Granted);
    a->release(QStringLiteral("t1"));
    // The test's connection holds the free point's row locked as a claim in progress would. Were the
    // claim to wait for it, the lock timeout would fail it instead of the answer below.
    {
        ASSERT_TRUE(admin().transaction());
        QSqlQuery q(admin());
        ASSERT_TRUE(q.exec(QStringLiteral("SELECT point FROM ") + claims() +
                           QStringLiteral(" WHERE point = 't1' FOR UPDATE")));
    }
    auto c = poller(QStringLiteral("host-c:33"));
    ASSERT_TRUE(c);
    {
        Error error;
        auto connection = first_->another(&error);
        ASSERT_TRUE(connection) << error.detail.toStdString();
        QSqlQuery q(connection->database());
        ASSERT_TRUE(q.exec(QStringLiteral("SET lock_timeout = '5s'")));
        PgPointClaims timed(std::move(connection), QStringLiteral("host-d:44"), 300);
        const ClaimAnswer answer = timed.claim(QStringLiteral("t1"), kWindow);
        EXPECT_EQ(answer.outcome, Outcome::Held) << answer.error.toStdString();
        // Other points are claimed as usual meanwhile.
        EXPECT_EQ(timed.claim(QStringLiteral("t2"), kWindow).outcome, Outcome::Granted);
    }
    ASSERT_TRUE(admin().rollback());
    EXPECT_EQ(c->claim(QStringLiteral("t1"), kWindow).outcome, Outcome::Granted);
}

TEST_F(PgClaims, AnExpiredLeaseIsTakenOverAndItsFormerHolderCannotFinish) {
    auto a = poller(QStringLiteral("host-a:11"));
    auto b = poller(QStringLiteral("host-b:22"));
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->claim(QStringLiteral("t1"), kWindow).outcome, Outcome::Granted);
    EXPECT_EQ(b->claim(QStringLiteral("t1"), kWindow).outcome, Outcome::Held);
    // Poller a died mid-point: nobody renews its lease, which runs out on the server's clock.
    expireLease(QStringLiteral("t1"));
    EXPECT_EQ(b->claim(QStringLiteral("t1"), kWindow).outcome, Outcome::Granted);
    EXPECT_FALSE(a->renew(QStringLiteral("t1")));
    EXPECT_FALSE(a->finish(QStringLiteral("t1"), kWindow));
    EXPECT_EQ(rows(QStringLiteral("SELECT claimer, polled_window FROM ") + claims()),
              QStringList{QStringLiteral("host-b:22|")});

    // A lease of no seconds is over as soon as it is taken.
    auto brief = poller(QStringLiteral("host-c:33"), 0);
    ASSERT_TRUE(brief);
    ASSERT_EQ(brief->claim(QStringLiteral("t2"), kWindow).outcome, Outcome::Granted);
    EXPECT_EQ(a->claim(QStringLiteral("t2"), kWindow).outcome, Outcome::Granted);
}

TEST_F(PgClaims, RenewingKeepsTheLeaseGoingUnlessAnotherTookThePoint) {
    auto a = poller(QStringLiteral("host-a:11"), 120);
    auto b = poller(QStringLiteral("host-b:22"));
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->claim(QStringLiteral("t1"), kWindow).outcome, Outcome::Granted);
    const QString leaseLeft = QStringLiteral("SELECT lease_until - now() > interval '100 seconds' FROM ") +
                              claims() + QStringLiteral(" WHERE point = 't1'");
    EXPECT_EQ(rows(leaseLeft), QStringList{QStringLiteral("true")});
    // Run out but not taken: renewing brings it back.
    expireLease(QStringLiteral("t1"));
    EXPECT_EQ(rows(leaseLeft), QStringList{QStringLiteral("false")});
    EXPECT_TRUE(a->renew(QStringLiteral("t1")));
    EXPECT_EQ(rows(leaseLeft), QStringList{QStringLiteral("true")});
    EXPECT_EQ(b->claim(QStringLiteral("t1"), kWindow).outcome, Outcome::Held);
    // Run out and taken: the renewal is refused and the new holder keeps it.
    expireLease(QStringLiteral("t1"));
    ASSERT_EQ(b->claim(QStringLiteral("t1"), kWindow).outcome, Outcome::Granted);
    EXPECT_FALSE(a->renew(QStringLiteral("t1")));
    EXPECT_EQ(rows(QStringLiteral("SELECT claimer FROM ") + claims()),
              QStringList{QStringLiteral("host-b:22")});
}

TEST_F(PgClaims, AFinishedPointIsSkippedForItsWindowAndPolledInTheNext) {
    auto a = poller(QStringLiteral("host-a:11"));
    auto b = poller(QStringLiteral("host-b:22"));
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->claim(QStringLiteral("t1"), kWindow).outcome, Outcome::Granted);
    ASSERT_TRUE(a->finish(QStringLiteral("t1"), kWindow));
    for (PgPointClaims* claims : {a.get(), b.get()}) {
        const ClaimAnswer again = claims->claim(QStringLiteral("t1"), kWindow);
        EXPECT_EQ(again.outcome, Outcome::PolledInWindow);
        EXPECT_EQ(again.holder, QStringLiteral("host-a:11"));
    }
    // Polling again what failed in the window belongs to no window: only a live claim stops it.
    ASSERT_EQ(b->claim(QStringLiteral("t1"), QString()).outcome, Outcome::Granted);
    EXPECT_EQ(a->claim(QStringLiteral("t1"), kNextWindow).outcome, Outcome::Held);
    ASSERT_TRUE(b->finish(QStringLiteral("t1"), QString()));
    // The retry's finish leaves the window's record as it was.
    EXPECT_EQ(b->claim(QStringLiteral("t1"), kWindow).outcome, Outcome::PolledInWindow);
    const ClaimAnswer next = b->claim(QStringLiteral("t1"), kNextWindow);
    EXPECT_EQ(next.outcome, Outcome::Granted);
    ASSERT_TRUE(b->finish(QStringLiteral("t1"), kNextWindow));
    EXPECT_EQ(rows(QStringLiteral("SELECT claimer, polled_window, polled_by, polled_at IS NOT NULL FROM ") +
                   claims()),
              QStringList{QStringLiteral("|") + kNextWindow + QStringLiteral("|host-b:22|true")});
}

TEST_F(PgClaims, AReleasedPointIsFreeAtOnceAndNotCountedAsPolled) {
    auto a = poller(QStringLiteral("host-a:11"));
    auto b = poller(QStringLiteral("host-b:22"));
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->claim(QStringLiteral("t1"), kWindow).outcome, Outcome::Granted);
    a->release(QStringLiteral("t1"));
    EXPECT_EQ(b->claim(QStringLiteral("t1"), kWindow).outcome, Outcome::Granted);
    EXPECT_EQ(rows(QStringLiteral("SELECT claimer, polled_window FROM ") + claims()),
              QStringList{QStringLiteral("host-b:22|")});
}

TEST_F(PgClaims, OpenedForThisProcessTheyClaimAsItsHostAndProcessWithTheLeaseOfTheEnvironment) {
    Error error;
    auto mine = PgPointClaims::open(url_, &error);
    ASSERT_TRUE(mine) << error.detail.toStdString();
    EXPECT_EQ(mine->claimer(), defaultClaimer());
    EXPECT_TRUE(
        mine->claimer().endsWith(QLatin1Char(':') + QString::number(QCoreApplication::applicationPid())));
    EXPECT_EQ(mine->leaseSeconds(), claimLeaseSeconds());
    ASSERT_EQ(mine->claim(QStringLiteral("t1"), kWindow).outcome, Outcome::Granted);
    auto other = poller(QStringLiteral("host-b:22"));
    ASSERT_TRUE(other);
    EXPECT_EQ(other->claim(QStringLiteral("t1"), kWindow).holder, defaultClaimer());

    QProcessEnvironment env;
    EXPECT_EQ(claimLeaseSeconds(env), 300);
    for (const char* refused : {"0", "-5", "ten", ""}) {
        env.insert(QStringLiteral("TARN_CLAIM_LEASE_SECONDS"), QLatin1String(refused));
        EXPECT_EQ(claimLeaseSeconds(env), 300) << refused;
    }
    env.insert(QStringLiteral("TARN_CLAIM_LEASE_SECONDS"), QStringLiteral("20"));
    EXPECT_EQ(claimLeaseSeconds(env), 20);
}

TEST_F(PgClaims, ALostServerIsAFailedClaimNotAGrant) {
    auto a = poller(QStringLiteral("host-a:11"));
    ASSERT_TRUE(a);
    // The server ends the poller's connection, as a restart of the server would.
    QSqlQuery q(admin());
    q.prepare(
        QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = ? "
                       "AND pid <> pg_backend_pid()"));
    q.addBindValue(QStringLiteral("tarn/") + url_.schema);
    ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
    const ClaimAnswer answer = a->claim(QStringLiteral("t1"), kWindow);
    EXPECT_EQ(answer.outcome, Outcome::Failed);
    EXPECT_FALSE(answer.error.isEmpty());
    EXPECT_FALSE(a->renew(QStringLiteral("t1")));
}

TEST_F(PgClaims, AWorkstationSeesWhoHoldsAPointWithoutTakingIt) {
    auto a = poller(QStringLiteral("host-a:11"));
    auto workstation = poller(QStringLiteral("desk:5"));
    ASSERT_TRUE(a && workstation);
    EXPECT_TRUE(workstation->holder(QStringLiteral("t1")).isEmpty()) << "never claimed";
    ASSERT_EQ(a->claim(QStringLiteral("t1"), kWindow).outcome, Outcome::Granted);
    EXPECT_EQ(workstation->holder(QStringLiteral("t1")), QStringLiteral("host-a:11"));
    EXPECT_TRUE(a->holder(QStringLiteral("t1")).isEmpty()) << "our own claim is nobody else's";
    // Asking took nothing: the holder still renews, the workstation still cannot claim.
    EXPECT_TRUE(a->renew(QStringLiteral("t1")));
    EXPECT_EQ(workstation->claim(QStringLiteral("t1"), {}).outcome, Outcome::Held);

    // A lease run out holds nothing, nor does a finished point (polled in its window, but free to a
    // poll by hand).
    expireLease(QStringLiteral("t1"));
    EXPECT_TRUE(workstation->holder(QStringLiteral("t1")).isEmpty());
    ASSERT_EQ(a->claim(QStringLiteral("t2"), kWindow).outcome, Outcome::Granted);
    ASSERT_TRUE(a->finish(QStringLiteral("t2"), kWindow));
    EXPECT_TRUE(workstation->holder(QStringLiteral("t2")).isEmpty());
    EXPECT_EQ(workstation->claim(QStringLiteral("t2"), {}).outcome, Outcome::Granted);
    EXPECT_EQ(a->holder(QStringLiteral("t2")), QStringLiteral("desk:5"));
}

// The console's list asks once for every point held: the same answers as holder() point by point, our
// own claims left out, run-out leases, finished and given-back points not held.
TEST_F(PgClaims, TheHeldPointsAreAskedForInOneQuestion) {
    auto a = poller(QStringLiteral("host-a:11"));
    auto b = poller(QStringLiteral("host-b:22"));
    auto workstation = poller(QStringLiteral("desk:5"));
    ASSERT_TRUE(a && b && workstation);
    EXPECT_TRUE(workstation->heldByOthers().isEmpty()) << "nothing claimed yet";
    for (const char* point : {"t1", "t2", "t3", "t4"})
        ASSERT_EQ(a->claim(QString::fromLatin1(point), kWindow).outcome, Outcome::Granted);
    ASSERT_EQ(b->claim(QStringLiteral("t5"), {}).outcome, Outcome::Granted);
    ASSERT_EQ(workstation->claim(QStringLiteral("t6"), {}).outcome, Outcome::Granted);
    expireLease(QStringLiteral("t2"));
    ASSERT_TRUE(a->finish(QStringLiteral("t3"), kWindow));
    a->release(QStringLiteral("t4"));

    const QHash<QString, QString> held = workstation->heldByOthers();
    const QHash<QString, QString> expected{{QStringLiteral("t1"), QStringLiteral("host-a:11")},
                                           {QStringLiteral("t5"), QStringLiteral("host-b:22")}};
    EXPECT_EQ(held, expected);
    for (const char* point : {"t1", "t2", "t3", "t4", "t5", "t6"})
        EXPECT_EQ(held.value(QString::fromLatin1(point)), workstation->holder(QString::fromLatin1(point)))
            << point;
    // From the first poller's side: only the others' claims.
    EXPECT_EQ(a->heldByOthers(), (QHash<QString, QString>{{QStringLiteral("t5"), QStringLiteral("host-b:22")},
                                                          {QStringLiteral("t6"), QStringLiteral("desk:5")}}));
}
