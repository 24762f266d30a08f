// Acceptance checks of the port scanner, the polling console's settings with a synchronised copy's refresh
// cycle, and the group views built from stored records. tarn-cli and corrector-sim run as processes only;
// every expected line, file and sum is worked out here from the devices and records given to the
// simulators, and every file the program writes is read back by the readers below.
#include "acceptance/AcceptanceReaders.h"
#include "support/CliRunner.h"
#include "support/SimProcess.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <string>

namespace {

const QString kSimulator = QStringLiteral(TARN_SIM_PROGRAM);

using acceptance::fromCp1251;
using Answer = tarn::test::CliText;

// ---------------------------------------------------------------- independent readers

// A settings or text file as the program must write it: Windows-1251, every line ended by CR LF.
struct CrLfFile {
    bool exists = false;
    bool crlfOnly = false;
    QStringList lines;
};

CrLfFile readCrLfFile(const QString& path) {
    CrLfFile file;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return file;
    file.exists = true;
    const QByteArray bytes = f.readAll();
    file.crlfOnly = bytes.endsWith("\r\n") && bytes.count('\n') == bytes.count("\r\n") &&
                    bytes.count('\r') == bytes.count("\r\n");
    QByteArray body = bytes;
    if (body.endsWith("\r\n")) body.chop(2);
    for (const QByteArray& line : body.split('\n'))
        file.lines.append(fromCp1251(line.endsWith('\r') ? line.chopped(1) : line));
    return file;
}

QStringList jsonStrings(const QJsonValue& value) {
    QStringList out;
    for (const QJsonValue& v : value.toArray())
        out.append(v.toString());
    return out;
}

QList<QStringList> jsonTable(const QJsonValue& value) {
    QList<QStringList> out;
    for (const QJsonValue& row : value.toArray())
        out.append(jsonStrings(row));
    return out;
}

// The checksum every request and reply of the link closes with: the NOT of the 8-bit sum of the bytes.
quint8 closingByte(const QByteArray& bytes) {
    quint8 sum = 0;
    for (char c : bytes)
        sum = quint8(sum + quint8(c));
    return quint8(~sum);
}

QString hex(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' '));
}

// What the scanner logs of a reply: the bytes below 0x20 left out, the rest read as Windows-1251.
QString printable(const QByteArray& reply) {
    QByteArray kept;
    for (char c : reply)
        if (quint8(c) >= 0x20) kept.append(c);
    return fromCp1251(kept);
}

// A 34-byte identification reply: status 0, 32 bytes of text padded with blanks, the closing byte.
QByteArray identificationReply(const QByteArray& text) {
    QByteArray reply = QByteArray(1, '\0') + text.leftJustified(32, ' ', true);
    return reply + char(closingByte(reply));
}

// ---------------------------------------------------------------- an installation with its lines

class Site {
public:
    Site() {
        home_ = dir_.path() + QStringLiteral("/home");
        QDir().mkpath(home_);
        ready_ = cli({QStringLiteral("init")}).code == 0;
        write(QStringLiteral("Work/Type_Leng.000"), "RU\r\n");
    }
    bool ready() const { return ready_; }
    QString home() const { return home_; }
    QString scratch(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }
    QString path(const QString& relative) const { return home_ + QLatin1Char('/') + relative; }

