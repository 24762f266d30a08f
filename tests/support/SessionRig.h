#pragma once
// A corrector session on the real exchange engine and operation start, talking to the simulated
// corrector in process (a FakeSerialPort carrying an InProcessLine). Time-outs and step delays are short,
// so a test runs in milliseconds; the read window is answered "ДА" at once. The test program links
// tarn_corrector_session and tarn_sim.
#include "CorrectorRole.h"
#include "SimLine.h"
#include "common/Language.h"
#include "corrector/CorrectorSession.h"
#include "corrector/LinkTexts.h"
#include "corrector/CorrectorWindowModel.h"
#include "link/FakeSerialPort.h"
#include "support/TestSupport.h"

#include <QJsonDocument>
#include <gtest/gtest.h>
#include <memory>

namespace tarn::test {

// The seven passwords the simulated correctors of these tests know: operators A, B, C, masters E, F,
// configurator, verifier.
inline constexpr const char* kSimPasswords =
    R"("passwords": ["1111", "2222", "3333", "4444", "5555", "5831", "7777"])";

struct SessionRig {
    link::FakeSerialPort port;
    RecordingNotifier notifier;
    link::LinkPort linkPort{port, notifier};
    SystemClock clock;
    link::ExchangeEngine engine{linkPort, notifier, clock};
    link::LinkSettings settings;
    corrector::OperationStart gate{engine, linkPort, settings, notifier};
    corrector::ReadRun readRun{engine, settings};
    sim::InProcessLine line{port};
    sim::CorrectorRole* corrector = nullptr;
    std::unique_ptr<corrector::CorrectorSession> session;
    bool readClosed = false;

    // json: the corrector role's scenario object.
    explicit SessionRig(const QByteArray& json) {
        port.existing = {QStringLiteral("/dev/ttyS0")};
        settings.writeDelayMs = 0;
        settings.replyTimeoutMs = 200;
        settings.retryCount = 2;
        settings.resetOnFailure = false;
        engine.configure(settings, 1);
        engine.setLanguage(kRussian);
        engine.setWording(&corrector::correctorLinkWording());
        gate.setLanguage(kRussian);
        gate.stepIntervalMs = 1;
        gate.directDelayMs = 1;
        readRun.startDelayMs = 1;
        readRun.closeDelayMs = 1;
        QString error;
        auto role = sim::CorrectorRole::fromJson(QJsonDocument::fromJson(json).object(), error);
        EXPECT_TRUE(role) << error.toStdString();
        corrector = static_cast<sim::CorrectorRole*>(role.get());
        line.addRole(std::move(role));
        session = std::make_unique<corrector::CorrectorSession>(engine, linkPort, settings, notifier, gate,
                                                                readRun, kRussian);
        session->model().afterWriteDelayMs = 1;
        corrector::CorrectorSession::Ui ui;
        ui.openReadWindow = [this](int kind) {
            readRun.open(kind);
            readRun.yes();
        };
        session->setUi(ui);
        QObject::connect(session.get(), &corrector::CorrectorSession::readRunClosed,
                         [this](bool) { readClosed = true; });
    }

    // A corrector of a preset with the passwords above; extra: more members of the scenario object.
    static QByteArray preset(const char* name, const char* extra = "") {
        return QByteArray(R"({"role": "corrector", "address": 1, "preset": ")") + name + "\", " +
               kSimPasswords + extra + "}";
    }

    corrector::CorrectorWindowModel& model() { return session->model(); }
    sim::CorrectorMemory& memory() { return corrector->memory(); }

    // "ПАРАМЕТРЫ КОРРЕКТОРА" through the gate and the read run.
    bool readParameters() {
        readClosed = false;
        session->startOperation(corrector::operation::Parameters);
        return waitUntil([&] { return readClosed; }) && !engine.busy();
    }
    // A password of the password window (slot 0..6) through the window's model.
    bool enterPassword(int slot, const char* digits) {
        if (!model().EnterPassword(slot, QString::fromLatin1(digits))) return false;
        return waitUntil([&] { return !model().itemTransferPending(); });
    }
    // The frames written since mark whose first byte is head.
    QList<QByteArray> framesSince(qsizetype mark, quint8 head) const {
        QList<QByteArray> frames;
        for (qsizetype i = mark; i < port.writes.size(); ++i)
            if (static_cast<quint8>(port.writes[i].at(0)) == head) frames.append(port.writes[i]);
        return frames;
    }
};

} // namespace tarn::test
