// The link as the program sets it up: the application context, the initialisation sequence and a corrector
// session, the way Tarn_B builds them, on a fake port (silent, or answered by the simulated corrector).
#include "CorrectorRole.h"
#include "SimLine.h"
#include "common/Language.h"
#include "corrector/CorrectorSession.h"
#include "corrector/CorrectorWindowModel.h"
#include "link/FakeSerialPort.h"
#include "shell/AppContext.h"
#include "shell/Initialisation.h"
#include "support/TestSupport.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::shell;
using corrector::CorrectorSession;
namespace operation = corrector::operation;

namespace {

struct App {
    test::TempHome home;
    test::RecordingNotifier notifier;
    link::FakeSerialPort* port = nullptr;
    std::unique_ptr<AppContext> ctx;

    // On the computer's clock unless given one.
    explicit App(const link::LinkSettings& settings, Clock* clock = nullptr) {
        EXPECT_TRUE(link::saveSettings(link::SettingsFiles(home.root()), settings));
        auto fake = std::make_unique<link::FakeSerialPort>();
        port = fake.get();
        port->existing = {QStringLiteral("/dev/ttyS0")}; // COM1
        ctx = clock ? std::make_unique<AppContext>(home.root(), notifier, std::move(fake), *clock)
                    : std::make_unique<AppContext>(home.root(), notifier, std::move(fake));
        ctx->setLanguageIndex(kRussian);
        ctx->operationStart().stepIntervalMs = 1;
        ctx->readRun().startDelayMs = 1;
        ctx->readRun().closeDelayMs = 1;
        runInitialisation(*ctx);
    }
    std::unique_ptr<CorrectorSession> session() {
        auto s = std::make_unique<CorrectorSession>(ctx->engine(), ctx->linkPort(), ctx->settings(),
                                                    ctx->notifier(), ctx->operationStart(), ctx->readRun(),
                                                    ctx->languageIndex());
        CorrectorSession::Ui ui;
        ui.openReadWindow = [this](int kind) {
            ctx->readRun().open(kind);
            ctx->readRun().yes();
        };
        s->setUi(ui);
        return s;
    }
};

link::LinkSettings settingsWith(int retries, int replyTimeoutMs) {
    link::LinkSettings s;
    s.retryCount = retries;
    s.replyTimeoutMs = replyTimeoutMs;
    s.writeDelayMs = 0;
    return s;
}

} // namespace

TEST(ApplicationLink, TheSettingsFileReachesTheEngineAtStartAndAfterEverySave) {
    App app(settingsWith(2, 500));
    link::ExchangeEngine& engine = app.ctx->engine();
    EXPECT_EQ(engine.settings().retryCount, 2);
    EXPECT_EQ(engine.settings().replyTimeoutMs, 500);
    EXPECT_EQ(engine.settings().writeDelayMs, 0);
    EXPECT_EQ(engine.settings().deviceAddress, 1);

    // A silent corrector: exactly the two configured sends, then the no-link indication.
    auto session = app.session();
    EXPECT_EQ(session->startOperation(operation::Parameters),
              corrector::OperationStart::StartResult::Identifying);
    ASSERT_TRUE(test::waitUntil([&] { return app.port->writes.size() == 1; }));
    EXPECT_EQ(app.port->writes[0], test::hex("02 00 20 DD"));
    EXPECT_EQ(engine.replyTimerInterval(), 500);
    engine.onReplyTimeout(); // the test runs the reply timer out instead of waiting for it
    EXPECT_EQ(app.port->writes.size(), 2);
    EXPECT_FALSE(session->link().noLinkShown());
    engine.onReplyTimeout();
    EXPECT_EQ(app.port->writes.size(), 2);
    EXPECT_TRUE(session->link().noLinkShown());
    EXPECT_EQ(session->link().noLinkText(), QStringLiteral("НЕТ СВЯЗИ RS-232 "));
    EXPECT_TRUE(test::waitUntil([&] { return !app.ctx->operationStart().identifying(); }));

    // "СОХРАНИТЬ" writes the file and runs the sequence again: the engine follows.
    link::LinkSettings changed = settingsWith(4, 1200);
    changed.writeDelayMs = 35;
    changed.resetOnFailure = false;
    ASSERT_TRUE(link::saveSettings(app.ctx->settingsFiles(), changed));
    app.ctx->configuredAddress = 7; // an address book choice lasts only until the next initialisation
    runInitialisation(*app.ctx);
    EXPECT_EQ(engine.settings().retryCount, 4);
    EXPECT_EQ(engine.settings().replyTimeoutMs, 1200);
    EXPECT_EQ(engine.settings().writeDelayMs, 35);
    EXPECT_FALSE(engine.settings().resetOnFailure);
    EXPECT_EQ(engine.settings().deviceAddress, 1);
}

TEST(ApplicationLink, AWrongPasswordIsReportedAsSoonAsTheCorrectorRefusesIt) {
    // A long reply time-out: the message must not wait for it. On a manual clock, the time that passes is
    // the time the exchange asks for, however loaded the machine.
    ManualClock clock;
    App app(settingsWith(2, 8000), &clock);
    QString error;
    auto role = sim::CorrectorRole::fromJson(
        QJsonDocument::fromJson(R"({"role": "corrector", "address": 1, "serial": 1234,
            "identification": "V Tarn-sim V47a", "passwords": ["1234", "2", "3", "4", "5", "6", "7"]})")
            .object(),
        error);
    ASSERT_TRUE(role) << error.toStdString();
    sim::InProcessLine line(*app.port);
    line.setClock(clock);
    line.addRole(std::move(role));
    auto session = app.session();
    bool closed = false;
    QObject::connect(session.get(), &CorrectorSession::readRunClosed, [&](bool) { closed = true; });
    app.ctx->settings().readChoice = QStringLiteral("0000000000000");
    session->startOperation(operation::Parameters);
    ASSERT_TRUE(clock.runUntil([&] { return closed; }));
    auto& model = session->model();
    ASSERT_TRUE(model.hasSerial());

    app.notifier.messages.clear();
    const qint64 sentAt = clock.monotonicMs();
    ASSERT_TRUE(model.EnterPassword(0, QStringLiteral("9999")));
    ASSERT_TRUE(clock.runUntil([&] { return !model.itemTransferPending(); }));
    EXPECT_LT(clock.monotonicMs() - sentAt, 8000) << "the refusal waited for the reply time-out";
    EXPECT_EQ(app.notifier.texts(), QStringList{QStringLiteral("Ошибочное значение пароля!!!")});
    EXPECT_EQ(model.lastItem().result, corrector::ItemOutcome::Result::Refused);
    EXPECT_EQ(model.lastItem().message, QStringLiteral("Ошибочное значение пароля!!!"));
    EXPECT_EQ(model.state().accessLevel, 0);
    EXPECT_FALSE(app.ctx->engine().busy());

    // The right one opens the level.
    ASSERT_TRUE(model.EnterPassword(0, QStringLiteral("1234")));
    model.afterWriteDelayMs = 0;
    ASSERT_TRUE(clock.runUntil([&] { return !model.itemTransferPending(); }));
    EXPECT_EQ(model.lastItem().result, corrector::ItemOutcome::Result::Done);
    EXPECT_EQ(model.state().accessLevel, 1);
}
