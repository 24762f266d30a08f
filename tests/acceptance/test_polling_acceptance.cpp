// Acceptance checks of polling as a metering engineer meets it: groups and their files, the day's schedule,
// a group poll over several simulated lines with failing members, the protocols the runs leave, database
// packages carried to a second installation and folder synchronisation. tarn-cli and corrector-sim run as
// processes only; every expected value is worked out here from the records given to the simulators.
#include "acceptance/AcceptanceReaders.h"
#include "support/CliRunner.h"
#include "support/SimProcess.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <zlib.h>

#include <map>
#include <memory>
#include <optional>

namespace {

const QString kSim = QStringLiteral(TARN_SIM_PROGRAM);

// ---------------------------------------------------------------- independent readers

using acceptance::fromCp1251;

// A text file as the program writes it: every line ended by CR LF, no lone LF or CR, no UTF-8.
struct TextFile {
    bool crlf = false;
    QStringList lines;
};

TextFile readCp1251Lines(const QString& path) {
    TextFile t;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return t;
    const QByteArray bytes = f.readAll();
    t.crlf = bytes.endsWith("\r\n") && bytes.count('\n') == bytes.count("\r\n") &&
             bytes.count('\r') == bytes.count("\r\n");
    QByteArray body = bytes;
    if (body.endsWith("\r\n")) body.chop(2);
    for (const QByteArray& line : body.split('\n'))
        t.lines.append(fromCp1251(line.endsWith('\r') ? line.chopped(1) : line));
    return t;
}

// One entry of a package file: its name and its content, inflated here with zlib.
struct PackageEntry {
    QByteArray name;
    QByteArray compressed;
    QByteArray content;
    bool inflated = false;
};

QByteArray le(quint32 v, int n) {
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
    return b;
}

quint32 readLe(const QByteArray& b, qsizetype at, int n) {
    quint32 v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = (v << 8) | quint8(b[at + i]);
    return v;
}

std::optional<QByteArray> inflateAll(const QByteArray& in) {
    z_stream s{};
    if (inflateInit(&s) != Z_OK) return std::nullopt;
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    s.avail_in = uInt(in.size());
    QByteArray out;
    char buf[16384];
    int rc = Z_OK;
    while (rc == Z_OK) {
        s.next_out = reinterpret_cast<Bytef*>(buf);
        s.avail_out = sizeof buf;
        rc = inflate(&s, Z_NO_FLUSH);
        out.append(buf, qsizetype(sizeof buf - s.avail_out));
    }
    const bool whole = rc == Z_STREAM_END && s.avail_in == 0;
    inflateEnd(&s);
    if (!whole) return std::nullopt;
    return out;
}

QByteArray deflateBest(const QByteArray& in) {
    uLongf size = compressBound(uLong(in.size()));
    QByteArray out(qsizetype(size), '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(in.constData()),
              uLong(in.size()), Z_BEST_COMPRESSION);
    out.resize(qsizetype(size));
    return out;
}

// Magic 88 19 06 18, the entry count, then name length, name, compressed size and zlib stream per entry.
std::optional<QList<PackageEntry>> readPackage(const QByteArray& b) {
    if (b.size() < 8 || readLe(b, 0, 4) != 0x18061988u) return std::nullopt;
    const quint32 n = readLe(b, 4, 4);
    QList<PackageEntry> entries;
    qsizetype at = 8;
    for (quint32 i = 0; i < n; ++i) {
        if (at + 2 > b.size()) return std::nullopt;
        const quint32 length = readLe(b, at, 2);
        at += 2;
        if (at + length + 4 > b.size()) return std::nullopt;
        PackageEntry e;
        e.name = b.mid(at, length);
        at += length;
        const quint32 size = readLe(b, at, 4);
        at += 4;
        if (at + qsizetype(size) > b.size()) return std::nullopt;
        e.compressed = b.mid(at, size);
        at += size;
        if (const auto content = inflateAll(e.compressed)) {
            e.content = *content;
            e.inflated = true;
        }
        entries.append(e);
    }
    if (at != b.size()) return std::nullopt;
    return entries;
}

QByteArray writePackage(const QList<QPair<QByteArray, QByteArray>>& files) {
    QByteArray b = le(0x18061988u, 4) + le(quint32(files.size()), 4);
    for (const auto& [name, content] : files) {
        const QByteArray z = deflateBest(content);
        b += le(quint32(name.size()), 2) + name + le(quint32(z.size()), 4) + z;
    }
    return b;
}

// ---------------------------------------------------------------- simulated correctors

// Hour factors of the simulator's generated archive: the hour beginning at HH carries flow × factor[HH].
const QList<double> kProfile = {0.5, 1.0, 1.5, 2.0, 0.5, 1.0, 1.5, 2.0, 0.5, 1.0, 1.5, 2.0,
                                0.5, 1.0, 1.5, 2.0, 0.5, 1.0, 1.5, 2.0, 0.5, 1.0, 1.5, 2.0};
constexpr double kCorrection = 2.0;
const QDateTime kArchiveStart(QDate(2024, 3, 1), QTime(0, 0));
constexpr int kContractHour = 9;

struct Corrector {
    int serial = 41234;
    int address = 1;
    int hours = 0;
    double flow = 10.0;
    QDateTime start = kArchiveStart;
};

QByteArray scenario(const Corrector& c) {
    QJsonArray profile;
    for (double f : kProfile)
        profile.append(f);
    QJsonObject device{{"role", "corrector"},
                       {"address", c.address},
                       {"serial", c.serial},
                       {"identification", "V Tarn-sim V47a 2.01"},
                       {"passwords", QJsonArray{"1111", "2222", "3333", "4444", "5555", "6666", "7777"}},
                       {"measurements", QJsonObject{{"pressure", 1.5}, {"temperature", 5.0},
                                                    {"compressibility", 1.0}, {"correction", kCorrection}}},
                       {"archive", QJsonObject{{"start", c.start.toString(QStringLiteral("dd.MM.yyyy HH:mm"))},
                                               {"hours", c.hours},
                                               {"flow", c.flow},
                                               {"profile", profile}}}};
    return QJsonDocument(QJsonObject{{"devices", QJsonArray{device}}}).toJson();
}

// The hourly records the simulator holds: record i ends at start + (i + 1) hours.
struct Hour {
    QDateTime end;
    double working, standard;
};

QList<Hour> hoursOf(const Corrector& c) {
    QList<Hour> out;
    for (int i = 0; i < c.hours; ++i) {
        const QDateTime end = c.start.addSecs(3600LL * (i + 1));
        const double w = c.flow * kProfile[end.addSecs(-3600).time().hour()];
        out.append({end, w, w * kCorrection});
    }
    return out;
}

// The daily records: one per gas day closed at the contract hour, the sum of its hours.
QList<Hour> daysOf(const Corrector& c) {
    QList<Hour> out;
    const QList<Hour> hours = hoursOf(c);
    QDateTime close(c.start.date(), QTime(kContractHour, 0));
    if (close <= c.start) close = close.addDays(1);
    while (!hours.isEmpty() && close <= hours.last().end) {
        double w = 0, s = 0;
        for (const Hour& h : hours)
            if (h.end > close.addDays(-1) && h.end <= close) {
                w += h.working;
                s += h.standard;
            }
        out.append({close, w, s});
        close = close.addDays(1);
    }
    return out;
}

// ---------------------------------------------------------------- installations and processes

using Result = tarn::test::CliText;

class Installation {
public:
    Installation() {
        home_ = dir_.path() + QStringLiteral("/home");
        QDir().mkpath(home_);
        initialised_ = cli({QStringLiteral("init")}).code == 0;
        write(QStringLiteral("Work/Type_Leng.000"), "RU\r\n");
    }
    bool initialised() const { return initialised_; }
    QString home() const { return home_; }
    QString scratch(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }
    QString path(const QString& relative) const { return home_ + QLatin1Char('/') + relative; }

