// Replies on the line: the exchange engine's receive path (alarm notice, refusals, length, status and
// check byte, multi-block walks) fed in chunks, the modem's reply recogniser, and the fixed blocks a
// valid reply carries (identification, clock, measurement, status).
//   input: [count][flags][chunk size][received bytes…]
//   flags: bit 0 a refusal ends the transfer, bit 1 the alarm notice answers it, bits 2..3 further blocks
#include "FuzzDriver.h"

#include "common/Language.h"
#include "common/Notifier.h"
#include "corrector/Blocks.h"
#include "corrector/Identification.h"
#include "corrector/ModelProfile.h"
#include "link/ExchangeEngine.h"
#include "link/FakeSerialPort.h"
#include "link/LinkLog.h"
#include "link/LinkPort.h"
#include "link/ModemReplies.h"

#include <QCoreApplication>

using namespace tarn;

namespace {

struct QuietNotifier final : Notifier {
    void message(MessageKind, const QString&) override {}
    bool confirm(const QString&) override { return false; }
};

struct Transfer final : link::Transfer {
    bool endOnRefusal = false;
    bool alarmAnswers = false;
    link::RefusalVerdict onRefused(quint8) override {
        return endOnRefusal ? link::RefusalVerdict::End : link::RefusalVerdict::RetryAfterTimeOut;
    }
    bool answeredByAlarmNotice() const override { return alarmAnswers; }
};

void engineReceives(quint8 count, quint8 flags, int chunk, const QByteArray& stream) {
    link::FakeSerialPort port;
    QuietNotifier notifier;
    link::LinkPort line(port, notifier);
    link::LinkLog log;
    SystemClock clock;
    link::ExchangeEngine engine(line, notifier, clock);
    port.existing = {QStringLiteral("/dev/ttyS0")};
    line.configure(QStringLiteral("COM1"), QStringLiteral("19200"), false);
    line.openPort(true);
    link::LinkSettings settings;
    settings.writeDelayMs = 0;
    settings.resetOnFailure = false;
    engine.configure(settings, 1);
    engine.setLanguage(kRussian);
    log.enabled = true;
    engine.setLinkLog(&log);

    Transfer transfer;
    transfer.endOnRefusal = flags & 1;
    transfer.alarmAnswers = flags & 2;
    engine.start(link::Request::read(link::opRead, 0, count, static_cast<quint16>((flags >> 2) & 3)), transfer);
    for (qsizetype at = 0; at < stream.size(); at += chunk)
        port.inject(stream.mid(at, chunk));
    QCoreApplication::processEvents();
}

void blocksDecode(const QByteArray& bytes) {
    const corrector::IdentificationString id(fuzz::exactly(bytes, corrector::IdentificationString::kSize));
    (void)corrector::CheckVersion(id, kRussian);
    (void)id.text();
    (void)id.versionNumber();
    const corrector::ModelProfile profile = corrector::DeriveModelProfile(id, 4512);
    (void)corrector::DecodeClockBlock(fuzz::exactly(bytes, corrector::kClockBlockSize));
    (void)corrector::DecodeMeasurementBlock(fuzz::exactly(bytes, corrector::kMeasurementBlockSize), profile, bytes.size() & 1);
    (void)corrector::DecodeStatusBlockVoltage(fuzz::exactly(bytes, corrector::kStatusBlockSize));
    (void)link::alarmNoticeMatch(bytes);
    (void)link::manualModemReply(bytes, QByteArrayLiteral("ATDP0445551234"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input = fuzz::bytesOf(data, size);
    if (input.size() < 3) return 0;
    const QByteArray stream = input.mid(3);
    engineReceives(static_cast<quint8>(input[0]), static_cast<quint8>(input[1]), 1 + static_cast<quint8>(input[2]) % 64,
                   stream);
    blocksDecode(stream.size() > 2 ? stream.mid(1, stream.size() - 2) : stream);
    return 0;
}
