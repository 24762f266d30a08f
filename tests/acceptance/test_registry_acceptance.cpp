// Acceptance checks of passwords, the registry of metering points and storing, as a metering engineer
// meets them: a password slot changed with the right and the wrong current password and at each access
// level, a first store that registers the point, searching, changing and erasing points, stored rows
// against the records the simulated corrector holds, a second store that adds nothing, and the last
// records of a point. tarn-cli and corrector-sim run as processes only; what the corrector holds comes
// from the simulator's scenario and its --dump, what the database holds from tarn-cli and, for the
// registry fields tarn-cli does not show, from the registry file read here with SQLite.
#include "acceptance/AcceptanceReaders.h"
#include "support/CliRunner.h"
#include "support/SimProcess.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QUuid>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <utility>
#include <vector>

namespace {

const QString kSim = QStringLiteral(TARN_SIM_PROGRAM);

// The passwords of fields 1..7 (operator A, B, C, master E, F, configurator, verifier).
const QStringList kPasswords{"1111", "2222", "3333", "4444", "5555", "6666", "7777"};
const QString kWrongPassword = QStringLiteral("Ошибочное значение пароля!!!");

// The hourly archive every simulated corrector here keeps: records from this hour on, the working
// volume of hour h of the day flow × profile[h].
const QDateTime kArchiveStart(QDate(2024, 3, 1), QTime(0, 0));
constexpr double kFlow = 10.0;
const std::vector<double> kProfile{0.4, 0.3, 0.3, 0.3, 0.4, 0.6, 0.9, 1.2, 1.4, 1.4, 1.3, 1.2,
                                   1.2, 1.2, 1.2, 1.3, 1.4, 1.5, 1.5, 1.4, 1.2, 1.0, 0.8, 0.6};

QString floatHex(float f) {
    quint32 bits = 0;
    std::memcpy(&bits, &f, 4);
    QByteArray b;
    for (int i = 0; i < 4; ++i)
        b.append(char((bits >> (8 * i)) & 0xFF));
    return QString::fromLatin1(b.toHex());
}

// ---------------------------------------------------------------- installation and processes

using Result = tarn::test::CliText;

struct Corrector {
    QString preset = QStringLiteral("series1");
    int serial = 12345;
    int address = 1;
    int hours = 30;
    QJsonObject more;  // further scenario keys: abnormal, interference, service
    int startHour = 0; // the archive's first hour after kArchiveStart
};

class Installation {
public:
    Installation() {
        home_ = dir_.path() + QStringLiteral("/home");
        QDir().mkpath(home_);
        // No pause before each request: the simulated corrector is ready at once, and the pause is not
        // what these tests are about.
        initialised_ =
            cli({QStringLiteral("init")}).code == 0 &&
            cli({QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("writeDelayMs=0")}).code ==
                0;
        write(QStringLiteral("Work/Type_Leng.000"), "RU\r\n");
    }
    bool initialised() const { return initialised_; }
    QString home() const { return home_; }
    QString scratch(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }

    void write(const QString& relative, const QByteArray& bytes) const {
        QDir().mkpath(QFileInfo(home_ + QLatin1Char('/') + relative).path());
        QFile f(home_ + QLatin1Char('/') + relative);
        if (f.open(QIODevice::WriteOnly)) f.write(bytes);
    }

    // A simulated corrector on COM1 that dumps what it holds as it ends.
    bool startCorrector(const Corrector& c) {
        const QString link = scratch(QStringLiteral("com1"));
        write(QStringLiteral("Work/PortMap.000"), "COM1 " + link.toLocal8Bit() + "\r\n");
        QJsonArray profile;
        for (double p : kProfile)
            profile.append(p);
        QJsonObject device = c.more;
        device.insert(QStringLiteral("role"), QStringLiteral("corrector"));
        device.insert(QStringLiteral("preset"), c.preset);
        device.insert(QStringLiteral("address"), c.address);
        device.insert(QStringLiteral("serial"), c.serial);
        device.insert(QStringLiteral("passwords"), QJsonArray::fromStringList(kPasswords));
        device.insert(QStringLiteral("clockOffsetSec"), 0);
        device.insert(QStringLiteral("measurements"),
                      QJsonObject{{"temperature", 6.5}, {"flow", 12.5}, {"batteryVoltage", 3.6}});
        device.insert(QStringLiteral("archive"),
                      QJsonObject{{"start", kArchiveStart.addSecs(3600 * c.startHour)
                                                .toString(QStringLiteral("dd.MM.yyyy HH:mm"))},
                                  {"hours", c.hours},
                                  {"flow", kFlow},
                                  {"profile", profile}});
        const QByteArray json = QJsonDocument(QJsonObject{{"devices", QJsonArray{device}}}).toJson();
        address_ = c.address;
        sim_ = std::make_unique<tarn::test::SimProcess>();
        return sim_->start(kSim, scratch(QStringLiteral("scenario.json")), json, link,
                           {QStringLiteral("--dump"), scratch(QStringLiteral("dump.json"))});
    }
    // Ends the simulator and gives the corrector's state as it held it at the end.
    std::optional<QJsonObject> finishCorrector() {
        if (!sim_ || !sim_->finish()) return std::nullopt;
        sim_.reset();
        return acceptance::firstCorrectorOfDump(scratch(QStringLiteral("dump.json")));
    }

    Result cli(const QStringList& args) const { return tarn::test::runCliIn(home_, args).text(); }
    Result onLine(const QStringList& args) const {
        return cli(QStringList{QStringLiteral("--port"), QStringLiteral("COM1"), QStringLiteral("--address"),
                               QString::number(address_)} +
                   args);
    }
    // Reads the corrector's archives into the database; the point's identifier, or empty. At the line's
    // top speed: what is stored is the same at any speed, and the reads take a fraction of the time.
    QString store(const QStringList& more = {}) const {
        const Result r = onLine(QStringList{QStringLiteral("--speed"), QStringLiteral("115200"),
                                            QStringLiteral("--json"), QStringLiteral("store")} +
                                more);
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        return r.json().value(QStringLiteral("point")).toString();
    }

    QJsonObject show(const QString& id) const {
        return cli({QStringLiteral("--json"), QStringLiteral("points"), QStringLiteral("show"), id}).json();
    }
    QStringList listed(const QStringList& args) const {
        QStringList ids;
        const Result r = cli(QStringList{QStringLiteral("--json"), QStringLiteral("points")} + args);
        for (const QJsonValue& p : r.json().value(QStringLiteral("points")).toArray())
            ids.append(p.toObject().value(QStringLiteral("point")).toString());
        ids.sort();
        return ids;
    }
    // The stored rows of one archive as field name → text.
    std::vector<QMap<QString, QString>> rows(const QString& id, const QString& archive) const {
        const Result r = cli({QStringLiteral("--json"), QStringLiteral("rows"), QStringLiteral("--point"), id,
                              QStringLiteral("--archive"), archive});
        std::vector<QMap<QString, QString>> out;
        const QJsonObject o = r.json();
        const QJsonArray fields = o.value(QStringLiteral("fields")).toArray();
        for (const QJsonValue& row : o.value(QStringLiteral("rows")).toArray()) {
            QMap<QString, QString> m;
            const QJsonArray cells = row.toArray();
            for (qsizetype i = 0; i < fields.size() && i < cells.size(); ++i)
                m.insert(fields.at(i).toString(), cells.at(i).toString());
            out.push_back(m);
        }
        return out;
    }