    void write(const QString& relative, const QByteArray& bytes) const {
        QDir().mkpath(QFileInfo(path(relative)).path());
        QFile f(path(relative));
        if (f.open(QIODevice::WriteOnly)) f.write(bytes);
    }
    QByteArray read(const QString& relative) const {
        QFile f(path(relative));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    bool exists(const QString& relative) const { return QFile::exists(path(relative)); }

    // A simulated corrector on COMn; every line started so far stays in Work/PortMap.000.
    bool startCorrector(int com, const Corrector& c) {
        sims_.erase(com);
        const QString link = scratch(QStringLiteral("com%1").arg(com));
        links_[com] = link;
        QByteArray map;
        for (const auto& [n, l] : links_)
            map += "COM" + QByteArray::number(n) + ' ' + l.toLocal8Bit() + "\r\n";
        write(QStringLiteral("Work/PortMap.000"), map);
        auto sim = std::make_unique<tarn::test::SimProcess>();
        const bool ok = sim->start(kSim, scratch(QStringLiteral("scenario%1.json").arg(com)), scenario(c), link);
        sims_[com] = std::move(sim);
        return ok;
    }
    void stopCorrector(int com) { sims_.erase(com); }

    Result cli(const QStringList& args) const { return tarn::test::runCliIn(home_, args).text(); }

    // Registers the corrector on COMn as a cable point with a short reply time-out; its identifier.
    QString registerPoint(int com) {
        const Result stored = cli({QStringLiteral("--port"), QStringLiteral("COM%1").arg(com), QStringLiteral("store"),
                                   QStringLiteral("--archives"), QStringLiteral("monthly")});
        if (stored.code != 0) return {};
        const QRegularExpression added(QStringLiteral("point (\\S+)"));
        const QString id = added.match(stored.out + stored.err).captured(1);
        if (id.isEmpty()) return {};
        const Result config = cli({QStringLiteral("points"), QStringLiteral("config"), id, QStringLiteral("--link"),
                                   QStringLiteral("cable"), QStringLiteral("--port"), QStringLiteral("COM%1").arg(com),
                                   QStringLiteral("--timeout"), QStringLiteral("300"), QStringLiteral("--repeats"),
                                   QStringLiteral("1")});
        return config.code == 0 ? id : QString();
    }

    // A point's stored rows of one archive, cells only.
    QList<QStringList> rows(const QString& id, const QString& archive, QStringList* fields = nullptr) const {
        const QJsonObject o = cli({QStringLiteral("rows"), QStringLiteral("--point"), id, QStringLiteral("--archive"),
                                   archive, QStringLiteral("--json")})
                                  .json();
        if (fields) {
            fields->clear();
            for (const QJsonValue& f : o.value(QStringLiteral("fields")).toArray())
                fields->append(f.toString());
        }
        QList<QStringList> out;
        for (const QJsonValue& row : o.value(QStringLiteral("rows")).toArray()) {
            QStringList cells;
            for (const QJsonValue& c : row.toArray())
                cells.append(c.toString());
            out.append(cells);
        }
        return out;
    }

    // Every file under the installation with its bytes: a whole-tree snapshot for "nothing changed".
    QMap<QString, QByteArray> snapshot() const {
        QMap<QString, QByteArray> files;
        QDirIterator it(home_, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = it.next();
            QFile f(p);
            files.insert(QDir(home_).relativeFilePath(p), f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray());
        }
        return files;
    }

private:
    QTemporaryDir dir_;
    QString home_;
    bool initialised_ = false;
    std::map<int, QString> links_;
    std::map<int, std::unique_ptr<tarn::test::SimProcess>> sims_;
};

// A field of a stored row by its name.
QString cell(const QStringList& fields, const QStringList& row, const QString& name) {
    const qsizetype i = fields.indexOf(name);
    return i >= 0 && i < row.size() ? row[i] : QStringLiteral("<no %1>").arg(name);
}

double number(const QString& text) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok ? v : -1e300;
}

QStringList groupNames(const Installation& inst) {
    QStringList names;
    const QJsonObject o = inst.cli({QStringLiteral("group"), QStringLiteral("list"), QStringLiteral("--json")}).json();
    for (const QJsonValue& g : o.value(QStringLiteral("groups")).toArray())
        names.append(g.toObject().value(QStringLiteral("name")).toString());
    return names;
}

// ---------------------------------------------------------------- groups and their files

class PollingGroups : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        inst_ = new Installation;
        if (!inst_->initialised()) return;
        for (int com : {1, 2}) {
            if (!inst_->startCorrector(com, Corrector{41230 + com, 1, 0, 10.0})) return;
            ids_.append(inst_->registerPoint(com));
            inst_->stopCorrector(com);
        }
    }
    static void TearDownTestSuite() {
        delete inst_;
        inst_ = nullptr;
        ids_.clear();
    }
    void SetUp() override {
        ASSERT_TRUE(inst_ && inst_->initialised());
        ASSERT_EQ(ids_.size(), 2);
        ASSERT_FALSE(ids_[0].isEmpty());
        ASSERT_FALSE(ids_[1].isEmpty());
    }
    static Installation* inst_;
    static QStringList ids_;
};
Installation* PollingGroups::inst_ = nullptr;
QStringList PollingGroups::ids_;

TEST_F(PollingGroups, SavedGroupReadsBackFromTheCommandAndFromItsFiles) {
    const QString name = QStringLiteral("Котельня Північна");
    const Result saved = inst_->cli({QStringLiteral("group"), QStringLiteral("save"), name, QStringLiteral("--points"),
                                     ids_[1], QStringLiteral("--schedule"),
                                     QStringLiteral("08:00-12:00-01:00,22:00-00:00-00:00"), QStringLiteral("--flags"),
                                     QStringLiteral("0110000011")});
    ASSERT_EQ(saved.code, 0) << saved.err.toStdString();

    const QJsonObject shown =
        inst_->cli({QStringLiteral("group"), QStringLiteral("show"), name, QStringLiteral("--json")}).json();
    EXPECT_EQ(shown.value(QStringLiteral("name")).toString(), name);
    EXPECT_EQ(shown.value(QStringLiteral("flags")).toString(), QStringLiteral("0110000011"));
    EXPECT_EQ(shown.value(QStringLiteral("points")).toArray(), QJsonArray{ids_[1]});
    EXPECT_EQ(shown.value(QStringLiteral("schedule")).toArray(),
              (QJsonArray{"08:00-12:00-01:00", "22:00-00:00-00:00"}));
    EXPECT_TRUE(groupNames(*inst_).contains(name));

    // The list file: mark, twelve-digit creation time, the name padded to 20; CP1251 with CR LF.
    const TextFile list = readCp1251Lines(inst_->path(QStringLiteral("Group/name_G.000")));
    EXPECT_TRUE(list.crlf);
    QString file;
    for (const QString& line : list.lines) {
        const QStringList f = line.split(QLatin1Char('/'));
        if (f.size() == 3 && f[2].trimmed() == name) {
            EXPECT_EQ(f[0], QStringLiteral("0"));
            EXPECT_EQ(f[2], name.leftJustified(20, QLatin1Char(' ')));
            file = f[1];
        }
    }
    ASSERT_EQ(file.size(), 12) << list.lines.join(QLatin1Char('\n')).toStdString();
    const QDateTime created = QDateTime::fromString(QStringLiteral("20") + file, QStringLiteral("yyyyMMddHHmmss"));
    EXPECT_TRUE(created.isValid()) << file.toStdString();

    // The group file: name, one line per window, the flags, one member line per registered point.
    const TextFile group = readCp1251Lines(inst_->path(QStringLiteral("Group/") + file));
    EXPECT_TRUE(group.crlf);
    ASSERT_GE(group.lines.size(), 6);
    EXPECT_EQ(group.lines[0].mid(2).trimmed(), name);
    EXPECT_TRUE(group.lines[0].startsWith(QStringLiteral("0*")));
    EXPECT_TRUE(group.lines.contains(QStringLiteral("1*08:00-12:00-01:00")));
    EXPECT_TRUE(group.lines.contains(QStringLiteral("1*22:00-00:00-00:00")));
    EXPECT_TRUE(group.lines.contains(QStringLiteral("2*0110000011")));
    QMap<QString, QChar> members;
    for (const QString& line : group.lines)
        if (line.startsWith(QStringLiteral("3*")) && line.size() > 12)
            members.insert(line.right(10).remove(QLatin1Char(' ')), line.at(2));
    EXPECT_EQ(members.value(ids_[0]), QLatin1Char('0'));
    EXPECT_EQ(members.value(ids_[1]), QLatin1Char('1'));
    EXPECT_EQ(members.size(), 2);
}

TEST_F(PollingGroups, SavingAnExistingGroupChangesItInPlace) {
    const QString name = QStringLiteral("Змінна");
    auto save = [&](const QString& points, const QString& flags) {
        return inst_->cli({QStringLiteral("group"), QStringLiteral("save"), name, QStringLiteral("--points"), points,
                           QStringLiteral("--flags"), flags})
            .code;
    };
    auto show = [&] {
        return inst_->cli({QStringLiteral("group"), QStringLiteral("show"), name, QStringLiteral("--json")}).json();
    };
    ASSERT_EQ(save(ids_[0], QStringLiteral("0100000000")), 0);
    const QString file = show().value(QStringLiteral("file")).toString();
    ASSERT_EQ(save(ids_[0] + QLatin1Char(',') + ids_[1], QStringLiteral("0010000001")), 0);
    const QJsonObject changed = show();
    EXPECT_EQ(changed.value(QStringLiteral("file")).toString(), file);
    EXPECT_EQ(changed.value(QStringLiteral("flags")).toString(), QStringLiteral("0010000001"));
    EXPECT_EQ(changed.value(QStringLiteral("points")).toArray(), (QJsonArray{ids_[0], ids_[1]}));
    EXPECT_EQ(groupNames(*inst_).count(name), 1);
}

TEST_F(PollingGroups, LongNameIsCutToTwentyAndTheSavedNameReported) {
    const QString typed = QStringLiteral("Дуже довга назва групи опитування");
    const QString kept = typed.left(20);
    const Result saved =
        inst_->cli({QStringLiteral("group"), QStringLiteral("save"), typed, QStringLiteral("--points"), ids_[0]});
    ASSERT_EQ(saved.code, 0) << saved.err.toStdString();
    EXPECT_TRUE((saved.out + saved.err).contains(QLatin1Char('"') + kept + QLatin1Char('"')))
        << (saved.out + saved.err).toStdString();
    const QStringList names = groupNames(*inst_);
    EXPECT_TRUE(names.contains(kept));
    EXPECT_FALSE(names.contains(typed));
    const QJsonObject shown =
        inst_->cli({QStringLiteral("group"), QStringLiteral("show"), typed, QStringLiteral("--json")}).json();
    EXPECT_EQ(shown.value(QStringLiteral("name")).toString(), kept);
}

struct Refusal {
    const char* what;
    QStringList args; // after "group save"
    QString message = {};
};

TEST_F(PollingGroups, BadMembersSchedulesFlagsAndNamesAreRefusedWithNothingWritten) {
    const QList<Refusal> cases = {
        {"unknown member", {QStringLiteral("Г2"), QStringLiteral("--points"), QStringLiteral("99999")}},
        {"window before the last one ends",
         {QStringLiteral("Г2"), QStringLiteral("--points"), ids_[0], QStringLiteral("--schedule"),
          QStringLiteral("08:00-12:00-01:00,10:00-11:00-00:00")},
         QStringLiteral("Ошибка набора времени !")},
        {"begin not before end",
         {QStringLiteral("Г2"), QStringLiteral("--points"), ids_[0], QStringLiteral("--schedule"),
          QStringLiteral("12:00-10:00-00:00")}},
        {"no period", {QStringLiteral("Г2"), QStringLiteral("--points"), ids_[0], QStringLiteral("--schedule"),
                       QStringLiteral("08:00-12:00")}},
        {"extra field", {QStringLiteral("Г2"), QStringLiteral("--points"), ids_[0], QStringLiteral("--schedule"),
                         QStringLiteral("08:00-12:00-01:00-02:00")}},
        {"hour 25", {QStringLiteral("Г2"), QStringLiteral("--points"), ids_[0], QStringLiteral("--schedule"),
                     QStringLiteral("08:00-25:00-01:00")}},
        {"flags too short", {QStringLiteral("Г2"), QStringLiteral("--points"), ids_[0], QStringLiteral("--flags"),
                             QStringLiteral("011")}},
        {"flags not 0/1", {QStringLiteral("Г2"), QStringLiteral("--points"), ids_[0], QStringLiteral("--flags"),
                           QStringLiteral("0120000000")}},
        {"line break in the name", {QStringLiteral("Г\n2"), QStringLiteral("--points"), ids_[0]}},
        {"outside the code page", {QStringLiteral("Група \u4E2D"), QStringLiteral("--points"), ids_[0]}},
    };
    const QMap<QString, QByteArray> before = inst_->snapshot();
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.what);
        const Result r = inst_->cli(QStringList{QStringLiteral("group"), QStringLiteral("save")} + c.args);
        EXPECT_EQ(r.code, 2) << r.out.toStdString() << r.err.toStdString();
        if (!c.message.isEmpty()) {
            EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
        }
        const QMap<QString, QByteArray> after = inst_->snapshot();
        for (auto it = after.begin(); it != after.end(); ++it)
            if (it.key().startsWith(QStringLiteral("Group/"))) {
                EXPECT_EQ(before.value(it.key()), it.value()) << it.key().toStdString();
            }
        EXPECT_EQ(before.keys(), after.keys());
    }
}

