#pragma once
// The files one request writes together (a report's text, its PDF pages, a listing's CSV copy): all of
// them or none. Every target is checked before anything is written; each file is then written beside its
// target and, once all of them are complete, renamed into place. When a step fails, every target is left
// as it was before: a file new in this run is removed, one replaced is put back.
#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

namespace tarn {

struct OutputFile {
    QString path;
    QByteArray bytes;
};

enum class OutputProblem {
    None,
    NoFileName,   // empty, "." or "..", or characters no file name can hold
    NoFolder,     // its folder does not exist
    FolderLocked, // its folder cannot be written to
    IsFolder,     // the target is a folder
    ReadOnly,     // the target exists and cannot be replaced
    Twice,        // two outputs of the request name the same file
    WriteFailed,  // the file beside the target could not be written
    RenameFailed, // it could not take the target's place
};

// English words for a problem (tarn-cli's messages).
QString outputProblemText(OutputProblem problem);

// Why the path cannot take an output; None when it can.
OutputProblem outputTargetProblem(const QString& path);

struct OutputsWritten {
    OutputProblem problem = OutputProblem::None;
    QString path; // the target that failed
    bool ok() const { return problem == OutputProblem::None; }
};

// Moves a finished file over its target, replacing it; a test may put a failing one in its place.
using RenameOver = std::function<bool(const QString& from, const QString& to)>;
bool renameOver(const QString& from, const QString& to);

OutputsWritten writeOutputs(const QList<OutputFile>& files, const RenameOver& rename = renameOver);

} // namespace tarn