    // The registry row of a point as the registry file holds it, read with SQLite here.
    std::optional<QMap<QString, QVariant>> registryRow(const QString& id) const {
        std::optional<QMap<QString, QVariant>> found;
        const QString connection = QUuid::createUuid().toString();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
            db.setDatabaseName(home_ + QStringLiteral("/Data/Bd_Quon.DB"));
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
            if (db.open()) {
                QSqlQuery q(db);
                q.prepare(QStringLiteral("SELECT * FROM Bd_Quon WHERE kIdentif = ?"));
                q.addBindValue(id);
                if (q.exec() && q.next()) {
                    QMap<QString, QVariant> m;
                    const QSqlRecord rec = q.record();
                    for (int i = 0; i < rec.count(); ++i)
                        m.insert(rec.fieldName(i), rec.value(i));
                    found = m;
                }
            }
        }
        QSqlDatabase::removeDatabase(connection);
        return found;
    }

    // The path of the file of that name under the installation, or empty.
    QString pathOf(const QString& name) const {
        QDirIterator it(home_, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (QFileInfo(path).fileName() == name) return path;
        }
        return {};
    }

    // Files under the installation whose names belong to the point (h_<id>.db, p_<id>.000, …).
    QStringList filesOf(const QString& id) const {
        QStringList files;
        QDirIterator it(home_, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString name = QFileInfo(it.next()).fileName();
            if (name.contains(QLatin1Char('_') + id + QLatin1Char('.'))) files.append(name);
        }
        files.sort();
        return files;
    }

private:
    QTemporaryDir dir_;
    QString home_;
    int address_ = 1;
    bool initialised_ = false;
    std::unique_ptr<tarn::test::SimProcess> sim_;
};

// Windows-1251 text of eight dumped words (a text item), blanks trimmed.
QString wordsText(const QJsonObject& dump, int first) {
    const QJsonArray words = dump.value(QStringLiteral("words")).toArray();
    QByteArray b;
    for (int i = first; i < first + 8 && i < words.size(); ++i)
        b += QByteArray::fromHex(words.at(i).toString().toLatin1());
    return acceptance::fromCp1251(b).trimmed();
}

QStringList ids(std::initializer_list<QString> list) {
    QStringList l(list);
    l.sort();
    return l;
}

// ---------------------------------------------------------------- passwords

struct PasswordCase {
    const char* name;
    int item;    // 55..61: the new password of field item − 54
    int byField; // the password field entered first, 1..7
    const char* byPassword;
    const char* newPassword;
    bool changed;
    const char* refusal; // what a refused change says, or nothing to check
};

// Cases print as their names in test listings.
void PrintTo(const PasswordCase& c, std::ostream* os) {
    *os << c.name;
}

class PasswordChange : public ::testing::TestWithParam<PasswordCase> {};

// The corrector changes a password only at the access levels that may write its item (operator A, B, C
// and master E at level 1, master F and configurator at 2, verifier at 3, all at 4); afterwards the new
// password opens the field and the old one no longer does.
TEST_P(PasswordChange, NewPasswordOpensTheFieldAndTheOldOneNoLonger) {
    const PasswordCase& c = GetParam();
    const int field = c.item - 54;
    const QString oldPassword = kPasswords.at(field - 1);
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_TRUE(inst.startCorrector(Corrector{}));

    const Result change = inst.onLine(
        {QStringLiteral("item"), QStringLiteral("set"), QStringLiteral("--item"), QString::number(c.item),
         QStringLiteral("--value"), QString::fromLatin1(c.newPassword), QStringLiteral("--password"),
         QStringLiteral("%1:%2").arg(c.byField).arg(QString::fromLatin1(c.byPassword))});
    if (c.changed) {
        EXPECT_EQ(change.code, 0) << change.err.toStdString();
    } else {
        EXPECT_NE(change.code, 0);
        if (c.refusal) {
            EXPECT_TRUE(change.err.contains(QString::fromUtf8(c.refusal))) << change.err.toStdString();
        }
    }

    // A later write of the density through the changed field, with the new and then the old password.
    auto densityWith = [&](const QString& password, const char* value) {
        return inst.onLine({QStringLiteral("item"), QStringLiteral("set"), QStringLiteral("--item"),
                            QStringLiteral("1"), QStringLiteral("--value"), QString::fromLatin1(value),
                            QStringLiteral("--password"), QStringLiteral("%1:%2").arg(field).arg(password)});
    };
    const Result withNew = densityWith(QString::fromLatin1(c.newPassword), "0.61");
    const Result withOld = densityWith(oldPassword, "0.62");
    if (c.changed) {
        EXPECT_EQ(withNew.code, 0) << withNew.err.toStdString();
        EXPECT_NE(withOld.code, 0);
        EXPECT_TRUE(withOld.err.contains(kWrongPassword)) << withOld.err.toStdString();
    } else {
        EXPECT_NE(withNew.code, 0);
        EXPECT_EQ(withOld.code, 0) << withOld.err.toStdString();
    }
    const std::optional<QJsonObject> dump = inst.finishCorrector();
    ASSERT_TRUE(dump);
    const QJsonArray words = dump->value(QStringLiteral("words")).toArray();
    ASSERT_GT(words.size(), 51);
    EXPECT_EQ(words.at(51).toString().toLower(), floatHex(c.changed ? 0.61f : 0.62f));
}

