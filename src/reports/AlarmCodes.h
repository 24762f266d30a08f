#pragma once
// The sixteen abnormal situations of the corrector's situation word, in the order the reports number
// them. The masks are not in bit order (situations 4 and 7 carry 0x0010 and 0x0008). Situation 15
// is no situation: it marks the record that closes a gas day.
#include <QString>
#include <QtGlobal>

namespace tarn::reports {

inline constexpr int kAlarmSituations = 16;
inline constexpr int kDayClosingSituation = 15;
inline constexpr int kFlowSimulationSituation = 12;

quint16 alarmMask(int situation); // 1..16
// The situation's name; a metering complex names situation 12 after its flow sensor.
QString alarmName(int situation, bool ukrainian, bool complex);

} // namespace tarn::reports
