// Writes the fuzz targets' seed inputs: replies, parameter and archive pages from the simulator's own
// encoder (its presets, a month of hourly records and event records), and the installation's files as
// the program's own writers make them. Run by make-corpus.sh; the output is kept in tests/fuzz/corpus/.
#include "CorrectorRole.h"
#include "Presets.h"

#include "common/DataRoot.h"
#include "common/Language.h"
#include "common/LanguageFile.h"
#include "common/Notifier.h"
#include "common/TextFile.h"
#include "common/TuningFiles.h"
#include "corrector/Archives.h"
#include "corrector/CorrectorFiles.h"
#include "corrector/CorrectorWindowModel.h"
#include "corrector/VolumePrecision.h"
#include "database/Schema.h"
#include "link/AddressBook.h"
#include "link/ExchangeState.h"
#include "link/FrameChecksum.h"
#include "link/LinkSettings.h"
#include "link/windows/AddressBookTexts.h"
#include "polling/Groups.h"
#include "reports/ReportOptionsFile.h"
#include "support/DetachedCorrector.h"
#include "sync/Package.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

using namespace tarn;

namespace {

QString outRoot;
int written = 0;

void put(const QString& target, const QString& name, const QByteArray& bytes) {
    const QString dir = outRoot + u'/' + target;
    QDir().mkpath(dir);
    QFile f(dir + u'/' + name);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
        std::exit(1);
    }
    ++written;
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        std::exit(1);
    }
    return f.readAll();
}

struct QuietNotifier final : Notifier {
    void message(MessageKind, const QString&) override {}
    bool confirm(const QString&) override { return true; }
};

// A simulated corrector of the preset with a month of hourly records, operative records and a few
// events in each event archive.
std::unique_ptr<sim::CorrectorRole> corrector(const QString& preset) {
    const QJsonObject config{
        {QStringLiteral("preset"), preset},
        {QStringLiteral("archive"),
         QJsonObject{{QStringLiteral("start"), QStringLiteral("01.03.2024 00:00")},
                     {QStringLiteral("hours"), 24 * 40},
                     {QStringLiteral("flow"), 10.0},
                     {QStringLiteral("profile"), QJsonArray{0.5, 1.0, 1.5, 1.0}}}},
        {QStringLiteral("abnormal"),
         QJsonArray{QJsonObject{{QStringLiteral("at"), QStringLiteral("02.03.2024 10:15")},
                                {QStringLiteral("current"), 5},
                                {QStringLiteral("previous"), 0},
                                {QStringLiteral("volume"), 12.5},
                                {QStringLiteral("standardVolume"), 11.25}}}},
        {QStringLiteral("interference"),
         QJsonArray{QJsonObject{{QStringLiteral("at"), QStringLiteral("03.03.2024 09:00")},
                                {QStringLiteral("code"), 51},
                                {QStringLiteral("kind"), 1},
                                {QStringLiteral("by"), 2},
                                {QStringLiteral("before"), QStringLiteral("77be2f3f")},
                                {QStringLiteral("after"), QStringLiteral("09 1b 2e 3f")}}}},
        {QStringLiteral("service"),
         QJsonArray{QJsonObject{{QStringLiteral("at"), QStringLiteral("04.03.2024 12:00")},
                                {QStringLiteral("current"), 1},
                                {QStringLiteral("previous"), 0}}}},
        {QStringLiteral("operative"),
         QJsonObject{{QStringLiteral("start"), QStringLiteral("09.04.2024 00:00")},
                     {QStringLiteral("count"), 40},
                     {QStringLiteral("stepMinutes"), 5},
                     {QStringLiteral("flow"), 1200},
                     {QStringLiteral("counterStep"), 30}}},
    };
    QString error;
    std::unique_ptr<sim::Role> role = sim::CorrectorRole::fromJson(config, error);
    if (!role) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
        std::exit(1);
    }
    return std::unique_ptr<sim::CorrectorRole>(static_cast<sim::CorrectorRole*>(role.release()));
}