INSTANTIATE_TEST_SUITE_P(
    Slots, PasswordChange,
    ::testing::Values(
        PasswordCase{"OperatorAOwn", 55, 1, "1111", "1212", true, nullptr},
        PasswordCase{"OperatorBOwn", 56, 2, "2222", "2323", true, nullptr},
        PasswordCase{"OperatorCOwn", 57, 3, "3333", "3434", true, nullptr},
        PasswordCase{"MasterEByOperator", 58, 1, "1111", "4545", true, nullptr},
        PasswordCase{"MasterEOwnRefused", 58, 4, "4444", "4545", false, nullptr},
        PasswordCase{"MasterFOwn", 59, 5, "5555", "5656", true, nullptr},
        PasswordCase{"ConfiguratorByMaster", 60, 5, "5555", "6767", true, nullptr},
        PasswordCase{"ConfiguratorOwnRefused", 60, 6, "6666", "6767", false, nullptr},
        PasswordCase{"VerifierByConfigurator", 61, 6, "6666", "7878", true, nullptr},
        PasswordCase{"VerifierByOperatorRefused", 61, 1, "1111", "7878", false, nullptr},
        PasswordCase{"OperatorAByVerifier", 55, 7, "7777", "0909", true, nullptr},
        PasswordCase{"WrongCurrentPassword", 55, 1, "9999", "1212", false, "Ошибочное значение пароля!!!"},
        PasswordCase{"NewPasswordAboveRange", 55, 1, "1111", "10000", false,
                     "Переменная  больше допуска!0..9999"},
        PasswordCase{"NewPasswordBelowRange", 56, 2, "2222", "-1", false,
                     "Переменная  меньше допуска!0..9999"},
        PasswordCase{"NewPasswordNotANumber", 57, 3, "3333", "12a4", false, "Ошибка набора переменной !"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- the registry

struct RegistrationCase {
    const char* name;
    const char* preset;
    int serial;
    int address;
    const char* id; // the identifier the point gets
};

void PrintTo(const RegistrationCase& c, std::ostream* os) {
    *os << c.name;
}

class Registration : public ::testing::TestWithParam<RegistrationCase> {};

// The first store of an unknown corrector adds its registry row: identifier from the model letter and
// the serial number, the corrector's organisation and pipeline, the link address in use, the default
// polling configuration, "0" result and comment, no poll yet; and the point's tables.
TEST_P(Registration, FirstStoreRegistersThePoint) {
    const RegistrationCase& c = GetParam();
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    Corrector corrector;
    corrector.preset = QString::fromLatin1(c.preset);
    corrector.serial = c.serial;
    corrector.address = c.address;
    corrector.hours = 2;
    // The link settings the new point's configuration starts from.
    ASSERT_EQ(inst.cli({QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("speed=9600"),
                        QStringLiteral("replyTimeoutMs=2500"), QStringLiteral("retryCount=4")})
                  .code,
              0);
    ASSERT_TRUE(inst.startCorrector(corrector));
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    const Result stored = inst.onLine({QStringLiteral("--json"), QStringLiteral("store"),
                                       QStringLiteral("--archives"), QStringLiteral("hourly")});
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);
    ASSERT_EQ(stored.code, 0) << stored.err.toStdString();
    const std::optional<QJsonObject> dump = inst.finishCorrector();
    ASSERT_TRUE(dump);
    EXPECT_TRUE(stored.json().value(QStringLiteral("added")).toBool());
    const QString id = stored.json().value(QStringLiteral("point")).toString();
    ASSERT_FALSE(id.isEmpty());
    EXPECT_EQ(id, QString::fromLatin1(c.id));

    const QJsonObject point = inst.show(id);
    EXPECT_EQ(point.value(QStringLiteral("point")).toString(), id);
    EXPECT_EQ(point.value(QStringLiteral("serial")).toString(),
              QStringLiteral("%1").arg(c.serial, 5, 10, QLatin1Char('0')));
    const QString organisation = wordsText(*dump, 113);
    ASSERT_FALSE(organisation.isEmpty());
    EXPECT_EQ(point.value(QStringLiteral("organisation")).toString(), organisation);
    EXPECT_EQ(point.value(QStringLiteral("pipeline")).toString(), wordsText(*dump, 121));
    EXPECT_EQ(point.value(QStringLiteral("address")).toInt(), c.address);
    const QJsonObject config = point.value(QStringLiteral("config")).toObject();
    EXPECT_EQ(config.value(QStringLiteral("owner")).toString(), organisation);
    EXPECT_EQ(config.value(QStringLiteral("port")).toString(), QStringLiteral("COM1"));
    EXPECT_EQ(config.value(QStringLiteral("link")).toString(), QStringLiteral("прямое соединение"));
    EXPECT_EQ(config.value(QStringLiteral("init")).toString(), QStringLiteral("AT&FE0S0=0"));
    EXPECT_EQ(config.value(QStringLiteral("speed")).toString(), QStringLiteral("9600"));
    EXPECT_EQ(config.value(QStringLiteral("timeout")).toString(), QStringLiteral("2500"));
    EXPECT_EQ(config.value(QStringLiteral("repeats")).toString(), QStringLiteral("4"));
    EXPECT_EQ(config.value(QStringLiteral("flags")).toString().size(), 11);
    EXPECT_EQ(inst.listed({QStringLiteral("list")}), QStringList{id});

    const std::optional<QMap<QString, QVariant>> row = inst.registryRow(id);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->value(QStringLiteral("kResultRS")).toString(), QStringLiteral("0"));
    EXPECT_EQ(row->value(QStringLiteral("kComment")).toString(), QStringLiteral("0"));
    EXPECT_EQ(row->value(QStringLiteral("kDateTimeRS")).toDateTime(),
              QDateTime(QDate(2000, 1, 1), QTime(0, 0)));
    const QDateTime created = row->value(QStringLiteral("kDateTime")).toDateTime();
    EXPECT_TRUE(created >= before.addMSecs(-before.time().msec()) && created <= after)
        << created.toString(Qt::ISODate).toStdString();
    EXPECT_EQ(row->value(QStringLiteral("kTypeQuon")).toString().trimmed(),
              point.value(QStringLiteral("model")).toString());

    // The point list file names the new point.
    QFile list(inst.home() + QStringLiteral("/Current/SynCor.000"));
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    EXPECT_EQ(acceptance::fromCp1251(list.readAll()), id + QStringLiteral("\r\n"));

    // Every table of the point is there, the stored hourly records in it.
    for (const char* archive : {"hourly", "daily", "monthly", "abnormal", "interference", "operative",
                                "service", "measurement", "log"}) {
        const Result r =
            inst.cli({QStringLiteral("--json"), QStringLiteral("rows"), QStringLiteral("--point"), id,
                      QStringLiteral("--archive"), QString::fromLatin1(archive)});
        EXPECT_EQ(r.code, 0) << archive << ": " << r.err.toStdString();
    }
    EXPECT_EQ(inst.rows(id, QStringLiteral("hourly")).size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Models, Registration,
    ::testing::Values(RegistrationCase{"FamilyVNoLetter", "series1", 12345, 1, "12345"},
                      RegistrationCase{"OlderFirmware", "series1-early", 12345, 1, "o12345"},
                      RegistrationCase{"FamilyT", "series2", 54321, 2, "t54321"},
                      RegistrationCase{"FamilyW", "meter-coef", 20202, 1, "w20202"},
                      // The version tag R46a begins with "R", which makes family R the letter S (r46a: s).
                      RegistrationCase{"FamilyRVersionR", "calib", 30303, 1, "S30303"},
                      RegistrationCase{"FamilyrVersionr", "calib2", 40404, 1, "s40404"},
                      RegistrationCase{"FamilyF", "hf", 50505, 4, "F50505"},
                      // The serial number is the corrector's word shown with five digits, so a serial of 1234
                      // is "01234" and never shorter than five characters: the "00000" rule does not apply.
                      RegistrationCase{"FourDigitSerial", "series1", 1234, 1, "01234"}),
    [](const auto& info) { return std::string(info.param.name); });

// Three points stored (two of them with the same serial digits on different families), then found by
// the serial number with or without its leading zeros, by part of the owner (letter case aside), of the
// organisation or of a telephone, and by the model.
TEST(Registry, SearchFindsPointsByEachCriterion) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    struct Stored {
        Corrector corrector;
        QString owner;
        QString id;
    };
    std::vector<Stored> points{
        {{QStringLiteral("series1"), 12345, 1, 2, {}}, QStringLiteral("Облгаз Полтава"), {}},
        {{QStringLiteral("series1"), 1234, 1, 2, {}}, QStringLiteral("ОБЛГАЗ Київ"), {}},
        {{QStringLiteral("series2"), 12345, 1, 2, {}}, QStringLiteral("Тепломережа"), {}}};
    for (Stored& p : points) {
        ASSERT_TRUE(inst.startCorrector(p.corrector));
        p.id = inst.store({QStringLiteral("--archives"), QStringLiteral("hourly")});
        ASSERT_TRUE(inst.finishCorrector());
        ASSERT_FALSE(p.id.isEmpty());
        const Result config = inst.cli(
            {QStringLiteral("points"), QStringLiteral("config"), p.id, QStringLiteral("--owner"), p.owner});
        ASSERT_EQ(config.code, 0) << config.err.toStdString();
    }
    const QString a = points[0].id, b = points[1].id, t = points[2].id;
    // Two families with the same serial digits are two points.
    EXPECT_NE(a, t);
    EXPECT_EQ(inst.listed({QStringLiteral("list")}), ids({a, b, t}));
    // The point list file names them in registry order.
    QFile list(inst.home() + QStringLiteral("/Current/SynCor.000"));
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    EXPECT_EQ(acceptance::fromCp1251(list.readAll()),
              a + QStringLiteral("\r\n") + b + QStringLiteral("\r\n") + t + QStringLiteral("\r\n"));
    const QString model = inst.show(t).value(QStringLiteral("model")).toString();
    ASSERT_FALSE(model.isEmpty());
    const QString organisation = inst.show(a).value(QStringLiteral("organisation")).toString();
    ASSERT_GE(organisation.size(), 4);
    ASSERT_EQ(inst.cli({QStringLiteral("points"), QStringLiteral("config"), a, QStringLiteral("--org-phone"),
                        QStringLiteral("0532-561234")})
                  .code,
              0);
    ASSERT_EQ(inst.cli({QStringLiteral("points"), QStringLiteral("config"), t, QStringLiteral("--link"),
                        QStringLiteral("phone"), QStringLiteral("--phone"), QStringLiteral("5550101")})
                  .code,
              0);

    struct SearchCase {
        const char* name;
        QStringList args;
        QStringList expected;
    };
    const std::vector<SearchCase> cases{
        {"SerialPrefix", {"--serial", "123"}, ids({a, b, t})},
        {"SerialWithoutLeadingZero", {"--serial", "1234"}, ids({a, b, t})},
        {"SerialOfFiveOnlyExact", {"--serial", "12345"}, ids({a, t})},
        {"SerialWithLeadingZero", {"--serial", "01234"}, ids({b})},
        {"SerialNone", {"--serial", "999"}, {}},
        {"OwnerPartAnyCase", {"--owner", "облгаз"}, ids({a, b})},
        {"OwnerPart", {"--owner", "мережа"}, ids({t})},
        {"OrganisationPart", {"--org", organisation.mid(1, organisation.size() - 2)}, ids({a, b, t})},
        {"Model", {"--model", model}, ids({t})},
        {"ModelAndSerial", {"--model", model, "--serial", "123"}, ids({t})},
        {"ModelAndOwner", {"--model", model, "--owner", "облгаз"}, {}},
        {"OrganisationTelephonePart", {"--org-phone", "561"}, ids({a})},
        {"CorrectorTelephonePart", {"--phone", "5550"}, ids({t})},
    };
    for (const SearchCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(inst.listed(QStringList{QStringLiteral("search")} + c.args), c.expected);
    }
}

struct ConfigCase {
    const char* name;
    QStringList args;
    std::vector<std::pair<const char*, QString>> changes; // none: refused with exit 2
};

const QString kOwner40 = QStringLiteral("Газорозподільна станція Полтава-Північ-1");

// points config changes exactly the fields it is given (the owner cut to 32 characters) and refuses a
// value out of the configurator's bounds, or a gas the gas table does not hold, without changing
// anything; the header fields and the creation time stay as they were. One stored point takes every
// case in turn.
TEST(PointConfig, ChangesOnlyTheGivenFields) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_TRUE(inst.startCorrector(Corrector{QStringLiteral("series1"), 12345, 1, 2, {}}));
    const QString id = inst.store({QStringLiteral("--archives"), QStringLiteral("hourly")});
    ASSERT_TRUE(inst.finishCorrector());
    ASSERT_FALSE(id.isEmpty());
    ASSERT_EQ(inst.cli({QStringLiteral("gas"), QStringLiteral("add"), QStringLiteral("--name"),
                        QStringLiteral("Шебелинка"), QStringLiteral("--density"), QStringLiteral("0.7"),
                        QStringLiteral("--co2"), QStringLiteral("0.5"), QStringLiteral("--n2"),
                        QStringLiteral("1")})
                  .code,
              0);
    const std::vector<ConfigCase> cases{
        ConfigCase{"Timeout", {"--timeout", "5000"}, {{"timeout", "5000"}}},
        ConfigCase{"Gas", {"--gas", "Шебелинка"}, {{"gas", "Шебелинка"}}},
        ConfigCase{"OwnerCutTo32", {"--owner", kOwner40}, {{"owner", kOwner40.left(32)}}},
        ConfigCase{"Flags", {"--flags", "10110000001"}, {{"flags", "10110000001"}}},
        ConfigCase{"Telephone",
                   {"--link", "phone", "--phone", "5550101"},
                   {{"link", "телефон"}, {"phone", "5550101"}}},
        ConfigCase{"PortHighest", {"--port", "COM25"}, {{"port", "COM25"}}},
        ConfigCase{"Speed", {"--speed", "115200"}, {{"speed", "115200"}}},
        ConfigCase{"Repeats", {"--repeats", "200"}, {{"repeats", "200"}}},
        ConfigCase{"TimeoutBelow", {"--timeout", "299"}, {}},
        ConfigCase{"TimeoutAbove", {"--timeout", "10001"}, {}},
        ConfigCase{"PortAbove", {"--port", "COM26"}, {}},
        ConfigCase{"SpeedNotStandard", {"--speed", "1300"}, {}},
        ConfigCase{"FlagsShort", {"--flags", "1011"}, {}},
        ConfigCase{"RepeatsZero", {"--repeats", "0"}, {}},
        ConfigCase{"WaitBelow", {"--wait", "9"}, {}},
        ConfigCase{"BreakAbove", {"--break", "251"}, {}},
        ConfigCase{"LinkUnknown", {"--link", "radio"}, {}},
        ConfigCase{"GasNotInTheGasTable", {"--gas", "Нет такого"}, {}}};
    for (const ConfigCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QJsonObject before = inst.show(id);
        const std::optional<QMap<QString, QVariant>> rowBefore = inst.registryRow(id);
        ASSERT_TRUE(rowBefore);
        const Result r =
            inst.cli(QStringList{QStringLiteral("points"), QStringLiteral("config"), id} + c.args);
        QJsonObject expected = before;
        if (c.changes.empty()) {
            EXPECT_EQ(r.code, 2) << r.err.toStdString();
        } else {
            EXPECT_EQ(r.code, 0) << r.err.toStdString();
            QJsonObject config = expected.value(QStringLiteral("config")).toObject();
            for (const auto& [key, value] : c.changes)
                config.insert(QString::fromLatin1(key), value);
            expected.insert(QStringLiteral("config"), config);
        }
        EXPECT_EQ(inst.show(id), expected);
        const std::optional<QMap<QString, QVariant>> rowAfter = inst.registryRow(id);
        ASSERT_TRUE(rowAfter);
        for (const char* field : {"kIdentif", "kSerialNum", "kTypeQuon", "kDateTime", "kNameOrg", "kNameTube",
                                  "kArdQuon", "kResultRS", "kComment", "kDateTimeRS"})
            EXPECT_EQ(rowAfter->value(QString::fromLatin1(field)),
                      rowBefore->value(QString::fromLatin1(field)))
                << field;
    }
}

