// The corrector window's operations without the window: params, item get/set, clock get/set/correct.
// They run the same session as the window: the operation start, the read run, the window's model.
#include "CliLink.h"

#include "common/Language.h"
#include "corrector/CoefficientWindows.h"
#include "corrector/CorrectorFiles.h"
#include "corrector/CorrectorSession.h"
#include "corrector/CorrectorWindowModel.h"
#include "corrector/ItemTable.h"
#include "corrector/LinkTexts.h"
#include "corrector/OperationStart.h"
#include "corrector/ReadChoice.h"
#include "corrector/StoreReading.h"
#include "corrector/ValueLists.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <cstdio>
#include <unistd.h>

namespace tarn::cli {

QJsonObject identificationJson(const corrector::IdentificationString& id, const corrector::ModelProfile& p);
// cmd_workbook.cpp: --save-xls FILE [--sheets LIST].
bool workbookOptionsValid(CliRun& run);
int saveWorkbookOption(CliRun& run, const corrector::Reading& reading, QString* writtenPath = nullptr);

namespace {

using corrector::CorrectorSession;
using corrector::Field;

struct Session {
    CliRun& run;
    CliLink link;
    CorrectorSession session;
    bool readDone = false;
    bool readCompleted = false;
    bool gateFailed = false;

    explicit Session(CliRun& r)
        : run(r), link(r),
          session(r.context->engine(), r.context->linkPort(), r.context->settings(), r.context->notifier(),
                  r.context->operationStart(), r.context->readRun(), r.context->languageIndex()) {
        auto& ctx = *r.context;
        ctx.operationStart().stepIntervalMs = 20;
        ctx.readRun().startDelayMs = 20;
        ctx.readRun().closeDelayMs = 0;
        session.model().afterWriteDelayMs = 50;
        session.model().setVolumeDecimals(ctx.volumeDecimals);
        session.setLineHold(&ctx.lineHold());
        CorrectorSession::Ui ui;
        ui.openReadWindow = [this](int kind) {
            session.readRun().open(kind);
            session.readRun().yes();
        };
        session.setUi(ui);
        QObject::connect(&session, &CorrectorSession::readRunClosed, &link.scope(), [this](bool completed) {
            readDone = true;
            readCompleted = completed;
        });
        QObject::connect(&ctx.operationStart(), &corrector::OperationStart::identificationFinished,
                         &link.scope(), [this](bool ok) {
                             if (!ok) gateFailed = true;
                         });
    }

    // Runs an operation through the gate and its read run. Exit code of the CLI.
    int runOperation(int code, std::optional<int> selectiveDays = std::nullopt) {
        readDone = false;
        gateFailed = false;
        const auto started =
            selectiveDays ? session.startSelectiveRead(*selectiveDays) : session.startOperation(code);
        if (started == corrector::OperationStart::StartResult::Refused) return kExitNoLink;
        link.waitUntil([&] { return readDone || gateFailed; });
        if (gateFailed) return failure();
        if (!readCompleted) return failure();
        return kExitOk;
    }

    int failure() {
        auto& gate = session.gate();
        if (gate.identified() && !gate.identification().raw().isEmpty() &&
            !corrector::CheckVersion(gate.identification(), run.context->languageIndex()).accepted())
            return kExitRefused;
        // Reads that never agreed have said so; the line answered.
        if (!gate.gaveUpOnDisagreement())
            run.notifier->message(MessageKind::Error, corrector::noLinkText(run.context->languageIndex()));
        return kExitNoLink;
    }

