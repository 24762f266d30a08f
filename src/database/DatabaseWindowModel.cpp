#include "database/DatabaseWindowModel.h"

#include "database/StoredRecords.h"

#include "common/Language.h"
#include "common/TextFile.h"

namespace tarn::database {

namespace {

constexpr const char* kColumnsFile = "TypeBD_C.000";

int gridIndex(TableKind kind) {
    for (std::size_t i = 0; i < kPointGridOrder.size(); ++i)
        if (kPointGridOrder[i] == kind) return static_cast<int>(i);
    return -1;
}

} // namespace

QString pointGridCaption(TableKind kind, int language) {
    switch (kind) {
    case TableKind::Hourly:
        return uaRu(language, "Годинний", "Часовой");
    case TableKind::Daily:
        return uaRu(language, "Добовий", "Суточный");
    case TableKind::Monthly:
        return uaRu(language, "Місячний", "Месячный");
    case TableKind::Interference:
        return uaRu(language, "Втручання", "Вмешательства");
    case TableKind::Alarm:
        return uaRu(language, "Аварійний", "Аварийный");
    case TableKind::Operative:
        return uaRu(language, "Оперативний", "Оперативный");
    case TableKind::Measurement:
        return uaRu(language, "Миттєві", "Мгновенные");
    case TableKind::Service:
        return uaRu(language, "Службовий", "Служебный");
    case TableKind::RequestLog:
        return uaRu(language, "Журнал запитів", "Журнал запросов");
    case TableKind::HeatDay:
        return uaRu(language, "Енергія (доба)", "Энергия (сутки)");
    case TableKind::HeatMonth:
        return uaRu(language, "Енергія (місяць)", "Энергия (месяц)");
    default:
        return {};
    }
}

DatabaseWindowModel::DatabaseWindowModel(const DataRoot& root, Storage& storage)
    : root_(root), storage_(storage) {
    start();
}

DatabaseWindowModel::DatabaseWindowModel(const DataRoot& root, const Schemas& schemas)
    : root_(root), ownStorage_(std::make_unique<SqliteStorage>(root, schemas)), storage_(*ownStorage_) {
    start();
}

DatabaseWindowModel::~DatabaseWindowModel() = default;

void DatabaseWindowModel::start() {
    for (auto& grid : pointGrids_)
        grid = std::make_unique<StoredTableModel>();
    // A missing or unreadable choice shows the columns.
    if (const auto lines = readTextLines(root_.file(folder::Work, QString::fromLatin1(kColumnsFile))))
        identityColumnsShown_ = lines->isEmpty() || removeSpaces(lines->first()) != QLatin1String("0");
    refresh();
}

StoredTableModel& DatabaseWindowModel::pointGrid(TableKind kind) {
    const int i = gridIndex(kind);
    return *pointGrids_[static_cast<std::size_t>(i < 0 ? 0 : i)];
}

const StoredTableModel& DatabaseWindowModel::pointGrid(TableKind kind) const {
    const int i = gridIndex(kind);
    return *pointGrids_[static_cast<std::size_t>(i < 0 ? 0 : i)];
}

void DatabaseWindowModel::refresh() {
    if (!registryGrid_.isShown())
        registryGrid_.show(storage_, {TableKind::Registry, {}, {}});
    else
        registryGrid_.refresh();
    if (!gasGrid_.isShown())
        gasGrid_.show(storage_, {TableKind::Gas, {}, {}});
    else
        gasGrid_.refresh();
    // The selected point may have changed its settings or been erased by another program.
    if (selected_) {
        Registry registry(root_, storage_);
        selected_ = registry.find(selected_->identifier);
        if (selected_)
            for (auto& grid : pointGrids_)
                grid->refresh();
        else
            releasePointTables();
    }
}

void DatabaseWindowModel::selectRow(int row) {
    if (row < 0 || row >= registryGrid_.rowCount()) {
        selected_.reset();
        releasePointTables();
        return;
    }
    selectPoint(registryGrid_.value(row, QStringLiteral("kIdentif")).toString().trimmed());
}

bool DatabaseWindowModel::selectPoint(const QString& identifier) {
    Registry registry(root_, storage_);
    const auto point = registry.find(identifier);
    if (selected_ && point && selected_->identifier == point->identifier) return true;
    selected_ = point;
    releasePointTables();
    if (selected_) showPointTables();
    return selected_.has_value();
}

int DatabaseWindowModel::selectedRow() const {
    if (!selected_) return -1;
    for (int row = 0; row < registryGrid_.rowCount(); ++row)
        if (registryGrid_.value(row, QStringLiteral("kIdentif")).toString().trimmed() ==
            selected_->identifier)
            return row;
    return -1;
}

QString DatabaseWindowModel::title() const {
    const QString who = selected_ ? selected_->model + QStringLiteral(" №") + selected_->serial
                                  : QStringLiteral("--- № ----");
    return QStringLiteral("Таблицы БД   (выбран: ") + who + QLatin1Char(')');
}

bool DatabaseWindowModel::toggleIdentityColumns() {
    identityColumnsShown_ = !identityColumnsShown_;
    return writeTextLines(root_.file(folder::Work, QString::fromLatin1(kColumnsFile)),
                          {identityColumnsShown_ ? QStringLiteral("1") : QStringLiteral("0")});
}

QList<int> DatabaseWindowModel::hiddenColumns(TableKind kind) const {
    QList<int> hidden;
    if (identityColumnsShown_) return hidden;
    const QList<FieldSpec>& fields = storage_.schemas().of(kind);
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const QString base = fields.at(i).name.mid(1);
        if (base == QLatin1String("SerialNum") || base == QLatin1String("TypeQuon"))
            hidden.append(static_cast<int>(i));
    }
    return hidden;
}

