#include "corrector/CorrectorFiles.h"

#include "common/Cp1251.h"
#include "common/Language.h"
#include "common/TextFile.h"
#include "corrector/DeviceValues.h"
#include "corrector/ParameterFile.h"

#include <QFile>
#include <QFileInfo>

namespace tarn::corrector {

namespace {

using F = Field;

const QString kSeparator(51, QLatin1Char('-'));

// The archive tables in the order of the snapshot, with their tags and titles.
struct TableSection {
    Archive archive;
    char tag;
    const char* titleUa;
    const char* titleRu;
};
constexpr TableSection kHourly{Archive::Hourly, line_tag::Hourly, "часовий архів", "часовой архив"};
constexpr TableSection kDaily{Archive::Daily, line_tag::Daily, "добовий архів", "суточный архив"};
constexpr TableSection kMonthly{Archive::Monthly, line_tag::Monthly, "місячний архів", "месячный архив"};
constexpr TableSection kAbnormal{Archive::Abnormal, line_tag::Abnormal, "архів аварій", "архив аварий"};
constexpr TableSection kInterference{Archive::Interference, line_tag::Interference, "архів втручань",
                                     "архив вмешательств"};
constexpr TableSection kOperative{Archive::Operative, line_tag::Operative, "оперативний архів",
                                  "оперативный архив"};
constexpr TableSection kService{Archive::Service, line_tag::Service, "резервний архів", "резервный архив"};
constexpr int kEnergyColumn = 14;
constexpr int kDoneFlags = 27;

QString title(const TableSection& t, int lang) {
    return uaRu(lang, t.titleUa, t.titleRu);
}

ArchiveContext contextIn(const Reading& reading, int lang) {
    return ArchiveContext{reading.profile, reading.image, lang, reading.volumeDecimals};
}

QByteArray tagged(char tag, const QString& text) {
    return QByteArray(1, tag) + toCp1251(text);
}

// The coefficient words the files keep: the meter-coefficient table or the calibration table.
struct CoefficientWords {
    int first = 0;
    int count = 0;
};
CoefficientWords coefficientWords(const ModelProfile& p) {
    if (p.meterCoefModel) return {145, 40};
    if (p.hasCalibrationTable()) return {157, 28};
    return {};
}

// Header, then the words and the coefficient lines: what both files share.
QList<QByteArray> headerLines(const Reading& m) {
    QString done;
    for (int k = 1; k <= kDoneFlags; ++k)
        done += m.kindRead(k) ? QLatin1Char('1') : QLatin1Char('0');
    return {tagged(line_tag::Header, m.text(F::HeaderSerial)),
            tagged(line_tag::Header, m.text(F::Company)),
            tagged(line_tag::Header, m.text(F::Branch)),
            tagged(line_tag::Header, m.text(F::MeterName)),
            tagged(line_tag::Header, m.text(F::Notes)),
            QByteArray(1, line_tag::Header) + m.identification.raw(),
            tagged(line_tag::Header, m.text(F::Date)),
            tagged(line_tag::Header, m.text(F::Time)),
            tagged(line_tag::Header, m.text(F::InitDate)),
            tagged(line_tag::Header, done)};
}

QList<QByteArray> wordLines(const Reading& m) {
    const ParameterImage& img = m.image;
    QList<QByteArray> lines;
    for (int w = 0; w < ParameterImage::kCommonWords; ++w)
        lines.append(QByteArray(1, line_tag::Word) + img.storedText(w));
    const CoefficientWords c = coefficientWords(m.profile);
    for (int k = 0; k < c.count; ++k)
        lines.append(QByteArray(1, line_tag::Word) + img.wordBytes(c.first + k));
    return lines;
}

QList<QByteArray> tableLines(const Reading& m, const TableSection& t, int lang) {
    const ArchiveTables& tables = m.archives;
    const QStringList columns = archiveColumns(t.archive, contextIn(m, lang));
    QList<QByteArray> lines{toCp1251(kSeparator), toCp1251(title(t, lang)), toCp1251(rowLineText(columns))};
    // A read leaves an empty record's row with its number alone; every row still gets a cell for each
    // column, so that a reader finds the columns where the column-title row puts them.
    for (QStringList row : tables.rows(t.archive)) {
        if (row.size() < columns.size()) row.resize(columns.size());
        lines.append(tagged(t.tag, rowLineText(row)));
    }
    return lines;
}

QList<QByteArray> energyLines(const Reading& m, Archive archive, char tag, const char* ua, const char* ru,
                              int lang) {
    const QStringList columns = archiveColumns(archive, contextIn(m, lang));
    QList<QByteArray> lines{toCp1251(kSeparator), toCp1251(uaRu(lang, ua, ru)),
                            toCp1251(columns.value(kEnergyColumn).leftJustified(kCellWidth))};
    for (const QStringList& row : m.archives.rows(archive))
        lines.append(tagged(tag, row.value(kEnergyColumn).leftJustified(kCellWidth)));
    return lines;
}

QList<QByteArray> snapshotLines(const Reading& m, int lang) {
    QList<QByteArray> lines = headerLines(m);
    lines.append(tagged(line_tag::Battery, m.text(F::MeasBatteryVoltage)));
    for (int i = 0; i < 3; ++i)
        lines.append(tagged(line_tag::Battery, QStringLiteral("0")));
    lines += tableLines(m, kHourly, lang);
    lines += tableLines(m, kDaily, lang);
    lines +=
        energyLines(m, Archive::Daily, line_tag::DailyEnergy, "енергія добова", "енергия суточная", lang);
    lines += tableLines(m, kMonthly, lang);
    lines += energyLines(m, Archive::Monthly, line_tag::MonthlyEnergy, "енергія місячна", "енергия месячная",
                         lang);
    lines += tableLines(m, kAbnormal, lang);
    lines += tableLines(m, kInterference, lang);
    lines += tableLines(m, kOperative, lang);
    lines.append(toCp1251(kSeparator));
    lines.append(toCp1251(uaRu(lang, "параметри коректора", "параметры корректора")));
    lines += wordLines(m);
    lines += tableLines(m, kService, lang);
    return lines;
}

QByteArray recordsOf(const QList<QByteArray>& lines, const FileProgress& progress, int total) {
    QByteArray file;
    file.reserve(lines.size() * kLineRecordSize);
    int done = 0;
    for (const QByteArray& line : lines) {
        file += encodeLineRecord(line);
        if (progress) progress(qMin(++done, total), total);
    }
    return file;
}

QString writeFailedText(int lang) {
    return uaRu(lang, "ПОМИЛКА ЗАПИСУ ФАЙЛА ЗВІТУ", "ОШИБКА ЗАПИСИ ФАЙЛА ОТЧЕТА");
}

// The loading of either file: one record after another by its tag.
class Loader {
public:
    Loader(Reading& reading, const QString& path, Notifier& notifier, bool snapshot)
        : m_(reading), path_(path), notifier_(notifier), snapshot_(snapshot), lang_(reading.languageIndex) {}

