// Programming a corrector from a saved point parameter file, through the real exchange engine, the
// identification and the corrector window's model, against the simulated corrector in process: which
// steps go out for which model, what each step sends, and where the sequence stops.
#include "common/Language.h"
#include "corrector/CorrectorFiles.h"
#include "corrector/CorrectorSession.h"
#include "corrector/CorrectorWindowModel.h"
#include "corrector/DeviceValues.h"
#include "corrector/ItemTable.h"
#include "corrector/ProgramFromFile.h"
#include "corrector/windows/TfPrPar.h"
#include "database/Registry.h"
#include "database/Schema.h"
#include "link/FakeSerialPort.h"
#include "support/SessionRig.h"
#include "support/TestSupport.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QJsonDocument>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>
#include <tuple>

using namespace tarn;
using namespace tarn::corrector;

namespace {

// The simulated corrector of a preset (tests/support/SessionRig.h), and the programming over its session.
struct Rig : test::SessionRig {
    std::unique_ptr<ProgramFromFile> program;
    ProgramFields fields{QStringLiteral("0.29"), QStringLiteral("1.005"), QStringLiteral("01.03.2024"),
                         QStringLiteral("12:30:45")};
    QStringList labels;
    std::optional<bool> finished;

    explicit Rig(const char* preset, const char* extra = "")
        : SessionRig(SessionRig::preset(preset, extra)) {}

    void makeProgram() {
        program = std::make_unique<ProgramFromFile>(model(), engine, gate, notifier);
        program->stepDelayMs = 1;
        program->fields = [this] { return fields; };
        QObject::connect(program.get(), &ProgramFromFile::stepLabelChanged, [this](const QString& label) {
            if (!label.isEmpty()) labels.append(label);
        });
        QObject::connect(program.get(), &ProgramFromFile::finished,
                         [this](bool written) { finished = written; });
    }

    // The password, then "Запись" once the configurator's level is open.
    bool openAccessAndWrite() {
        makeProgram();
        if (!program->sendPassword(QString::fromLatin1(kDefaultConfiguratorPassword))) return false;
        if (!test::waitUntil([&] { return program->writeEnabled(); })) return false;
        writesBefore = port.writes.size();
        return program->startWriting();
    }

    // The item codes of the writes sent since "Запись".
    QList<int> writtenCodes() const {
        QList<int> codes;
        for (qsizetype i = writesBefore; i < port.writes.size(); ++i)
            if (static_cast<quint8>(port.writes[i].at(0)) == 0x82)
                codes.append(static_cast<quint8>(port.writes[i].at(1)));
        return codes;
    }
    // The data of the write of an item code (serial number and value), empty when none went out.
    QByteArray writeData(quint8 code) const {
        for (qsizetype i = writesBefore; i < port.writes.size(); ++i) {
            const QByteArray& w = port.writes[i];
            if (static_cast<quint8>(w.at(0)) == 0x82 && static_cast<quint8>(w.at(1)) == code)
                return w.mid(3, static_cast<quint8>(w.at(2)));
        }
        return {};
    }

    qsizetype writesBefore = 0;
};

QList<int> codesOfSteps(const QList<int>& steps) {
    QList<int> codes;
    for (int s : steps)
        codes.append(FindItem(programStepItem(s))->code);
    return codes;
}

QList<int> range(int first, int last) {
    QList<int> r;
    for (int i = first; i <= last; ++i)
        r.append(i);
    return r;
}

} // namespace