    // A single item transfer through the model, with the steps after it (a password's access level, a
    // parameter's read-back); its outcome decides the exit code.
    int transfer(const std::function<bool()>& start) {
        auto& model = session.model();
        if (!start()) return kExitUsage;
        link.waitUntil([&] { return !model.itemTransferPending(); });
        using R = corrector::ItemOutcome::Result;
        switch (model.lastItem().result) {
        case R::Done:
            return kExitOk;
        case R::Refused:
        case R::WrongCorrector:
            return kExitRefused;
        default:
            return failure();
        }
    }
};

QJsonArray itemsJson(const corrector::CorrectorWindowModel& model) {
    QJsonArray items;
    for (int f = 0; f < corrector::kFieldCount; ++f) {
        const Field field = static_cast<Field>(f);
        const auto& spec = corrector::fieldSpec(field);
        if (spec.item <= 0 || !model.view(field).visible) continue;
        const auto* entry = corrector::FindItem(spec.item);
        if (!entry) continue;
        const QString code =
            QStringLiteral("0x") + QStringLiteral("%1").arg(entry->code, 2, 16, QLatin1Char('0')).toUpper();
        items.append(QJsonObject{{QStringLiteral("item"), spec.item},
                                 {QStringLiteral("code"), code},
                                 {QStringLiteral("caption"), model.caption(field).trimmed()},
                                 {QStringLiteral("text"), model.itemText(spec.item)}});
    }
    return items;
}

QJsonObject paramsJson(Session& s) {
    auto& model = s.session.model();
    const int lang = s.run.context->languageIndex();
    QJsonObject o = identificationJson(s.session.gate().identification(), model.reading().profile);
    o.insert(QStringLiteral("serial"), model.text(Field::HeaderSerial));
    o.insert(QStringLiteral("modelName"), model.reading().profile.modelName);
    QJsonArray words;
    const auto& image = model.reading().image;
    for (int w = 1; w < corrector::ParameterImage::kWords; ++w) {
        if (!image.isRead(w)) continue;
        words.append(
            QJsonObject{{QStringLiteral("word"), w},
                        {QStringLiteral("name"), corrector::WordName(w, lang)},
                        {QStringLiteral("text"), image.WordText(w)},
                        {QStringLiteral("raw"), QString::fromLatin1(image.wordBytes(w).toHex().toUpper())}});
    }
    o.insert(QStringLiteral("words"), words);
    o.insert(QStringLiteral("items"), itemsJson(model));
    return o;
}

void printFields(CliRun& run, const corrector::CorrectorWindowModel& model) {
    for (int f = 0; f < corrector::kFieldCount; ++f) {
        const Field field = static_cast<Field>(f);
        if (!model.view(field).visible) continue;
        const QString caption = model.caption(field).trimmed();
        if (caption.isEmpty()) continue;
        *run.out << caption << ": " << model.text(field) << "\n";
    }
}

std::optional<int> itemArg(CliRun& run) {
    bool ok = false;
    const int n = run.value(QStringLiteral("--item")).value_or(QString()).toInt(&ok);
    if (!ok || !corrector::FindItem(n)) {
        run.notifier->message(MessageKind::Error, QStringLiteral("--item is 1..70"));
        return std::nullopt;
    }
    return n;
}

// "--password FIELD:DIGITS": FIELD is the password window's field 1..7 (operator A, B, C, master E, F,
// configurator, verifier), not an access level.
int enterPassword(Session& s) {
    const auto p = s.run.value(QStringLiteral("--password"));
    if (!p) return kExitOk;
    const qsizetype colon = p->indexOf(QLatin1Char(':'));
    bool ok = false;
    const int slot = p->left(colon).toInt(&ok) - 1;
    if (colon < 0 || !ok || slot < 0 || slot > 6) {
        s.run.notifier->message(MessageKind::Error,
                                QStringLiteral("--password FIELD:DIGITS, FIELD 1..7: 1..3 operator A, B, C; "
                                               "4, 5 master E, F; 6 configurator; 7 verifier"));
        return kExitUsage;
    }
    return s.transfer([&] { return s.session.model().EnterPassword(slot, p->mid(colon + 1)); });
}

struct PanelUnits {
    corrector::GaugeUnit gauge = corrector::GaugeUnit::KgfCm2;
    corrector::BaroUnit baro = corrector::BaroUnit::KgfCm2;
};

// "--unit": the unit button of the gauge-pressure (item 6) or barometric-pressure (item 43) panel.
std::optional<PanelUnits> unitArg(CliRun& run, int item) {
    PanelUnits units;
    const auto text = run.value(QStringLiteral("--unit"));
    if (!text) return units;
    const QString u = text->toLower();
    const bool mpa = u == QLatin1String("mpa");
    const bool kgf = u == QLatin1String("kgf");
    if (item == 6 && (mpa || kgf || u == QLatin1String("cmh2o"))) {
        units.gauge = mpa   ? corrector::GaugeUnit::Mpa
                      : kgf ? corrector::GaugeUnit::KgfCm2
                            : corrector::GaugeUnit::CmWater;
        return units;
    }
    if (item == 43 && (mpa || kgf || u == QLatin1String("mmhg"))) {
        units.baro = mpa   ? corrector::BaroUnit::Mpa
                     : kgf ? corrector::BaroUnit::KgfCm2
                           : corrector::BaroUnit::MmHg;
        return units;
    }
    run.notifier->message(
        MessageKind::Error,
        QStringLiteral("--unit: kgf, cmH2O or MPa for item 6; kgf, mmHg or MPa for item 43"));
    return std::nullopt;
}

} // namespace

// params [--json]: identification, then the full parameter read, as "ПАРАМЕТРЫ КОРРЕКТОРА" does.
int cmdParams(CliRun& run) {
    Session s(run);
    const int code = s.runOperation(corrector::operation::Parameters);
    if (code != kExitOk) return code;
    if (run.options.json)
        run.printJson(paramsJson(s));
    else
        printFields(run, s.session.model());
    return kExitOk;
}

// item get --item N [--unit UNIT] | item set --item N --value TEXT [--unit UNIT] [--password FIELD:DIGITS]
int cmdItem(CliRun& run) {
    const QString what = run.args.value(0);
    const auto item = itemArg(run);
    if (!item || (what != QLatin1String("get") && what != QLatin1String("set"))) {
        if (item)
            run.notifier->message(MessageKind::Error, QStringLiteral("item get|set --item N [--value TEXT]"));
        return kExitUsage;
    }
    const auto units = unitArg(run, *item);
    if (!units) return kExitUsage;
    const QString value = run.value(QStringLiteral("--value")).value_or(QString());
    const int lang = run.context->languageIndex();
    if (what == QLatin1String("set")) {
        // The value is checked before anything is sent, in the unit it is given in.
        corrector::ParameterImage empty;
        const corrector::ModelProfile profile;
        const corrector::ItemContext context{profile, lang, units->gauge, units->baro};
        const auto check = corrector::CheckItemValue(*item, value, empty, context);
        if (check.result != corrector::CheckResult::valueOk) {
            run.notifier->message(MessageKind::Error, check.message);
            return kExitUsage;
        }
    }
    Session s(run);
    auto& model = s.session.model();
    model.setGaugeUnit(units->gauge);
    model.setBaroUnit(units->baro);
    int code = s.runOperation(corrector::operation::Parameters);
    if (code != kExitOk) return code;
    const QString caption = corrector::ItemCaption(*item, model.reading().profile, lang);
    if (what == QLatin1String("set")) {
        // Checked again now that the corrector's model is known: its lists decide what a choice may
        // be, and a value outside them must not cost a password written to the corrector.
        if (const auto encoded = model.encodeItemWrite(*item, value); !encoded.ok) {
            run.notifier->message(MessageKind::Error, encoded.message);
            return kExitUsage;
        }
        if ((code = enterPassword(s)) != kExitOk) return code;
        const int level = model.state().accessLevel;
        if (!corrector::isItemEditable(*item, level, model.reading().profile)) {
            run.notifier->message(MessageKind::Error,
                                  uaRu(lang, "Параметр не доступний для запису на рівні доступу ",
                                       "Параметр недоступен для записи на уровне доступа ") +
                                      QString::number(level));
            return kExitRefused;
        }
        code = s.transfer([&] { return model.WriteItem(*item, value, caption, false); });
        if (code != kExitOk) return code;
    } else {
        code = s.transfer([&] {
            model.ReadItem(*item, caption);
            return true;
        });
        if (code != kExitOk) return code;
    }
    const QString text = model.lastItem().text;
    if (run.options.json)
        run.printJson({{QStringLiteral("item"), *item},
                       {QStringLiteral("caption"), caption.trimmed()},
                       {QStringLiteral("text"), text},
                       {QStringLiteral("accessLevel"), model.state().accessLevel}});
    else
        *run.out << caption.trimmed() << ": " << text << "\n";
    return kExitOk;
}

// clock get | clock set [--value "dd.MM.yyyy HH:mm"] | clock correct --value MINUTES [--password L:D]
int cmdClock(CliRun& run) {
    const QString what = run.args.value(0, QStringLiteral("get"));
    Session s(run);
    auto& model = s.session.model();
    if (what == QLatin1String("get")) {
        const int code = s.runOperation(corrector::operation::Clock);
        if (code != kExitOk) return code;
        if (!model.clock()) return s.failure();
        const QString date = model.clock()->dateText;
        const QString time = model.clock()->timeText;
        if (run.options.json)
            run.printJson({{QStringLiteral("date"), date}, {QStringLiteral("time"), time}});
        else
            *run.out << date << " " << time << "\n";
        return kExitOk;
    }
    if (what != QLatin1String("set") && what != QLatin1String("correct")) {
        run.notifier->message(MessageKind::Error, QStringLiteral("clock get|set|correct"));
        return kExitUsage;
    }
    int code = s.runOperation(corrector::operation::Parameters);
    if (code != kExitOk) return code;
    if ((code = enterPassword(s)) != kExitOk) return code;
    const int lang = run.context->languageIndex();
    // The command is the user's decision, as with item set: no question asked, and a clock the access
    // level may not change is refused here instead of reported as written.
    const int clockItem = what == QLatin1String("set") ? 16 : 18;
    const int level = model.state().accessLevel;
    if (!corrector::isItemEditable(clockItem, level, model.reading().profile)) {
        run.notifier->message(MessageKind::Error,
                              uaRu(lang, "Параметр не доступний для запису на рівні доступу ",
                                   "Параметр недоступен для записи на уровне доступа ") +
                                  QString::number(level));
        return kExitRefused;
    }
    if (what == QLatin1String("set")) {
        const QString stamp =
            run.value(QStringLiteral("--value"))
                .value_or(QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy HH:mm")));
        code = s.transfer([&] {
            return model.WriteItem(16, stamp, corrector::ItemCaption(16, model.reading().profile, lang),
                                   false);
        });
    } else {
        const QString value = run.value(QStringLiteral("--value")).value_or(QString());
        code = s.transfer([&] {
            return model.WriteItem(18, value, corrector::ItemCaption(18, model.reading().profile, lang),
                                   false);
        });
    }
    if (code != kExitOk) return code;
    if (run.options.json) run.printJson({{QStringLiteral("written"), true}});
    return kExitOk;
}

} // namespace tarn::cli

namespace tarn::cli {

namespace {

struct ArchiveName {
    const char* name;
    corrector::Archive archive;
    int kind;
};
constexpr ArchiveName kArchiveNames[] = {{"hourly", corrector::Archive::Hourly, 3},
                                         {"daily", corrector::Archive::Daily, 4},
                                         {"monthly", corrector::Archive::Monthly, 5},
                                         {"abnormal", corrector::Archive::Abnormal, 6},
                                         {"interference", corrector::Archive::Interference, 7},
                                         {"operative", corrector::Archive::Operative, 9},
                                         {"service", corrector::Archive::Service, 10}};

// The read selection line with the boxes of the chosen kinds ticked.
QString readChoiceFor(const QList<int>& kinds) {
    corrector::ReadChoiceBoxes boxes;
    for (int box = 0; box < corrector::kReadChoiceBoxCount; ++box)
        boxes.ticked[box] = kinds.contains(corrector::ReadChoiceBoxes::kind(box));
    return boxes.toLine();
}

// Columns as wide as their widest cell.
void printTable(QTextStream& out, const QStringList& columns, const QList<QStringList>& rows) {
    QList<qsizetype> widths;
    for (const QString& c : columns)
        widths.append(c.size());
    for (const QStringList& r : rows)
        for (qsizetype i = 0; i < r.size() && i < widths.size(); ++i)
            widths[i] = std::max(widths[i], r.at(i).size());
    auto line = [&](const QStringList& cells) {
        QString text;
        for (qsizetype i = 0; i < widths.size(); ++i)
            text += (i ? QStringLiteral("  ") : QString()) + cells.value(i).leftJustified(widths[i]);
        out << text.trimmed() << "\n";
    };
    line(columns);
    for (const QStringList& r : rows)
        line(r);
}

} // namespace

QJsonObject storeInDatabase(CliRun& run, const corrector::Reading& reading, const QList<int>& kinds, bool& ok,
                            const QString& fileName) {
    ok = false;
    const DataRoot& root = run.context->root();
    database::writeMissingSchemaFiles(root);
    run.context->schemas = database::loadSchemas(root);
    if (!run.context->schemas.ok) {
        run.notifier->message(MessageKind::Error, run.context->schemas.error);
        return {};
    }
    corrector::StoreRequestHooks hooks;
    hooks.adjustContext = [&fileName](database::StoreContext& c) { c.fileName = fileName; };
    const corrector::StoreRequestResult r = corrector::storeAfterReading(
        root, run.context->storage(), reading, run.context->settings(),
        run.context->engine().settings().deviceAddress, run.context->languageIndex(), kinds, hooks);
    if (!r.stored) {
        run.notifier->message(MessageKind::Error,
                              r.error.isEmpty() ? QStringLiteral("nothing stored") : r.error);
        return {};
    }
    for (const QString& path : r.result.csvFailed)
        run.notifier->message(MessageKind::Warning, QStringLiteral("Не удалось записать файл ") + path);
    QJsonObject stored, dropped;
    for (const ArchiveName& a : kArchiveNames) {
        if (!kinds.contains(a.kind)) continue;
        stored.insert(QLatin1String(a.name), r.result.kinds[static_cast<int>(a.archive) - 1].stored);
        dropped.insert(QLatin1String(a.name), r.result.kinds[static_cast<int>(a.archive) - 1].dropped);
    }
    ok = true;
    return {{QStringLiteral("point"), r.identifier},
            {QStringLiteral("added"), r.added},
            {QStringLiteral("stored"), stored},
            {QStringLiteral("dropped"), dropped},
            {QStringLiteral("measurement"), r.result.measurementStored},
            {QStringLiteral("csv"), QJsonArray::fromStringList(r.result.csvFiles)}};
}

namespace {

// --save-prt, --save-txt and --save-xls: the window's "СОХРАНИТЬ КАК" after the reading, the name made as
// it makes it.
bool saveFiles(CliRun& run, const corrector::Reading& reading) {
    const int lang = run.context->languageIndex();
    if (const auto prt = run.value(QStringLiteral("--save-prt"))) {
        const QString path = corrector::finalFileName(*prt, QStringLiteral("prt"));
        const corrector::FileOutcome r = corrector::saveSnapshot(reading, path, lang);
        if (!r.ok) {
            run.notifier->message(MessageKind::Error, r.message);
            return false;
        }
        run.notifier->message(MessageKind::Information, path);
    }
    if (const auto txt = run.value(QStringLiteral("--save-txt"))) {
        const corrector::FileOutcome r =
            corrector::exportText(reading, corrector::finalFileName(*txt, QStringLiteral("txt")), lang);
        run.notifier->message(r.ok ? MessageKind::Information : MessageKind::Error, r.message);
        if (!r.ok) return false;
    }
    return saveWorkbookOption(run, reading) == kExitOk;
}

int readOrStore(CliRun& run, bool store) {
    QList<const ArchiveName*> chosen;
    const QString list = run.value(QStringLiteral("--archives")).value_or(QStringLiteral("all"));
    // Every word counts: an empty one (",", "hourly,,daily", "") is a mistake, never "nothing to read".
    for (const QString& word : list.split(QLatin1Char(','))) {
        const QString w = word.trimmed().toLower();
        bool known = false;
        for (const ArchiveName& a : kArchiveNames)
            if (w == QLatin1String("all") || w == QLatin1String(a.name)) {
                known = true;
                if (!chosen.contains(&a)) chosen.append(&a);
            }
        if (!known) {
            run.notifier->message(MessageKind::Error,
                                  QStringLiteral("read: --archives takes hourly, daily, monthly, abnormal, "
                                                 "interference, operative, service or all"));
            return kExitUsage;
        }
    }
    // A wrong --sheets or a workbook already there is told before the corrector is read, not after.
    if (!workbookOptionsValid(run)) return kExitUsage;
    std::optional<int> days;
    if (const auto d = run.value(QStringLiteral("--days"))) {
        bool ok = false;
        days = d->toInt(&ok);
        if (!ok || *days < 1 || *days > 40 || run.has(QStringLiteral("--archives"))) {
            run.notifier->message(MessageKind::Error,
                                  QStringLiteral("read: --days is 1..40, and reads its own archives"));
            return kExitUsage;
        }
        // The selective read: the last days of the hourly and daily archives, then three archives whole.
        chosen.clear();
        for (const ArchiveName& a : kArchiveNames)
            if (a.kind >= 3 && a.kind <= 7) chosen.append(&a);
    }
    QList<int> kinds;
    for (const ArchiveName* a : chosen)
        kinds.append(a->kind);
    if (store && run.has(QStringLiteral("--measurement"))) kinds.append(corrector::read_kind::Measurement);
    // The selection is this run's only: the settings file keeps the user's own.
    run.context->settings().readChoice = readChoiceFor(kinds);
    run.context->readRun().readToEmptyLine = run.has(QStringLiteral("--until-empty"));

    Session s(run);
    // Progress on a terminal only: a script reading stderr gets the messages alone.
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    if (terminal)
        QObject::connect(&s.session.readRun(), &corrector::ReadRun::changed, &s.link.scope(), [&s] {
            const auto& r = s.session.readRun();
            std::fprintf(stderr, "\r%s %d / %d   ", r.label().toUtf8().constData(), r.gauge(), r.gaugeMax());
        });
    const int code = s.runOperation(corrector::operation::ReadAll, days);
    if (terminal) std::fprintf(stderr, "\n");
    if (code != kExitOk) return code;
    auto& model = s.session.model();
    const corrector::ArchiveContext context = model.archiveContext();
    if (!saveFiles(run, model.reading())) return kExitUsage;
    // The records blanked after their re-reads were told on stderr when the reading ended; --strict makes
    // such a reading a failure for scripts that must not store or bill from it.
    const int done =
        run.has(QStringLiteral("--strict")) && model.archives().blankedTotal() > 0 ? kExitNoLink : kExitOk;
    QJsonObject blanked;
    for (const ArchiveName* a : chosen)
        blanked.insert(QLatin1String(a->name), model.archives().blanked(a->archive));
    if (store) {
        bool ok = false;
        QJsonObject o = storeInDatabase(run, model.reading(), kinds, ok);
        if (!ok) return kExitNoLink;
        o.insert(QStringLiteral("blanked"), blanked);
        if (run.options.json) {
            run.printJson(o);
        } else {
            *run.out << "point " << o.value(QStringLiteral("point")).toString()
                     << (o.value(QStringLiteral("added")).toBool() ? " (added)" : "") << "\n";
            const QJsonObject stored = o.value(QStringLiteral("stored")).toObject();
            const QJsonObject dropped = o.value(QStringLiteral("dropped")).toObject();
            for (const QString& k : stored.keys())
                *run.out << k << ": " << stored.value(k).toInt() << " stored, " << dropped.value(k).toInt()
                         << " already there\n";
            if (o.value(QStringLiteral("measurement")).toBool()) *run.out << "measurement stored\n";
            for (const QJsonValue& f : o.value(QStringLiteral("csv")).toArray())
                *run.out << "csv " << f.toString() << "\n";
            run.out->flush();
        }
        return done;
    }
    if (run.options.json) {
        QJsonObject archives;
        for (const ArchiveName* a : chosen) {
            QJsonArray rows;
            for (const QStringList& r : model.archives().rows(a->archive))
                rows.append(QJsonArray::fromStringList(r));
            archives.insert(
                QLatin1String(a->name),
                QJsonObject{{QStringLiteral("columns"),
                             QJsonArray::fromStringList(corrector::archiveColumns(a->archive, context))},
                            {QStringLiteral("rows"), rows}});
        }
        run.printJson(
            {{QStringLiteral("archives"), archives},
             {QStringLiteral("blanked"), blanked},
             {QStringLiteral("gaps"), QJsonArray::fromStringList(corrector::findGaps(model.archives()))}});
    } else {
        for (const ArchiveName* a : chosen) {
            *run.out << QLatin1String(a->name) << "\n";
            printTable(*run.out, corrector::archiveColumns(a->archive, context),
                       model.archives().rows(a->archive));
            *run.out << "\n";
        }
        run.out->flush();
    }
    return done;
}

} // namespace

// read [--archives LIST] [--until-empty] | read --days N: identification, the parameters (the decoders need
// the units, the pulse weight and the model), then the archives, as "ЧИТАТЬ ВСЕ" reads them.
int cmdRead(CliRun& run) {
    return readOrStore(run, false);
}

// store: the same reading, then into the database.
int cmdStore(CliRun& run) {
    return readOrStore(run, true);
}

// The archives a report reads, fresh from the corrector: the parameters first (the decoders need the
// units), then the hourly, daily, monthly, abnormal-situation and interference archives.
int withFreshArchives(CliRun& run,
                      const std::function<int(const corrector::Reading&, const QList<int>& kindsRead)>& use) {
    const QList<int> kinds{corrector::read_kind::Hourly, corrector::read_kind::Daily,
                           corrector::read_kind::Monthly, corrector::read_kind::Alarm,
                           corrector::read_kind::Interference};
    run.context->settings().readChoice = readChoiceFor(kinds);
    Session s(run);
    if (const int code = s.runOperation(corrector::operation::ReadAll); code != kExitOk) return code;
    return use(s.session.model().reading(), s.session.readRun().completedKinds());
}

// file show|store|export FILE: a saved "*.prt" file opened as the window's "ОТКРЫТЬ ФАЙЛ *.prt" opens it.
int cmdFile(CliRun& run) {
    const QString action = run.args.value(0);
    const QString path = run.args.value(1);
    if (path.isEmpty() || (action != QLatin1String("show") && action != QLatin1String("store") &&
                           action != QLatin1String("export"))) {
        run.notifier->message(
            MessageKind::Error,
            QStringLiteral("file: show FILE, store FILE or export FILE --out TXT | --save-xls FILE"));
        return kExitUsage;
    }
    const int lang = run.context->languageIndex();
    const corrector::LoadedReading loaded =
        corrector::loadParameterFile(path, *run.notifier, lang, run.context->volumeDecimals);
    if (!loaded.outcome.ok) return kExitUsage;
    const corrector::Reading& reading = loaded.reading;
    QList<int> kinds;
    for (const ArchiveName& a : kArchiveNames)
        if (reading.kindRead(a.kind) && reading.archives.rowCount(a.archive) > 0) kinds.append(a.kind);
    if (action == QLatin1String("store")) {
        bool ok = false;
        const QJsonObject o = storeInDatabase(run, reading, kinds, ok, QFileInfo(path).absoluteFilePath());
        if (!ok) return kExitNoLink;
        if (run.options.json)
            run.printJson(o);
        else
            *run.out << "point " << o.value(QStringLiteral("point")).toString()
                     << (o.value(QStringLiteral("added")).toBool() ? " (added)" : "") << "\n";
        run.out->flush();
        return kExitOk;
    }
    if (action == QLatin1String("export")) {
        const auto out = run.value(QStringLiteral("--out"));
        if (!out && !run.has(QStringLiteral("--save-xls"))) {
            run.notifier->message(MessageKind::Error,
                                  QStringLiteral("file export: --out TXT or --save-xls FILE is needed"));
            return kExitUsage;
        }
        QJsonObject written;
        if (out) {
            const QString text = corrector::finalFileName(*out, QStringLiteral("txt"));
            const corrector::FileOutcome r = corrector::exportText(reading, text, lang);
            run.notifier->message(r.ok ? MessageKind::Information : MessageKind::Error, r.message);
            if (!r.ok) return kExitUsage;
            written.insert(QStringLiteral("text"), QFileInfo(text).absoluteFilePath());
        }
        QString workbook;
        if (const int code = saveWorkbookOption(run, reading, &workbook); code != kExitOk) return code;
        if (!workbook.isEmpty())
            written.insert(QStringLiteral("workbook"), QFileInfo(workbook).absoluteFilePath());
        if (run.options.json) run.printJson(written);
        return kExitOk;
    }
    using F = corrector::Field;
    const std::pair<const char*, F> header[] = {{"serial", F::HeaderSerial}, {"model", F::ModelName},
                                                {"company", F::Company},     {"branch", F::Branch},
                                                {"meter", F::MeterName},     {"software", F::Software},
                                                {"date", F::Date},           {"time", F::Time}};
    QJsonObject items;
    for (int item = 1; item <= 70; ++item)
        if (const QString t = reading.itemText(item);
            !t.isEmpty() && t != QLatin1String(corrector::kNoDataText))
            items.insert(QString::number(item), t);
    QJsonObject rows;
    for (const ArchiveName& a : kArchiveNames)
        rows.insert(QLatin1String(a.name), reading.archives.rowCount(a.archive));
    if (run.options.json) {
        QJsonObject o;
        for (const auto& [name, field] : header)
            o.insert(QLatin1String(name), reading.text(field));
        o.insert(QStringLiteral("items"), items);
        o.insert(QStringLiteral("rows"), rows);
        run.printJson(o);
        return kExitOk;
    }
    for (const auto& [name, field] : header)
        *run.out << name << ": " << reading.text(field) << "\n";
    for (const QString& k : items.keys())
        *run.out << "item " << k << ": " << items.value(k).toString() << "\n";
    for (const ArchiveName& a : kArchiveNames)
        *run.out << a.name << ": " << rows.value(QLatin1String(a.name)).toInt() << " rows\n";
    run.out->flush();
    return kExitOk;
}

} // namespace tarn::cli

namespace tarn::cli {

namespace {

// The cells of a coefficient file of either kind, as "name: value" lines and as JSON.
struct CoefficientListing {
    QList<QStringList> rows;
    QJsonArray json;
    void add(const QString& name, const QString& value) {
        rows.append({name, value});
        json.append(QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("value"), value}});
    }
};

CoefficientListing meterListing(const corrector::MeterCoefCells& cells, int lang) {
    CoefficientListing l;
    for (int i = 0; i < corrector::kMeterConstantCount; ++i)
        l.add(corrector::MeterCoefName(i + 1, lang).trimmed(), cells.constants[i]);
    for (int p = 0; p < corrector::kCoefPoints; ++p) {
        l.add(QStringLiteral("Ref %1").arg(p + 1), cells.ref[p]);
        l.add(QStringLiteral("Kq %1").arg(p + 1), cells.kq[p]);
    }
    return l;
}

CoefficientListing calibListing(const corrector::CalibCells& cells) {
    CoefficientListing l;
    for (int p = 0; p < corrector::kCoefPoints; ++p) {
        l.add(QStringLiteral("Qw %1").arg(p + 1), cells.qw[p]);
        l.add(QStringLiteral("Kq %1").arg(p + 1), cells.kq[p]);
        l.add(QStringLiteral("% %1").arg(p + 1), cells.percent[p]);
    }
    return l;
}

void printListing(CliRun& run, const QString& table, const CoefficientListing& listing, QJsonObject extra) {
    if (run.options.json) {
        extra.insert(QStringLiteral("table"), table);
        extra.insert(QStringLiteral("cells"), listing.json);
        run.printJson(extra);
        return;
    }
    for (const QStringList& r : listing.rows)
        *run.out << r.at(0) << ": " << r.at(1) << "\n";
    run.out->flush();
}

// The file kind by its extension: "whi" the meter coefficients, "zib" the calibration.
std::optional<bool> meterFile(CliRun& run, const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("whi")) return true;
    if (suffix == QLatin1String("zib")) return false;
    run.notifier->message(MessageKind::Error, QStringLiteral("a coefficient file is FILE.whi or FILE.zib"));
    return std::nullopt;
}

} // namespace