    // False when loading stopped; the reading is then cleared.
    bool load(const DecodedRecords& records, const FileProgress& progress, int total) {
        int done = 0;
        for (const QByteArray& line : records.lines) {
            if (progress) progress(qMin(++done, total), total);
            if (!take(line)) return fail({});
        }
        if (!records.complete)
            return fail(uaRu(lang_, "ПОМИЛКА! ФОРМАТА ФАЙЛУ:", "ОШИБКА!!! ФОРМАТА ФАЙЛА :") + path_);
        // A file that never named the corrector (an empty one, or one of some other kind) would leave an
        // unread window looking loaded, and storing would register a point "X".
        if (!identified_) return fail(versionUnknownText());
        // A file holds no clock and no measurement: those of an earlier reading do not belong to it.
        m_.clock.reset();
        m_.measurement.reset();
        completeFullRead(m_);
        if (snapshot_) rebuildInterference();
        return true;
    }

    bool fail(const QString& message) {
        m_.clear();
        if (!message.isEmpty()) notifier_.message(MessageKind::Error, message);
        return false;
    }

private:
    bool take(const QByteArray& line) {
        if (line.isEmpty()) return true;
        const char tag = line[0];
        const QByteArray content = line.mid(1);
        switch (tag) {
        case line_tag::Header:
            return header(content);
        case line_tag::Battery:
            if (headers_ < 8) return tooEarly();
            if (!batterySeen_ && !content.isEmpty()) m_.setText(F::MeasBatteryVoltage, fromCp1251(content));
            batterySeen_ = true;
            return true;
        case line_tag::Word:
            word(content);
            return true;
        default:
            break;
        }
        if (!snapshot_) return true;
        switch (tag) {
        case line_tag::Hourly:
            if (headers_ < 8) return tooEarly();
            row(Archive::Hourly, content);
            return true;
        case line_tag::Daily:
            row(Archive::Daily, content);
            return true;
        case line_tag::Monthly:
            row(Archive::Monthly, content);
            return true;
        case line_tag::Abnormal:
            row(Archive::Abnormal, content);
            return true;
        case line_tag::Operative:
            row(Archive::Operative, content);
            return true;
        case line_tag::Service:
            row(Archive::Service, content);
            return true;
        case line_tag::Interference:
            interferenceRow(content);
            return true;
        case line_tag::DailyEnergy:
            energy(Archive::Daily, dailyEnergy_, content);
            return true;
        case line_tag::MonthlyEnergy:
            energy(Archive::Monthly, monthlyEnergy_, content);
            return true;
        default:
            return untagged(fromCp1251(line));
        }
    }