// The configurator's own refusal of a nameless group: its text, and nothing written.
TEST_F(PollingGroups, NamelessGroupIsRefusedWithTheConfiguratorsText) {
    const QMap<QString, QByteArray> before = inst_->snapshot();
    for (const QString& blank : {QString(), QStringLiteral("    ")}) {
        const Result r = inst_->cli({QStringLiteral("group"), QStringLiteral("save"), blank, QStringLiteral("--points"),
                                     ids_[0]});
        EXPECT_NE(r.code, 0);
        EXPECT_TRUE(r.err.contains(QStringLiteral("Не определено имя  группы!!!"))) << r.err.toStdString();
        EXPECT_EQ(inst_->snapshot(), before);
    }
}

TEST_F(PollingGroups, NamelessGroupIsAUsageErrorLikeEveryOtherBadSave) {
    for (const QString& blank : {QString(), QStringLiteral("    ")})
        EXPECT_EQ(inst_->cli({QStringLiteral("group"), QStringLiteral("save"), blank, QStringLiteral("--points"), ids_[0]})
                      .code,
                  2);
}

// A window may begin at the minute the last one ends, and may end at midnight.
TEST_F(PollingGroups, AdjacentWindowsUpToMidnightAreAccepted) {
    const QString windows = QStringLiteral("08:00-09:00-00:00,09:00-12:00-01:00,12:00-00:00-03:00");
    const Result r = inst_->cli({QStringLiteral("group"), QStringLiteral("save"), QStringLiteral("Суміжні"),
                                 QStringLiteral("--points"), ids_[0], QStringLiteral("--schedule"), windows});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QStringList shown;
    for (const QJsonValue& w : inst_->cli({QStringLiteral("group"), QStringLiteral("show"), QStringLiteral("Суміжні"),
                                           QStringLiteral("--json")})
                                   .json()
                                   .value(QStringLiteral("schedule"))
                                   .toArray())
        shown.append(w.toString());
    EXPECT_EQ(shown.join(QLatin1Char(',')), windows);
}

TEST_F(PollingGroups, DeletedGroupLeavesTheListAndItsFileGoes) {
    const QString name = QStringLiteral("На видалення");
    ASSERT_EQ(inst_->cli({QStringLiteral("group"), QStringLiteral("save"), name, QStringLiteral("--points"), ids_[0]})
                  .code,
              0);
    const QString file = inst_->cli({QStringLiteral("group"), QStringLiteral("show"), name, QStringLiteral("--json")})
                             .json()
                             .value(QStringLiteral("file"))
                             .toString();
    ASSERT_TRUE(inst_->exists(QStringLiteral("Group/") + file)) << file.toStdString();

    const Result r = inst_->cli({QStringLiteral("group"), QStringLiteral("delete"), name});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_FALSE(groupNames(*inst_).contains(name));
    EXPECT_FALSE(inst_->exists(QStringLiteral("Group/") + file));
    const TextFile list = readCp1251Lines(inst_->path(QStringLiteral("Group/name_G.000")));
    for (const QString& line : list.lines)
        EXPECT_FALSE(line.contains(file)) << line.toStdString();
    EXPECT_NE(inst_->cli({QStringLiteral("group"), QStringLiteral("delete"), name}).code, 0);
}

// Runs last in the suite: it erases the second point.
TEST_F(PollingGroups, ZErasedPointLeavesEveryGroupFile) {
    const QString name = QStringLiteral("Обидві");
    ASSERT_EQ(inst_->cli({QStringLiteral("group"), QStringLiteral("save"), name, QStringLiteral("--points"),
                          ids_[0] + QLatin1Char(',') + ids_[1]})
                  .code,
              0);
    ASSERT_EQ(inst_->cli({QStringLiteral("group"), QStringLiteral("show"), name, QStringLiteral("--json")})
                  .json()
                  .value(QStringLiteral("points"))
                  .toArray()
                  .size(),
              2);
    ASSERT_EQ(inst_->cli({QStringLiteral("points"), QStringLiteral("erase"), ids_[1]}).code, 0);
    EXPECT_EQ(inst_->cli({QStringLiteral("group"), QStringLiteral("show"), name, QStringLiteral("--json")})
                  .json()
                  .value(QStringLiteral("points"))
                  .toArray(),
              QJsonArray{ids_[0]});
    QDirIterator it(inst_->path(QStringLiteral("Group")), QDir::Files);
    int groupFiles = 0;
    while (it.hasNext()) {
        const QString file = it.next();
        if (it.fileName() == QStringLiteral("name_G.000")) continue;
        ++groupFiles;
        for (const QString& line : readCp1251Lines(file).lines)
            if (line.startsWith(QStringLiteral("3*"))) {
                EXPECT_NE(line.right(10).remove(QLatin1Char(' ')), ids_[1]) << file.toStdString();
            }
    }
    EXPECT_GE(groupFiles, 1);
}

// ---------------------------------------------------------------- the day's schedule

struct Row {
    QString group, begin, end, status;
};

struct DueCase {
    const char* at;
    int due;                // row number, 0 for none
    QList<int> missed;      // rows that are "пропущ."
};

TEST(ScheduleOfTheDay, RowsInTimeOrderAndTheDueRowAtEachTime) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_TRUE(inst.startCorrector(1, Corrector{41234, 1, 0, 10.0}));
    const QString id = inst.registerPoint(1);
    ASSERT_FALSE(id.isEmpty());
    const QList<QPair<QString, QString>> groups = {
        {QStringLiteral("Ранкова"), QStringLiteral("08:00-12:00-01:00")},
        {QStringLiteral("Вечірня"), QStringLiteral("09:30-10:00-00:00,22:00-00:00-01:00")},
        {QStringLiteral("Друга"), QStringLiteral("08:00-09:00-00:00,12:00-13:00-00:00")},
        {QStringLiteral("Без розкладу"), QString()},
    };
    for (const auto& [name, windows] : groups) {
        QStringList args{QStringLiteral("group"), QStringLiteral("save"), name, QStringLiteral("--points"), id,
                         QStringLiteral("--flags"), QStringLiteral("0100000000")};
        if (!windows.isEmpty()) args << QStringLiteral("--schedule") << windows;
        ASSERT_EQ(inst.cli(args).code, 0) << name.toStdString();
    }
    // Minute by minute, groups in list order at the same minute; 24:00 is written 00:00.
    const QList<Row> expected = {
        {QStringLiteral("Ранкова"), QStringLiteral("08:00"), QStringLiteral("09:00"), {}},
        {QStringLiteral("Друга"), QStringLiteral("08:00"), QStringLiteral("09:00"), {}},
        {QStringLiteral("Ранкова"), QStringLiteral("09:00"), QStringLiteral("10:00"), {}},
        {QStringLiteral("Вечірня"), QStringLiteral("09:30"), QStringLiteral("10:00"), {}},
        {QStringLiteral("Ранкова"), QStringLiteral("10:00"), QStringLiteral("11:00"), {}},
        {QStringLiteral("Ранкова"), QStringLiteral("11:00"), QStringLiteral("12:00"), {}},
        {QStringLiteral("Друга"), QStringLiteral("12:00"), QStringLiteral("13:00"), {}},
        {QStringLiteral("Вечірня"), QStringLiteral("22:00"), QStringLiteral("23:00"), {}},
        {QStringLiteral("Вечірня"), QStringLiteral("23:00"), QStringLiteral("00:00"), {}},
    };
    const QList<DueCase> cases = {
        {"07:59", 0, {}},
        {"08:00", 1, {}},
        {"09:10", 3, {1, 2}},
        {"12:05", 7, {1, 2, 3, 4, 5, 6}},
        {"23:59", 9, {1, 2, 3, 4, 5, 6, 7, 8}},
    };
    for (const DueCase& c : cases) {
        SCOPED_TRACE(c.at);
        const Result r = inst.cli({QStringLiteral("schedule"), QStringLiteral("--at"), QString::fromLatin1(c.at),
                                   QStringLiteral("--json")});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        const QJsonObject o = r.json();
        EXPECT_EQ(o.value(QStringLiteral("title")).toString(),
                  QStringLiteral("Расписание опроса ") + QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")));
        const QJsonArray rows = o.value(QStringLiteral("rows")).toArray();
        ASSERT_EQ(rows.size(), expected.size()) << r.out.toStdString();
        for (int i = 0; i < rows.size(); ++i) {
            const QJsonObject row = rows[i].toObject();
            EXPECT_EQ(row.value(QStringLiteral("number")).toInt(), i + 1);
            EXPECT_EQ(row.value(QStringLiteral("group")).toString(), expected[i].group) << i;
            EXPECT_EQ(row.value(QStringLiteral("begin")).toString(), expected[i].begin) << i;
            EXPECT_EQ(row.value(QStringLiteral("end")).toString(), expected[i].end) << i;
            const QString status = c.missed.contains(i + 1) ? QStringLiteral("пропущ.") : QStringLiteral("--");
            EXPECT_EQ(row.value(QStringLiteral("status")).toString(), status) << i;
        }
        const QJsonValue due = o.value(QStringLiteral("due"));
        if (c.due == 0) {
            EXPECT_TRUE(due.isNull() || due.isUndefined() || due.toInt(-1) == 0) << r.out.toStdString();
        } else {
            EXPECT_EQ(due.toInt(), c.due);
        }
    }
}

// ---------------------------------------------------------------- a group poll over three lines

