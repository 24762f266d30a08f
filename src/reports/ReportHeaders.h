#pragma once
// Where a report's facts about the corrector come from: the corrector just read (the corrector window's
// fields), or a stored point: who it is from its registry row, what it is programmed with from its
// parameter file.
#include "common/DataRoot.h"
#include "common/Notifier.h"
#include "corrector/Reading.h"
#include "database/Registry.h"
#include "reports/CommercialReport.h"

#include <optional>

namespace tarn::reports {

ReportHeader headerFromCorrector(const corrector::Reading& reading, int languageIndex);
// A stored point: who it is, without what it is programmed with (enough for the listings), and the
// installation's volume decimals its volumes are shown with.
ReportHeader headerFromPoint(const database::Point& point, int volumeDecimals);

// What the corrector's parameters tell a report: the meter, the contract load, the contract day and
// hour, the units, the device kind and the parameter block. Who the corrector is stays as it was.
void takeParameters(ReportHeader& header, const corrector::Reading& reading, int languageIndex);

struct StoredPointHeader {
    std::optional<ReportHeader> header; // nothing: no report can be made for the point
    QString message; // why, when it is still to be told; a file that did not load has told it already
};
// A stored point's commercial report: the point as its registry row names it (point), with what its
// parameter file Param\p_<identifier>.000 says it is programmed with. A missing file gives
// "Внимание!!! Нет файла параметров для корректора - " + model + " N" + serial.
StoredPointHeader storedPointHeader(const DataRoot& root, const QString& identifier,
                                    const ReportHeader& point, int languageIndex, Notifier& notifier);

} // namespace tarn::reports