    QString versionUnknownText() const {
        return uaRu(lang_, "Помилка! Версія не визначена!", "Ошибка! Версия не определена!!!");
    }

    bool tooEarly() {
        return fail(uaRu(lang_, "Помилка формату !!! Спробуйте прочитати файл прогр. \"Quon\"",
                         "Ошибка формата !!! Попробуйте прочитать файл прогр. \"Quon\""));
    }

    // The hourly column titles of a file written by the older program hold the meter volume in column 6.
    bool untagged(const QString& text) {
        if (hourlyTitleNext_) {
            hourlyTitleNext_ = false;
            const QString cell6 = splitCells(text).value(6);
            if (cell6.contains(QStringLiteral("Vст"))) return true;
            if (cell6.contains(QStringLiteral("Vсч")) || cell6.contains(QStringLiteral("Vліч")))
                notifier_.message(MessageKind::Error,
                                  uaRu(lang_, "Помилка формату !!! Спробуйте прочитати файл прогр. \"QuonR\"",
                                       "Ошибка формата !!! Попробуйте прочитать файл прогр. \"QuonR\""));
            return false;
        }
        if (text == title(kHourly, lang_)) hourlyTitleNext_ = true;
        return true;
    }

    bool header(const QByteArray& content) {
        ++headers_;
        switch (headers_) {
        case 1:
            m_.setText(F::HeaderSerial, fromCp1251(content));
            return true;
        case 2:
            m_.setText(F::Company, fromCp1251(content));
            return true;
        case 3:
            m_.setText(F::Branch, fromCp1251(content));
            return true;
        case 4:
            m_.setText(F::MeterName, fromCp1251(content));
            return true;
        case 5:
            m_.setText(F::Notes, fromCp1251(content));
            return true;
        case 6:
            return identification(content);
        case 7:
            m_.setText(F::Date, fromCp1251(content));
            return true;
        case 8:
            m_.setText(F::Time, fromCp1251(content));
            return true;
        case 9:
            m_.setText(F::InitDate, fromCp1251(content));
            return true;
        case 10:
            for (int k = 1; k <= kDoneFlags; ++k)
                m_.markKindRead(k, k <= content.size() && content[k - 1] != '0');
            return true;
        default:
            return true;
        }
    }

    bool identification(const QByteArray& content) {
        const IdentificationString id(content.left(IdentificationString::kSize));
        if (content.size() < 15 || !isKnownModelLetter(id.modelLetter())) return fail(versionUnknownText());
        identified_ = true;
        m_.identification = id;
        // The version decides the gas selection, the heat energy and the second port as much as the
        // letter does: a file read back must show what the corrector showed.
        m_.profile = DeriveModelProfile(id, 0);
        m_.setText(F::Software, deviceText(content.left(29)));
        return true;
    }