// COM1 answers as its point, COM2 as another corrector, COM3 at another link address (silent).
class GroupPoll : public ::testing::Test {
protected:
    static Corrector good() { return Corrector{41234, 1, 30, 10.0}; }

    static void SetUpTestSuite() {
        inst_ = new Installation;
        if (!inst_->initialised()) return;
        const QList<Corrector> registered = {good(), Corrector{41235, 1, 5, 10.0}, Corrector{41236, 1, 5, 10.0}};
        for (int i = 0; i < 3; ++i) {
            if (!inst_->startCorrector(i + 1, registered[i])) return;
            ids_.append(inst_->registerPoint(i + 1));
        }
        if (!inst_->startCorrector(2, Corrector{41299, 1, 5, 10.0})) return;
        if (!inst_->startCorrector(3, Corrector{41236, 5, 5, 10.0})) return;
        const Result saved = inst_->cli({QStringLiteral("group"), QStringLiteral("save"), kGroup,
                                         QStringLiteral("--points"), ids_.join(QLatin1Char(',')),
                                         QStringLiteral("--flags"), QStringLiteral("0111000000")});
        if (saved.code != 0) return;
        first_ = inst_->cli({QStringLiteral("poll"), QStringLiteral("--group"), kGroup, QStringLiteral("--json")});
    }
    static void TearDownTestSuite() {
        delete inst_;
        inst_ = nullptr;
        ids_.clear();
    }
    void SetUp() override {
        ASSERT_TRUE(inst_ && inst_->initialised());
        ASSERT_EQ(ids_.size(), 3);
        for (const QString& id : ids_)
            ASSERT_FALSE(id.isEmpty());
        ASSERT_FALSE(first_.out.isEmpty()) << first_.err.toStdString();
    }
    static QString name(int serial) { return QStringLiteral("ТАРН-1.01   №%1  ").arg(serial); }

    static inline const QString kGroup = QStringLiteral("Північ");
    static Installation* inst_;
    static QStringList ids_;
    static Result first_;
};
Installation* GroupPoll::inst_ = nullptr;
QStringList GroupPoll::ids_;
Result GroupPoll::first_;

TEST_F(GroupPoll, FailingMembersDoNotStopTheOthersAndTheRunExitsOne) {
    EXPECT_EQ(first_.code, 1);
    const QJsonArray points = first_.json().value(QStringLiteral("points")).toArray();
    ASSERT_EQ(points.size(), 3) << first_.out.toStdString();
    QStringList results;
    for (const QJsonValue& p : points)
        results.append(p.toObject().value(QStringLiteral("result")).toString());
    EXPECT_EQ(results, (QStringList{QStringLiteral("норма"), QStringLiteral("ошибка обмена с прибором"),
                                    QStringLiteral("ошибка обмена с прибором")}));
    EXPECT_TRUE(first_.json().value(QStringLiteral("groupFailed")).toBool());

    // The sequence lines: members in list order, the wrong corrector named with what answered.
    const QString log = first_.err;
    const qsizetype a = log.indexOf(QStringLiteral("*НОРМА* прибора - \"") + name(41234) + QLatin1Char('"'));
    const qsizetype b = log.indexOf(QStringLiteral("*БРАК*  прибора - \"") + name(41235) + QLatin1Char('"'));
    const qsizetype c = log.indexOf(QStringLiteral("*БРАК*  прибора - \"") + name(41236) + QLatin1Char('"'));
    EXPECT_TRUE(a >= 0 && b > a && c > b) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("Err: номер корр. в БД \"") + name(41235) +
                             QStringLiteral("\" чт. \"ТАРН-1.01   №41299\"")))
        << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("нет связи с прибором"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("*СТОП*  группы   - \"") + kGroup + QLatin1Char('"')));
}

TEST_F(GroupPoll, StoredHourlyAndDailyRecordsAreTheSimulatorsOwn) {
    QStringList f;
    const QList<Hour> hours = hoursOf(good());
    const QList<QStringList> stored = inst_->rows(ids_[0], QStringLiteral("hourly"), &f);
    ASSERT_EQ(stored.size(), hours.size());
    for (int i = 0; i < hours.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(cell(f, stored[i], QStringLiteral("hNumWrCor")).toInt(), i);
        EXPECT_EQ(cell(f, stored[i], QStringLiteral("hDate")), hours[i].end.toString(QStringLiteral("dd.MM.yyyy")));
        EXPECT_EQ(cell(f, stored[i], QStringLiteral("hTime")), hours[i].end.toString(QStringLiteral("HH:mm")));
        EXPECT_DOUBLE_EQ(number(cell(f, stored[i], QStringLiteral("hVwrk"))), hours[i].working);
        EXPECT_DOUBLE_EQ(number(cell(f, stored[i], QStringLiteral("hVst"))), hours[i].standard);
    }
    const QList<Hour> days = daysOf(good());
    const QList<QStringList> daily = inst_->rows(ids_[0], QStringLiteral("daily"), &f);
    ASSERT_EQ(daily.size(), days.size());
    for (int i = 0; i < days.size(); ++i) {
        EXPECT_EQ(cell(f, daily[i], QStringLiteral("dDate")), days[i].end.toString(QStringLiteral("dd.MM.yyyy")));
        EXPECT_NEAR(number(cell(f, daily[i], QStringLiteral("dVwrk"))), days[i].working, 0.005);
        EXPECT_NEAR(number(cell(f, daily[i], QStringLiteral("dVst"))), days[i].standard, 0.005);
    }
    // The failed members stored nothing: the wrong corrector's records are not filed under the point.
    EXPECT_TRUE(inst_->rows(ids_[1], QStringLiteral("hourly")).isEmpty());
    EXPECT_TRUE(inst_->rows(ids_[2], QStringLiteral("hourly")).isEmpty());
    EXPECT_TRUE(inst_->rows(QStringLiteral("41299"), QStringLiteral("hourly")).isEmpty());
}

TEST_F(GroupPoll, RequestLogRowNamesTheRunAndItsFirstAndLastRecords) {
    QStringList f;
    const QList<QStringList> log = inst_->rows(ids_[0], QStringLiteral("log"), &f);
    ASSERT_FALSE(log.isEmpty());
    const QStringList& row = log.last();
    const QList<Hour> hours = hoursOf(good());
    const QList<Hour> days = daysOf(good());
    EXPECT_EQ(cell(f, row, QStringLiteral("bStrQuest")), QStringLiteral("кабель БД"));
    EXPECT_EQ(cell(f, row, QStringLiteral("bQuest")), QStringLiteral("2"));
    EXPECT_EQ(cell(f, row, QStringLiteral("bCurFlWrBD")), QStringLiteral("01100000000"));
    const QString ts = QStringLiteral("dd.MM.yyyy HH:mm");
    EXPECT_EQ(cell(f, row, QStringLiteral("bDbegHour")), hours.first().end.toString(ts));
    EXPECT_EQ(cell(f, row, QStringLiteral("bNbegHour")), QStringLiteral("0"));
    EXPECT_EQ(cell(f, row, QStringLiteral("bDendHour")), hours.last().end.toString(ts));
    EXPECT_EQ(cell(f, row, QStringLiteral("bNendHour")), QString::number(hours.size() - 1));
    EXPECT_EQ(cell(f, row, QStringLiteral("bDbegDay")), days.first().end.toString(ts));
    EXPECT_EQ(cell(f, row, QStringLiteral("bDendDay")), days.last().end.toString(ts));
    EXPECT_EQ(cell(f, row, QStringLiteral("bErrConnect")), QStringLiteral("--"));
}

// The run asked for the monthly archive too; it had nothing new, which does not make it unasked.
TEST_F(GroupPoll, RequestLogKeepsEveryItemTheGroupAsked) {
    QStringList f;
    const QList<QStringList> log = inst_->rows(ids_[0], QStringLiteral("log"), &f);
    ASSERT_FALSE(log.isEmpty());
    EXPECT_EQ(cell(f, log.last(), QStringLiteral("bCurFlRdWr")), QStringLiteral("01110000000"));
}

