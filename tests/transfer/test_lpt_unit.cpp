// The LPT transfer unit: bytes over the two-wire bus from the simulated chips, the copy read into the
// corrector window, a chip that never answers, and the write-and-read-back test.
#include "LptUnit.h"
#include "common/Language.h"
#include "corrector/CorrectorFiles.h"
#include "corrector/Reading.h"
#include "support/TestSupport.h"
#include "transfer/LptUnit.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::transfer;

namespace {

sim::CorrectorMemory correctorMemory() {
    sim::CorrectorMemory memory;
    QString error;
    EXPECT_TRUE(memory.load(QJsonDocument::fromJson(R"({"serial": 4321, "identification": "T Tarn-sim T47a",
        "archive": {"start": "01.03.2024 00:00", "hours": 30, "flow": 10}})")
                                .object(),
                            error))
        << error.toStdString();
    return memory;
}

// Runs a read to its end as the window does, a page a pass.
LptImageRead& runRead(LptImageRead& read) {
    while (read.step()) {
    }
    return read;
}

// The unit's clock in the test's hands: time passes only where the test lets it.
struct FakeClock {
    qint64 ms = 0;
    void drive(sim::LptUnit& unit) {
        unit.now = [this] { return ms; };
    }
};

// Runs a test to its end as the window and tarn-cli do, the pause it asks for passing on the clock
// before each step; honourPause false steps on at once, as a driver that forgets the write time-out.
void runTest(LptUnitTest& test, FakeClock& clock, bool honourPause = true) {
    while (true) {
        if (honourPause) clock.ms += test.pauseBeforeNextStep();
        if (!test.step()) return;
    }
}

} // namespace

TEST(LptUnit, BytesComeOffTheBusAsTheChipsHoldThem) {
    sim::LptUnit unit(correctorMemory());
    FakeClock clock;
    clock.drive(unit);
    LptBus bus(unit, 0, {});
    const auto page = bus.readPage(3, 0x7D00);
    ASSERT_TRUE(page);
    QByteArray expected;
    for (int i = 0; i < 256; ++i)
        expected.append(static_cast<char>(unit.imageByte(3 * 32768 + 0x7D00 + i)));
    EXPECT_EQ(*page, expected);
    EXPECT_TRUE(page->startsWith("T Tarn-sim T47a"));
    // Without "ИНВ" the bytes are taken as the bus carries them.
    bus.invert = false;
    const auto raw = bus.readLine(3, 0x7D00);
    ASSERT_TRUE(raw);
    EXPECT_EQ(static_cast<quint8>(raw->at(0)), static_cast<quint8>(~static_cast<quint8>('T')));
    // A line written reads back the same, and lands where it was written.
    bus.invert = true;
    const QByteArray line = lptTestLine(LptPattern::Address, 100);
    ASSERT_TRUE(bus.writeLine(1, 0x40, line));
    // The chip is in its write cycle: it answers nothing, then the line it took.
    EXPECT_FALSE(bus.readLine(1, 0x40));
    EXPECT_TRUE(bus.readLine(2, 0x40)); // the other chips are not busy
    clock.ms += unit.writeCycleMs;
    EXPECT_EQ(bus.readLine(1, 0x40), line);
    EXPECT_EQ(unit.imageByte(32768 + 0x40 + 1), 100);
}

TEST(LptUnit, TheCopyIsReadIntoTheCorrectorWindowAndAChipThatNeverAnswersStopsIt) {
    test::RecordingNotifier notifier;
    sim::LptUnit unit(correctorMemory());
    LptBus bus(unit, 1, {});
    corrector::Reading reading;
    reading.languageIndex = kRussian;
    LptImageRead read(bus, reading, kRussian);
    ASSERT_FALSE(read.begin());
    ASSERT_TRUE(runRead(read).complete()) << read.message().toStdString();
    EXPECT_EQ(read.bytesDone(), kLptImageBytes);
    EXPECT_EQ(read.kindsRead().size(), 7);
    int dated = 0;
    for (const QStringList& row : reading.archives.rows(corrector::Archive::Hourly))
        if (row.size() > 1) ++dated;
    EXPECT_EQ(dated, 30);
    EXPECT_TRUE(reading.hasSerial());

    sim::LptUnit broken(correctorMemory());
    broken.deadChip = 2;
    LptBus brokenBus(broken, 0, {});
    LptImageRead stopped(brokenBus, reading, kRussian);
    ASSERT_FALSE(stopped.begin());
    EXPECT_FALSE(runRead(stopped).complete());
    EXPECT_EQ(stopped.message(), QStringLiteral("Ошибка обмена по LPT"));
    EXPECT_EQ(stopped.bytesDone(), 256 * 256); // logical page 256 is the first of chip 2

    // A parameter area whose sum is wrong (one byte of its first line changed): nothing is read.
    sim::LptUnit spoilt(correctorMemory());
    FakeClock clock;
    clock.drive(spoilt);
    LptBus spoiltBus(spoilt, 0, {});
    spoiltBus.writeLine(3, 32064 + 40 - 40 % 64, [&] {
        QByteArray line;
        for (int i = 0; i < 64; ++i)
            line.append(static_cast<char>(spoilt.imageByte(3 * 32768 + 32064 + 40 - 40 % 64 + i)));
        line[40 % 64] = static_cast<char>(line.at(40 % 64) ^ 0x01);
        return line;
    }());
    clock.ms += spoilt.writeCycleMs;
    LptImageRead refused(spoiltBus, reading, kUkrainian);
    EXPECT_EQ(refused.begin(), QStringLiteral("помилка контрольної суми!"));
}