struct EraseCase {
    const char* name;
    bool dailyHeld; // the point's daily table file cannot be deleted
};

void PrintTo(const EraseCase& c, std::ostream* os) {
    *os << c.name;
}

class Erase : public ::testing::TestWithParam<EraseCase> {};

// Erasing a point removes its registry row, its table files, its parameter file and its lines in every
// polling group; the other point keeps all of its own. A table file that cannot be deleted stops the
// erase with its path, and the steps already done stay done.
TEST_P(Erase, RemovesThePointsRowTablesAndGroupLines) {
    const EraseCase& c = GetParam();
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    const QStringList hourlyOnly{QStringLiteral("--archives"), QStringLiteral("hourly")};
    ASSERT_TRUE(inst.startCorrector(Corrector{QStringLiteral("series1"), 12345, 1, 2, {}}));
    const QString gone = inst.store(hourlyOnly);
    ASSERT_TRUE(inst.finishCorrector());
    ASSERT_TRUE(inst.startCorrector(Corrector{QStringLiteral("series2"), 23456, 1, 2, {}}));
    const QString kept = inst.store(hourlyOnly);
    ASSERT_TRUE(inst.finishCorrector());
    ASSERT_FALSE(gone.isEmpty());
    ASSERT_FALSE(kept.isEmpty());
    ASSERT_EQ(inst.cli({QStringLiteral("group"), QStringLiteral("save"), QStringLiteral("North"),
                        QStringLiteral("--points"), gone + QLatin1Char(',') + kept})
                  .code,
              0);
    ASSERT_EQ(inst.cli({QStringLiteral("group"), QStringLiteral("save"), QStringLiteral("South"),
                        QStringLiteral("--points"), gone})
                  .code,
              0);
    const QStringList goneFiles = inst.filesOf(gone);
    const QStringList keptFiles = inst.filesOf(kept);
    ASSERT_TRUE(goneFiles.contains(QStringLiteral("h_") + gone + QStringLiteral(".db")))
        << goneFiles.join(' ').toStdString();
    ASSERT_TRUE(goneFiles.contains(QStringLiteral("p_") + gone + QStringLiteral(".000")));

    const Result unknown =
        inst.cli({QStringLiteral("points"), QStringLiteral("erase"), QStringLiteral("x99999")});
    EXPECT_NE(unknown.code, 0);
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("Ошибка!!!")) &&
                unknown.err.contains(QStringLiteral("НЕ ОПРЕДЕЛЕН КОРРЕКТОР")))
        << unknown.err.toStdString();
    EXPECT_EQ(inst.listed({QStringLiteral("list")}), ids({gone, kept}));

    if (c.dailyHeld) {
        const QString daily = inst.pathOf(QStringLiteral("d_") + gone + QStringLiteral(".db"));
        ASSERT_FALSE(daily.isEmpty());
        ASSERT_TRUE(QFile::remove(daily));
        ASSERT_TRUE(QDir().mkpath(daily + QStringLiteral("/held")));
        QFile holder(daily + QStringLiteral("/held/file"));
        ASSERT_TRUE(holder.open(QIODevice::WriteOnly));
        holder.close();
        const Result stuck = inst.cli({QStringLiteral("points"), QStringLiteral("erase"), gone});
        EXPECT_NE(stuck.code, 0);
        // The hourly table goes first, the daily one stops the erase, the parameter file comes later.
        EXPECT_TRUE(stuck.err.contains(QStringLiteral("Ошибка при удалении файла ") + daily))
            << stuck.err.toStdString();
        EXPECT_TRUE(inst.pathOf(QStringLiteral("h_") + gone + QStringLiteral(".db")).isEmpty());
        EXPECT_FALSE(inst.pathOf(QStringLiteral("p_") + gone + QStringLiteral(".000")).isEmpty());
        EXPECT_EQ(inst.filesOf(kept), keptFiles);
        // The registry row stays while a table file of the point is left, so that the erase can be
        // repeated and no file is left without the row that names it (the manual says so).
        EXPECT_TRUE(inst.registryRow(gone));
        EXPECT_EQ(inst.listed({QStringLiteral("list")}), ids({gone, kept}));
        return;
    }
    const Result erase = inst.cli({QStringLiteral("points"), QStringLiteral("erase"), gone});
    ASSERT_EQ(erase.code, 0) << erase.err.toStdString();

    EXPECT_EQ(inst.listed({QStringLiteral("list")}), QStringList{kept});
    EXPECT_NE(inst.cli({QStringLiteral("points"), QStringLiteral("show"), gone}).code, 0);
    EXPECT_FALSE(inst.registryRow(gone));
    EXPECT_TRUE(inst.registryRow(kept));
    EXPECT_TRUE(inst.rows(gone, QStringLiteral("hourly")).empty());
    EXPECT_EQ(inst.filesOf(gone), QStringList{});
    EXPECT_EQ(inst.filesOf(kept), keptFiles);
    EXPECT_EQ(inst.rows(kept, QStringLiteral("hourly")).size(), 2u);
    auto members = [&](const char* group) {
        QStringList l;
        const Result r = inst.cli({QStringLiteral("--json"), QStringLiteral("group"), QStringLiteral("show"),
                                   QString::fromLatin1(group)});
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        for (const QJsonValue& v : r.json().value(QStringLiteral("points")).toArray())
            l.append(v.toString());
        return l;
    };
    EXPECT_EQ(members("North"), QStringList{kept});
    EXPECT_EQ(members("South"), QStringList{});
}

