#pragma once
// Laying out a new installation: the whole folder tree and the files an installation ships with.
#include "common/DataRoot.h"
#include "database/CsvSideOutput.h"

#include <QChar>
#include <QString>

namespace tarn::shell {

struct InitReport {
    bool ok = true;
    QStringList created; // files written
    QString error;
};

// Creates the missing folders and the shipped files that are missing (existing files are kept):
// Work\Type_Leng.000 ("UA"), Work\PortMap.000 (an explanatory default), Doc\Tarn.pdf, and, in a Sound
// folder (Sound\) without any ".wav", the alarm sounds "Alarm1.wav" … "Alarm10.wav".
InitReport initInstallation(const DataRoot& root);

inline constexpr int kAlarmSounds = 10;
// Alarm sound n: a 300 ms tone (16-bit mono PCM, 22050 Hz), pitch rising with n, the even ones warbling.
QByteArray alarmToneWav(int number);

// The CSV field delimiter of every CSV output (Current\Delim.000).
using database::readCsvDelimiter;

} // namespace tarn::shell