TEST_F(GroupPoll, DayExchangesShowEachMembersResult) {
    const Result r = inst_->cli({QStringLiteral("protocol"), QStringLiteral("exchanges")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QMap<QString, QString> result; // serial → result cell
    for (const QString& line : r.out.split(QLatin1Char('\n'))) {
        const QStringList cells = line.split(QLatin1Char('|'));
        if (cells.size() == 10 && cells[2].trimmed() == QStringLiteral("опр.груп.")) {
            EXPECT_EQ(cells[2].size(), 9);
            result.insert(cells[5].trimmed(), cells[8].trimmed());
        }
    }
    EXPECT_EQ(result.value(QStringLiteral("41234")), QStringLiteral("норма")) << r.out.toStdString();
    EXPECT_EQ(result.value(QStringLiteral("41235")), QStringLiteral("ошибка обмена с прибором"));
    EXPECT_EQ(result.value(QStringLiteral("41236")), QStringLiteral("ошибка обмена с прибором"));
    // The day's join table and the point's request log the views are built from.
    const QDate today = QDate::currentDate();
    EXPECT_TRUE(inst_->exists(QStringLiteral("Join/j_%1/j_%2.db")
                                  .arg(today.toString(QStringLiteral("yyMM")), today.toString(QStringLiteral("yyMMdd")))));
    EXPECT_TRUE(inst_->exists(QStringLiteral("BookQ/b_%1.db").arg(ids_[0])));
}

TEST_F(GroupPoll, DayExchangesAreWrittenToTheFileAsked) {
    const QString out = inst_->scratch(QStringLiteral("exchanges.txt"));
    const Result r = inst_->cli({QStringLiteral("protocol"), QStringLiteral("exchanges"), QStringLiteral("--out"), out});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const TextFile text = readCp1251Lines(out);
    EXPECT_TRUE(text.crlf);
    EXPECT_TRUE(text.lines.join(QLatin1Char('\n')).contains(QStringLiteral("|ошибка обмена с прибором")));
}

TEST_F(GroupPoll, ProtocolOfTheGroupShowsAskedItemsAndWhatWasStored) {
    const QString out = inst_->scratch(QStringLiteral("protocol.txt"));
    const Result r = inst_->cli({QStringLiteral("protocol"), QStringLiteral("poll"), QStringLiteral("--group"), kGroup,
                                 QStringLiteral("--type"), QStringLiteral("кабель БД"), QStringLiteral("--out"), out});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const TextFile text = readCp1251Lines(out);
    EXPECT_TRUE(text.crlf);
    const QStringList& l = text.lines;
    const QString all = l.join(QLatin1Char('\n'));
    EXPECT_TRUE(l.contains(QStringLiteral("**ПРОТОКОЛ  - /Последний опрос    /"))) << all.toStdString();
    EXPECT_TRUE(l.contains(QStringLiteral("группа \"") + kGroup + QStringLiteral("\" :"))) << all.toStdString();

    const QString header = QStringLiteral("|название опроса   |  зап.н.|д/в начало      |  зап.к.|д/в конец       |");
    const qsizetype h = l.indexOf(header);
    ASSERT_GT(h, 0) << all.toStdString();
    const QString rule(header.size(), QLatin1Char('-'));
    EXPECT_EQ(l[h - 1], rule);
    ASSERT_GT(l.size(), h + 5);
    EXPECT_EQ(l[h + 1], rule);
    const QList<Hour> hours = hoursOf(good());
    const QList<Hour> days = daysOf(good());
    auto stored = [](const QString& item, int first, const QDateTime& from, int last, const QDateTime& to) {
        const QString ts = QStringLiteral("dd.MM.yyyy HH:mm");
        return QLatin1Char('|') + item + QLatin1Char('|') + QString::number(first).leftJustified(8) +
               QLatin1Char('|') + from.toString(ts) + QLatin1Char('|') + QString::number(last).leftJustified(8) +
               QLatin1Char('|') + to.toString(ts) + QLatin1Char('|');
    };
    EXPECT_EQ(l[h + 2], stored(QStringLiteral("часовой архив     "), 0, hours.first().end, hours.size() - 1,
                               hours.last().end));
    EXPECT_EQ(l[h + 3], stored(QStringLiteral("суточный архив    "), 0, days.first().end, days.size() - 1,
                               days.last().end));
    EXPECT_TRUE(l[h + 4] == rule || l[h + 5] == rule) << all.toStdString();

    // The point's header above its run; each member ends with a star rule, the failed ones with it alone.
    EXPECT_TRUE(l.contains(QStringLiteral("** тип опроса      : кабель БД")));
    int headers = 0;
    for (const QString& line : l)
        if (line.startsWith(QStringLiteral("корректор..... "))) {
            ++headers;
            EXPECT_TRUE(line.contains(QStringLiteral(" N41234"))) << line.toStdString();
        }
    EXPECT_EQ(headers, 1);
    EXPECT_EQ(l.count(QString(header.size(), QLatin1Char('*'))), 3) << all.toStdString();
    EXPECT_FALSE(all.contains(QStringLiteral("ошибка - ")));
}

TEST_F(GroupPoll, ProtocolShowsAnAskedArchiveWithNothingNewAsFiller) {
    const QString out = inst_->scratch(QStringLiteral("protocol-monthly.txt"));
    ASSERT_EQ(inst_->cli({QStringLiteral("protocol"), QStringLiteral("poll"), QStringLiteral("--group"), kGroup,
                          QStringLiteral("--type"), QStringLiteral("кабель БД"), QStringLiteral("--out"), out})
                  .code,
              0);
    // Asked but nothing new: the monthly record was stored when the point was registered.
    EXPECT_TRUE(readCp1251Lines(out).lines.contains(
        QStringLiteral("|месячный архив    |-\"\"-    |-\"\"-            |-\"\"-    |-\"\"-            |")));
}

TEST_F(GroupPoll, ProtocolOfAnUnknownGroupWritesNothing) {
    const QString out = inst_->scratch(QStringLiteral("unknown.txt"));
    const Result r = inst_->cli({QStringLiteral("protocol"), QStringLiteral("poll"), QStringLiteral("--group"),
                                 QStringLiteral("Південь"), QStringLiteral("--out"), out});
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE((r.out + r.err).contains(QStringLiteral("В АРХИВЕ НЕТ ИНФОРМАЦИИ"))) << (r.out + r.err).toStdString();
    EXPECT_FALSE(QFile::exists(out));
}

TEST_F(GroupPoll, DatedProtocolListsEveryRunOfTheDayInOrder) {
    const QString today = QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"));
    const QString out = inst_->scratch(QStringLiteral("dated.txt"));
    const Result r = inst_->cli({QStringLiteral("protocol"), QStringLiteral("poll"), QStringLiteral("--point"), ids_[0],
                                 QStringLiteral("--from"), today, QStringLiteral("--to"), today, QStringLiteral("--out"),
                                 out});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const TextFile text = readCp1251Lines(out);
    EXPECT_TRUE(text.crlf);
    const QString all = text.lines.join(QLatin1Char('\n'));
    EXPECT_TRUE(text.lines.contains(QStringLiteral("**ПРОТОКОЛ  - /Опрос за время c %1 00:00 по %1 23:59/").arg(today)))
        << all.toStdString();
    // The registering read, then the group poll.
    QStringList kinds;
    for (const QString& line : text.lines)
        if (line.startsWith(QStringLiteral("** тип опроса      : "))) kinds.append(line.mid(21));
    EXPECT_EQ(kinds, (QStringList{QStringLiteral("кабель"), QStringLiteral("кабель БД")})) << all.toStdString();

    // A cable point has no modem connections.
    const Result modem = inst_->cli({QStringLiteral("protocol"), QStringLiteral("poll"), QStringLiteral("--point"),
                                     ids_[0], QStringLiteral("--connections")});
    ASSERT_EQ(modem.code, 0) << modem.err.toStdString();
    EXPECT_TRUE(modem.out.contains(QStringLiteral("**ПРОТОКОЛ  - /Последнее соединение \"модем БД\"/")))
        << modem.out.toStdString();
    EXPECT_TRUE(modem.out.contains(QStringLiteral("--------- в БД нет данных --------"))) << modem.out.toStdString();
    EXPECT_FALSE(modem.out.contains(QStringLiteral("|итог общий")));
}

// Hourly (nothing new), the clock and the measurement; the point has no password for the clock.
TEST_F(GroupPoll, ClockWithoutPasswordFailsThePointAndTheProtocolSaysWhy) {
    const QString group = QStringLiteral("Годинник");
    ASSERT_EQ(inst_->cli({QStringLiteral("group"), QStringLiteral("save"), group, QStringLiteral("--points"), ids_[0],
                          QStringLiteral("--flags"), QStringLiteral("0100000101")})
                  .code,
              0);
    const Result r = inst_->cli({QStringLiteral("poll"), QStringLiteral("--group"), group});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("нет пароля для коррекции параметров!!! "))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("*БРАК*  прибора - \"") + name(41234))) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("* мгновенные"))) << r.err.toStdString();

    QStringList f;
    const QList<QStringList> log = inst_->rows(ids_[0], QStringLiteral("log"), &f);
    ASSERT_FALSE(log.isEmpty());
    EXPECT_EQ(cell(f, log.last(), QStringLiteral("bErrConnect")), QStringLiteral("нет пароля для коррекц. парам."));
    EXPECT_EQ(cell(f, log.last(), QStringLiteral("bCurFlWrBD")), QStringLiteral("00000000000"));

    const Result protocol = inst_->cli({QStringLiteral("protocol"), QStringLiteral("poll"), QStringLiteral("--point"),
                                        ids_[0]});
    ASSERT_EQ(protocol.code, 0) << protocol.err.toStdString();
    EXPECT_TRUE(protocol.out.contains(QStringLiteral("\nошибка - \"нет пароля для коррекц. парам.\"")))
        << protocol.out.toStdString();
}

TEST_F(GroupPoll, ProtocolShowsTheClockAndMeasurementItemsAsked) {
    const QString group = QStringLiteral("Годинник");
    ASSERT_EQ(inst_->cli({QStringLiteral("points"), QStringLiteral("config"), ids_[0], QStringLiteral("--password"),
                          QStringLiteral("1111")})
                  .code,
              0);
    ASSERT_EQ(inst_->cli({QStringLiteral("group"), QStringLiteral("save"), group, QStringLiteral("--points"), ids_[0],
                          QStringLiteral("--flags"), QStringLiteral("0100000101")})
                  .code,
              0);
    ASSERT_EQ(inst_->cli({QStringLiteral("poll"), QStringLiteral("--group"), group}).code, 0);
    QStringList f;
    const QList<QStringList> log = inst_->rows(ids_[0], QStringLiteral("log"), &f);
    ASSERT_FALSE(log.isEmpty());
    EXPECT_EQ(cell(f, log.last(), QStringLiteral("bCurFlRdWr")), QStringLiteral("01000001010"));
    // The time of a correction when the clock was set (position 8 of the stored items), "--" otherwise.
    const QString stored = cell(f, log.last(), QStringLiteral("bCurFlWrBD"));
    const QString clock =
        stored.mid(7, 1) == QLatin1String("1")
            ? QDateTime::fromString(cell(f, log.last(), QStringLiteral("bContrWrTime")).left(19), Qt::ISODate)
                  .toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))
            : QStringLiteral("--");
    const QStringList lines = inst_->cli({QStringLiteral("protocol"), QStringLiteral("poll"), QStringLiteral("--point"),
                                          ids_[0]})
                                  .out.split(QLatin1Char('\n'));
    EXPECT_TRUE(lines.contains(QStringLiteral("\"корр.текущ.времени\" - ") + clock + QStringLiteral(" /время коррекции/")))
        << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("|мгновенные        ")));
}

TEST_F(GroupPoll, GroupsThatCannotStartSayWhyAndPollNobody) {
    struct Case {
        const char* group;
        QStringList save; // after the name
        QString message;
    };
    const QList<Case> cases = {
        {"Порожня", {QStringLiteral("--points"), ids_[0], QStringLiteral("--flags"), QStringLiteral("0000000000")},
         QStringLiteral("группа \"Порожня\" нет заданий!!!")},
        {"Без членів", {QStringLiteral("--flags"), QStringLiteral("0100000000")},
         QStringLiteral("группе \"Без членів\" нет корректоров!!!")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.group);
        const QString group = QString::fromUtf8(c.group);
        ASSERT_EQ(inst_->cli(QStringList{QStringLiteral("group"), QStringLiteral("save"), group} + c.save).code, 0);
        const Result r = inst_->cli({QStringLiteral("poll"), QStringLiteral("--group"), group});
        EXPECT_NE(r.code, 0);
        EXPECT_TRUE((r.out + r.err).contains(c.message)) << (r.out + r.err).toStdString();
        EXPECT_FALSE(r.err.contains(QStringLiteral("*СТАРТ* прибора"))) << r.err.toStdString();
    }
}