    void word(const QByteArray& content) {
        const int n = words_++;
        if (content.size() > 32)
            notifier_.message(MessageKind::Error,
                              uaRu(lang_, "ПОМИЛКА! довжини рядка:", "ОШИБКА!!! длины строки :") +
                                  QString::number(n) + QStringLiteral(": ") + fromCp1251(content));
        ParameterImage& img = m_.image;
        if (n < ParameterImage::kCommonWords) {
            img.setStoredText(n, content.left(64));
            return;
        }
        const CoefficientWords c = coefficientWords(m_.profile);
        const int k = n - ParameterImage::kCommonWords;
        if (k < c.count && !content.isEmpty())
            img.setWordBytes(c.first + k, content.left(4).leftJustified(4, '\0'));
    }

    QStringList& rowAt(Archive archive, int n) {
        ArchiveTables& t = m_.archives;
        const int width = static_cast<int>(archiveColumns(archive, contextIn(m_, lang_)).size());
        while (t.rowCount(archive) <= n)
            t.setRow(archive, t.rowCount(archive), QStringList(width));
        scratch_ = t.rows(archive).at(n);
        return scratch_;
    }

    void row(Archive archive, const QByteArray& content) {
        const QStringList cells = splitCells(fromCp1251(content));
        const int n = rowsTaken_[static_cast<int>(archive)]++;
        QStringList& r = rowAt(archive, n);
        if (r.size() < cells.size()) r.resize(cells.size());
        r[0] = cells.value(0);
        const NormalisedDate date = NormaliseDateCell(cells.value(1));
        if (date.valid) {
            r[1] = date.text;
            r[2] = NormaliseTimeCell(cells.value(2));
            for (int c = 3; c < cells.size(); ++c)
                r[c] = cells[c];
            const bool closing = archive == Archive::Daily || archive == Archive::Monthly;
            if (closing && r.size() > 15 && r[15].isEmpty()) r[15] = QStringLiteral("--");
        }
        m_.archives.setRow(archive, n, r);
    }

    void interferenceRow(const QByteArray& content) {
        const QStringList cells = splitCells(fromCp1251(content));
        const int n = rowsTaken_[static_cast<int>(Archive::Interference)]++;
        QStringList& r = rowAt(Archive::Interference, n);
        if (r.size() < 8) r.resize(8);
        r[0] = cells.value(0);
        const NormalisedDate date = NormaliseDateCell(cells.value(1));
        if (date.valid) {
            r[1] = date.text;
            r[2] = NormaliseTimeCell(cells.value(2));
            r[7] = cells.value(7);
        }
        m_.archives.setRow(Archive::Interference, n, r);
    }

    void energy(Archive archive, int& taken, const QByteArray& content) {
        const int n = taken++;
        ArchiveTables& t = m_.archives;
        if (n >= t.rowCount(archive)) return;
        QStringList r = t.rows(archive).at(n);
        if (r.value(2).isEmpty()) return;
        if (r.size() <= kEnergyColumn) r.resize(kEnergyColumn + 1);
        r[kEnergyColumn] = splitCells(fromCp1251(content)).value(0);
        t.setRow(archive, n, r);
    }

    // Who changed what, before and after, decoded again from the record's bytes in the window's language.
    void rebuildInterference() {
        ArchiveTables& t = m_.archives;
        const ArchiveContext context = contextIn(m_, lang_);
        for (int n = 0; n < t.rowCount(Archive::Interference); ++n) {
            QStringList r = t.rows(Archive::Interference).at(n);
            if (r.value(7).isEmpty()) continue;
            const InterferenceCells cells = decodeInterference(QByteArray::fromHex(r[7].toLatin1()), context);
            r[3] = cells.who;
            r[4] = cells.parameter;
            r[5] = cells.before;
            r[6] = cells.after;
            t.setRow(Archive::Interference, n, r);
        }
    }