QByteArray request(sim::CorrectorRole& role, quint8 op, quint8 address, quint8 count, const QByteArray& data = {}) {
    QByteArray r;
    r.append(static_cast<char>(op | (role.memory().address << 1)));
    r.append(static_cast<char>(address));
    r.append(static_cast<char>(data.isEmpty() ? count : data.size()));
    r.append(data);
    return link::withFrameChecksum(r);
}
QByteArray reply(sim::CorrectorRole& role, quint8 op, quint8 address, quint8 count, const QByteArray& data = {}) {
    return role.replyTo(request(role, op, address, count, data));
}
QByteArray payload(sim::CorrectorRole& role, quint8 op, quint8 address, quint8 count) {
    const QByteArray r = reply(role, op, address, count);
    if (r.size() < 2 || r.at(0) != 0) {
        std::fprintf(stderr, "simulator refused op %d address %d\n", op, address);
        std::exit(1);
    }
    return r.mid(1, r.size() - 2);
}

// The engine target's header: the count asked for, the flags, the chunk size.
QByteArray frameInput(quint8 count, quint8 flags, quint8 chunk, const QByteArray& received) {
    return QByteArray(1, static_cast<char>(count)) + char(flags) + char(chunk) + received;
}

void frames() {
    auto role = corrector(QStringLiteral("series1"));
    sim::CorrectorRole& r = *role;
    put(QStringLiteral("frames"), QStringLiteral("identification"), frameInput(32, 0, 7, reply(r, link::opRead, 0, 32)));
    put(QStringLiteral("frames"), QStringLiteral("clock"), frameInput(32, 0, 64, reply(r, link::opRead, 1, 32)));
    put(QStringLiteral("frames"), QStringLiteral("measurement"), frameInput(46, 0, 5, reply(r, link::opRead, 3, 46)));
    put(QStringLiteral("frames"), QStringLiteral("status"), frameInput(32, 0, 32, reply(r, link::opRead, 4, 32)));
    put(QStringLiteral("frames"), QStringLiteral("page-two-blocks"),
        frameInput(0, 1 << 2, 60, reply(r, link::opPageRead, 0, 0) + reply(r, link::opPageRead, 1, 0)));
    put(QStringLiteral("frames"), QStringLiteral("archive-page"), frameInput(0, 0, 17, reply(r, link::opArchiveLow, 52, 0)));
    put(QStringLiteral("frames"), QStringLiteral("alarm-then-reply"),
        frameInput(32, 2, 3, sim::CorrectorRole::alarmNotice() + reply(r, link::opRead, 0, 32)));
    // A write the corrector refuses: the wrong corrector number before the value.
    put(QStringLiteral("frames"), QStringLiteral("refusal"),
        frameInput(6, 1, 1, reply(r, link::opWrite, 0x82, 0, QByteArray::fromHex("0000 77be2f3f"))));
    put(QStringLiteral("frames"), QStringLiteral("modem-connect"), frameInput(0, 0, 4, "ATDP0445551234\r\r\nCONNECT 9600\r\n"));
    put(QStringLiteral("frames"), QStringLiteral("modem-busy"), frameInput(0, 0, 64, "\r\nBUSY\r\n"));
}

QByteArray parameterPages(sim::CorrectorRole& r) {
    QByteArray pages;
    for (int start : {0, 64, 128, 178})
        pages += payload(r, link::opPageRead, static_cast<quint8>(start), 0);
    return pages;
}

void pages() {
    for (const sim::PresetInfo& preset : sim::presets()) {
        auto role = corrector(QString::fromLatin1(preset.name));
        const QByteArray id = payload(*role, link::opRead, 0, 32);
        put(QStringLiteral("parameter_pages"), QString::fromLatin1(preset.name), id + parameterPages(*role));
    }
    for (const char* name : {"series1", "series2", "heat-energy", "calib"}) {
        auto role = corrector(QString::fromLatin1(name));
        const QByteArray id = payload(*role, link::opRead, 0, 32);
        const corrector::ModelProfile profile = corrector::DeriveModelProfile(corrector::IdentificationString(id), 0);
        const QByteArray params = parameterPages(*role).left(3 * 256);
        const int kinds[] = {3, 4, 5, 6, 7, 9, 10};
        for (int k = 0; k < 7; ++k) {
            const auto g = corrector::archiveGeometry(kinds[k], profile);
            if (!g) continue;
            QByteArray input;
            input.append(static_cast<char>(k)).append('\0').append(static_cast<char>(k % 2));
            input += id + params;
            for (int p = 0; p < 2; ++p)
                input += payload(*role, g->op, static_cast<quint8>(g->firstPage + p), 0);
            put(QStringLiteral("archive_pages"), QStringLiteral("%1-kind%2").arg(QLatin1String(name)).arg(kinds[k]), input);
        }
    }
}