// One point by its own flags (monthly only, nothing new): the exchanges name the single-point mode.
TEST_F(GroupPoll, SinglePointPollUsesItsOwnFlags) {
    const Result r = inst_->cli({QStringLiteral("poll"), QStringLiteral("--point"), ids_[0]});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("старт - \"месячный архив\""))) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("старт - \"часовой архив\""))) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("*СТАРТ* группы")));
    const QStringList lines = inst_->cli({QStringLiteral("protocol"), QStringLiteral("exchanges")}).out.split(QLatin1Char('\n'));
    int single = 0;
    for (const QString& line : lines) {
        const QStringList cells = line.split(QLatin1Char('|'));
        if (cells.size() == 10 && cells[2].trimmed() == QStringLiteral("опр.корр.")) {
            ++single;
            EXPECT_EQ(cells[5].trimmed(), QStringLiteral("41234"));
            EXPECT_EQ(cells[8].trimmed(), QStringLiteral("норма"));
        }
    }
    EXPECT_EQ(single, 1);
}

// The silent member's settings changed so that it is not to be polled at all.
TEST_F(GroupPoll, PointWithoutLinkOrItemsIsStoppedBeforeTheLine) {
    struct Case {
        const char* what;
        QStringList config; // after "points config ID"
        QStringList poll;
        QString line, result, mode;
    };
    const QString c = name(41236);
    const QString alone = QStringLiteral("Тільки третій");
    ASSERT_EQ(inst_->cli({QStringLiteral("group"), QStringLiteral("save"), alone, QStringLiteral("--points"), ids_[2]})
                  .code,
              0);
    const QList<Case> cases = {
        {"no link", {QStringLiteral("--link"), QStringLiteral("none")}, {QStringLiteral("--group"), alone},
         QStringLiteral("*СТОП*  прибор - \"") + c + QStringLiteral("\" не определен вид связи!!!"),
         QStringLiteral("не определен вид связи"), QStringLiteral("опр.груп.")},
        {"no items",
         {QStringLiteral("--link"), QStringLiteral("cable"), QStringLiteral("--flags"), QStringLiteral("00000000000")},
         {QStringLiteral("--point"), ids_[2]},
         QStringLiteral("*СТОП*  прибор - \"") + c + QStringLiteral("\" нет заданий!!!"), QStringLiteral("нет заданий"),
         QStringLiteral("опр.корр.")},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        ASSERT_EQ(inst_->cli(QStringList{QStringLiteral("points"), QStringLiteral("config"), ids_[2]} + k.config).code,
                  0);
        const Result r = inst_->cli(QStringList{QStringLiteral("poll")} + k.poll);
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.err.contains(k.line)) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains(QStringLiteral("контроль версии"))) << r.err.toStdString();
        QString last;
        for (const QString& line : inst_->cli({QStringLiteral("protocol"), QStringLiteral("exchanges")}).out.split('\n')) {
            const QStringList cells = line.split(QLatin1Char('|'));
            if (cells.size() == 10 && cells[5].trimmed() == QStringLiteral("41236") && cells[2].trimmed() == k.mode)
                last = cells[8].trimmed();
        }
        EXPECT_EQ(last, k.result);
    }
}

// Runs after the checks of the first poll: the corrector has gathered ten more hours.
TEST_F(GroupPoll, ZSecondPollAsksOnlyWhatIsNewAndAThirdNothing) {
    Corrector later = good();
    later.hours = 40;
    ASSERT_TRUE(inst_->startCorrector(1, later));
    const Result second = inst_->cli({QStringLiteral("poll"), QStringLiteral("--group"), kGroup});
    EXPECT_EQ(second.code, 1);
    // The good point's lines lie between its start and its end.
    auto pointLines = [](const Result& r) {
        const qsizetype from = r.err.indexOf(QStringLiteral("*СТАРТ* прибора - \"") + name(41234));
        const qsizetype to = r.err.indexOf(QStringLiteral("*НОРМА* прибора - \"") + name(41234));
        return from >= 0 && to > from ? r.err.mid(from, to - from) : QString();
    };
    const QString lines = pointLines(second);
    ASSERT_FALSE(lines.isEmpty()) << second.err.toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("выборочное чтение архива"))) << lines.toStdString();
    EXPECT_FALSE(lines.contains(QStringLiteral("читать весь архив"))) << lines.toStdString();
    // The full first read of 30 hourly records took 4 blocks of 8; only the tail is read again.
    EXPECT_LT(lines.count(QStringLiteral("чт. часовой архив      бл.")), 4) << lines.toStdString();

    QStringList f;
    const QList<Hour> hours = hoursOf(later);
    const QList<QStringList> stored = inst_->rows(ids_[0], QStringLiteral("hourly"), &f);
    ASSERT_EQ(stored.size(), hours.size());
    for (int i = 0; i < hours.size(); ++i) {
        EXPECT_EQ(cell(f, stored[i], QStringLiteral("hNumWrCor")).toInt(), i);
        EXPECT_EQ(cell(f, stored[i], QStringLiteral("hDT_Corr")),
                  hours[i].end.toString(QStringLiteral("dd.MM.yyyy HH:mm")));
        EXPECT_DOUBLE_EQ(number(cell(f, stored[i], QStringLiteral("hVwrk"))), hours[i].working);
    }
    EXPECT_EQ(inst_->rows(ids_[0], QStringLiteral("daily")).size(), daysOf(later).size());
    const QList<QStringList> log = inst_->rows(ids_[0], QStringLiteral("log"), &f);
    ASSERT_FALSE(log.isEmpty());
    EXPECT_EQ(cell(f, log.last(), QStringLiteral("bNbegHour")), QStringLiteral("30"));
    EXPECT_EQ(cell(f, log.last(), QStringLiteral("bNendHour")), QStringLiteral("39"));

    const Result third = inst_->cli({QStringLiteral("poll"), QStringLiteral("--group"), kGroup});
    const QString idle = pointLines(third);
    ASSERT_FALSE(idle.isEmpty()) << third.err.toStdString();
    EXPECT_GE(idle.count(QStringLiteral("номера записей в БД и приборе равны")), 2) << idle.toStdString();
    EXPECT_FALSE(idle.contains(QStringLiteral("чт. часовой архив"))) << idle.toStdString();
    EXPECT_EQ(inst_->rows(ids_[0], QStringLiteral("hourly")).size(), hours.size());
}

// The corrector's archive was cleared and began again: the last stored record is no longer there.
TEST(ClearedArchive, WholeArchiveIsReadAndRecordsWithReusedNumbersAreKept) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    const Corrector before{41234, 1, 30, 10.0};
    ASSERT_TRUE(inst.startCorrector(1, before));
    const QString id = inst.registerPoint(1);
    ASSERT_FALSE(id.isEmpty());
    ASSERT_EQ(inst.cli({QStringLiteral("group"), QStringLiteral("save"), QStringLiteral("Годинні"),
                        QStringLiteral("--points"), id, QStringLiteral("--flags"), QStringLiteral("0100000000")})
                  .code,
              0);
    ASSERT_EQ(inst.cli({QStringLiteral("poll"), QStringLiteral("--group"), QStringLiteral("Годинні")}).code, 0);
    const Corrector after{41234, 1, 10, 30.0, QDateTime(QDate(2024, 3, 5), QTime(0, 0))};
    ASSERT_TRUE(inst.startCorrector(1, after));
    const Result r = inst.cli({QStringLiteral("poll"), QStringLiteral("--group"), QStringLiteral("Годинні")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("* читать весь архив"))) << r.err.toStdString();

    QStringList f;
    const QList<QStringList> stored = inst.rows(id, QStringLiteral("hourly"), &f);
    const QList<Hour> expected = hoursOf(before) + hoursOf(after);
    ASSERT_EQ(stored.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        const int number = i < before.hours ? i : i - before.hours;
        EXPECT_EQ(cell(f, stored[i], QStringLiteral("hNumWrCor")).toInt(), number);
        EXPECT_EQ(cell(f, stored[i], QStringLiteral("hDT_Corr")),
                  expected[i].end.toString(QStringLiteral("dd.MM.yyyy HH:mm")));
        EXPECT_DOUBLE_EQ(::number(cell(f, stored[i], QStringLiteral("hVwrk"))), expected[i].working);
    }
}

// With no time to inject, only a day whose windows have all passed can be run without waiting.
TEST(SchedulePoll, PassedWindowsEndTheRunWithoutPolling) {
    if (QTime::currentTime() < QTime(0, 3)) GTEST_SKIP() << "the only window is still open";
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_TRUE(inst.startCorrector(1, Corrector{41234, 1, 12, 10.0}));
    const QString id = inst.registerPoint(1);
    ASSERT_FALSE(id.isEmpty());
    ASSERT_EQ(inst.cli({QStringLiteral("group"), QStringLiteral("save"), QStringLiteral("Нічна"),
                        QStringLiteral("--points"), id, QStringLiteral("--schedule"),
                        QStringLiteral("00:00-00:01-00:00"), QStringLiteral("--flags"), QStringLiteral("0100000000")})
                  .code,
              0);
    const Result r = inst.cli({QStringLiteral("poll"), QStringLiteral("--schedule")});
    // Neither success nor a failed point: there was nothing to do.
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.code, 1);
    EXPECT_TRUE((r.out + r.err).contains(QStringLiteral("Нет заданий"))) << (r.out + r.err).toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("*СТАРТ* группы"))) << r.err.toStdString();
    EXPECT_TRUE(inst.rows(id, QStringLiteral("hourly")).isEmpty());
    const QJsonArray rows =
        inst.cli({QStringLiteral("schedule"), QStringLiteral("--json")}).json().value(QStringLiteral("rows")).toArray();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].toObject().value(QStringLiteral("status")).toString(), QStringLiteral("пропущ."));
}

// ---------------------------------------------------------------- packages