    void write(const QString& relative, const QByteArray& bytes) const {
        QDir().mkpath(QFileInfo(path(relative)).path());
        QFile f(path(relative));
        if (f.open(QIODevice::WriteOnly)) f.write(bytes);
    }
    QByteArray bytes(const QString& relative) const {
        QFile f(path(relative));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // COM1 … COMlast all mapped: the ones given a device to their simulator's line, the others to a path
    // that never exists, so that no serial port of the machine running the test takes part.
    bool mapPorts(int last) {
        QByteArray map;
        for (int n = 1; n <= last; ++n) {
            const QString target = links_.count(n) ? links_[n] : scratch(QStringLiteral("absent%1").arg(n));
            map += "COM" + QByteArray::number(n) + ' ' + target.toLocal8Bit() + "\r\n";
        }
        write(QStringLiteral("Work/PortMap.000"), map);
        return true;
    }
    // A simulator playing the given devices on COMn.
    bool play(int com, const QJsonArray& devices) {
        sims_.erase(com);
        const QString link = scratch(QStringLiteral("com%1").arg(com));
        links_[com] = link;
        auto sim = std::make_unique<tarn::test::SimProcess>();
        const bool ok =
            sim->start(kSimulator, scratch(QStringLiteral("scenario%1.json").arg(com)),
                       QJsonDocument(QJsonObject{{"devices", devices}}).toJson(), link,
                       {QStringLiteral("--log"), scratch(QStringLiteral("traffic%1.log").arg(com))});
        sims_[com] = std::move(sim);
        return ok;
    }
    // Ends COMn's simulator; the port's line goes with it, so COMn is no longer there.
    void silence(int com) {
        sims_.erase(com);
        links_.erase(com);
    }
    QString traffic(int com) const {
        QFile f(scratch(QStringLiteral("traffic%1.log").arg(com)));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    Answer cli(const QStringList& args, const tarn::test::CliEnvironment& env = {}) const {
        return tarn::test::runCliIn(home_, args, env).text();
    }

    QMap<QString, QByteArray> snapshot() const {
        QMap<QString, QByteArray> files;
        QDirIterator it(home_, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = it.next();
            QFile f(p);
            files.insert(QDir(home_).relativeFilePath(p),
                         f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray());
        }
        return files;
    }

private:
    QTemporaryDir dir_;
    QString home_;
    bool ready_ = false;
    std::map<int, QString> links_;
    std::map<int, std::unique_ptr<tarn::test::SimProcess>> sims_;
};

QJsonObject scripted(const QList<QPair<QByteArray, QByteArray>>& replies) {
    QJsonArray list;
    for (const auto& [request, reply] : replies)
        list.append(QJsonObject{{"request", hex(request)}, {"reply", hex(reply)}});
    return QJsonObject{{"role", "scripted"}, {"replies", list}};
}

const QByteArray kCorrectorProbe = QByteArray::fromHex("020020DD");
const QByteArray kAdapterProbe = QByteArray::fromHex("000020DF");

// The scanner's texts, one language to a column: Ukrainian, Russian, English.
struct ScanTexts {
    const char* lang;
    QString control, stop, modemStart, correctorStart, adapterStart, unitStart, check, modemPort, noModem,
        busy, nameNm, correctorAt, noCorrector, adapterAt, noAdapter, unitAt, noUnit;
};

const ScanTexts kUa{"ua",
                    QStringLiteral("контроль робочих портів RS-232"),
                    QStringLiteral("стоп!!!"),
                    QStringLiteral("*Старт контроль з\u2019єднання - \"модем\""),
                    QStringLiteral("*Старт контроль з\u2019єднання - \"коректор\""),
                    QStringLiteral("*Старт контроль з\u2019єднання - \"USB-DTU\""),
                    QStringLiteral("*Старт контроль з\u2019єднання - \"USB-DTU-2MB\""),
                    QStringLiteral("контроль-"),
                    QStringLiteral("модем порт - COM"),
                    QStringLiteral("модему немає - COM"),
                    QStringLiteral("порт зайнятий - COM"),
                    QStringLiteral("коректор \"ТАРН-НM\" ->"),
                    QStringLiteral("коpектор підключений до порту -"),
                    QStringLiteral("коректора немає - COM"),
                    QStringLiteral("адаптер USB-DTU підключено до порту -"),
                    QStringLiteral("адаптер USB-DTU немає - COM"),
                    QStringLiteral("DTU-2MB підключено до порту -"),
                    QStringLiteral("DTU-2MB немає - COM")};
const ScanTexts kRu{"ru",
                    QStringLiteral("контроль рабочих портов RS-232"),
                    QStringLiteral("стоп!!!"),
                    QStringLiteral("*Старт контроль соединения - \"модем\""),
                    QStringLiteral("*Старт контроль соединения - \"корректор\""),
                    QStringLiteral("*Старт контроль соединения - \"USB-DTU\""),
                    QStringLiteral("*Старт контроль соединения - \"USB-DTU-2MB\""),
                    QStringLiteral("контроль-"),
                    QStringLiteral("модем порт - COM"),
                    QStringLiteral("модема нет - COM"),
                    QStringLiteral("порт занят - COM"),
                    QStringLiteral("корректор \"ТАРН-НM\" ->"),
                    QStringLiteral("коppектор подключен к порту -"),
                    QStringLiteral("корректора нет - COM"),
                    QStringLiteral("адаптер USB-DTU подключен к порту -"),
                    QStringLiteral("адаптер USB-DTU нет - COM"),
                    QStringLiteral("DTU-2MB подключена к порту -"),
                    QStringLiteral("DTU-2MB нет - COM")};
const ScanTexts kEn{"en",
                    QStringLiteral("control of working ports RS-232"),
                    QStringLiteral("stop!!!"),
                    QStringLiteral("*Start connection control - \"modem\""),
                    QStringLiteral("*Start connection control - \"corrector\""),
                    QStringLiteral("*Start connection control - \"USB-DTU\""),
                    QStringLiteral("*Start connection control - \"USB-DTU-2MB\""),
                    QStringLiteral("control-"),
                    QStringLiteral("modem port - COM"),
                    QStringLiteral("no modem - COM"),
                    QStringLiteral("port busy - COM"),
                    QStringLiteral("corrector \"TARN-NM\" ->"),
                    QStringLiteral("corrector connected to the port-"),
                    QStringLiteral("no corrector - COM"),
                    QStringLiteral("USB-DTU adapter connected to port -"),
                    QStringLiteral("USB to DTU adapter no - COM"),
                    QStringLiteral("DTU-2MB connected to port -"),
                    QStringLiteral("DTU-2MB no - COM")};

struct ScanLog {
    int code = -1;
    QStringList found;
    QStringList lines;
    QString raw;
};

ScanLog scan(const Site& site, const QString& mode, const char* lang) {
    const Answer a =
        site.cli({QStringLiteral("scan"), QStringLiteral("--mode"), mode, QStringLiteral("--lang"),
                  QString::fromLatin1(lang), QStringLiteral("--json")});
    const QJsonObject o = a.json();
    return {a.code, jsonStrings(o.value(QStringLiteral("found"))),
            jsonStrings(o.value(QStringLiteral("lines"))), a.out + a.err};
}

// Lines as one text, so that a failing comparison prints them readably.
std::string joined(const QStringList& lines) {
    return lines.join(QLatin1Char('\n')).toStdString();
}

// ---------------------------------------------------------------- port scanner

// Corrector mode: a silent port costs its "none" verdict, the first port that answers with a 34-byte
// identification naming the corrector ends the scan, and a corrector further on is never probed. Ports
// at or above the limit of Work/Q_RS.000 are not examined at all.
TEST(PortScanner, CorrectorModeStopsAtTheFirstCorrectorAndTheLimitFileBoundsThePorts) {
    Site site;
    ASSERT_TRUE(site.ready());
    const QByteArray nmReply = identificationReply("V Tarn-nm V47a 2.01 serial 41234");
    ASSERT_TRUE(site.play(2, QJsonArray{scripted({})}));
    ASSERT_TRUE(site.play(3, QJsonArray{scripted({{kCorrectorProbe, nmReply}})}));
    ASSERT_TRUE(site.play(5, QJsonArray{scripted({{kCorrectorProbe, nmReply}})}));
    ASSERT_TRUE(site.play(8, QJsonArray{scripted({{kCorrectorProbe, nmReply}})}));
    site.mapPorts(9);
    site.write(QStringLiteral("Work/Q_RS.000"), "20\r\n 8 \r\nabc\r\n");

    for (const ScanTexts* t : {&kRu, &kEn}) {
        SCOPED_TRACE(t->lang);
        const ScanLog log = scan(site, QStringLiteral("corrector"), t->lang);
        const QStringList expected = {t->control,
                                      QStringLiteral("COM2"),
                                      QStringLiteral("COM3"),
                                      QStringLiteral("COM5"),
                                      t->correctorStart,
                                      t->check + QStringLiteral("COM2"),
                                      t->noCorrector + QStringLiteral("2"),
                                      t->check + QStringLiteral("COM3"),
                                      t->nameNm + printable(nmReply),
                                      t->correctorAt + QStringLiteral("COM3"),
                                      t->stop};
        EXPECT_EQ(joined(log.lines), joined(expected)) << log.raw.toStdString();
        EXPECT_EQ(log.found, QStringList{QStringLiteral("COM3")});
        EXPECT_EQ(log.code, 0);
    }
    // COM5 never saw a request: the scan had ended at COM3.
    EXPECT_TRUE(site.traffic(5).isEmpty()) << site.traffic(5).toStdString();
    EXPECT_TRUE(site.traffic(8).isEmpty()) << site.traffic(8).toStdString();
}

// The reply decides: the other kind's name gives its own text, a 35-byte answer, a wrong status or
// checksum and a text naming neither kind are no corrector.
TEST(PortScanner, OnlyAWholeIdentificationNamingAKindIsACorrector) {
    Site site;
    ASSERT_TRUE(site.ready());
    const QByteArray quon = identificationReply("QUON-2 V46a 2.01");
    QByteArray longer = identificationReply("V Tarn-nm V47a");
    longer.append(char(closingByte(longer)));
    QByteArray wrongStatus = identificationReply("V Tarn-nm V47a");
    wrongStatus[0] = char(0x01);
    wrongStatus[33] = char(closingByte(wrongStatus.left(33)));
    QByteArray wrongSum = identificationReply("V Tarn-nm V47a");
    wrongSum[33] = char(quint8(wrongSum[33]) ^ 0x01);
    const QByteArray neither = identificationReply("V Other V47a 2.01");
    int com = 1;
    for (const QByteArray& reply : {longer, wrongStatus, wrongSum, neither})
        ASSERT_TRUE(site.play(com++, QJsonArray{scripted({{kCorrectorProbe, reply}})}));
    ASSERT_TRUE(site.play(5, QJsonArray{scripted({{kCorrectorProbe, quon}})}));
    site.mapPorts(6);
    site.write(QStringLiteral("Work/Q_RS.000"), "7\r\n");

    const ScanLog log = scan(site, QStringLiteral("corrector"), "ru");
    QStringList expected = {kRu.control};
    for (int n = 1; n <= 5; ++n)
        expected.append(QStringLiteral("COM%1").arg(n));
    expected.append(kRu.correctorStart);
    for (int n = 1; n <= 4; ++n)
        expected << kRu.check + QStringLiteral("COM%1").arg(n) << kRu.noCorrector + QString::number(n);
    expected << kRu.check + QStringLiteral("COM5")
             << QStringLiteral("корректор \"ТАРН/КВОН\" ->") + printable(quon)
             << kRu.correctorAt + QStringLiteral("COM5") << kRu.stop;
    EXPECT_EQ(joined(log.lines), joined(expected)) << log.raw.toStdString();
    EXPECT_EQ(log.found, QStringList{QStringLiteral("COM5")});
}

// Modem mode goes through every port: each modem is reported with what it says to "ATI0", a silent port
// gets its "no modem", a port another program holds is busy, and the texts follow the language asked for.
class ScanLanguages : public ::testing::TestWithParam<const ScanTexts*> {};

TEST_P(ScanLanguages, ModemModeListsEveryModemAndTheBusyAndSilentPorts) {
    const ScanTexts& t = *GetParam();
    Site site;
    ASSERT_TRUE(site.ready());
    ASSERT_TRUE(site.play(
        2, QJsonArray{QJsonObject{{"role", "modem"}, {"info", "V.92 modem 56000"}, {"echo", false}}}));
    ASSERT_TRUE(site.play(3, QJsonArray{scripted({})}));
    ASSERT_TRUE(site.play(4, QJsonArray{scripted({})}));
    ASSERT_TRUE(
        site.play(6, QJsonArray{QJsonObject{{"role", "modem"}, {"info", "GSM 900"}, {"echo", false}}}));
    site.mapPorts(7);
    site.write(QStringLiteral("Work/Q_RS.000"), "8\r\n");

    // Another tarn-cli holds COM4 in a long exchange with its silent device; once the request is on the
    // line the port is taken.
    QProcess holder;
    holder.start(tarn::test::cliProgram(),
                 {QStringLiteral("--home"), site.home(), QStringLiteral("--port"), QStringLiteral("COM4"),
                  QStringLiteral("--timeout"), QStringLiteral("10000"), QStringLiteral("--retries"),
                  QStringLiteral("250"), QStringLiteral("identify")});
    ASSERT_TRUE(holder.waitForStarted(5000));
    for (int i = 0; i < 200 && site.traffic(4).isEmpty(); ++i)
        holder.waitForFinished(50);
    ASSERT_FALSE(site.traffic(4).isEmpty()) << "the holder never wrote to COM4";

    const ScanLog log = scan(site, QStringLiteral("modem"), t.lang);
    holder.terminate();
    holder.waitForFinished(5000);

    const QStringList expected = {t.control,
                                  QStringLiteral("COM2"),
                                  QStringLiteral("COM3"),
                                  QStringLiteral("COM4"),
                                  QStringLiteral("COM6"),
                                  t.modemStart,
                                  t.check + QStringLiteral("COM2"),
                                  t.modemPort + QStringLiteral("2"),
                                  QStringLiteral("V.92 modem 56000OK"),
                                  t.check + QStringLiteral("COM3"),
                                  t.noModem + QStringLiteral("3"),
                                  t.busy + QStringLiteral("4"),
                                  t.check + QStringLiteral("COM6"),
                                  t.modemPort + QStringLiteral("6"),
                                  QStringLiteral("GSM 900OK"),
                                  t.stop};
    EXPECT_EQ(joined(log.lines), joined(expected)) << log.raw.toStdString();
    EXPECT_EQ(log.found, (QStringList{QStringLiteral("COM2"), QStringLiteral("COM6")}));
}

INSTANTIATE_TEST_SUITE_P(Languages, ScanLanguages, ::testing::Values(&kUa, &kRu, &kEn),
                         [](const auto& info) { return std::string(info.param->lang); });

// The faults a real line has: a reply with a byte too many, a spoilt check byte and leading 0xFF noise are
// not taken, and the resends at the seventh and twelfth steps give the corrector its chance again.
TEST(PortScanner, ACorrectorIsFoundThroughTheResendsAfterSpoiltReplies) {
    Site site;
    ASSERT_TRUE(site.ready());
    auto faulty = [](const QJsonObject& faults) {
        return QJsonArray{QJsonObject{{"role", "corrector"},
                                      {"address", 1},
                                      {"serial", 41234},
                                      {"identification", "V Tarn-sim V47a 2.01"},
                                      {"faults", faults}}};
    };
    const QByteArray reply = identificationReply("V Tarn-sim V47a 2.01");
    struct Case {
        const char* what;
        QJsonObject faults;
        bool found;
    };
    const QList<Case> cases = {
        {"35 bytes, then 34", QJsonObject{{"extraByte", 1}}, true},
        {"two bad check bytes, the third reply good", QJsonObject{{"badChecksum", 2}}, true},
        {"every reply spoilt", QJsonObject{{"badChecksum", 1000000}}, false},
        {"0xFF noise before the first reply", QJsonObject{{"noise", 1}, {"noiseBytes", 2}}, true}};
    site.write(QStringLiteral("Work/Q_RS.000"), "3\r\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(site.play(1, faulty(c.faults)));
        site.mapPorts(2);
        const ScanLog log = scan(site, QStringLiteral("corrector"), "ru");
        QStringList expected = {kRu.control, QStringLiteral("COM1"), kRu.correctorStart,
                                kRu.check + QStringLiteral("COM1")};
        if (c.found)
            expected << kRu.nameNm + printable(reply) << kRu.correctorAt + QStringLiteral("COM1");
        else
            expected << kRu.noCorrector + QStringLiteral("1");
        expected << kRu.stop;
        EXPECT_EQ(joined(log.lines), joined(expected)) << log.raw.toStdString();
        site.silence(1);
    }
}

// The port limit: the last line of Work/Q_RS.000 that is a whole number from 1 to 99 once its blanks are
// gone; anything else, or no file, leaves 50, so COM49 is the last port examined. The language: the last
// line of Work/Type_Leng.000, an empty one meaning Ukrainian.
TEST(PortScanner, TheLimitAndLanguageFilesAreReadLineByLine) {
    Site site;
    ASSERT_TRUE(site.ready());
    for (int com : {19, 20, 49, 50})
        ASSERT_TRUE(site.play(com, QJsonArray{scripted({})}));
    site.mapPorts(60);
    struct Case {
        QByteArray limitFile;
        QByteArray languageFile;
        QStringList present;
        const ScanTexts* texts;
    };
    const QList<Case> cases = {
        {"12\r\n 2 0 \r\n-3\r\nabc\r\n", "RU\r\nEN\r\n", {QStringLiteral("COM19")}, &kEn},
        {"100\r\n",
         "EN\r\n\r\n",
         {QStringLiteral("COM19"), QStringLiteral("COM20"), QStringLiteral("COM49")},
         &kUa},
        {QByteArray(),
         "RU\r\n",
         {QStringLiteral("COM19"), QStringLiteral("COM20"), QStringLiteral("COM49")},
         &kRu}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.limitFile.toStdString());
        if (c.limitFile.isEmpty())
            QFile::remove(site.path(QStringLiteral("Work/Q_RS.000")));
        else
            site.write(QStringLiteral("Work/Q_RS.000"), c.limitFile);
        site.write(QStringLiteral("Work/Type_Leng.000"), c.languageFile);
        // No --lang: the language comes from the installation's file.
        const Answer a = site.cli({QStringLiteral("scan"), QStringLiteral("--mode"), QStringLiteral("modem"),
                                   QStringLiteral("--json")});
        const QStringList lines = jsonStrings(a.json().value(QStringLiteral("lines")));
        ASSERT_FALSE(lines.isEmpty()) << a.all().toStdString();
        EXPECT_EQ(lines.first(), c.texts->control);
        const qsizetype start = lines.indexOf(c.texts->modemStart);
        ASSERT_GE(start, 1) << joined(lines);
        EXPECT_EQ(lines.mid(1, start - 1), c.present);
    }
}

// A modem that takes "AT&F" but never answers "ATI0" is reported as a modem and then as no modem.
TEST(PortScanner, AModemSilentToItsInformationRequestGetsNoModemAfterItsPortLine) {
    Site site;
    ASSERT_TRUE(site.ready());
    ASSERT_TRUE(site.play(
        1, QJsonArray{QJsonObject{
               {"role", "modem"}, {"info", "X"}, {"echo", false}, {"silent", QJsonArray{"ATI0"}}}}));
    site.mapPorts(2);
    site.write(QStringLiteral("Work/Q_RS.000"), "3\r\n");
    const ScanLog log = scan(site, QStringLiteral("modem"), "ru");
    const QStringList expected = {kRu.control,
                                  QStringLiteral("COM1"),
                                  kRu.modemStart,
                                  kRu.check + QStringLiteral("COM1"),
                                  kRu.modemPort + QStringLiteral("1"),
                                  kRu.noModem + QStringLiteral("1"),
                                  kRu.stop};
    EXPECT_EQ(joined(log.lines), joined(expected)) << log.raw.toStdString();
}

// The adapter answers at device address 0; a reply whose payload carries a corrector's name is refused.
TEST(PortScanner, AdapterModeRefusesACorrectorsAnswerAndFindsTheAdapter) {
    Site site;
    ASSERT_TRUE(site.ready());
    const QByteArray quonAtZero = identificationReply(" QUON V46a");
    ASSERT_TRUE(site.play(1, QJsonArray{scripted({{kAdapterProbe, quonAtZero}})}));
    ASSERT_TRUE(site.play(2, QJsonArray{QJsonObject{{"role", "adapter"}, {"text", "USB-DTU 2.1"}}}));
    site.mapPorts(3);
    site.write(QStringLiteral("Work/Q_RS.000"), "4\r\n");
    const QByteArray adapterReply = identificationReply("USB-DTU 2.1");

    for (const ScanTexts* t : {&kUa, &kEn}) {
        SCOPED_TRACE(t->lang);
        const ScanLog log = scan(site, QStringLiteral("adapter"), t->lang);
        const QStringList expected = {t->control,
                                      QStringLiteral("COM1"),
                                      QStringLiteral("COM2"),
                                      t->adapterStart,
                                      t->check + QStringLiteral("COM1"),
                                      t->noAdapter + QStringLiteral("1"),
                                      t->check + QStringLiteral("COM2"),
                                      printable(adapterReply),
                                      t->adapterAt + QStringLiteral("COM2"),
                                      t->stop};
        EXPECT_EQ(joined(log.lines), joined(expected)) << log.raw.toStdString();
        EXPECT_EQ(log.found, QStringList{QStringLiteral("COM2")});
    }
}

// The 2 MB unit: a silent port is given up after its repeats, the unit that sends a whole page is found;
// with no port at all the start line is followed at once by the stop line.
TEST(PortScanner, TransferUnitModeAndAScanWithoutPorts) {
    Site site;
    ASSERT_TRUE(site.ready());
    ASSERT_TRUE(site.play(1, QJsonArray{QJsonObject{{"role", "dtu2mb"}, {"reply", "silent"}}}));
    ASSERT_TRUE(site.play(3, QJsonArray{QJsonObject{{"role", "dtu2mb"}, {"reply", "data"}}}));
    site.mapPorts(4);
    site.write(QStringLiteral("Work/Q_RS.000"), "5\r\n");
    const ScanLog log = scan(site, QStringLiteral("dtu2mb"), "ru");
    const QStringList expected = {kRu.control,
                                  QStringLiteral("COM1"),
                                  QStringLiteral("COM3"),
                                  kRu.unitStart,
                                  kRu.check + QStringLiteral("COM1"),
                                  kRu.noUnit + QStringLiteral("1"),
                                  kRu.check + QStringLiteral("COM3"),
                                  kRu.unitAt + QStringLiteral("COM3"),
                                  kRu.stop};
    EXPECT_EQ(joined(log.lines), joined(expected)) << log.raw.toStdString();
    EXPECT_EQ(log.found, QStringList{QStringLiteral("COM3")});
    // The request the unit answered: command word 0x8000 and its inverted CRC-16/MODBUS.
    EXPECT_TRUE(site.traffic(3).contains(QStringLiteral("80 00 9F 8F"), Qt::CaseInsensitive) ||
                site.traffic(3).contains(QStringLiteral("80009F8F"), Qt::CaseInsensitive))
        << site.traffic(3).toStdString();

    site.silence(1);
    site.silence(3);
    site.mapPorts(3);
    site.write(QStringLiteral("Work/Q_RS.000"), "4\r\n");
    const QStringList none = {kRu.control, kRu.correctorStart, kRu.stop};
    const ScanLog empty = scan(site, QStringLiteral("corrector"), "ru");
    EXPECT_EQ(joined(empty.lines), joined(none)) << empty.raw.toStdString();
    EXPECT_TRUE(empty.found.isEmpty());
}

// ---------------------------------------------------------------- console settings

// The fourteen lines of Work/Tuning.000 in their order, with the key tarn-cli gives each.
struct TuningLine {
    const char* key;
    const char* fallback;
    const char* changed;
};
const QList<TuningLine> kTuning = {{"soundFile", "Alarm1.wav", "Alarm7.wav"},
                                   {"tooltips", "1", "0"},
                                   {"alarm", "1", "0"},
                                   {"sound", "1", "0"},
                                   {"autorun", "0", "1"},
                                   {"analogClock", "0", "1"},
                                   {"rebuildAtStart", "0", "1"},
                                   {"csv", "0", "1"},
                                   {"csvHourly", "0", "1"},
                                   {"csvDaily", "0", "1"},
                                   {"csvMonthly", "0", "1"},
                                   {"csvOperative", "0", "1"},
                                   {"csvMeasurement", "0", "1"},
                                   {"extraRecordCheck", "0", "1"}};

QString shownValue(const QJsonObject& o, const char* key) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isBool()) return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    if (v.isDouble()) return QString::number(v.toInt());
    return v.toString();
}