// The file saved from a meter-coefficient corrector is loaded into the window; meanwhile the corrector's
// own settings have been changed. Programming puts the file's values back, step by step, and leaves out
// what that model does not have.
TEST(ProgramFromFile, AMeterCoefficientFileIsWrittenBackStepByStep) {
    Rig r("meter-coef");
    r.memory().setByteAt(2, 1, 2); // pulse weight 100
    ASSERT_TRUE(r.readParameters());
    test::TempHome home;
    const QString path = pointParameterFilePath(home.root(), QStringLiteral("w04870"));
    ASSERT_TRUE(writePointParameterFile(r.model().reading(), path));
    r.model().ClearWindow();
    ASSERT_TRUE(loadPointParameterFile(r.model(), path, r.notifier));
    ASSERT_TRUE(r.model().reading().profile.meterCoefModel);

    const sim::CorrectorMemory saved = r.memory();
    r.memory().setFloat(51, 0.7f);                                                 // density
    r.memory().setByteAt(1, 2, 3);                                                 // contract hour
    r.memory().setText(113, QByteArray("another company").leftJustified(32, ' ')); // enterprise
    r.memory().setFloat(46, 30.0f);                                                // maximum pressure

    ASSERT_TRUE(r.openAccessAndWrite());
    ASSERT_TRUE(test::waitUntil([&] { return r.finished.has_value(); }, 10000));
    EXPECT_TRUE(*r.finished);
    EXPECT_EQ(r.program->phase(), ProgramFromFile::Phase::Done);

    // The meter-coefficient model has no Qmin substitution, no pulse weight or flow limits of its own and
    // no pressure panels; it has the nominal diameter, the pressure thresholds and the total volume.
    const QList<int> written = range(0, 20) + QList<int>{29, 32, 33, 34, 35, 36, 37};
    EXPECT_EQ(r.writtenCodes(), codesOfSteps(written));
    for (int s = 0; s < kProgramSteps; ++s)
        EXPECT_EQ(r.labels.contains(programSkipLabel(s)), !written.contains(s)) << s;
    EXPECT_TRUE(r.labels.contains(QStringLiteral("Дата время = 01.03.2024 12:30")));

    // Every value of the file is in the corrector again, under the file's serial number.
    for (int w : {1, 2, 4, 5, 48, 49, 50, 51, 52, 53, 56, 71, 100})
        EXPECT_EQ(r.memory().word(w).toHex(), saved.word(w).toHex()) << w;
    for (int w = 113; w < 121; ++w)
        EXPECT_EQ(r.memory().word(w), saved.word(w)) << w;
    // The pressure thresholds went out as the window shows them in MPa, 4 decimals.
    for (int w : {45, 46, 47})
        EXPECT_NEAR(r.memory().floatAt(w), saved.floatAt(w), 0.001) << w;
    EXPECT_EQ(r.writeData(FindItem(1)->code).left(2), u16Bytes(4870));
    // Steps 35 and 36: trunc(the window's value × pulse weight 100), exactly.
    EXPECT_EQ(r.memory().intAt(97), 29);   // 0.29 m³
    EXPECT_EQ(r.memory().intAt(102), 100); // 1.005 m³
    // Step 37: the minutes of the window's date and time, seconds left out.
    const auto minutes =
        QDateTime(QDate(2000, 1, 1), QTime(0, 0)).secsTo(QDateTime(QDate(2024, 3, 1), QTime(12, 30))) / 60;
    EXPECT_EQ(r.writeData(FindItem(16)->code).mid(2), u32Bytes(quint32(minutes)));

    EXPECT_EQ(r.notifier.texts().last(), QStringLiteral("ПАРАМЕТРЫ ЗАПИСАНЫ!!!"));
    EXPECT_EQ(r.model().state().accessLevel, kAccessNone);
    EXPECT_FALSE(r.engine.busy());
}

// Step 6 sends the hour as a byte; steps 30 and 31 send the panels' values back in kgf/cm² whatever unit
// the panels show, so that a corrector programmed from its own file keeps its pressures.
TEST(ProgramFromFile, ContractHourAndThePressurePanelsAreSentInTheCorrectorsUnits) {
    struct Units {
        GaugeUnit gauge;
        BaroUnit baro;
    };
    for (const Units u : {Units{GaugeUnit::KgfCm2, BaroUnit::KgfCm2},
                          Units{GaugeUnit::CmWater, BaroUnit::MmHg}, Units{GaugeUnit::Mpa, BaroUnit::Mpa}}) {
        Rig r("series2");
        r.memory().setByteAt(1, 2, 7);
        r.memory().setFloat(66, 0.0512f);
        r.memory().setFloat(67, 1.0197f);
        ASSERT_TRUE(r.readParameters());
        r.model().setGaugeUnit(u.gauge);
        r.model().setBaroUnit(u.baro);
        r.memory().setByteAt(1, 2, 11);
        r.memory().setFloat(66, 2.0f);
        r.memory().setFloat(67, 0.9f);

        ASSERT_TRUE(r.openAccessAndWrite());
        ASSERT_TRUE(test::waitUntil([&] { return r.finished.has_value(); }, 10000));
        const int unit = static_cast<int>(u.gauge);
        EXPECT_EQ(r.writeData(FindItem(20)->code).mid(2), test::hex("07 00 00 00")) << unit;
        EXPECT_EQ(r.memory().byteAt(1, 2), 7) << unit;
        EXPECT_NEAR(r.memory().floatAt(66), 0.0512, 1e-4) << unit;
        EXPECT_NEAR(r.memory().floatAt(67), 1.0197, 1e-4) << unit;
        // Series 2: no pressure interval, pressure thresholds or nominal diameter.
        for (int s : {11, 29, 32, 33, 34})
            EXPECT_TRUE(r.labels.contains(programSkipLabel(s))) << s;
        EXPECT_FALSE(r.labels.contains(programSkipLabel(30)));
    }
}

