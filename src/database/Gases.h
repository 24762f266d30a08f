#pragma once
// The gas compositions a metering point can name: density (kg/m³), CO2 and N2 (%), each checked as the
// corrector checks the same parameters, names unique.
#include "corrector/ItemTable.h"
#include "database/TableFile.h"

namespace tarn::database {

struct GasComposition {
    QString name;
    QString density;
    QString co2;
    QString n2;
};

// The corrector's own check of one value as the user types it (0 density, 1 CO2, 2 N2).
corrector::CheckResult gasValueCheck(int which, const QString& text);
// Which of the three values fails the corrector's own range check (0 density, 1 CO2, 2 N2); nothing when
// all pass.
std::optional<int> gasValueOutOfRange(const GasComposition& gas);

class Gases {
public:
    explicit Gases(Storage& storage);
    // The same over the table files under root.
    Gases(const DataRoot& root, const Schemas& schemas);
    bool ok() const { return table_ != nullptr; }
    QList<GasComposition> all() const;
    QStringList names() const;
    // Empty on success, else the message: "в БД газ - "<name>" уже есть!!!" or "проверь набор параметров!!!".
    QString add(const GasComposition& gas, const QDateTime& now = QDateTime::currentDateTime());
    QString change(const QString& name, const GasComposition& gas);
    bool remove(const QString& name);

private:
    std::unique_ptr<Table> table_;
};

} // namespace tarn::database