class ConsoleSettings : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(site_.ready());
        // autorun writes the session's autostart entry: kept inside the test's own folder.
        env_ = {{QStringLiteral("XDG_CONFIG_HOME"), site_.scratch(QStringLiteral("config"))},
                {QStringLiteral("HOME"), site_.scratch(QStringLiteral("user"))}};
    }
    Answer settings(const QStringList& words) const {
        return site_.cli(QStringList{QStringLiteral("console"), QStringLiteral("settings")} + words, env_);
    }
    QJsonObject shown() const { return settings({QStringLiteral("show"), QStringLiteral("--json")}).json(); }
    Site site_;
    tarn::test::CliEnvironment env_;
};

// Each key set on its own changes its own line of Work/Tuning.000 and nothing else, shows again as set,
// and goes back; the file is always the fourteen lines in CP1251 with CR LF.
TEST_F(ConsoleSettings, EveryKeyRoundTripsThroughItsOwnLineOfTheFile) {
    const QJsonObject defaults = shown();
    for (const TuningLine& line : kTuning)
        EXPECT_EQ(shownValue(defaults, line.key), QLatin1String(line.fallback)) << line.key;
    EXPECT_EQ(defaults.value(QStringLiteral("delimiter")).toString(), QStringLiteral(","));

    QStringList expected;
    for (const TuningLine& line : kTuning)
        expected.append(QLatin1String(line.fallback));
    for (qsizetype i = 0; i < kTuning.size(); ++i) {
        const TuningLine& line = kTuning[i];
        SCOPED_TRACE(line.key);
        const Answer set = settings({QStringLiteral("set"), QLatin1String(line.key) + QLatin1Char('=') +
                                                                QLatin1String(line.changed)});
        ASSERT_EQ(set.code, 0) << set.all().toStdString();
        expected[i] = QLatin1String(line.changed);
        const CrLfFile file = readCrLfFile(site_.path(QStringLiteral("Work/Tuning.000")));
        EXPECT_TRUE(file.crlfOnly);
        EXPECT_EQ(file.lines, expected);
        EXPECT_EQ(shownValue(shown(), line.key), QLatin1String(line.changed));
    }
    // Autorun on: the session's autostart entry starts this installation on duty.
    const CrLfFile entry = readCrLfFile(site_.scratch(QStringLiteral("config/autostart/Tarn_B.desktop")));
    EXPECT_TRUE(entry.exists);
    bool startsOnDuty = false;
    for (const QString& l : entry.lines)
        if (l.startsWith(QStringLiteral("Exec=")) && l.contains(QStringLiteral("$d")) &&
            l.contains(site_.home()))
            startsOnDuty = true;
    EXPECT_TRUE(startsOnDuty) << joined(entry.lines);

    for (qsizetype i = 0; i < kTuning.size(); ++i) {
        ASSERT_EQ(settings({QStringLiteral("set"), QLatin1String(kTuning[i].key) + QLatin1Char('=') +
                                                       QLatin1String(kTuning[i].fallback)})
                      .code,
                  0);
        expected[i] = QLatin1String(kTuning[i].fallback);
    }
    EXPECT_EQ(readCrLfFile(site_.path(QStringLiteral("Work/Tuning.000"))).lines, expected);
    EXPECT_FALSE(QFile::exists(site_.scratch(QStringLiteral("config/autostart/Tarn_B.desktop"))));

    // The delimiter: its own file, the first character of its first line.
    ASSERT_EQ(settings({QStringLiteral("set"), QStringLiteral("delimiter=;")}).code, 0);
    const CrLfFile delimiter = readCrLfFile(site_.path(QStringLiteral("Current/Delim.000")));
    ASSERT_FALSE(delimiter.lines.isEmpty());
    EXPECT_EQ(QString(delimiter.lines[0]).remove(QLatin1Char(' ')).left(1), QStringLiteral(";"));
    EXPECT_EQ(shown().value(QStringLiteral("delimiter")).toString(), QStringLiteral(";"));
    EXPECT_EQ(readCrLfFile(site_.path(QStringLiteral("Work/Tuning.000"))).lines, expected);
}