class PackageExchange : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sender_ = new Installation;
        if (!sender_->initialised()) return;
        if (!sender_->startCorrector(1, Corrector{41234, 1, 40, 10.0})) return;
        stored_ = sender_->cli({QStringLiteral("--port"), QStringLiteral("COM1"), QStringLiteral("store"),
                                QStringLiteral("--archives"), QStringLiteral("hourly,daily"), QStringLiteral("--until-empty")});
        sender_->stopCorrector(1);
        package_ = sender_->scratch(QStringLiteral("41234.tbd"));
        written_ = sender_->cli({QStringLiteral("package"), QStringLiteral("write"), QStringLiteral("--point"),
                                 QStringLiteral("41234"), QStringLiteral("--out"), package_});
    }
    static void TearDownTestSuite() {
        delete sender_;
        sender_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(sender_ && sender_->initialised());
        ASSERT_EQ(stored_.code, 0) << stored_.err.toStdString();
        ASSERT_EQ(written_.code, 0) << written_.err.toStdString();
    }
    static QByteArray packageBytes() {
        QFile f(package_);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static QByteArray save(const QString& name, const QByteArray& bytes) {
        QFile f(sender_->scratch(name));
        if (f.open(QIODevice::WriteOnly)) f.write(bytes);
        return f.fileName().toUtf8();
    }
    static Installation* sender_;
    static Result stored_, written_;
    static QString package_;
};
Installation* PackageExchange::sender_ = nullptr;
Result PackageExchange::stored_;
Result PackageExchange::written_;
QString PackageExchange::package_;

TEST_F(PackageExchange, PackageHoldsThePointsFilesAsZlibStreams) {
    const std::optional<QList<PackageEntry>> entries = readPackage(packageBytes());
    ASSERT_TRUE(entries.has_value());
    QMap<QByteArray, PackageEntry> byName;
    for (const PackageEntry& e : *entries) {
        SCOPED_TRACE(e.name.toStdString());
        EXPECT_TRUE(e.inflated);
        ASSERT_GE(e.compressed.size(), 2);
        EXPECT_EQ(quint8(e.compressed[0]), 0x78);
        EXPECT_EQ(quint8(e.compressed[1]), 0xDA); // the highest compression level
        EXPECT_FALSE(byName.contains(e.name));
        byName.insert(e.name, e);
        const QRegularExpression allowed(QStringLiteral("^(id\\.000|p_41234\\.000|[hdmcaosbez]_41234\\.(db|val))$"));
        EXPECT_TRUE(allowed.match(QString::fromLatin1(e.name)).hasMatch());
    }
    ASSERT_TRUE(byName.contains("id.000"));
    EXPECT_EQ(byName.value("id.000").content.trimmed(), QByteArray("41234"));
    for (const QByteArray& name : {QByteArray("p_41234.000"), QByteArray("h_41234.db"), QByteArray("d_41234.db"),
                                   QByteArray("b_41234.db")})
        EXPECT_TRUE(byName.contains(name)) << name.toStdString();
    EXPECT_EQ(byName.value("p_41234.000").content, sender_->read(QStringLiteral("Param/p_41234.000")));
}

TEST_F(PackageExchange, ReadIntoAFreshInstallationGivesTheSameRecords) {
    Installation receiver;
    ASSERT_TRUE(receiver.initialised());
    const Result r = receiver.cli({QStringLiteral("package"), QStringLiteral("read"), package_});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonArray points =
        receiver.cli({QStringLiteral("points"), QStringLiteral("list"), QStringLiteral("--json")}).json().value(
            QStringLiteral("points")).toArray();
    ASSERT_EQ(points.size(), 1);
    EXPECT_EQ(points[0].toObject().value(QStringLiteral("point")).toString(), QStringLiteral("41234"));
    for (const QString& archive : {QStringLiteral("hourly"), QStringLiteral("daily"), QStringLiteral("log")}) {
        SCOPED_TRACE(archive.toStdString());
        const QList<QStringList> sent = sender_->rows(QStringLiteral("41234"), archive);
        EXPECT_FALSE(sent.isEmpty());
        EXPECT_EQ(receiver.rows(QStringLiteral("41234"), archive), sent);
    }
    EXPECT_EQ(receiver.rows(QStringLiteral("41234"), QStringLiteral("hourly")).size(), 40);
    EXPECT_EQ(receiver.read(QStringLiteral("Param/p_41234.000")), sender_->read(QStringLiteral("Param/p_41234.000")));
    EXPECT_FALSE(receiver.exists(QStringLiteral("pack")));
}