// coef show FILE | coef read [--out FILE] [--password FIELD:DIGITS] |
// coef write --file FILE [--password FIELD:DIGITS]: the coefficient windows' reads, writes and files.
int cmdCoef(CliRun& run) {
    const QString what = run.args.value(0);
    const int lang = run.context->languageIndex();
    if (what == QLatin1String("show")) {
        const QString path = run.args.value(1, run.value(QStringLiteral("--file")).value_or(QString()));
        const auto meter = meterFile(run, path);
        if (!meter) return kExitUsage;
        const auto lines = corrector::readCoefficientFile(path);
        if (!lines) {
            run.notifier->message(MessageKind::Error, QStringLiteral("cannot read ") + path);
            return kExitUsage;
        }
        if (*meter) {
            corrector::MeterCoefCells cells;
            corrector::applyWhiLines(cells, *lines);
            printListing(run, QStringLiteral("meter"), meterListing(cells, lang), {});
        } else {
            corrector::CalibCells cells;
            corrector::applyZibLines(cells, *lines);
            printListing(run, QStringLiteral("calibration"), calibListing(cells), {});
        }
        return kExitOk;
    }
    if (what != QLatin1String("read") && what != QLatin1String("write")) {
        run.notifier->message(
            MessageKind::Error,
            QStringLiteral("coef show FILE | coef read [--out FILE] | coef write --file FILE"));
        return kExitUsage;
    }
    const bool write = what == QLatin1String("write");
    QStringList fileLines;
    std::optional<bool> fileIsMeter;
    if (write) {
        const QString path = run.value(QStringLiteral("--file")).value_or(QString());
        fileIsMeter = meterFile(run, path);
        if (!fileIsMeter) return kExitUsage;
        const auto lines = corrector::readCoefficientFile(path);
        if (!lines) {
            run.notifier->message(MessageKind::Error, QStringLiteral("cannot read ") + path);
            return kExitUsage;
        }
        fileLines = *lines;
    }

    // The parameters first: the model, the serial number the writes carry and the table as it stands.
    Session s(run);
    int code = s.runOperation(corrector::operation::Parameters);
    if (code != kExitOk) return code;
    const corrector::ModelProfile profile = s.session.model().reading().profile;
    if (!profile.hasCoefficientTable()) {
        run.notifier->message(MessageKind::Error,
                              QStringLiteral("this corrector keeps no coefficient table"));
        return kExitRefused;
    }
    const bool meter = profile.meterCoefModel;
    if (fileIsMeter && *fileIsMeter != meter) {
        run.notifier->message(MessageKind::Error, meter ? QStringLiteral("this corrector takes a .whi file")
                                                        : QStringLiteral("this corrector takes a .zib file"));
        return kExitUsage;
    }
    if ((code = enterPassword(s)) != kExitOk) return code;

    auto& ctx = *run.context;
    std::unique_ptr<corrector::CoefficientWindowModel> window;
    corrector::MeterCoefWindowModel* meterWindow = nullptr;
    corrector::CalibWindowModel* calibWindow = nullptr;
    if (meter) {
        auto m = std::make_unique<corrector::MeterCoefWindowModel>(s.session, ctx.engine(), ctx.notifier());
        meterWindow = m.get();
        meterWindow->fill();
        if (write) corrector::applyWhiLines(meterWindow->cells(), fileLines);
        window = std::move(m);
    } else {
        // The calibration table is offered only once the corrector has permitted calibration: at once
        // when its flags say so, else after the verifier's password and the unlock frame.
        if (!s.session.model().reading().image.calibrationPermitted() &&
            s.session.model().state().accessLevel != corrector::kAccessVerifier) {
            run.notifier->message(MessageKind::Error,
                                  QStringLiteral("calibration is not permitted: give --password 7:DIGITS"));
            return kExitRefused;
        }
        auto c = std::make_unique<corrector::CalibWindowModel>(s.session, ctx.engine(), ctx.linkPort(),
                                                               ctx.notifier());
        calibWindow = c.get();
        bool closed = false;
        QObject::connect(calibWindow, &corrector::CalibWindowModel::closeWanted, &s.link.scope(),
                         [&closed] { closed = true; });
        calibWindow->open();
        s.link.waitUntil([&] { return calibWindow->permitted() || closed; });
        if (!calibWindow->permitted()) return kExitRefused;
        window = std::move(c);
    }
    if (write && calibWindow) {
        // The file's cells over the table just read; a cell that is no number stops the write.
        corrector::applyZibLines(calibWindow->cells(), fileLines);
    }

    bool ended = false;
    bool completed = false;
    QObject::connect(window.get(), &corrector::CoefficientWindowModel::transferEnded, &s.link.scope(),
                     [&](bool ok) {
                         ended = true;
                         completed = ok;
                     });
    if (!(write ? window->write() : window->read())) return write ? kExitUsage : kExitNoLink;
    s.link.waitUntil([&] { return ended; });
    if (calibWindow) calibWindow->close();
    if (!completed) {
        const QString failure = meterWindow ? meterWindow->status() : calibWindow->firstLabel();
        run.notifier->message(MessageKind::Error, failure);
        return ctx.engine().noLinkShown() ? kExitNoLink : kExitRefused;
    }
    if (write) {
        if (run.options.json)
            run.printJson(
                {{QStringLiteral("written"), true},
                 {QStringLiteral("table"), meter ? QStringLiteral("meter") : QStringLiteral("calibration")}});
        return kExitOk;
    }
    if (const auto out = run.value(QStringLiteral("--out")); out && !window->saveFile(*out))
        return kExitUsage;
    QJsonArray words;
    const auto& image = s.session.model().reading().image;
    for (int w : meter ? corrector::meterCoefTransferWords() : corrector::calibTransferWords())
        words.append(QJsonObject{
            {QStringLiteral("word"), w},
            {QStringLiteral("code"),
             QStringLiteral("0x") + QStringLiteral("%1")
                                        .arg(*corrector::coefficientItemCode(w), 2, 16, QLatin1Char('0'))
                                        .toUpper()},
            {QStringLiteral("raw"), QString::fromLatin1(image.wordBytes(w).toHex().toUpper())}});
    const QJsonObject extra{{QStringLiteral("words"), words}};
    if (meterWindow)
        printListing(run, QStringLiteral("meter"), meterListing(meterWindow->cells(), lang), extra);
    else
        printListing(run, QStringLiteral("calibration"), calibListing(calibWindow->cells()), extra);
    return kExitOk;
}

} // namespace tarn::cli