// The files are read loosely: blanks inside a line are dropped, only "1" is on; the delimiter is its
// line's first non-blank character; a missing delimiter file or an empty first line is a comma.
TEST_F(ConsoleSettings, FilesWrittenByHandAreReadAsTheConsoleReadsThem) {
    site_.write(QStringLiteral("Work/Tuning.000"),
                "Alarm3.wav\r\nyes\r\n 1 \r\n0\r\n0\r\n1  \r\n0\r\n 1\r\n0\r\n1\r\n0\r\n0\r\n0\r\n  1  \r\n");
    site_.write(QStringLiteral("Current/Delim.000"), "  |\r\n");
    QJsonObject o = shown();
    EXPECT_EQ(shownValue(o, "soundFile"), QStringLiteral("Alarm3.wav"));
    EXPECT_EQ(shownValue(o, "tooltips"), QStringLiteral("0"));
    EXPECT_EQ(shownValue(o, "alarm"), QStringLiteral("1"));
    EXPECT_EQ(shownValue(o, "sound"), QStringLiteral("0"));
    EXPECT_EQ(shownValue(o, "analogClock"), QStringLiteral("1"));
    EXPECT_EQ(shownValue(o, "csv"), QStringLiteral("1"));
    EXPECT_EQ(shownValue(o, "csvDaily"), QStringLiteral("1"));
    EXPECT_EQ(shownValue(o, "extraRecordCheck"), QStringLiteral("1"));
    EXPECT_EQ(o.value(QStringLiteral("delimiter")).toString(), QStringLiteral("|"));
    site_.write(QStringLiteral("Current/Delim.000"), "\r\n;\r\n");
    EXPECT_EQ(shown().value(QStringLiteral("delimiter")).toString(), QStringLiteral(","));
}