TEST_F(PackageExchange, GroupPackagesOpenAsAFolderInAnotherInstallation) {
    const QString group = QStringLiteral("Відправка");
    ASSERT_EQ(sender_->cli({QStringLiteral("group"), QStringLiteral("save"), group, QStringLiteral("--points"),
                            QStringLiteral("41234")})
                  .code,
              0);
    const Result w = sender_->cli({QStringLiteral("package"), QStringLiteral("write"), QStringLiteral("--group"), group});
    ASSERT_EQ(w.code, 0) << w.err.toStdString();
    const QString folder = sender_->path(QStringLiteral("Mail_BD/") + group);
    // The group window's log: the member's model padded to 12, serial to 9, owner (empty) to 32.
    const QString saveLog = w.out + w.err;
    EXPECT_TRUE(saveLog.contains(QStringLiteral("СОХРАНИТЬ ДАННЫЕ ГРУППЫ ПРИБОРОВ: \"") + group + QLatin1Char('"')));
    EXPECT_TRUE(saveLog.contains(QStringLiteral("*1* старт: \"") + QStringLiteral("ТАРН-1.01").leftJustified(12) +
                                 QStringLiteral(" N") + QStringLiteral("41234").leftJustified(9) + QLatin1Char(' ') +
                                 QString(32, QLatin1Char(' ')) + QLatin1Char('"')))
        << saveLog.toStdString();
    EXPECT_TRUE(saveLog.contains(QStringLiteral("ДАННЫЕ ПРИБОРОВ ГРУППЫ СОХРАНЕНЫ!!!"))) << saveLog.toStdString();
    QFile f(folder + QStringLiteral("/41234.tbd"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << folder.toStdString();
    ASSERT_TRUE(readPackage(f.readAll()).has_value());

    Installation receiver;
    ASSERT_TRUE(receiver.initialised());
    const Result r = receiver.cli({QStringLiteral("package"), QStringLiteral("read"), QStringLiteral("--folder"), folder});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE((r.out + r.err).contains(QStringLiteral("ДАННЫЕ ПРИБОРОВ ГРУППЫ ОТКРЫТЫ!!!"))) << r.out.toStdString();
    const TextFile remembered = readCp1251Lines(receiver.path(QStringLiteral("Work/Dir_RdGr.000")));
    EXPECT_TRUE(remembered.crlf);
    EXPECT_EQ(remembered.lines, QStringList{folder});
    EXPECT_EQ(receiver.rows(QStringLiteral("41234"), QStringLiteral("daily")),
              sender_->rows(QStringLiteral("41234"), QStringLiteral("daily")));
    EXPECT_EQ(receiver.rows(QStringLiteral("41234"), QStringLiteral("hourly")).size(), 40);
}

TEST_F(PackageExchange, NamesExistingFilesAndRegisteredPointsAreNotOverwrittenUnasked) {
    // The name up to its first dot, then ".tbd".
    const QString asked = sender_->scratch(QStringLiteral("copy.of.point.tbd"));
    const QString written = sender_->scratch(QStringLiteral("copy.tbd"));
    const Result w = sender_->cli({QStringLiteral("package"), QStringLiteral("write"), QStringLiteral("--point"),
                                   QStringLiteral("41234"), QStringLiteral("--out"), asked});
    ASSERT_EQ(w.code, 0) << w.err.toStdString();
    EXPECT_FALSE(QFile::exists(asked));
    ASSERT_TRUE(QFile::exists(written));
    EXPECT_TRUE((w.out + w.err).contains(QStringLiteral("ФАЙЛ  \"copy.tbd\" ЗАПИСАН"))) << w.out.toStdString();

    QFile f(written);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.resize(0);
    f.write("kept");
    f.close();
    EXPECT_NE(sender_->cli({QStringLiteral("package"), QStringLiteral("write"), QStringLiteral("--point"),
                            QStringLiteral("41234"), QStringLiteral("--out"), written})
                  .code,
              0);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("kept"));

    // Reading into an installation that holds the point already asks first; unasked, nothing changes.
    Installation holder;
    ASSERT_TRUE(holder.initialised());
    ASSERT_EQ(holder.cli({QStringLiteral("package"), QStringLiteral("read"), package_}).code, 0);
    const QMap<QString, QByteArray> before = holder.snapshot();
    const Result again = holder.cli({QStringLiteral("package"), QStringLiteral("read"), package_});
    EXPECT_NE(again.code, 0);
    EXPECT_TRUE((again.out + again.err).contains(QStringLiteral("в БД есть данные на корректор ТАРН-1.01 №41234 переписать?")))
        << (again.out + again.err).toStdString();
    const QMap<QString, QByteArray> after = holder.snapshot();
    for (auto it = before.begin(); it != before.end(); ++it)
        if (!it.key().startsWith(QStringLiteral("Current/"))) {
            EXPECT_EQ(after.value(it.key()), it.value()) << it.key().toStdString();
        }
}

// The receiver ends up with what the sender has: a table the package lacks is removed there too.
TEST_F(PackageExchange, TableMissingFromThePackageIsRemovedAtTheReceiver) {
    Installation holder;
    ASSERT_TRUE(holder.initialised());
    ASSERT_EQ(holder.cli({QStringLiteral("package"), QStringLiteral("read"), package_}).code, 0);
    ASSERT_TRUE(holder.exists(QStringLiteral("Mon/m_41234.db")));
    const std::optional<QList<PackageEntry>> entries = readPackage(packageBytes());
    ASSERT_TRUE(entries.has_value());
    QList<QPair<QByteArray, QByteArray>> files;
    for (const PackageEntry& e : *entries)
        if (!e.name.startsWith("m_")) files.append({e.name, e.content});
    ASSERT_EQ(files.size() + 1, entries->size());
    const QString file = QString::fromUtf8(save(QStringLiteral("no-monthly.tbd"), writePackage(files)));
    const Result r = holder.cli({QStringLiteral("package"), QStringLiteral("read"), file, QStringLiteral("--overwrite")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_FALSE(holder.exists(QStringLiteral("Mon/m_41234.db")));
    EXPECT_TRUE(holder.rows(QStringLiteral("41234"), QStringLiteral("monthly")).isEmpty());
    EXPECT_EQ(holder.rows(QStringLiteral("41234"), QStringLiteral("hourly")),
              sender_->rows(QStringLiteral("41234"), QStringLiteral("hourly")));
}

TEST_F(PackageExchange, ForeignOrDamagedPackagesChangeNothing) {
    const QByteArray good = packageBytes();
    const std::optional<QList<PackageEntry>> entries = readPackage(good);
    ASSERT_TRUE(entries.has_value());
    QList<QPair<QByteArray, QByteArray>> files;
    for (const PackageEntry& e : *entries)
        files.append({e.name, e.content});
    auto with = [&](const QByteArray& name, const QByteArray& content) {
        auto f = files;
        f.append({name, content});
        return writePackage(f);
    };
    QByteArray badMagic = good;
    badMagic[0] = char(0x89);
    QByteArray spoilt = good;
    {
        // A byte in the middle of the hourly table's zlib stream.
        const qsizetype at = good.indexOf("h_41234.db") + 10 + 4 + 200;
        spoilt[at] = char(~quint8(spoilt[at]));
    }
    const QList<QPair<const char*, QByteArray>> cases = {
        {"path out of the staging folder", with("../evil.000", "evil\r\n")},
        {"absolute path", with("/tmp/evil.000", "evil\r\n")},
        {"another point's table", with("h_99999.db", files.first().second)},
        {"a file of no point", with("readme.txt", "hello\r\n")},
        {"wrong magic", badMagic},
        {"cut short", good.left(good.size() / 2)},
        {"spoilt stream", spoilt},
    };
    // Into an installation that already holds the point, and into an empty one.
    Installation holder;
    ASSERT_TRUE(holder.initialised());
    ASSERT_EQ(holder.cli({QStringLiteral("package"), QStringLiteral("read"), package_}).code, 0);
    Installation empty;
    ASSERT_TRUE(empty.initialised());
    for (Installation* inst : {&holder, &empty}) {
        const QMap<QString, QByteArray> before = inst->snapshot();
        for (const auto& [what, bytes] : cases) {
            SCOPED_TRACE(what);
            const QString file = QString::fromUtf8(save(QStringLiteral("case.tbd"), bytes));
            const Result r = inst->cli({QStringLiteral("package"), QStringLiteral("read"), file,
                                        QStringLiteral("--overwrite")});
            EXPECT_NE(r.code, 0) << r.out.toStdString();
            const QMap<QString, QByteArray> after = inst->snapshot();
            EXPECT_EQ(after.keys(), before.keys());
            for (auto it = before.begin(); it != before.end(); ++it)
                if (!it.key().startsWith(QStringLiteral("Current/"))) {
                    EXPECT_EQ(after.value(it.key()), it.value()) << it.key().toStdString();
                }
            EXPECT_FALSE(QFile::exists(sender_->scratch(QStringLiteral("evil.000"))));
            EXPECT_FALSE(QFile::exists(QStringLiteral("/tmp/evil.000")));
        }
    }
}

// ---------------------------------------------------------------- folder synchronisation

class FolderSyncRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(master_.initialised());
        ASSERT_TRUE(copy_.initialised());
        ASSERT_TRUE(master_.startCorrector(1, Corrector{41234, 1, 30, 10.0}));
        ASSERT_EQ(master_.cli({QStringLiteral("--port"), QStringLiteral("COM1"), QStringLiteral("store"),
                               QStringLiteral("--archives"), QStringLiteral("hourly,daily"),
                               QStringLiteral("--until-empty")})
                      .code,
                  0);
        master_.stopCorrector(1);
        master_.write(QStringLiteral("Tarn_B.exe"), "MZ");
        // The master lists a point it has no data for: its files are missing at the source.
        master_.write(QStringLiteral("Current/SynCor.000"), "41234\r\n41299\r\n");
        copy_.write(QStringLiteral("Work/SynDir.000"),
                    "1*Current\\*SynCor.000 / the points first\r\n"
                    "3*Data\\*Bd_Quon\r\n"
                    "\r\n"
                    "4*Hour\\*h_ / hourly tables\r\n"
                    "4 * Day\\ * d_\r\n"
                    "2*Param\\*p_*.000\r\n");
        // The copy holds a stale table of the vanished point and tables no rule names.
        copy_.write(QStringLiteral("Hour/h_41299.db"), "stale");
        copy_.write(QStringLiteral("Hour/h_55555.db"), "kept");
        copy_.write(QStringLiteral("Hour/h_66666.db"), "kept");
    }
    Result sync(const QStringList& extra = {}) {
        return copy_.cli(QStringList{QStringLiteral("sync"), QStringLiteral("run"), QStringLiteral("--from"),
                                     master_.home()} +
                         extra);
    }
    Installation master_, copy_;
};

TEST_F(FolderSyncRun, RulesCopyTheMastersFilesAndDeleteWhatItLacks) {
    const Result r = sync();
    ASSERT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_EQ(copy_.read(QStringLiteral("Current/SynCor.000")), master_.read(QStringLiteral("Current/SynCor.000")));
    EXPECT_EQ(copy_.read(QStringLiteral("Param/p_41234.000")), master_.read(QStringLiteral("Param/p_41234.000")));
    for (const QString& archive : {QStringLiteral("hourly"), QStringLiteral("daily")}) {
        const QList<QStringList> rows = master_.rows(QStringLiteral("41234"), archive);
        EXPECT_FALSE(rows.isEmpty());
        EXPECT_EQ(copy_.rows(QStringLiteral("41234"), archive), rows) << archive.toStdString();
    }
    EXPECT_EQ(copy_.rows(QStringLiteral("41234"), QStringLiteral("hourly")).size(), 30);
    const QJsonArray points =
        copy_.cli({QStringLiteral("points"), QStringLiteral("list"), QStringLiteral("--json")}).json().value(
            QStringLiteral("points")).toArray();
    ASSERT_EQ(points.size(), 1);
    EXPECT_EQ(points[0].toObject().value(QStringLiteral("point")).toString(), QStringLiteral("41234"));
    // The vanished point's table is deleted; what no rule names stays.
    EXPECT_FALSE(copy_.exists(QStringLiteral("Hour/h_41299.db")));
    EXPECT_EQ(copy_.read(QStringLiteral("Hour/h_55555.db")), QByteArray("kept"));
    EXPECT_EQ(copy_.read(QStringLiteral("Hour/h_66666.db")), QByteArray("kept"));
    // Every source that was missing is listed, one line each.
    const TextFile missing = readCp1251Lines(copy_.path(QStringLiteral("Current/ErrDS.000")));
    EXPECT_TRUE(missing.crlf);
    const QString listed = missing.lines.join(QLatin1Char('\n'));
    for (const QString& name : {QStringLiteral("h_41299.db"), QStringLiteral("d_41299.db"),
                                QStringLiteral("p_41299.000")})
        EXPECT_TRUE(listed.contains(name)) << listed.toStdString();
    EXPECT_FALSE(listed.contains(QStringLiteral("41234.db"))) << listed.toStdString();

    // The list of missing sources starts empty on every run.
    master_.write(QStringLiteral("Current/SynCor.000"), "41234\r\n");
    ASSERT_EQ(sync().code, 0);
    EXPECT_TRUE(readCp1251Lines(copy_.path(QStringLiteral("Current/ErrDS.000"))).lines.join(QString()).trimmed().isEmpty());
}

TEST_F(FolderSyncRun, RuleLeadingOutOfTheFoldersIsRefusedAndTheOthersRun) {
    QFile outside(master_.scratch(QStringLiteral("escape.000")));
    ASSERT_TRUE(outside.open(QIODevice::WriteOnly));
    outside.write("outside");
    outside.close();
    copy_.write(QStringLiteral("Work/SynDir.000"), copy_.read(QStringLiteral("Work/SynDir.000")) +
                                                        "1*..\\*escape.000 / outside both folders\r\n");
    const Result r = sync();
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE((r.out + r.err).contains(QStringLiteral("escape.000"))) << (r.out + r.err).toStdString();
    EXPECT_FALSE(QFile::exists(copy_.scratch(QStringLiteral("escape.000"))));
    EXPECT_EQ(copy_.read(QStringLiteral("Param/p_41234.000")), master_.read(QStringLiteral("Param/p_41234.000")));
}

TEST_F(FolderSyncRun, DryRunListsTheWorkAndChangesNothing) {
    const QMap<QString, QByteArray> before = copy_.snapshot();
    const Result r = sync({QStringLiteral("--dry-run")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(copy_.snapshot(), before);
    const QStringList lines = r.out.split(QLatin1Char('\n'));
    bool copiesHour = false, deletesStale = false;
    for (const QString& line : lines) {
        copiesHour = copiesHour || (line.startsWith(QStringLiteral("copy")) && line.contains(QStringLiteral("h_41234.db")));
        deletesStale =
            deletesStale || (line.startsWith(QStringLiteral("delete")) && line.contains(QStringLiteral("h_41299.db")));
    }
    EXPECT_TRUE(copiesHour) << r.out.toStdString();
    EXPECT_TRUE(deletesStale) << r.out.toStdString();
}

TEST_F(FolderSyncRun, VanishedOrWrongSourceNeverDeletesTheCopy) {
    const QMap<QString, QByteArray> before = copy_.snapshot();
    const Result gone = copy_.cli({QStringLiteral("sync"), QStringLiteral("run"), QStringLiteral("--from"),
                                   master_.scratch(QStringLiteral("unplugged"))});
    EXPECT_NE(gone.code, 0);
    EXPECT_TRUE(copy_.exists(QStringLiteral("Hour/h_41299.db")));
    ASSERT_TRUE(QFile::remove(master_.path(QStringLiteral("Tarn_B.exe"))));
    const Result noProgram = sync();
    EXPECT_NE(noProgram.code, 0);
    const QMap<QString, QByteArray> after = copy_.snapshot();
    for (auto it = before.begin(); it != before.end(); ++it)
        if (!it.key().startsWith(QStringLiteral("Current/ErrDS"))) {
            EXPECT_EQ(after.value(it.key()), it.value()) << it.key().toStdString();
        }
}

} // namespace
