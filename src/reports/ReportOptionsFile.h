#pragma once
// Current\report.000: the report window's choices, written when it closes and read when it opens.
#include "common/DataRoot.h"
#include "reports/CommercialReport.h"

#include <QTime>

namespace tarn::reports {

struct ReportWindowOptions {
    QDate beginDate = QDate::currentDate();
    QTime beginTime = QTime(0, 0);
    QDate endDate = QDate::currentDate();
    QTime endTime = QTime(0, 0);
    bool database = false;      // "БД"
    int periodKind = 1;         // 1 "Месяц", 2 "Период", 3 "Сутки", 4 "Пр.пар"
    int databaseKind = 1;       // 1 "Отчет", 2 "Стат.дан.", 3 "Перечень", 4 "Опрос"
    int object = 1;             // 1 "Коррект", 2 "Группа", 3 "Газ"
    int detail = 2;             // 1 "Краткий", 2 "Полный"
    int archive = 1;            // 1 daily, 2 hourly, 3 alarm, 4 operative, 5 service, 6 instantaneous
    bool standardVolume = true; // "Vстд.об"
    bool shortAlarms = false;   // "Кратк.НШС"
    bool groupSummary = false;  // "сводная таблица группы"
    bool computeTotals = false; // "расч.Vобщ.стд.Vсч."
};

// The defaults when the file is missing; a line that does not read keeps its default.
ReportWindowOptions loadReportWindowOptions(const DataRoot& root);
bool saveReportWindowOptions(const DataRoot& root, const ReportWindowOptions& options);

} // namespace tarn::reports
