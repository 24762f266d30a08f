#pragma once
// Where a report's facts about the corrector come from: the corrector just read (the corrector window's
// fields), or the registry row of a stored point.
#include "corrector/CorrectorWindowModel.h"
#include "database/Registry.h"
#include "reports/CommercialReport.h"

namespace tarn::reports {

ReportHeader headerFromCorrector(const corrector::CorrectorWindowModel& model, int languageIndex);
// A stored point: who it is; the parameter block waits for the point's parameter file.
ReportHeader headerFromPoint(const database::Point& point);

} // namespace tarn::reports
