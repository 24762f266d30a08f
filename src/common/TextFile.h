#pragma once
// Settings and text outputs of an installation: Windows-1251, one value per line, lines ended by CR LF.
#include <QString>
#include <QStringList>
#include <optional>

namespace tarn {

// Reads every line of a Windows-1251 text file. CR LF, LF and a lone CR all end a line; a final line
// ending does not make an extra empty line. Returns nothing when the file is missing or unreadable.
// Files larger than maxBytes are refused (nothing returned): settings files are small.
std::optional<QStringList> readTextLines(const QString& path, qint64 maxBytes = 16 * 1024 * 1024);

// Writes the lines, each followed by CR LF, atomically: the old file stays whole until the new one
// is complete. Creates no folders. Returns false when the file could not be written.
bool writeTextLines(const QString& path, const QStringList& lines);

// The bytes writeTextLines writes: each line in Windows-1251 followed by CR LF.
QByteArray textFileBytes(const QStringList& lines);

// Same, for a file that is rewritten in place: a copy "<path>.bak" is made first and deleted once the
// new file is in place (an interrupted run leaves the copy for the user).
bool rewriteTextLinesWithBackup(const QString& path, const QStringList& lines);

// Writes raw bytes atomically.
bool writeFileAtomically(const QString& path, const QByteArray& bytes);

// Collapses runs of spaces into one space (the settings reader's rule).
QString collapseSpaces(const QString& text);
// Removes every space.
QString removeSpaces(const QString& text);

} // namespace tarn