void DatabaseWindowModel::showPointTables() {
    for (TableKind kind : kPointGridOrder)
        pointGrid(kind).show(storage_, {kind, selected_->identifier, {}});
}

void DatabaseWindowModel::releasePointTables() {
    for (auto& grid : pointGrids_)
        grid->release();
}

QString DatabaseWindowModel::eraseQuestion() const {
    if (!selected_) return {};
    return QStringLiteral("Данные корректора ") + selected_->model + QStringLiteral(" №") +
           selected_->serial + QStringLiteral("  удалить? ");
}

QString DatabaseWindowModel::eraseHeading() const {
    if (!selected_) return {};
    return QStringLiteral("Удаление данных корректора ") + selected_->model + QStringLiteral(" №") +
           selected_->serial;
}

QString DatabaseWindowModel::eraseSelected(const std::function<void(int, int)>& progress) {
    const QString identifier = prepareErase();
    if (identifier.isEmpty()) return QStringLiteral("Ошибка!!! НЕ ОПРЕДЕЛЕН КОРРЕКТОР");
    const QString error = erasePoint(identifier, progress);
    finishErase(error);
    return error;
}

QString DatabaseWindowModel::prepareErase() {
    if (!selected_) return {};
    // The grids let go of the point's files before they go.
    releasePointTables();
    return selected_->identifier;
}

QString DatabaseWindowModel::erasePoint(const QString& identifier,
                                        const std::function<void(int, int)>& progress) const {
    Registry registry(root_, storage_);
    if (!groups_) return registry.erase(identifier, progress);
    return registry.erase(identifier, *groups_, progress);
}

void DatabaseWindowModel::finishErase(const QString& error) {
    if (error.isEmpty()) {
        selected_.reset();
        registryGrid_.refresh();
    } else {
        showPointTables();
    }
}

namespace {
// The archive's words in the deletion question; the operative archive's ends in a hyphen.
const char* recordQuestionHead(TableKind kind) {
    switch (kind) {
    case TableKind::Hourly:
        return "Выделенную запись часового архива \"ном.зап.=";
    case TableKind::Daily:
        return "Выделенную запись суточного архива \"ном.зап.=";
    case TableKind::Monthly:
        return "Выделенную запись месячного архива \"ном.зап.=";
    case TableKind::Interference:
        return "Выделенную запись архива изменений \"ном.зап.=";
    case TableKind::Alarm:
        return "Выделенную запись аварийного архива \"ном.зап.=";
    case TableKind::Operative:
        return "Выделенную запись оперативного архива \"ном.зап.-";
    case TableKind::Service:
        return "Выделенную запись специального архива \"ном.зап.=";
    default:
        return nullptr;
    }
}

QString prefixed(TableKind kind, const char* field) {
    return QString(tableInfo(kind).fieldPrefix) + QLatin1String(field);
}
} // namespace

QString DatabaseWindowModel::deleteRecordQuestion(TableKind kind, int row) const {
    const char* head = recordQuestionHead(kind);
    if (!head || !selected_ || row < 0) return {};
    const StoredTableModel& grid = pointGrid(kind);
    if (row >= grid.rowCount()) return {};
    return QString::fromUtf8(head) + grid.value(row, prefixed(kind, "NumWrCor")).toString().trimmed() +
           QStringLiteral("\" Удалить?");
}

bool DatabaseWindowModel::deleteRecord(TableKind kind, int row) {
    if (!recordQuestionHead(kind) || !selected_ || row < 0) return false;
    StoredTableModel& grid = pointGrid(kind);
    if (row >= grid.rowCount()) return false;
    const qint64 number = grid.value(row, prefixed(kind, "Num")).toLongLong();
    const TableId shown{kind, selected_->identifier, {}};
    // The grid lets go of the table first: its open query would keep the row from being deleted.
    grid.release();
    const bool deleted = deleteStoredRecord(storage_, kind, selected_->identifier, number);
    grid.show(storage_, shown);
    return deleted;
}

int DatabaseWindowModel::saveConfig(const PointConfig& config) {
    if (!selected_) return 0;
    Registry registry(root_, storage_);
    const int changed = registry.updateConfig(selected_->identifier, config);
    refresh();
    return changed;
}

} // namespace tarn::database