// The corrector window filled as a full read of the preset leaves it, then saved as the program saves it.
void parameterFiles(const QString& scratchDir) {
    QuietNotifier notifier;
    for (const char* name : {"series1", "meter-coef"}) {
        auto role = corrector(QString::fromLatin1(name));
        corrector::DetachedCorrector c(notifier, kRussian);
        corrector::CorrectorWindowModel& model = c.model();
        const corrector::IdentificationString id(payload(*role, link::opRead, 0, 32));
        model.setIdentification(id);
        model.setProfile(corrector::DeriveModelProfile(id, role->memory().serial));
        model.StartFullRead();
        for (int start : {0, 64, 128})
            model.onPageAccepted(static_cast<quint16>(start), payload(*role, link::opPageRead, static_cast<quint8>(start), 0));
        if (model.reading().profile.hasCoefficientTable())
            model.onPageAccepted(178, payload(*role, link::opPageRead, 178, 0));
        model.onFullReadComplete();
        model.markKindRead(1);
        for (int kind : {3, 4, 6}) {
            const auto g = corrector::archiveGeometry(kind, model.reading().profile);
            corrector::ArchivePageCheck check(*g, model.archives(), true);
            const corrector::ArchiveContext context{model.reading().profile, model.reading().image, kRussian,
                                                    2};
            for (int p = 0; p < 2; ++p)
                check.check(g->firstPage + p, payload(*role, g->op, static_cast<quint8>(g->firstPage + p), 0), context);
            model.markKindRead(kind);
        }
        const QString prt = scratchDir + QStringLiteral("/%1.prt").arg(QLatin1String(name));
        const QString point = scratchDir + QStringLiteral("/p_%1.000").arg(QLatin1String(name));
        if (!corrector::saveSnapshot(model.reading(), prt, kRussian).ok ||
            !corrector::writePointParameterFile(model.reading(), point)) {
            std::fprintf(stderr, "cannot save the %s files\n", name);
            std::exit(1);
        }
        put(QStringLiteral("parameter_files"), QFileInfo(prt).fileName(), fileBytes(prt));
        put(QStringLiteral("parameter_files"), QFileInfo(point).fileName(), fileBytes(point));
    }
}

void packages(const QString& scratchDir) {
    const QString folder = scratchDir + QStringLiteral("/pack");
    QDir().mkpath(folder);
    writeTextLines(folder + QStringLiteral("/note.000"), {QStringLiteral("Пункт учёта"), QStringLiteral("1")});
    QFile::copy(scratchDir + QStringLiteral("/p_series1.000"), folder + QStringLiteral("/p_v04512.000"));
    const QString two = scratchDir + QStringLiteral("/two.tbd");
    const QString none = scratchDir + QStringLiteral("/none.tbd");
    if (!sync::writePackage(two, folder, {QStringLiteral("note.000"), QStringLiteral("p_v04512.000")}).ok ||
        !sync::writePackage(none, folder, {}).ok) {
        std::fprintf(stderr, "cannot write the packages\n");
        std::exit(1);
    }
    put(QStringLiteral("packages"), QStringLiteral("two-entries.tbd"), fileBytes(two));
    put(QStringLiteral("packages"), QStringLiteral("empty.tbd"), fileBytes(none));
}