// A value the window would not take is refused with exit 2 and leaves every file as it was.
TEST_F(ConsoleSettings, BadValuesAreRefusedAndNoFileChanges) {
    ASSERT_EQ(
        settings({QStringLiteral("set"), QStringLiteral("analogClock=1"), QStringLiteral("delimiter=;")})
            .code,
        0);
    const QMap<QString, QByteArray> before = site_.snapshot();
    const QStringList bad = {QStringLiteral("alarm=2"),
                             QStringLiteral("tooltips=yes"),
                             QStringLiteral("soundFile=Alarm11.wav"),
                             QStringLiteral("delimiter=\""),
                             QStringLiteral("noSuchKey=1"),
                             QStringLiteral("csv")};
    for (const QString& word : bad) {
        SCOPED_TRACE(word.toStdString());
        // A good key beside the bad one is not saved either.
        const Answer a = settings({QStringLiteral("set"), QStringLiteral("sound=0"), word});
        EXPECT_EQ(a.code, 2) << a.all().toStdString();
        EXPECT_EQ(site_.snapshot(), before);
    }
    EXPECT_EQ(shownValue(shown(), "sound"), QStringLiteral("1"));
}

// ---------------------------------------------------------------- a synchronised copy's refresh cycle

constexpr const char* kWaitOver =
    "Внимание!!! время до-\"Wait.000\" должно быть меньше времени до-\"Start.000\"";
constexpr const char* kZero = "Внимание!!! время до-\"Wait.000\" и время до-\"Start.000\" не должны быть =0";

class ViewerCopy : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(master_.ready());
        ASSERT_TRUE(copy_.ready());
        master_.write(QStringLiteral("Tarn_B.exe"), "program");
        master_.write(QStringLiteral("Current/Extra.000"), "из основного\r\n");
        master_.write(QStringLiteral("Current/Other.000"), "не копировать\r\n");
        // Peek: a folder of the master that is the copy's own Synchr/, so the run copies the marker files
        // as they are at the moment of the synchronisation into the copy's Peek/, where they stay.
        QDir().mkpath(copy_.path(QStringLiteral("Peek")));
        ASSERT_TRUE(QFile::link(copy_.path(QStringLiteral("Synchr")), master_.path(QStringLiteral("Peek"))));
        copy_.write(
            QStringLiteral("Work/SynDir.000"),
            "1*Current\\*Extra.000 / the one file wanted\r\n1*Peek\\*Wait.000\r\n1*Peek\\*Start.000\r\n");
        const Answer linked =
            copy_.cli({QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("syncOn=1"),
                       QStringLiteral("syncPath=") + master_.home()});
        ASSERT_EQ(linked.code, 0) << linked.all().toStdString();
    }
    Answer set(const QStringList& words) const {
        return copy_.cli(
            QStringList{QStringLiteral("console"), QStringLiteral("settings"), QStringLiteral("set")} +
            words);
    }
    // One cycle of the viewer on the test clock; its events in order.
    QList<QJsonObject> cycle(const QString& clockStart, int* code = nullptr) const {
        const Answer a = copy_.cli({QStringLiteral("sync"), QStringLiteral("viewer"),
                                    QStringLiteral("--once"), QStringLiteral("--json")},
                                   {{QStringLiteral("TARN_VIEWER_CLOCK"), clockStart}});
        if (code) *code = a.code;
        QList<QJsonObject> events;
        for (const QString& line : a.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            events.append(QJsonDocument::fromJson(line.toUtf8()).object());
        return events;
    }
    Site master_;
    Site copy_;
};

TEST_F(ViewerCopy, CycleMinutesAreCheckedAndWrittenAndReadLoosely) {
    QJsonObject o =
        copy_.cli({QStringLiteral("console"), QStringLiteral("settings"), QStringLiteral("--json")}).json();
    EXPECT_EQ(shownValue(o, "viewerCycle"), QStringLiteral("0"));
    EXPECT_EQ(shownValue(o, "startMinutes"), QStringLiteral("30"));
    EXPECT_EQ(shownValue(o, "waitMinutes"), QStringLiteral("25"));

    const Answer good = set({QStringLiteral("viewerCycle=1"), QStringLiteral("startMinutes=40"),
                             QStringLiteral("waitMinutes=35")});
    ASSERT_EQ(good.code, 0) << good.all().toStdString();
    const CrLfFile inst = readCrLfFile(copy_.path(QStringLiteral("Synchr/Inst.000")));
    EXPECT_TRUE(inst.crlfOnly);
    EXPECT_EQ(inst.lines, (QStringList{QStringLiteral("1"), QStringLiteral("40"), QStringLiteral("35")}));

    const QByteArray kept = copy_.bytes(QStringLiteral("Synchr/Inst.000"));
    const Answer equal = set({QStringLiteral("startMinutes=30"), QStringLiteral("waitMinutes=30")});
    EXPECT_EQ(equal.code, 3);
    EXPECT_TRUE(equal.all().contains(QString::fromUtf8(kWaitOver))) << equal.all().toStdString();
    const Answer zero = set({QStringLiteral("startMinutes=30"), QStringLiteral("waitMinutes=0")});
    EXPECT_EQ(zero.code, 3);
    EXPECT_TRUE(zero.all().contains(QString::fromUtf8(kZero))) << zero.all().toStdString();
    EXPECT_EQ(copy_.bytes(QStringLiteral("Synchr/Inst.000")), kept);

    copy_.write(QStringLiteral("Synchr/Inst.000"), "\r\n 1 \r\n\r\n 2 0\r\n 1 5\r\n");
    o = copy_.cli({QStringLiteral("console"), QStringLiteral("settings"), QStringLiteral("--json")}).json();
    EXPECT_EQ(shownValue(o, "viewerCycle"), QStringLiteral("1"));
    EXPECT_EQ(shownValue(o, "startMinutes"), QStringLiteral("20"));
    EXPECT_EQ(shownValue(o, "waitMinutes"), QStringLiteral("15"));
}

// Start 30, Wait 25 and a synchronisation that began 10 minutes ago: the Wait marker after 15 minutes,
// the Start marker after 20; then the rules' files and only they are copied, with the markers there while
// it runs, and the next cycle begins without markers.
TEST_F(ViewerCopy, CountdownsCountFromTheLastSynchronisationAndTheRunCopiesOnlyTheRules) {
    ASSERT_EQ(set({QStringLiteral("viewerCycle=1"), QStringLiteral("startMinutes=30"),
                   QStringLiteral("waitMinutes=25")})
                  .code,
              0);
    copy_.write(QStringLiteral("Synchr/LastSync.000"), "01.03.2024 09:50:00\r\n");
    int code = -1;
    const QList<QJsonObject> events = cycle(QStringLiteral("2024-03-01T10:00:00"), &code);
    EXPECT_EQ(code, 0);
    QStringList kinds;
    for (const QJsonObject& e : events)
        kinds.append(e.value(QStringLiteral("event")).toString() +
                     (e.contains(QStringLiteral("file"))
                          ? QLatin1Char(':') + e.value(QStringLiteral("file")).toString()
                          : QString()));
    EXPECT_EQ(kinds, (QStringList{QStringLiteral("cycle"), QStringLiteral("marker:Synchr/Wait.000"),
                                  QStringLiteral("marker:Synchr/Start.000"), QStringLiteral("synchronised"),
                                  QStringLiteral("database")}));
    ASSERT_EQ(events.size(), 5);
    // The table check is off in the settings: the database starts without it.
    EXPECT_FALSE(events[4].value(QStringLiteral("tablesChecked")).toBool(true));
    EXPECT_TRUE(events[4].value(QStringLiteral("open")).toBool());
    EXPECT_EQ(events[0].value(QStringLiteral("waitSeconds")).toInt(), 15 * 60);
    EXPECT_EQ(events[0].value(QStringLiteral("startSeconds")).toInt(), 20 * 60);

    // What the synchronisation saw in Synchr/: the two markers with their words.
    EXPECT_EQ(readCrLfFile(copy_.path(QStringLiteral("Peek/Wait.000"))).lines,
              QStringList{QStringLiteral("ОЖИДАЙТЕ")});
    EXPECT_EQ(readCrLfFile(copy_.path(QStringLiteral("Peek/Start.000"))).lines,
              QStringList{QStringLiteral("СТАРТ")});
    EXPECT_TRUE(readCrLfFile(copy_.path(QStringLiteral("Peek/Start.000"))).crlfOnly);
    // The rule's file came over byte for byte; the master's other file did not.
    EXPECT_EQ(copy_.bytes(QStringLiteral("Current/Extra.000")),
              master_.bytes(QStringLiteral("Current/Extra.000")));
    EXPECT_FALSE(QFile::exists(copy_.path(QStringLiteral("Current/Other.000"))));
    // The next cycle has begun: both markers deleted; the synchronisation's start, 20 minutes on, kept.
    EXPECT_FALSE(QFile::exists(copy_.path(QStringLiteral("Synchr/Wait.000"))));
    EXPECT_FALSE(QFile::exists(copy_.path(QStringLiteral("Synchr/Start.000"))));
    EXPECT_EQ(readCrLfFile(copy_.path(QStringLiteral("Synchr/LastSync.000"))).lines,
              QStringList{QStringLiteral("01.03.2024 10:20:00")});
}