// The file is of a series-2 corrector; the corrector on the line identifies itself as series 1.
TEST(ProgramFromFile, ACorrectorOfAnotherKindGetsNothing) {
    Rig r("series2");
    ASSERT_TRUE(r.readParameters());
    QByteArray seriesOne("V Tarn-NM  V46a series-1");
    r.memory().identification = seriesOne.leftJustified(32, ' ');

    ASSERT_TRUE(r.openAccessAndWrite());
    ASSERT_TRUE(test::waitUntil([&] { return r.finished.has_value(); }));
    EXPECT_FALSE(*r.finished);
    EXPECT_EQ(r.program->phase(), ProgramFromFile::Phase::Mismatch);
    EXPECT_EQ(r.notifier.texts().last(), QStringLiteral("Несовпали типы корректоров!!!!"));
    test::waitUntil([&] { return false; }, 30);
    EXPECT_TRUE(r.writtenCodes().isEmpty());
    EXPECT_EQ(r.port.writes.mid(r.writesBefore).count(test::hex("02 00 20 DD")), 2); // identified, no more
    EXPECT_FALSE(r.program->writeEnabled());
}

// A step whose write the corrector refuses holds the sequence there; only "Отмена" ends it.
TEST(ProgramFromFile, ARefusedStepHoldsTheSequenceUntilCancel) {
    Rig r("series1");
    ASSERT_TRUE(r.readParameters());
    r.makeProgram();
    QObject::connect(r.program.get(), &ProgramFromFile::stepLabelChanged, [&](const QString&) {
        if (r.program->step() == 5) {
            r.corrector->faults().status = 0x08;
            r.corrector->faults().statusCount = 1;
        }
    });
    ASSERT_TRUE(r.program->sendPassword(QStringLiteral("5831")));
    ASSERT_TRUE(test::waitUntil([&] { return r.program->writeEnabled(); }));
    r.writesBefore = r.port.writes.size();
    ASSERT_TRUE(r.program->startWriting());
    ASSERT_TRUE(test::waitUntil([&] { return r.program->phase() == ProgramFromFile::Phase::Stalled; }));
    test::waitUntil([&] { return false; }, 30);
    EXPECT_EQ(r.writtenCodes(), codesOfSteps(range(0, 5)));
    EXPECT_EQ(r.program->step(), 5);
    EXPECT_TRUE(r.program->stepLabel().endsWith(QStringLiteral(" = ") + r.model().text(Field::DisplayTime)));
    EXPECT_EQ(r.model().state().accessLevel, kAccessConfigurator);
    EXPECT_FALSE(r.finished.has_value());

    r.program->cancel();
    test::waitUntil([&] { return false; }, 30);
    EXPECT_EQ(r.program->phase(), ProgramFromFile::Phase::Cancelled);
    EXPECT_EQ(r.writtenCodes().size(), 6);
    EXPECT_EQ(r.model().state().accessLevel, kAccessNone);
    EXPECT_FALSE(r.notifier.texts().contains(QStringLiteral("ПАРАМЕТРЫ ЗАПИСАНЫ!!!")));
}

// Nothing is loaded: neither the password nor "Запись" sends anything.
TEST(ProgramFromFile, WithoutDataNothingIsSent) {
    for (int lang : {kUkrainian, kRussian}) {
        Rig r("series1");
        r.model().setLanguageIndex(lang);
        r.makeProgram();
        EXPECT_FALSE(r.program->sendPassword(QStringLiteral("5831")));
        EXPECT_FALSE(r.program->startWriting());
        EXPECT_EQ(r.notifier.texts(), QStringList{lang == kUkrainian ? QStringLiteral("Немає даних")
                                                                     : QStringLiteral("Нет данных")});
        EXPECT_TRUE(r.port.writes.isEmpty());
        EXPECT_EQ(r.program->phase(), ProgramFromFile::Phase::Idle);
    }
}

TEST(ProgramFromFile, PulsesAreTruncatedFromTheExactProduct) {
    EXPECT_EQ(truncatedProduct(QStringLiteral("0.29"), QStringLiteral("100")), 29);
    EXPECT_EQ(truncatedProduct(QStringLiteral("1234.56"), QStringLiteral("0.1")), 123);
    EXPECT_EQ(truncatedProduct(QStringLiteral("999999999.99"), QStringLiteral("1")), 999999999);
    EXPECT_EQ(truncatedProduct(QStringLiteral("12,5"), QStringLiteral("10")), 125);
    EXPECT_FALSE(truncatedProduct(QStringLiteral("X"), QStringLiteral("1")));
    EXPECT_FALSE(truncatedProduct(QStringLiteral("1.2.3"), QStringLiteral("1")));
    EXPECT_FALSE(truncatedProduct(QStringLiteral(""), QStringLiteral("1")));
}