INSTANTIATE_TEST_SUITE_P(Points, Erase,
                         ::testing::Values(EraseCase{"Complete", false}, EraseCase{"DailyTableHeld", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// At the next store of a known point the registry takes the organisation and the link address the
// corrector has now; its polling configuration stays as it was.
TEST(Registry, HeaderFollowsTheCorrectorAtTheNextStore) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_TRUE(inst.startCorrector(Corrector{QStringLiteral("series1"), 12345, 1, 2, {}}));
    const QString id = inst.store({QStringLiteral("--archives"), QStringLiteral("hourly")});
    ASSERT_FALSE(id.isEmpty());
    ASSERT_TRUE(inst.finishCorrector());
    const QJsonObject before = inst.show(id);
    // The same corrector later, on address 3, its organisation reprogrammed.
    ASSERT_TRUE(inst.startCorrector(Corrector{QStringLiteral("series1"), 12345, 3, 2, {}}));
    const QString organisation = QStringLiteral("Новое предприятие");
    const Result org = inst.onLine({QStringLiteral("item"), QStringLiteral("set"), QStringLiteral("--item"),
                                    QStringLiteral("45"), QStringLiteral("--value"), organisation,
                                    QStringLiteral("--password"), QStringLiteral("6:6666")});
    ASSERT_EQ(org.code, 0) << org.err.toStdString();
    const Result again = inst.onLine({QStringLiteral("--json"), QStringLiteral("store"),
                                      QStringLiteral("--archives"), QStringLiteral("hourly")});
    ASSERT_TRUE(inst.finishCorrector());
    ASSERT_EQ(again.code, 0) << again.err.toStdString();
    EXPECT_FALSE(again.json().value(QStringLiteral("added")).toBool());
    EXPECT_EQ(again.json().value(QStringLiteral("point")).toString(), id);

    QJsonObject expected = before;
    expected.insert(QStringLiteral("organisation"), organisation);
    expected.insert(QStringLiteral("address"), 3);
    QJsonObject after = inst.show(id);
    after.remove(QStringLiteral("lastStored"));
    expected.remove(QStringLiteral("lastStored"));
    EXPECT_EQ(after, expected);
    EXPECT_EQ(inst.listed({QStringLiteral("list")}), QStringList{id});
}

// ---------------------------------------------------------------- storing

QJsonObject archiveEvents() {
    return QJsonObject{
        {"abnormal", QJsonArray{QJsonObject{{"at", "01.03.2024 14:20"},
                                            {"current", 1},
                                            {"previous", 0},
                                            {"volume", 0},
                                            {"standardVolume", 0}},
                                QJsonObject{{"at", "01.03.2024 16:05"},
                                            {"current", 9},
                                            {"previous", 1},
                                            {"volume", 1.5},
                                            {"standardVolume", 6.1}}}},
        {"interference", QJsonArray{QJsonObject{{"at", "01.03.2024 10:15"},
                                                {"code", 130},
                                                {"kind", 0},
                                                {"by", 6},
                                                {"before", "77BE2F3F"},
                                                {"after", "3BDF2F3F"}}}},
        {"service", QJsonArray{QJsonObject{{"at", "01.03.2024 00:00"}, {"current", 257}, {"previous", 0}}}}};
}

double number(const QString& text) {
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok ? v : std::nan("");
}

// The stored hourly and abnormal-situation rows are the corrector's records, oldest first, and the
// request log tells what was read and what was stored.
TEST(Storing, StoredRowsAreTheCorrectorsRecords) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    constexpr int kHours = 30;
    ASSERT_TRUE(inst.startCorrector(Corrector{QStringLiteral("series1"), 12345, 1, kHours, archiveEvents()}));
    const QString saved = inst.scratch(QStringLiteral("reading.prt"));
    const Result r =
        inst.onLine({QStringLiteral("--json"), QStringLiteral("store"), QStringLiteral("--save-prt"), saved});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const std::optional<QJsonObject> dump = inst.finishCorrector();
    ASSERT_TRUE(dump);
    const QString id = r.json().value(QStringLiteral("point")).toString();
    const QJsonObject stored = r.json().value(QStringLiteral("stored")).toObject();
    EXPECT_EQ(stored.value(QStringLiteral("hourly")).toInt(), kHours);
    EXPECT_EQ(stored.value(QStringLiteral("abnormal")).toInt(), 2);

    const double correction = dump->value(QStringLiteral("correction")).toDouble();
    const double pressure = dump->value(QStringLiteral("pressure")).toDouble();
    const double temperature = dump->value(QStringLiteral("temperature")).toDouble();
    ASSERT_GT(correction, 0);
    const auto hourly = inst.rows(id, QStringLiteral("hourly"));
    ASSERT_EQ(hourly.size(), size_t(kHours));
    for (int i = 0; i < kHours; ++i) {
        SCOPED_TRACE(i);
        const QMap<QString, QString>& row = hourly[size_t(i)];
        // Record i closes hour i of the archive.
        const QDateTime at = kArchiveStart.addSecs(3600 * (i + 1));
        EXPECT_EQ(row.value("hIdentif"), id);
        EXPECT_EQ(row.value("hNumWrCor").toInt(), i);
        EXPECT_EQ(row.value("hDate"), at.toString(QStringLiteral("dd.MM.yyyy")));
        EXPECT_EQ(row.value("hTime"), at.toString(QStringLiteral("HH:mm")));
        EXPECT_EQ(row.value("hDT_Corr"), at.toString(QStringLiteral("dd.MM.yyyy HH:mm")));
        const double working = kFlow * kProfile[size_t(i % 24)];
        EXPECT_NEAR(number(row.value("hVwrk")), working, 0.01);
        EXPECT_NEAR(number(row.value("hVst")), working * correction, 0.01);
        EXPECT_NEAR(number(row.value("hP")), pressure, 0.01);
        EXPECT_NEAR(number(row.value("hT")), temperature, 0.01);
        EXPECT_NEAR(number(row.value("hVwrk_alwrk")),
                    number(row.value("hVwrk")) + number(row.value("hValwrk")), 0.01);
        EXPECT_NEAR(number(row.value("hVst_alwrk")), number(row.value("hVst")) + number(row.value("hValst")),
                    0.01);
        if (i > 0) {
            EXPECT_GT(row.value("hNum").toInt(), hourly[size_t(i - 1)].value("hNum").toInt());
        }
    }

    const auto abnormal = inst.rows(id, QStringLiteral("abnormal"));
    const QJsonArray events = archiveEvents().value(QStringLiteral("abnormal")).toArray();
    ASSERT_EQ(abnormal.size(), size_t(events.size()));
    for (qsizetype i = 0; i < events.size(); ++i) {
        SCOPED_TRACE(i);
        const QJsonObject e = events.at(i).toObject();
        const QMap<QString, QString>& row = abnormal[size_t(i)];
        EXPECT_EQ(row.value("aDate") + QLatin1Char(' ') + row.value("aTime"), e.value("at").toString());
        EXPECT_EQ(row.value("aCodeCur").toInt(nullptr, 16), e.value("current").toInt());
        EXPECT_EQ(row.value("aCodePrec").toInt(nullptr, 16), e.value("previous").toInt());
        EXPECT_NEAR(number(row.value("aValwrk")), e.value("volume").toDouble(), 0.01);
        EXPECT_NEAR(number(row.value("aValst")), e.value("standardVolume").toDouble(), 0.01);
    }

    // One request-log row: read were the seven archives, stored hourly, daily, monthly, alarm,
    // interference and service (no operative records); the first and last hourly records of the run.
    const auto log = inst.rows(id, QStringLiteral("log"));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].value("bCurFlRdWr"), QStringLiteral("01111100101"));
    EXPECT_EQ(log[0].value("bCurFlWrBD"), QStringLiteral("01111000101"));
    EXPECT_EQ(log[0].value("bDbegHour"), hourly.front().value("hDT_Corr"));
    EXPECT_EQ(log[0].value("bNbegHour"), QStringLiteral("0"));
    EXPECT_EQ(log[0].value("bDendHour"), hourly.back().value("hDT_Corr"));
    EXPECT_EQ(log[0].value("bNendHour"), QString::number(kHours - 1));
    EXPECT_EQ(log[0].value("bQuest"), QStringLiteral("5"));
    EXPECT_EQ(log[0].value("bStrQuest"), QStringLiteral("кабель"));
    EXPECT_EQ(log[0].value("bNameFile"), QStringLiteral("--"));
    EXPECT_EQ(log[0].value("bErrConnect"), QStringLiteral("--"));
    EXPECT_EQ(log[0].value("bTmConnect"), QStringLiteral("0"));
    // A manual cable reading writes the parameter file, and the log keeps when.
    EXPECT_TRUE(QFile::exists(inst.home() + QStringLiteral("/Param/p_") + id + QStringLiteral(".000")));
    EXPECT_NE(log[0].value("bDT_Param"), QStringLiteral("01.01.2000 00:00"));
    EXPECT_EQ(log[0].value("bDbegOper"), QStringLiteral("01.01.2000 00:00"));
    EXPECT_EQ(log[0].value("bNbegOper"), QStringLiteral("-1"));

    // The same reading stored again from its saved file adds nothing; the run is logged as a file.
    const Result fromFile =
        inst.cli({QStringLiteral("--json"), QStringLiteral("file"), QStringLiteral("store"), saved});
    ASSERT_EQ(fromFile.code, 0) << fromFile.err.toStdString();
    for (const QJsonValue& n : fromFile.json().value(QStringLiteral("stored")).toObject())
        EXPECT_EQ(n.toInt(), 0);
    EXPECT_EQ(inst.rows(id, QStringLiteral("hourly")).size(), size_t(kHours));
    EXPECT_EQ(inst.rows(id, QStringLiteral("abnormal")).size(), size_t(events.size()));
    const auto logs = inst.rows(id, QStringLiteral("log"));
    ASSERT_EQ(logs.size(), 2u);
    EXPECT_EQ(logs[1].value("bQuest"), QStringLiteral("4"));
    EXPECT_EQ(logs[1].value("bStrQuest"), QStringLiteral("файл"));
    EXPECT_TRUE(logs[1].value("bNameFile").endsWith(QStringLiteral("reading.prt")))
        << logs[1].value("bNameFile").toStdString();
    EXPECT_EQ(logs[1].value("bCurFlWrBD"), QStringLiteral("00000000000"));
}