    Reading& m_;
    QString path_;
    Notifier& notifier_;
    bool snapshot_;
    int lang_;
    int headers_ = 0;
    int words_ = 0;
    bool identified_ = false;
    bool batterySeen_ = false;
    bool hourlyTitleNext_ = false;
    int dailyEnergy_ = 0;
    int monthlyEnergy_ = 0;
    std::array<int, kArchiveCount + 1> rowsTaken_{};
    QStringList scratch_;
};

// What a file is loaded into: nothing read yet, in the language and with the decimals asked for.
Reading emptyReading(int languageIndex, int volumeDecimals) {
    Reading reading;
    reading.languageIndex = languageIndex;
    reading.volumeDecimals = volumeDecimals;
    reading.source = SourceKind::File;
    return reading;
}

bool writeLines(const QString& path, const QList<QByteArray>& lines, const FileProgress& progress,
                int total) {
    return writeFileAtomically(path, recordsOf(lines, progress, total));
}

} // namespace

bool hasDataToSave(const Reading& reading) {
    QString serial = reading.text(F::HeaderSerial);
    serial.remove(QLatin1Char(' '));
    return !serial.isEmpty() && !serial.startsWith(QLatin1Char('X'));
}

QString noDataText(int languageIndex) {
    return uaRu(languageIndex, "Немає даних", "Нет данных");
}

QString proposedFileName(const Reading& reading, const QDate& today) {
    const ModelProfile& p = reading.profile;
    const QChar first = reading.identification.character(1);
    QString code;
    if (p.versionNumber < versionNumber("44s")) code = QStringLiteral("o");
    if (p.series2Model) code = QStringLiteral("t");
    if (p.meterCoefModel) code = QStringLiteral("w");
    if (p.calibModel) code = QStringLiteral("R");
    if (p.calibModel2) code = QStringLiteral("r");
    if (p.calibModel && p.hfModel) code = QStringLiteral("F");
    if (p.calibModel2 && p.hfModel) code = QStringLiteral("f");
    if (p.calibModel && first == QLatin1Char('R')) code = QStringLiteral("S");
    if (p.calibModel2 && first == QLatin1Char('r')) code = QStringLiteral("s");
    const QString serial = reading.text(F::HeaderSerial);
    const QString serialPart = serial.size() > 4 ? serial.left(5) : QStringLiteral("00000");
    return code + serialPart + QLatin1Char('_') + today.toString(QStringLiteral("yyMMdd"));
}

QString finalFileName(const QString& chosenPath, const QString& extension) {
    const QFileInfo info(chosenPath);
    QString name = info.fileName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0) name.truncate(dot);
    const QString folder = chosenPath.left(chosenPath.size() - info.fileName().size());
    return folder + name + QLatin1Char('.') + extension;
}

QString overwriteQuestion(const QString& finalPath, int languageIndex) {
    return QStringLiteral("Файл \"") + finalPath + QLatin1Char('"') +
           uaRu(languageIndex, "вже існує перезаписати?", "уже существует, перезаписать?");
}

FileOutcome saveSnapshot(const Reading& reading, const QString& path, int languageIndex,
                         const FileProgress& progress) {
    if (!hasDataToSave(reading)) return {false, noDataText(languageIndex)};
    const ArchiveTables& t = reading.archives;
    int total = 144;
    for (Archive a : {Archive::Daily, Archive::Interference, Archive::Monthly, Archive::Abnormal,
                      Archive::Operative, Archive::Hourly})
        total += t.rowCount(a);
    if (!writeLines(path, snapshotLines(reading, languageIndex), progress, total))
        return {false, writeFailedText(languageIndex)};
    return {true, {}};
}

LoadedReading loadParameterFile(const QString& path, Notifier& notifier, int languageIndex,
                                int volumeDecimals, const FileProgress& progress) {
    LoadedReading loaded{{}, emptyReading(languageIndex, volumeDecimals), false};
    Reading& reading = loaded.reading;
    for (int k = 1; k <= kDoneFlags; ++k)
        reading.markKindRead(k);
    const int lang = languageIndex;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const QString message = uaRu(lang, "ПОМИЛКА! ВІДКРИТТЯ ФАЙЛУ :", "ОШИБКА!!! ОТКРЫТИЯ ФАЙЛА :") + path;
        notifier.message(MessageKind::Error, message);
        loaded.outcome = {false, message};
        return loaded;
    }
    loaded.opened = true;
    const DecodedRecords records = decodeLineRecords(file.readAll());
    const int total = static_cast<int>(file.size() / 150);
    Loader loader(reading, path, notifier, true);
    loaded.outcome = {loader.load(records, progress, total), {}};
    return loaded;
}