// 35 minutes since the last synchronisation with Wait 25 and Start 30: no Wait marker in this cycle and a
// full Start countdown; with the table check chosen the tables are checked before the database starts.
TEST_F(ViewerCopy, APassedWaitTimeWritesNoWaitMarkerAndStartCountsInFull) {
    ASSERT_EQ(set({QStringLiteral("viewerCycle=1"), QStringLiteral("startMinutes=30"),
                   QStringLiteral("waitMinutes=25")})
                  .code,
              0);
    ASSERT_EQ(set({QStringLiteral("rebuildAtStart=1")}).code, 0);
    copy_.write(QStringLiteral("Synchr/LastSync.000"), "01.03.2024 09:25:00\r\n");
    const QList<QJsonObject> events = cycle(QStringLiteral("2024-03-01T10:00:00"));
    ASSERT_FALSE(events.isEmpty());
    // The table check is on: it runs before the database starts again.
    EXPECT_TRUE(events.last().value(QStringLiteral("tablesChecked")).toBool());
    EXPECT_EQ(events[0].value(QStringLiteral("waitSeconds")).toInt(), 0);
    EXPECT_EQ(events[0].value(QStringLiteral("startSeconds")).toInt(), 30 * 60);
    for (const QJsonObject& e : events)
        EXPECT_NE(e.value(QStringLiteral("file")).toString(), QStringLiteral("Synchr/Wait.000"));
    EXPECT_FALSE(QFile::exists(copy_.path(QStringLiteral("Peek/Wait.000"))));
    EXPECT_EQ(readCrLfFile(copy_.path(QStringLiteral("Peek/Start.000"))).lines,
              QStringList{QStringLiteral("СТАРТ")});
}

// ---------------------------------------------------------------- group views over stored records

const QList<double> kFactors = {0.5, 1.0, 1.5, 2.0, 0.5, 1.0, 1.5, 2.0, 0.5, 1.0, 1.5, 2.0,
                                0.5, 1.0, 1.5, 2.0, 0.5, 1.0, 1.5, 2.0, 0.5, 1.0, 1.5, 2.0};

QJsonObject corrector(int serial, int hours, double flow) {
    QJsonArray profile;
    for (double f : kFactors)
        profile.append(f);
    return QJsonObject{
        {"role", "corrector"},
        {"address", 1},
        {"serial", serial},
        {"identification", "V Tarn-sim V47a 2.01"},
        {"passwords", QJsonArray{"1111", "2222", "3333", "4444", "5555", "6666", "7777"}},
        {"measurements",
         QJsonObject{{"pressure", 1.5}, {"temperature", 5.0}, {"compressibility", 1.0}, {"correction", 2.0}}},
        {"archive",
         QJsonObject{{"start", "29.02.2024 12:00"}, {"hours", hours}, {"flow", flow}, {"profile", profile}}}};
}

// One stored record as the summary takes it: its interval key, its four volumes and its status text.
struct Stored {
    QString date, time, help;
    double volumes[4] = {0, 0, 0, 0};
};

// The summary's number: one decimal, a bare ".0" cut.
QString oneDecimal(double v) {
    QString s = QString::number(v, 'f', 1);
    if (s.endsWith(QStringLiteral(".0"))) s.chop(2);
    return s;
}

QString flagText(bool i, bool v) {
    return QString(i ? QStringLiteral("И") : QStringLiteral("-")) + QLatin1Char('/') +
           (v ? QStringLiteral("В") : QStringLiteral("-"));
}

class GroupViews : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        site_ = new Site;
        if (!site_->ready()) return;
        // Two members with hours of their own and a third with no hourly or daily record at all.
        const QList<QPair<int, QJsonObject>> members = {
            {1, corrector(51231, 40, 4.0)}, {2, corrector(51232, 64, 6.0)}, {3, corrector(51233, 0, 1.0)}};
        for (const auto& [com, device] : members)
            if (!site_->play(com, QJsonArray{device})) return;
        site_->mapPorts(3);
        for (const auto& [com, device] : members) {
            const Answer stored =
                site_->cli({QStringLiteral("--port"), QStringLiteral("COM%1").arg(com),
                            QStringLiteral("store"), QStringLiteral("--archives"),
                            com == 3 ? QStringLiteral("monthly") : QStringLiteral("hourly,daily")});
            if (stored.code != 0) return;
            ids_.append(QString::number(device.value(QStringLiteral("serial")).toInt()));
            site_->silence(com);
        }
        saved_ = site_
                     ->cli({QStringLiteral("group"), QStringLiteral("save"), QStringLiteral("Котли"),
                            QStringLiteral("--points"), ids_.join(QLatin1Char(','))})
                     .code == 0;
    }
    static void TearDownTestSuite() {
        delete site_;
        site_ = nullptr;
        ids_.clear();
    }
    void SetUp() override {
        ASSERT_TRUE(site_ && site_->ready());
        ASSERT_EQ(ids_.size(), 3);
        ASSERT_TRUE(saved_);
    }

    // A member's stored records of one archive, read through tarn-cli rows.
    static QList<Stored> stored(const QString& id, const QString& archive) {
        const QJsonObject o = site_
                                  ->cli({QStringLiteral("rows"), QStringLiteral("--point"), id,
                                         QStringLiteral("--archive"), archive, QStringLiteral("--json")})
                                  .json();
        const QStringList fields = jsonStrings(o.value(QStringLiteral("fields")));
        const QString p = archive == QLatin1String("hourly") ? QStringLiteral("h") : QStringLiteral("d");
        auto at = [&](const QStringList& row, const QString& name) {
            const qsizetype i = fields.indexOf(p + name);
            return i >= 0 && i < row.size() ? row[i] : QString();
        };
        QList<Stored> out;
        for (const QStringList& row : jsonTable(o.value(QStringLiteral("rows")))) {
            Stored s;
            const QString stamp = at(row, QStringLiteral("DT_Corr"));
            s.date = p == QLatin1String("h") ? stamp.left(10) : at(row, QStringLiteral("Date"));
            s.time = stamp.mid(11, 2) + QStringLiteral(":00");
            s.help = at(row, QStringLiteral("Help"));
            const QStringList names = {QStringLiteral("Vwrk"), QStringLiteral("Vst"),
                                       QStringLiteral("Valwrk"), QStringLiteral("Valst")};
            for (int k = 0; k < 4; ++k)
                s.volumes[k] = at(row, names[k]).toDouble();
            out.append(s);
        }
        return out;
    }

    static Site* site_;
    static QStringList ids_;
    static bool saved_;
};
Site* GroupViews::site_ = nullptr;
QStringList GroupViews::ids_;
bool GroupViews::saved_ = false;

struct Sums {
    double v[6] = {0, 0, 0, 0, 0, 0};
    bool i = false, vFlag = false, any = false;
    void add(const Stored& s) {
        for (int k = 0; k < 4; ++k)
            v[k] += s.volumes[k];
        v[4] += s.volumes[0] + s.volumes[2];
        v[5] += s.volumes[1] + s.volumes[3];
        i = i || s.help.mid(1, 1) == QStringLiteral("И");
        vFlag = vFlag || s.help.mid(2, 1) == QStringLiteral("В");
        any = true;
    }
    QStringList cells() const {
        if (!any) return QStringList(7, QStringLiteral("--"));
        QStringList out;
        for (double x : v)
            out.append(oneDecimal(x));
        out.append(flagText(i, vFlag));
        return out;
    }
};