struct SecondStoreCase {
    const char* name;
    int firstHours;
    int secondStartHour; // the second reading's archive begins this many hours later
    int secondHours;
    int fresh;      // hourly records the second store adds
    int firstFresh; // the record number of the oldest of them
};

void PrintTo(const SecondStoreCase& c, std::ostream* os) {
    *os << c.name;
}

class SecondStore : public ::testing::TestWithParam<SecondStoreCase> {};

// A second reading stores only the records that are not in the database yet: a record is in when
// both its number and its time are (after the corrector's archive restarted, the same times come with
// other numbers and are new); every stored record appears once, and the run leaves its request-log row.
TEST_P(SecondStore, WritesOnlyTheNewRecords) {
    const SecondStoreCase& c = GetParam();
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_TRUE(inst.startCorrector(Corrector{QStringLiteral("series1"), 12345, 1, c.firstHours, {}}));
    const QString id = inst.store({QStringLiteral("--archives"), QStringLiteral("hourly,daily")});
    ASSERT_TRUE(inst.finishCorrector());
    ASSERT_FALSE(id.isEmpty());
    const size_t dailyBefore = inst.rows(id, QStringLiteral("daily")).size();

    ASSERT_TRUE(inst.startCorrector(
        Corrector{QStringLiteral("series1"), 12345, 1, c.secondHours, {}, c.secondStartHour}));
    const Result again = inst.onLine({QStringLiteral("--json"), QStringLiteral("store"),
                                      QStringLiteral("--archives"), QStringLiteral("hourly,daily")});
    ASSERT_TRUE(inst.finishCorrector());
    ASSERT_EQ(again.code, 0) << again.err.toStdString();
    EXPECT_FALSE(again.json().value(QStringLiteral("added")).toBool());
    EXPECT_EQ(again.json().value(QStringLiteral("point")).toString(), id);
    const int fresh = c.fresh;
    EXPECT_EQ(again.json().value(QStringLiteral("stored")).toObject().value(QStringLiteral("hourly")).toInt(),
              fresh);

    const auto hourly = inst.rows(id, QStringLiteral("hourly"));
    EXPECT_EQ(hourly.size(), size_t(c.firstHours + fresh));
    QSet<QString> seen;
    for (const auto& row : hourly) {
        const QString key = row.value("hNumWrCor") + QLatin1Char('|') + row.value("hDT_Corr");
        EXPECT_FALSE(seen.contains(key)) << key.toStdString();
        seen.insert(key);
    }
    // Each run writes its records oldest first (in the order of the rows' own numbers).
    auto written = hourly;
    std::sort(written.begin(), written.end(),
              [](const auto& x, const auto& y) { return x.value("hNum").toInt() < y.value("hNum").toInt(); });
    for (size_t i = 1; i < written.size(); ++i) {
        if (i == size_t(c.firstHours)) continue;
        const auto time = [](const QMap<QString, QString>& row) {
            return QDateTime::fromString(row.value("hDT_Corr"), QStringLiteral("dd.MM.yyyy HH:mm"));
        };
        EXPECT_LT(time(written[i - 1]), time(written[i])) << i;
    }

    const auto log = inst.rows(id, QStringLiteral("log"));
    ASSERT_EQ(log.size(), 2u);
    if (fresh == 0) {
        EXPECT_EQ(inst.rows(id, QStringLiteral("daily")).size(), dailyBefore);
        // Nothing stored: no kind marked, the run's first and last hourly records never set.
        EXPECT_EQ(log[1].value("bCurFlWrBD"), QStringLiteral("00000000000"));
        EXPECT_EQ(log[1].value("bDbegHour"), QStringLiteral("01.01.2000 00:00"));
        EXPECT_EQ(log[1].value("bNbegHour"), QStringLiteral("-1"));
    } else {
        EXPECT_EQ(log[1].value("bCurFlWrBD").mid(1, 1), QStringLiteral("1"));
        EXPECT_EQ(log[1].value("bNbegHour"), QString::number(c.firstFresh));
        EXPECT_EQ(log[1].value("bDendHour"), written.back().value("hDT_Corr"));
    }
}