TEST(LptUnit, TheTestWritesAndReadsBackEveryLineAndCountsFailures) {
    FakeClock clock;
    sim::LptUnit unit;
    clock.drive(unit);
    LptBus bus(unit, 0, {});
    LptUnitTest test(bus, LptPattern::Ones, kRussian, 5);
    ASSERT_TRUE(test.begin());
    runTest(test, clock);
    EXPECT_TRUE(test.succeeded());
    EXPECT_EQ(test.linesDone(), 2048);
    EXPECT_EQ(test.message(), QStringLiteral("\"ТЕСТ НОРМА\""));
    EXPECT_EQ(test.channelFailures() + test.writeFailures(), 0);
    EXPECT_EQ(unit.imageByte(4 * 32768 - 1), 0xFF);

    // Two writes left unanswered are counted and written again; a chip that never answers ends the test.
    sim::LptUnit flaky;
    clock.drive(flaky);
    LptBus flakyBus(flaky, 0, {});
    LptUnitTest counted(flakyBus, LptPattern::Address, kRussian, 5);
    ASSERT_TRUE(counted.begin());
    flaky.missedAcks = 2;
    for (int i = 0; i < 40; ++i) {
        clock.ms += counted.pauseBeforeNextStep();
        counted.step();
    }
    EXPECT_EQ(counted.channelFailures(), 2);
    EXPECT_EQ(counted.linesDone(), 18);
    EXPECT_EQ(flaky.imageByte(3), 1); // the second word of the first line, low byte

    sim::LptUnit dead;
    clock.drive(dead);
    dead.deadChip = 0;
    LptBus deadBus(dead, 0, {});
    LptUnitTest failed(deadBus, LptPattern::Zeros, kUkrainian, 5);
    ASSERT_TRUE(failed.begin());
    runTest(failed, clock);
    EXPECT_FALSE(failed.succeeded());
    EXPECT_EQ(failed.channelFailures(), 5);
    EXPECT_EQ(failed.message(), QStringLiteral("\"ДТУ-1 помилка обміну!\""));

    dead.deadChip = 3;
    LptUnitTest probe(deadBus, LptPattern::Zeros, kRussian);
    EXPECT_FALSE(probe.begin());
    EXPECT_EQ(probe.message(), QStringLiteral("\"ДТУ-1 ошибка записи!!!\" строка: 2044"));
}

// A chip takes a line in a write cycle of its own: read back before the write time-out has passed it
// answers nothing, so the test holds only when it waits the pause it was given after every write.
TEST(LptUnit, TheTestReadsALineBackOnlyAfterTheWriteTimeOut) {
    struct Case {
        const char* what;
        int pauseMs;
        bool honourPause;
        bool succeeds;
        int linesDone;
    };
    const Case cases[] = {
        {"the pause waited, longer than the write cycle", 6, true, true, 2048},
        {"the pause waited, as long as the write cycle", 5, true, true, 2048},
        {"the pause shorter than the write cycle", 4, true, false, 0},
        {"no pause between writing and reading back", 20, false, false, 0},
    };
    for (const Case& c : cases) {
        FakeClock clock;
        sim::LptUnit unit;
        unit.writeCycleMs = 5;
        clock.drive(unit);
        LptBus bus(unit, 0, {});
        LptUnitTest test(bus, LptPattern::Address, kRussian, c.pauseMs);
        ASSERT_TRUE(test.begin()) << c.what;
        EXPECT_EQ(test.pauseBeforeNextStep(), c.pauseMs) << c.what; // the probe line is being written too
        runTest(test, clock, c.honourPause);
        EXPECT_EQ(test.succeeded(), c.succeeds) << c.what;
        EXPECT_EQ(test.linesDone(), c.linesDone) << c.what;
        if (!c.succeeds) {
            EXPECT_GT(test.writeFailures() + test.channelFailures(), 0) << c.what;
        }
    }
    // The pause is at least 1 ms, whatever is asked.
    sim::LptUnit unit;
    LptBus bus(unit, 0, {});
    EXPECT_EQ(LptUnitTest(bus, LptPattern::Zeros, kRussian, 0).pauseMs(), 1);
}