// Daily over four days: a row per day, each the sum of the members' records of that date; the members'
// first and last dates and whether they cover the period; the third member has nothing.
TEST_F(GroupViews, DailySummaryRowsAreTheMembersDaysAddedUp) {
    const QDate from(2024, 2, 28), to(2024, 3, 3);
    const Answer a =
        site_->cli({QStringLiteral("group"), QStringLiteral("summary"), QStringLiteral("Котли"),
                    QStringLiteral("--archive"), QStringLiteral("daily"), QStringLiteral("--from"),
                    from.toString(QStringLiteral("dd.MM.yyyy")), QStringLiteral("--to"),
                    to.toString(QStringLiteral("dd.MM.yyyy")), QStringLiteral("--json")});
    ASSERT_EQ(a.code, 0) << a.all().toStdString();
    const QJsonObject o = a.json();

    QMap<QString, Sums> byDay;
    QList<Sums> perMember(3);
    QList<QStringList> spans(3);
    for (int m = 0; m < 3; ++m)
        for (const Stored& s : stored(ids_[m], QStringLiteral("daily"))) {
            const QDate d = QDate::fromString(s.date, QStringLiteral("dd.MM.yyyy"));
            if (d < from || d > to) continue;
            byDay[s.date].add(s);
            perMember[m].add(s);
            if (spans[m].isEmpty()) spans[m] = {s.date, s.date};
            spans[m][1] = s.date;
        }
    ASSERT_TRUE(perMember[0].any && perMember[1].any) << "no daily record stored";

    QList<QStringList> expected;
    for (QDate d = from; d <= to; d = d.addDays(1)) {
        const QString date = d.toString(QStringLiteral("dd.MM.yyyy"));
        expected.append(QStringList{date, QStringLiteral("--")} + byDay.value(date).cells());
    }
    EXPECT_EQ(jsonTable(o.value(QStringLiteral("intervals"))), expected);

    const QList<QStringList> members = jsonTable(o.value(QStringLiteral("members")));
    const QList<QStringList> totals = jsonTable(o.value(QStringLiteral("totals")));
    ASSERT_EQ(members.size(), 3);
    ASSERT_EQ(totals.size(), 3);
    for (int m = 0; m < 3; ++m) {
        SCOPED_TRACE(m);
        ASSERT_EQ(members[m].size(), 9);
        EXPECT_EQ(members[m][0], QString::number(m + 1));
        EXPECT_EQ(members[m][1], ids_[m]);
        EXPECT_EQ(members[m][2], ids_[m]);
        if (!perMember[m].any) {
            EXPECT_EQ(members[m][8], QStringLiteral("нет данных"));
            EXPECT_EQ(totals[m].mid(4), QStringList(7, QStringLiteral("--")));
            continue;
        }
        EXPECT_EQ(members[m][6], spans[m][0]);
        EXPECT_EQ(members[m][7], spans[m][1]);
        const bool whole = spans[m][0] == from.toString(QStringLiteral("dd.MM.yyyy")) &&
                           spans[m][1] == to.toString(QStringLiteral("dd.MM.yyyy"));
        EXPECT_EQ(members[m][8], whole ? QStringLiteral("норма") : QStringLiteral("мало данных"));
        EXPECT_EQ(totals[m].mid(4), perMember[m].cells());
    }
}

// Hourly over one day: 24 rows from 00:00 to 23:00, each hour's records of both members added up; the text
// answer heads its tables with the columns' names.
TEST_F(GroupViews, HourlySummaryOfADayHasTwentyFourRowsOfTheMembersHours) {
    const QString day = QStringLiteral("01.03.2024");
    const Answer a =
        site_->cli({QStringLiteral("group"), QStringLiteral("summary"), QStringLiteral("Котли"),
                    QStringLiteral("--archive"), QStringLiteral("hourly"), QStringLiteral("--from"), day,
                    QStringLiteral("--to"), day, QStringLiteral("--json")});
    ASSERT_EQ(a.code, 0) << a.all().toStdString();
    QMap<QString, Sums> byHour;
    QList<Sums> perMember(3);
    for (int m = 0; m < 3; ++m)
        for (const Stored& s : stored(ids_[m], QStringLiteral("hourly")))
            if (s.date == day) {
                byHour[s.time].add(s);
                perMember[m].add(s);
            }
    ASSERT_TRUE(perMember[0].any && perMember[1].any);
    QList<QStringList> expected;
    for (int h = 0; h < 24; ++h) {
        const QString time = QStringLiteral("%1:00").arg(h, 2, 10, QLatin1Char('0'));
        expected.append(QStringList{day, time} + byHour.value(time).cells());
    }
    const QJsonObject o = a.json();
    EXPECT_EQ(jsonTable(o.value(QStringLiteral("intervals"))), expected);
    const QList<QStringList> members = jsonTable(o.value(QStringLiteral("members")));
    ASSERT_EQ(members.size(), 3);
    EXPECT_EQ(members[2][8], QStringLiteral("нет данных"));
    // Both members recorded every hour of the day: from 00:00 to 23:00 is the whole period.
    EXPECT_EQ(members[0][6], day + QStringLiteral(" 00:00"));
    EXPECT_EQ(members[0][7], day + QStringLiteral(" 23:00"));
    EXPECT_EQ(members[0][8], QStringLiteral("норма"));
    const QList<QStringList> totals = jsonTable(o.value(QStringLiteral("totals")));
    for (int m = 0; m < 2; ++m)
        EXPECT_EQ(totals[m].mid(4), perMember[m].cells()) << m;

    const Answer text =
        site_->cli({QStringLiteral("group"), QStringLiteral("summary"), QStringLiteral("Котли"),
                    QStringLiteral("--archive"), QStringLiteral("hourly"), QStringLiteral("--from"), day,
                    QStringLiteral("--to"), day});
    const QStringList lines = text.out.split(QLatin1Char('\n'));
    EXPECT_TRUE(lines.contains(QStringLiteral("\"отчет\" - подготовка данных группы  : \"Котли\"")));
    EXPECT_TRUE(lines.contains(
        QStringLiteral("дата\tвремя\tVраб\tVстд\tVвнш\tVстд.внш\tVраб+внш\tVстд.+ст.внш\tфлаги")))
        << text.out.toStdString();
    EXPECT_TRUE(lines.contains(
        QStringLiteral("ном.\tидентиф.\tсер. номер\tтип\tорганизация\tветка\tначало\tконец\tкоментарий")));
}

TEST_F(GroupViews, BackwardPeriodNoGroupAndAMissingParameterFileAreRefused) {
    const Answer backward =
        site_->cli({QStringLiteral("group"), QStringLiteral("summary"), QStringLiteral("Котли"),
                    QStringLiteral("--archive"), QStringLiteral("daily"), QStringLiteral("--from"),
                    QStringLiteral("03.03.2024"), QStringLiteral("--to"), QStringLiteral("01.03.2024")});
    EXPECT_NE(backward.code, 0);
    EXPECT_TRUE(backward.err.contains(QStringLiteral("Ошибка выбранного периода")))
        << backward.all().toStdString();
    const Answer nameless =
        site_->cli({QStringLiteral("group"), QStringLiteral("summary"), QString(),
                    QStringLiteral("--archive"), QStringLiteral("daily"), QStringLiteral("--from"),
                    QStringLiteral("01.03.2024"), QStringLiteral("--to"), QStringLiteral("03.03.2024")});
    EXPECT_NE(nameless.code, 0);
    EXPECT_TRUE(nameless.err.contains(QStringLiteral("Не выбрана группа!!!")))
        << nameless.all().toStdString();

    const QString param = site_->path(QStringLiteral("Param/p_%1.000").arg(ids_[1]));
    ASSERT_TRUE(QFile::rename(param, param + QStringLiteral(".away")));
    const Answer missing =
        site_->cli({QStringLiteral("group"), QStringLiteral("summary"), QStringLiteral("Котли"),
                    QStringLiteral("--archive"), QStringLiteral("daily"), QStringLiteral("--from"),
                    QStringLiteral("01.03.2024"), QStringLiteral("--to"), QStringLiteral("03.03.2024")});
    ASSERT_TRUE(QFile::rename(param + QStringLiteral(".away"), param));
    EXPECT_EQ(missing.code, 1);
    EXPECT_TRUE(missing.all().contains(
        QStringLiteral("Внимание!!! Нет файла параметров для корректора - ТАРН-1.01 N") + ids_[1]))
        << missing.all().toStdString();
}

