#pragma once
// "ПРОГРАММИРУЕМЫЕ ПАРАМЕТРЫ": what the corrector is programmed with, printed from the corrector window's
// fields as they stand — the corrector just read, or a stored point's parameter file loaded without a
// link. The head and the device block as the commercial report has them, the settings table, the
// switches and, on the models that keep one, the meter-coefficient or the calibration table.
#include "common/DataRoot.h"
#include "common/Notifier.h"
#include "corrector/Reading.h"
#include "reports/CommercialReport.h"

#include <QDateTime>
#include <QStringList>
#include <optional>

namespace tarn::reports {

// What the parameter printout and the workbook's parameter list ask of the corrector in the window: the
// field of an item as shown, the model conditions their rows depend on, and the units they print.
class PrintedCorrector {
protected:
    explicit PrintedCorrector(const corrector::Reading& reading)
        : m_(reading), p_(reading.profile), img_(reading.image) {}

    QString item(int n) const;
    bool calibration() const { return p_.calibModel || p_.calibModel2; }
    bool panelModel() const { return p_.series2Model || p_.calibModel2; }
    // A complex: the calibration models, except the high-frequency ones.
    bool complex() const { return calibration() && !p_.hfModel; }
    bool foreignGas() const { return p_.gasSelection && img_.gasIndex() != 0; }
    bool fixedMethod() const;
    QString volumeUnit() const;
    QString pressureUnit() const;
    // Gauge and barometric pressure (words 66 and 67) from their display text: kgf/cm² as they stand with
    // 4 decimals, MPa converted with 5.
    QString panelPressure(int word) const;

    const corrector::Reading& m_;
    const corrector::ModelProfile& p_;
    const corrector::ParameterImage& img_;
};

struct ParameterPrintoutOptions {
    int languageIndex = 2; // the report language (kRussian)
    QString beginDate;     // the report window's begin date as its field shows it
    // The newest interference record the database holds for the point ("БД"); without one the corrector
    // window's interference table tells the last correction.
    std::optional<QDateTime> newestStoredIntervention;
    QDateTime now;
};

struct ParameterPrintout {
    QStringList lines; // the work file's lines, up to where the printout stopped
    QString message;   // what the user is told: why it stopped, or why there is nothing; empty when whole
    bool ok = true;    // false: nothing to print
};

ParameterPrintout printParameters(const corrector::Reading& reading, const ParameterPrintoutOptions& options);

// "Дата последней  коррекции": the newest stored intervention, else the row of the newest interference
// record in the window's table (the first row when the table does not reach it), else "------- / ----".
QString lastCorrectionText(const corrector::Reading& reading, const std::optional<QDateTime>& newestStored);

// "Внимание!!! Нет файла параметров для корректора - " + model + " N" + serial.
QString missingParameterFileText(const QString& model, const QString& serial);
// A stored point's listing needs its parameter file: the message above when Param\p_<identifier>.000 is not
// there, nothing when it is.
std::optional<QString> missingParameterFile(const DataRoot& root, const QString& identifier,
                                            const QString& model, const QString& serial);

// A stored point: its parameter file Param\p_<identifier>.000 loaded, then printed. The point's model and
// serial number name it when the file is missing; a file that does not load has been told through the
// notifier.
ParameterPrintout printPointParameters(const DataRoot& root, const QString& identifier, const QString& model,
                                       const QString& serial, const ParameterPrintoutOptions& options,
                                       Notifier& notifier);

} // namespace tarn::reports