QString pointParameterFilePath(const DataRoot& root, const QString& identifier) {
    if (identifier.isEmpty()) return {};
    return root.file(folder::Param, QStringLiteral("p_") + identifier + QStringLiteral(".000"));
}

bool writePointParameterFile(const Reading& reading, const QString& path) {
    if (path.isEmpty()) return false;
    QList<QByteArray> lines = headerLines(reading);
    lines.append(toCp1251(kSeparator));
    lines.append(toCp1251(QStringLiteral("параметры прибора")));
    lines += wordLines(reading);
    return writeLines(path, lines, {}, 0);
}

LoadedReading loadPointParameterFile(const QString& path, Notifier& notifier, int languageIndex,
                                     int volumeDecimals) {
    LoadedReading loaded{{}, emptyReading(languageIndex, volumeDecimals), false};
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) return loaded;
    loaded.opened = true;
    Loader loader(loaded.reading, path, notifier, false);
    loaded.outcome.ok = loader.load(decodeLineRecords(file.readAll()), {}, 0);
    return loaded;
}

FileOutcome exportText(const Reading& reading, const QString& path, int languageIndex) {
    const int lang = languageIndex;
    if (!hasDataToSave(reading)) return {false, noDataText(lang)};
    const ParameterImage& img = reading.image;
    auto label = [](const QString& text) { return text.leftJustified(25) + QLatin1Char('\t'); };
    const std::pair<QString, F> head[] = {
        {uaRu(lang, "Номер коректора", "Номер корректора"), F::HeaderSerial},
        {uaRu(lang, "Підприємство", "Предприятие "), F::Company},
        {uaRu(lang, "Гілка трубопроводу", "Ветка трубопровода "), F::Branch},
        {uaRu(lang, "тип лічильника", "тип cчетчика "), F::MeterName},
        {uaRu(lang, "Інф. для нотаток", "Инф. для заметок "), F::Notes},
        {uaRu(lang, "версія ПЗ", "версия ПО "), F::Software},
        {QStringLiteral("дата "), F::Date},
        {uaRu(lang, "час ", "время "), F::Time},
        {QStringLiteral("Vбат. кор. "), F::MeasBatteryVoltage},
        {uaRu(lang, "Час реєстрації", "Время регистрации "), F::InitDate},
    };
    QStringList lines;
    for (const auto& [text, field] : head) {
        QString value = reading.text(field);
        // The software version is the whole 32-character identification, as the snapshot's header
        // carries it: the window's field shows its first 29 characters only, and an archive read fills
        // that field only through the full parameter read.
        if (field == F::Software && !reading.identification.raw().isEmpty())
            value = deviceText(reading.identification.raw());
        lines.append(label(text) + value);
    }
    lines.append(kSeparator);
    lines.append(uaRu(lang, "параметри коректора", "параметры корректора"));
    for (int w = 45; w <= 100; ++w) {
        if (w > 65 && w < 73) continue;
        lines.append(label(WordName(w, lang)) + fromCp1251(img.storedText(w)));
    }
    for (const TableSection* t : {&kHourly, &kDaily, &kMonthly, &kAbnormal, &kInterference, &kOperative}) {
        lines.append(kSeparator);
        lines.append(title(*t, lang));
        const QStringList columns = archiveColumns(t->archive, contextIn(reading, lang));
        QList<QStringList> rows{columns};
        rows += reading.archives.rows(t->archive);
        for (QStringList row : rows) {
            // An empty record's row as a read leaves it (its number alone) gets every column, as the
            // same rows loaded from a saved file do.
            if (row.size() < columns.size()) row.resize(columns.size());
            if (t->archive == Archive::Interference && row.size() > 7) row.resize(7);
            QString line;
            for (const QString& cell : row)
                line += cell.leftJustified(kCellWidth) + QLatin1Char('\t');
            lines.append(line);
        }
    }
    if (!writeTextLines(path, lines)) return {false, writeFailedText(lang)};
    return {true, uaRu(lang, "ФАЙЛ ЗВІТУ ЗАПИСАН", "ФАЙЛ ОТЧЕТА ЗАПИСАН")};
}

} // namespace tarn::corrector