void settings(const QString& scratchDir) {
    const DataRoot root(scratchDir + QStringLiteral("/home"));
    root.createFolders();
    const link::SettingsFiles files(root);
    link::LinkSettings link;
    saveSettings(files, link);
    put(QStringLiteral("text_settings"), QStringLiteral("FileInRS.000"), fileBytes(files.settingsPath()));
    Tuning tuning;
    tuning.csv = true;
    tuning.csvKinds = {true, false, true, false, false};
    saveTuning(root, tuning);
    put(QStringLiteral("text_settings"), QStringLiteral("Tuning.000"), fileBytes(tuningPath(root)));
    saveDelimiter(root, u';');
    put(QStringLiteral("text_settings"), QStringLiteral("Delim.000"), fileBytes(delimiterPath(root)));
    savePanelSizes(root, PanelSizes{180, 300, 240});
    put(QStringLiteral("text_settings"), QStringLiteral("track.000"), fileBytes(panelSizesPath(root)));
    reports::saveReportWindowOptions(root, reports::ReportWindowOptions{});
    put(QStringLiteral("text_settings"), QStringLiteral("report.000"), fileBytes(files.reportPath()));
    saveLanguage(root, languageText(kUkrainian));
    put(QStringLiteral("text_settings"), QStringLiteral("language.000"), fileBytes(languageFilePath(root)));
    corrector::saveVolumePrecision(root, 3);
    put(QStringLiteral("text_settings"), QStringLiteral("Qdel.000"), fileBytes(corrector::volumePrecisionPath(root)));
    for (database::TableKind kind : {database::TableKind::Registry, database::TableKind::Hourly, database::TableKind::Join}) {
        const QString path = scratchDir + QStringLiteral("/schema.000");
        writeTextLines(path, database::schemaFileLines(kind));
        put(QStringLiteral("text_settings"), QString::fromLatin1(database::tableInfo(kind).schemaFile), fileBytes(path));
    }
}

void groups(const QString& scratchDir) {
    const DataRoot root(scratchDir + QStringLiteral("/groups"));
    root.createFolders();
    polling::GroupSave save;
    save.group.name = QStringLiteral("Северный район");
    save.group.schedule = {QStringLiteral("06:00-08:00-00:30"), QStringLiteral("20:00-00:00-01:00")};
    save.group.flags = QStringLiteral("0110000011");
    save.group.members = {{true, QStringLiteral("ТАРН-1.01   № 4512   Котельная №1              v04512")},
                          {false, QStringLiteral("ТАРН-2.01   № 6104   ГРП-2                     t06104")}};
    const polling::GroupSaveResult saved =
        polling::saveGroup(root, save, kRussian, QDateTime(QDate(2026, 12, 10), QTime(8, 0)), [](const QString&) { return true; });
    if (!saved.error.isEmpty()) {
        std::fprintf(stderr, "cannot save the group: %s\n", qPrintable(saved.error));
        std::exit(1);
    }
    put(QStringLiteral("groups"), QStringLiteral("name_G.000"), fileBytes(polling::groupListPath(root)));
    put(QStringLiteral("groups"), QStringLiteral("group.000"), fileBytes(root.file(folder::Group, saved.file)));
}

void books(const QString& scratchDir) {
    const QString path = scratchDir + QStringLiteral("/book.000");
    const auto save = [&](const QString& name, const QStringList& lines) {
        writeTextLines(path, lines);
        put(QStringLiteral("address_book"), name, fileBytes(path));
    };
    save(QStringLiteral("new-ru.000"), link::newAddressBookLines(kRussian));
    save(QStringLiteral("new-ua.000"), link::newAddressBookLines(kUkrainian));
    save(QStringLiteral("phones.000"), link::newPhoneBookLines() + QStringList{QStringLiteral("0445551234 // ГРП-2")});
    save(QStringLiteral("entries.000"),
         {QStringLiteral("1 // Котельная"), QStringLiteral(" 1 4 //ГРП 14"), QStringLiteral("15 // вне диапазона"),
          QStringLiteral("// только комментарий"), QStringLiteral("3")});
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    outRoot = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir scratch;
    frames();
    pages();
    parameterFiles(scratch.path());
    packages(scratch.path());
    settings(scratch.path());
    groups(scratch.path());
    books(scratch.path());
    std::printf("%d seed inputs written to %s\n", written, argv[1]);
    return 0;
}