INSTANTIATE_TEST_SUITE_P(Readings, SecondStore,
                         ::testing::Values(SecondStoreCase{"SameReading", 30, 0, 30, 0, -1},
                                           SecondStoreCase{"FiveHoursLater", 30, 0, 35, 5, 30},
                                           SecondStoreCase{"ArchiveRestarted", 30, 5, 30, 30, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// The last-records window: for each archive the time its last row was stored and the record's own
// time; "--" where the table is empty and, for the measurement and the request log, in the record
// column; the same grid in the text file.
TEST(LastRecords, EachArchivesLastRowAndTheTextFile) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_TRUE(inst.startCorrector(Corrector{QStringLiteral("series1"), 12345, 1, 30, archiveEvents()}));
    const QString id = inst.store({QStringLiteral("--measurement")});
    ASSERT_TRUE(inst.finishCorrector());
    ASSERT_FALSE(id.isEmpty());
    const QString out = inst.scratch(QStringLiteral("last.txt"));
    const Result r = inst.cli({QStringLiteral("--json"), QStringLiteral("points"), QStringLiteral("last"), id,
                               QStringLiteral("--out"), out});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject point = inst.show(id);
    EXPECT_EQ(r.json().value(QStringLiteral("title")).toString(),
              point.value(QStringLiteral("model")).toString() + QStringLiteral(" №") +
                  point.value(QStringLiteral("serial")).toString() + QStringLiteral(" владелец:") +
                  point.value(QStringLiteral("config")).toObject().value(QStringLiteral("owner")).toString());

    struct Kind {
        const char* table;
        const char* archive;
        char prefix;
        bool recordTime;
    };
    const std::vector<Kind> kinds{
        {"часовой архив", "hourly", 'h', true},     {"суточный архив", "daily", 'd', true},
        {"месячный архив", "monthly", 'm', true},   {"изменений архив", "interference", 'c', true},
        {"аварийный архив", "abnormal", 'a', true}, {"оперативный архив", "operative", 'o', true},
        {"служебный архив", "service", 's', true},  {"текущий замер", "measurement", 'i', false},
        {"последний опрос", "log", 'b', false}};
    const QJsonArray grid = r.json().value(QStringLiteral("rows")).toArray();
    ASSERT_EQ(grid.size(), qsizetype(kinds.size()));
    bool someEmpty = false;
    for (size_t k = 0; k < kinds.size(); ++k) {
        const Kind& kind = kinds[k];
        SCOPED_TRACE(kind.archive);
        const QJsonObject line = grid.at(qsizetype(k)).toObject();
        EXPECT_EQ(line.value(QStringLiteral("table")).toString(), QString::fromUtf8(kind.table));
        const auto rows = inst.rows(id, QString::fromLatin1(kind.archive));
        const QString storedAt = line.value(QStringLiteral("stored")).toString();
        const QString recorded = line.value(QStringLiteral("recorded")).toString();
        if (rows.empty()) {
            someEmpty = true;
            EXPECT_EQ(storedAt, QStringLiteral("--"));
            EXPECT_EQ(recorded, QStringLiteral("--"));
            continue;
        }
        const QString p(QLatin1Char(kind.prefix));
        const QMap<QString, QString>& last = rows.back();
        // The stored time may carry seconds the rows listing leaves out.
        EXPECT_TRUE(storedAt.startsWith(last.value(p + QStringLiteral("DateTime"))))
            << storedAt.toStdString() << " vs " << last.value(p + QStringLiteral("DateTime")).toStdString();
        EXPECT_EQ(recorded, kind.recordTime ? last.value(p + QStringLiteral("Date")) + QLatin1Char(' ') +
                                                  last.value(p + QStringLiteral("Time"))
                                            : QStringLiteral("--"));
    }
    EXPECT_TRUE(someEmpty); // no operative records: the "--" rule is exercised

    // The last-stored summary of the point: record number in five digits, record date and time of each
    // archive's last row; nothing for an archive without rows.
    const QJsonObject summary = point.value(QStringLiteral("lastStored")).toObject();
    for (size_t k = 0; k < 7; ++k) {
        const Kind& kind = kinds[k];
        SCOPED_TRACE(kind.archive);
        const auto rows = inst.rows(id, QString::fromLatin1(kind.archive));
        const QJsonObject last = summary.value(QString::fromLatin1(kind.archive)).toObject();
        if (rows.empty()) {
            EXPECT_TRUE(last.value(QStringLiteral("number")).toString().isEmpty());
            continue;
        }
        const QString p(QLatin1Char(kind.prefix));
        EXPECT_EQ(last.value(QStringLiteral("number")).toString(),
                  rows.back().value(p + QStringLiteral("NumWrCor")).rightJustified(5, QLatin1Char('0')));
        EXPECT_EQ(last.value(QStringLiteral("date")).toString(),
                  rows.back().value(p + QStringLiteral("Date")));
        EXPECT_EQ(last.value(QStringLiteral("time")).toString(),
                  rows.back().value(p + QStringLiteral("Time")));
    }

    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = acceptance::fromCp1251(f.readAll());
    ASSERT_TRUE(text.endsWith(QStringLiteral("\r\n")));
    QStringList lines = text.split(QStringLiteral("\r\n"));
    lines.removeLast();
    for (const QString& l : lines)
        EXPECT_FALSE(l.contains(QLatin1Char('\n')) || l.contains(QLatin1Char('\r')));
    ASSERT_GE(lines.size(), 3 + 2 * 10);
    EXPECT_EQ(lines[0], QStringLiteral("Время последних записей в архивах прибора:"));
    EXPECT_EQ(lines[1], r.json().value(QStringLiteral("title")).toString());
    auto cellLine = [](const QString& a, const QString& b, const QString& c) {
        return QLatin1Char('|') + a.leftJustified(20) + QLatin1Char('|') + b.leftJustified(23) +
               QLatin1Char('|') + c.leftJustified(23) + QLatin1Char('|');
    };
    const QString rule(cellLine({}, {}, {}).size(), QLatin1Char('-'));
    EXPECT_EQ(lines[2], rule);
    EXPECT_TRUE(lines[3].contains(QStringLiteral("время записи в БД")) &&
                lines[3].contains(QStringLiteral("время записи в прибор")))
        << lines[3].toStdString();
    EXPECT_EQ(lines[4], rule);
    for (qsizetype k = 0; k < grid.size(); ++k) {
        const QJsonObject line = grid.at(k).toObject();
        EXPECT_EQ(lines[5 + 2 * k], cellLine(line.value(QStringLiteral("table")).toString(),
                                             line.value(QStringLiteral("stored")).toString(),
                                             line.value(QStringLiteral("recorded")).toString()));
        EXPECT_EQ(lines[6 + 2 * k], rule);
    }
}

} // namespace
