#pragma once
// Settings and text outputs of an installation: Windows-1251, one value per line, lines ended by CR LF.
#include "common/Error.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QFile;

namespace tarn {

// Reads every line of a Windows-1251 text file. CR LF, LF and a lone CR all end a line; a final line
// ending does not make an extra empty line. Returns nothing when the file is missing or unreadable.
// Files larger than maxBytes are refused (nothing returned): settings files are small.
std::optional<QStringList> readTextLines(const QString& path, qint64 maxBytes = 16 * 1024 * 1024);
// The same, saying why nothing was returned: NotFound for a missing file, Invalid for one over maxBytes,
// Io for one that is there and cannot be read (a folder, no permission).
std::optional<QStringList> readTextLines(const QString& path, Error& error,
                                         qint64 maxBytes = 16 * 1024 * 1024);

// The lines of a Windows-1251 text held in memory, split as readTextLines splits a file's.
QStringList textLinesOf(const QByteArray& bytes);

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

// A text log that grows while a long run goes on (a night's line trace): emptied when opened, each line
// appended (Windows-1251, CR LF) and flushed as it comes, so the run keeps no lines in memory and the
// file shows the run so far. Not written whole: a reader may see a run that is still going.
class AppendingTextFile {
public:
    AppendingTextFile();
    ~AppendingTextFile();
    AppendingTextFile(const AppendingTextFile&) = delete;
    AppendingTextFile& operator=(const AppendingTextFile&) = delete;

    // False when the file cannot be written (nothing is opened then).
    bool open(const QString& path);
    bool isOpen() const;
    // False once a write has failed (a full disk): the lines after it are lost, not kept.
    bool append(const QString& line);
    bool failed() const { return failed_; }

private:
    std::unique_ptr<QFile> file_;
    bool failed_ = false;
};

// Collapses runs of spaces into one space (the settings reader's rule).
QString collapseSpaces(const QString& text);
// Removes every space.
QString removeSpaces(const QString& text);

} // namespace tarn
