#pragma once
// The decisions inside a point's items, apart from the line work: which pages of an archive to read
// from the stored last record on, whether the clock needs a correction and by how much, whether the
// corrector's gas parameters already are the point's.
#include "common/DataRoot.h"
#include "corrector/Archives.h"
#include "corrector/ParameterImage.h"
#include "database/Gases.h"
#include "database/Schema.h"

#include <QDateTime>
#include <QString>
#include <array>
#include <functional>
#include <optional>

namespace tarn::polling {

// What the clock check does with the corrector's clock: the difference in whole minutes (computer minus
// corrector), and the correction written (0: none). Dates and times are compared as one timestamp, so a
// drift across midnight is an ordinary drift; only a clock more than twelve hours off is a wrong date.
struct ClockVerdict {
    bool wrongDate = false;
    int differenceMinutes = 0;
    int correction = 0;
};
ClockVerdict checkClock(const QDateTime& computer, const QDateTime& corrector);

// The index of an archive item in the stored last records (hourly, daily, monthly, abnormal,
// interference, operative, service); -1 for the other items.
int lastStoredIndexOfItem(int item);
// The corrector's newest record of a read kind.
quint16 newestRecordOfKind(const corrector::ArchivePointers& pointers, int kind);

// An archive item's first read. storedNumber -1: nothing stored yet.
struct ArchiveStart {
    enum class Read { Whole, Nothing, StoredRecordPage } read = Read::Whole;
    int storedPage = 0; // the page of the stored last record (StoredRecordPage)
};
ArchiveStart planArchiveStart(const std::optional<corrector::ArchiveGeometry>& geometry, int storedNumber,
                              int correctorNumber, bool additionalRecordCheck);

// After the stored record's page was read: sameRecord, whether it holds the stored record unchanged.
struct ArchiveFollowUp {
    enum class Read { Whole, Nothing, Pages } read = Read::Whole;
    bool recordsEqual = false; // nothing to read because the numbers agree (the additional check)
    int firstPage = 0;
    int pageCount = 0;
};
ArchiveFollowUp planArchiveFollowUp(const corrector::ArchiveGeometry& geometry, bool sameRecord,
                                    int storedNumber, int correctorNumber, int storedPage);

// Two texts that are the same number.
bool sameNumber(const QString& a, const QString& b);
// The gas composition of that name in the gas table.
std::optional<database::GasComposition> gasNamed(database::Storage& storage, const QString& name);
// The first of density, CO2 and N2 at or after from whose corrector value (item 1..3, itemText) differs
// from the point's; 3 when none does.
int nextGasValueToWrite(const std::array<QString, 3>& values,
                        const std::function<QString(int item)>& itemText, int from);

} // namespace tarn::polling