// The registry panel's filter: the typed texts are values, never part of the query.
TEST(ProgramFromFile, TheRegistryFilterTakesTheTypedTextsAsValues) {
    test::TempHome home;
    database::writeMissingSchemaFiles(home.root());
    const database::Schemas schemas = database::loadSchemas(home.root());
    ASSERT_TRUE(schemas.ok);
    database::Registry registry(home.root(), schemas);
    auto add = [&](const char* id, const char* serial, const char* model) {
        database::Point p;
        p.identifier = QString::fromUtf8(id);
        p.serial = QString::fromUtf8(serial);
        p.model = QString::fromUtf8(model);
        ASSERT_TRUE(registry.add(p));
    };
    add("w04870", "04870", "ТАРН-1.02  "); // padded as the detection names it
    add("t06104", "06104", "ТАРН-2.01  ");
    add("t06105", "06105", "ТАРН-2.01  ");
    auto ids = [](const QList<database::Point>& points) {
        QStringList l;
        for (const auto& p : points)
            l.append(p.identifier);
        return l;
    };
    EXPECT_EQ(ids(registry.matching(QStringLiteral("ТАРН-2.01"), {})), (QStringList{"t06104", "t06105"}));
    EXPECT_EQ(ids(registry.matching(QStringLiteral("ТАРН-2.01"), QStringLiteral("06105"))),
              QStringList{"t06105"});
    EXPECT_EQ(ids(registry.matching({}, QStringLiteral("04870"))), QStringList{"w04870"});
    EXPECT_EQ(ids(registry.matching({}, {})).size(), 3);
    EXPECT_TRUE(registry.matching(QStringLiteral("ТАРН-2.01\" or \"1\"=\"1"), {}).isEmpty());
    EXPECT_TRUE(registry.matching({}, QStringLiteral("0610%")).isEmpty());
    EXPECT_TRUE(registry.matching(QStringLiteral("ТАРН-1.02"), QStringLiteral("06104")).isEmpty());
}

// The window: the registry panel chooses whose file is in the corrector window, "Пароль" opens
// "Запись", and the window closes once everything is written.
TEST(ProgramFromFileWindow, TheRegistryRowsFileIsWrittenFromTheWindow) {
    Rig r("meter-coef");
    ASSERT_TRUE(r.readParameters());
    test::TempHome home;
    database::writeMissingSchemaFiles(home.root());
    const database::Schemas schemas = database::loadSchemas(home.root());
    database::SqliteStorage storage(home.root(), schemas);
    database::Registry registry(home.root(), storage);
    for (const auto& [id, serial, model] :
         {std::tuple{"w04870", "04870", "ТАРН-1.02  "}, std::tuple{"t06104", "06104", "ТАРН-2.01  "}}) {
        database::Point p;
        p.identifier = QString::fromUtf8(id);
        p.serial = QString::fromUtf8(serial);
        p.model = QString::fromUtf8(model);
        ASSERT_TRUE(registry.add(p));
    }
    ASSERT_TRUE(writePointParameterFile(r.model().reading(),
                                        pointParameterFilePath(home.root(), QStringLiteral("w04870"))));
    r.model().ClearWindow();

    TfPrPar window(r.model(), r.engine, r.gate, r.notifier, {home.root(), &storage, kRussian});
    window.program().stepDelayMs = 1;
    window.show();
    // An empty corrector window: the first registry row's file is loaded.
    ASSERT_TRUE(test::waitUntil([&] { return window.registryPanel()->isVisible(); }));
    EXPECT_EQ(window.rows().size(), 2);
    EXPECT_EQ(r.model().text(Field::HeaderSerial), QStringLiteral("04870"));
    EXPECT_EQ(window.meterReadingEdit()->text(), r.model().text(Field::MeterCounter));
    EXPECT_EQ(window.passwordEdit()->text(), QStringLiteral("5831"));
    EXPECT_FALSE(window.writeButton()->isEnabled());
    // The navigator: a point without a file leaves the window empty; back again.
    window.moveTo(1);
    EXPECT_EQ(r.model().text(Field::HeaderSerial), QStringLiteral("X"));
    window.serialBox()->setChecked(true);
    window.serialEdit()->setText(QStringLiteral("04870"));
    emit window.serialEdit()->textEdited(window.serialEdit()->text());
    EXPECT_EQ(window.rows().size(), 1);
    EXPECT_EQ(r.model().text(Field::HeaderSerial), QStringLiteral("04870"));

    window.passwordButton()->click();
    EXPECT_FALSE(window.passwordButton()->isEnabled());
    ASSERT_TRUE(test::waitUntil([&] { return window.writeButton()->isEnabled(); }));
    window.writeButton()->click();
    ASSERT_TRUE(test::waitUntil([&] { return !window.isVisible(); }, 10000));
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(r.notifier.texts().last(), QStringLiteral("ПАРАМЕТРЫ ЗАПИСАНЫ!!!"));
    EXPECT_EQ(r.model().state().accessLevel, kAccessNone);
}