// The alarm table's frame and header follow the situations chosen in Current/mask_nhs.000; with no alarm
// record and not every member asked for there is no member line, and a third line of the wrong length
// chooses no situation.
TEST_F(GroupViews, AlarmTableColumnsFollowTheMaskFile) {
    auto table = [&](const QByteArray& mask, CrLfFile* file) {
        if (mask.isEmpty())
            QFile::remove(site_->path(QStringLiteral("Current/mask_nhs.000")));
        else
            site_->write(QStringLiteral("Current/mask_nhs.000"), mask);
        const QString out = site_->scratch(QStringLiteral("alarms.txt"));
        QFile::remove(out);
        const Answer a =
            site_->cli({QStringLiteral("group"), QStringLiteral("alarms"), QStringLiteral("Котли"),
                        QStringLiteral("--from"), QStringLiteral("01.03.2024"), QStringLiteral("--to"),
                        QStringLiteral("03.03.2024"), QStringLiteral("--out"), out});
        EXPECT_EQ(a.code, 0) << a.all().toStdString();
        *file = readCrLfFile(out);
        EXPECT_TRUE(file->crlfOnly);
        return file->lines;
    };
    auto header = [](const QStringList& situations) {
        QString h = QStringLiteral("корректор").leftJustified(12) + QStringLiteral(" N ").leftJustified(6) +
                    QStringLiteral("организация").leftJustified(25) +
                    QStringLiteral("ветка").leftJustified(15);
        for (const QString& s : situations)
            h += s;
        return h + QLatin1Char('|');
    };
    auto frame = [](const QString& h) {
        return QLatin1Char('|') + QString(h.size() - 2, QLatin1Char('-')) + QLatin1Char('|');
    };
    CrLfFile file;

    const QString chosen = header({QStringLiteral("01"), QStringLiteral("02"), QStringLiteral("16")});
    EXPECT_EQ(joined(table("0\r\n0\r\n1100000000000001\r\n", &file)),
              joined({frame(chosen), chosen, frame(chosen), QStringLiteral(" **записей не было**")}));

    const QString bare = header({});
    QStringList everyMember = {frame(bare), bare, frame(bare)};
    for (const QString& id : ids_)
        everyMember << QStringLiteral("ТАРН-1.01").leftJustified(12) + id.leftJustified(6) +
                           QString(25 + 15, QLatin1Char(' ')) + QLatin1Char('|')
                    << frame(bare);
    EXPECT_EQ(joined(table("1\r\n0\r\n110\r\n", &file)), joined(everyMember));

    // No file: both options on and every situation but the fifteenth; the legend comes before the table.
    QStringList all;
    for (int n = 1; n <= 16; ++n)
        if (n != 15) all.append(QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')));
    const QString full = header(all);
    const QStringList lines = table(QByteArray(), &file);
    const qsizetype at = lines.indexOf(full);
    ASSERT_GE(at, 2) << joined(lines);
    EXPECT_EQ(lines[at - 1], frame(full));
    EXPECT_EQ(lines.mid(at + 1).size(), 1 + 2 * ids_.size());
    EXPECT_TRUE(lines[at + 2].endsWith(
        QString(15, QLatin1Char('-')).replace(QLatin1String("-"), QLatin1String("- ")) + QLatin1Char('|')))
        << lines[at + 2].toStdString();
}

// The last records of a point: the newest record of each archive it has, "--" for the ones it has not,
// and the text file laid out as the window saves it.
TEST_F(GroupViews, LastRecordsAreEachArchivesNewestAndTheFileHoldsTheGrid) {
    const QString id = ids_[1];
    const QString out = site_->scratch(QStringLiteral("last.txt"));
    const Answer a = site_->cli({QStringLiteral("points"), QStringLiteral("last"), id,
                                 QStringLiteral("--out"), out, QStringLiteral("--json")});
    ASSERT_EQ(a.code, 0) << a.all().toStdString();
    QMap<QString, QStringList> byTable;
    for (const QJsonValue& v : a.json().value(QStringLiteral("rows")).toArray()) {
        const QJsonObject r = v.toObject();
        byTable.insert(
            r.value(QStringLiteral("table")).toString(),
            {r.value(QStringLiteral("stored")).toString(), r.value(QStringLiteral("recorded")).toString()});
    }
    // The simulator's newest hourly record ends 64 hours after 29.02.2024 12:00; its newest closed gas day.
    const QList<Stored> hours = stored(id, QStringLiteral("hourly"));
    const QList<Stored> days = stored(id, QStringLiteral("daily"));
    ASSERT_FALSE(hours.isEmpty());
    ASSERT_FALSE(days.isEmpty());
    EXPECT_EQ(byTable.value(QStringLiteral("часовой архив")).value(1), QStringLiteral("03.03.2024 04:00"));
    // Gas days close at 09:00: the last one closed before 03.03.2024 04:00 is that of 02.03.2024.
    EXPECT_EQ(days.last().date, QStringLiteral("02.03.2024"));
    EXPECT_EQ(byTable.value(QStringLiteral("суточный архив")).value(1), QStringLiteral("02.03.2024 09:00"));
    for (const QString& none : {QStringLiteral("месячный архив"), QStringLiteral("изменений архив"),
                                QStringLiteral("аварийный архив"), QStringLiteral("оперативный архив"),
                                QStringLiteral("служебный архив"), QStringLiteral("текущий замер")})
        EXPECT_EQ(byTable.value(none), (QStringList{QStringLiteral("--"), QStringLiteral("--")}))
            << none.toStdString();
    EXPECT_EQ(byTable.value(QStringLiteral("последний опрос")).value(1), QStringLiteral("--"));
    EXPECT_TRUE(QDateTime::fromString(byTable.value(QStringLiteral("последний опрос")).value(0),
                                      QStringLiteral("dd.MM.yyyy HH:mm:ss"))
                    .isValid());

    const CrLfFile file = readCrLfFile(out);
    ASSERT_TRUE(file.exists);
    EXPECT_TRUE(file.crlfOnly);
    const QString rule(70, QLatin1Char('-'));
    QStringList expected = {QStringLiteral("Время последних записей в архивах прибора:"),
                            QStringLiteral("ТАРН-1.01 №") + id + QStringLiteral(" владелец:"), rule};
    auto gridLine = [](const QString& a, const QString& b, const QString& c) {
        return QLatin1Char('|') + a.leftJustified(20) + QLatin1Char('|') + b.leftJustified(23) +
               QLatin1Char('|') + c.leftJustified(23) + QLatin1Char('|');
    };
    expected << gridLine(QString(), QStringLiteral("время записи в БД"),
                         QStringLiteral("время записи в прибор"))
             << rule;
    for (const QString& table :
         {QStringLiteral("часовой архив"), QStringLiteral("суточный архив"), QStringLiteral("месячный архив"),
          QStringLiteral("изменений архив"), QStringLiteral("аварийный архив"),
          QStringLiteral("оперативный архив"), QStringLiteral("служебный архив"),
          QStringLiteral("текущий замер"), QStringLiteral("последний опрос")})
        expected << gridLine(table, byTable.value(table).value(0), byTable.value(table).value(1)) << rule;
    EXPECT_EQ(joined(file.lines), joined(expected));
}

// The member list: a line per member with its last storing time, the same as its last records say; the
// file holds the lines without the banner.
TEST_F(GroupViews, MemberListLinesCarryEachMembersLastStoring) {
    const QString out = site_->scratch(QStringLiteral("members.txt"));
    const Answer a = site_->cli({QStringLiteral("group"), QStringLiteral("members"), QStringLiteral("Котли"),
                                 QStringLiteral("--out"), out});
    ASSERT_EQ(a.code, 0) << a.all().toStdString();
    QStringList expected;
    for (int m = 0; m < 3; ++m) {
        QString lastStoring = QStringLiteral("--");
        for (const QJsonValue& v :
             site_->cli({QStringLiteral("points"), QStringLiteral("last"), ids_[m], QStringLiteral("--json")})
                 .json()
                 .value(QStringLiteral("rows"))
                 .toArray())
            if (v.toObject().value(QStringLiteral("table")).toString() == QStringLiteral("последний опрос"))
                lastStoring = v.toObject().value(QStringLiteral("stored")).toString();
        expected.append(QLatin1Char('|') + QString::number(m + 1).leftJustified(3) + QLatin1Char('|') +
                        QStringLiteral("ТАРН-1.01").leftJustified(12) + QLatin1Char('|') +
                        ids_[m].leftJustified(9) + QLatin1Char('|') + QString().leftJustified(32) +
                        QLatin1Char('|') + lastStoring.leftJustified(19) + QLatin1Char('|'));
    }
    const CrLfFile file = readCrLfFile(out);
    ASSERT_TRUE(file.exists);
    EXPECT_TRUE(file.crlfOnly);
    EXPECT_EQ(joined(file.lines), joined(expected));
    EXPECT_TRUE(a.out.contains(QStringLiteral("Группа - \"Котли\""))) << a.out.toStdString();
    EXPECT_TRUE(a.out.contains(
        QStringLiteral("|н.п|Тип прибора |Сер.номер|Владелец                        |Послед. запись в БД|")));
}

} // namespace
