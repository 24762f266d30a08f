#include "database/Gases.h"

#include "corrector/ItemTable.h"

namespace tarn::database {

namespace {
// The corrector's items of the same values: density, CO2, N2.
constexpr int kGasItems[] = {1, 2, 3};

QString checkFailedText() {
    return QStringLiteral("проверь набор параметров!!!");
}
} // namespace

corrector::CheckResult gasValueCheck(int which, const QString& text) {
    const corrector::ParameterImage image;
    const corrector::ModelProfile profile;
    const corrector::ItemContext context{profile};
    return corrector::CheckItemValue(kGasItems[which], text, image, context).result;
}

std::optional<int> gasValueOutOfRange(const GasComposition& gas) {
    const QString values[] = {gas.density, gas.co2, gas.n2};
    for (int i = 0; i < 3; ++i)
        if (gasValueCheck(i, values[i]) != corrector::CheckResult::valueOk) return i;
    return std::nullopt;
}

Gases::Gases(Storage& storage) {
    Error ignored; // a gas table that cannot be opened shows as not ok()
    table_ = storage.openShared(TableKind::Gas, ignored);
}

Gases::Gases(const DataRoot& root, const Schemas& schemas) {
    SqliteStorage storage(root, schemas);
    Error ignored;
    table_ = storage.openShared(TableKind::Gas, ignored);
}

QList<GasComposition> Gases::all() const {
    QList<GasComposition> gases;
    if (!table_) return gases;
    for (const QVariantList& row : table_->select())
        gases.append({row.value(2).toString().trimmed(), row.value(3).toString(), row.value(4).toString(),
                      row.value(5).toString()});
    return gases;
}

QStringList Gases::names() const {
    QStringList names;
    for (const GasComposition& g : all())
        names.append(g.name);
    return names;
}

QString Gases::add(const GasComposition& gas, const QDateTime& now) {
    if (!table_) return QStringLiteral("no gas table");
    const QString name = gas.name.trimmed();
    if (name.isEmpty() || names().contains(name))
        return QStringLiteral("в БД газ - \"") + name + QStringLiteral("\" уже есть!!!");
    if (gasValueOutOfRange(gas)) return checkFailedText();
    if (!table_->append({{QStringLiteral("gDateTime"), storedTimestamp(now)},
                         {QStringLiteral("gNameGas"), name},
                         {QStringLiteral("gDen"), gas.density.trimmed()},
                         {QStringLiteral("gCO2"), gas.co2.trimmed()},
                         {QStringLiteral("gN2"), gas.n2.trimmed()},
                         {QStringLiteral("gComment"), QStringLiteral("0")}}))
        return table_->lastError();
    return {};
}

QString Gases::change(const QString& name, const GasComposition& gas) {
    if (!table_ || !names().contains(name)) return QStringLiteral("Нет данных");
    if (gasValueOutOfRange(gas)) return checkFailedText();
    const std::pair<const char*, QString> values[] = {
        {"gDen", gas.density.trimmed()}, {"gCO2", gas.co2.trimmed()}, {"gN2", gas.n2.trimmed()}};
    for (const auto& [field, value] : values)
        if (!table_->update(QStringLiteral("gNameGas"), name, QString::fromLatin1(field), value))
            return table_->lastError();
    return {};
}

bool Gases::remove(const QString& name) {
    // The seed's name "0" is never a composition to delete.
    if (!table_ || name == QLatin1String("0") || !names().contains(name)) return false;
    return table_->remove(QStringLiteral("gNameGas"), name);
}

} // namespace tarn::database
