#include "common/OutputFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>
#include <filesystem>
#include <system_error>

namespace tarn {

namespace {

std::filesystem::path nativePath(const QString& path) {
    return std::filesystem::path(QDir::toNativeSeparators(path).toStdU16String());
}

bool acceptableFileName(const QString& name) {
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) return false;
    // The characters Windows refuses in a file name, so that a name good here is good there too.
    static const QString kRefused = QStringLiteral("<>:\"|?*\\/");
    for (QChar c : name)
        if (c.unicode() < 0x20 || kRefused.contains(c)) return false;
    return !name.endsWith(QLatin1Char(' ')) && !name.endsWith(QLatin1Char('.'));
}

// A name beside the target that nothing else uses.
QString besideName(const QString& target, const char* kind) {
    return target + QStringLiteral(".%1.%2")
                        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))
                        .arg(QString::fromLatin1(kind));
}

bool writeNew(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return false;
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    file.close();
    if (!written || file.error() != QFileDevice::NoError) {
        QFile::remove(path);
        return false;
    }
    return true;
}

} // namespace

QString outputProblemText(OutputProblem problem) {
    switch (problem) {
    case OutputProblem::None:
        return {};
    case OutputProblem::NoFileName:
        return QStringLiteral("not a file name");
    case OutputProblem::NoFolder:
        return QStringLiteral("its folder does not exist");
    case OutputProblem::FolderLocked:
        return QStringLiteral("its folder cannot be written to");
    case OutputProblem::IsFolder:
        return QStringLiteral("it is a folder");
    case OutputProblem::ReadOnly:
        return QStringLiteral("the file there cannot be replaced");
    case OutputProblem::Twice:
        return QStringLiteral("named twice");
    case OutputProblem::WriteFailed:
        return QStringLiteral("the file could not be written");
    case OutputProblem::RenameFailed:
        return QStringLiteral("the file could not take its place");
    }
    return {};
}

OutputProblem outputTargetProblem(const QString& path) {
    if (path.isEmpty() || path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\')))
        return OutputProblem::NoFileName;
    const QFileInfo target(path);
    if (!acceptableFileName(target.fileName())) return OutputProblem::NoFileName;
    const QFileInfo folder(target.absolutePath());
    if (!folder.exists() || !folder.isDir()) return OutputProblem::NoFolder;
    if (!folder.isWritable()) return OutputProblem::FolderLocked;
    if (target.isDir()) return OutputProblem::IsFolder;
    if (target.exists() && !target.isWritable()) return OutputProblem::ReadOnly;
    return OutputProblem::None;
}

bool renameOver(const QString& from, const QString& to) {
    std::error_code error;
    std::filesystem::rename(nativePath(from), nativePath(to), error);
    return !error;
}

OutputsWritten writeOutputs(const QList<OutputFile>& files, const RenameOver& rename) {
    QList<QString> targets;
    QSet<QString> seen;
    for (const OutputFile& f : files) {
        const QString target = QFileInfo(f.path).absoluteFilePath();
        if (const OutputProblem p = outputTargetProblem(f.path); p != OutputProblem::None) return {p, f.path};
        if (seen.contains(QDir::cleanPath(target))) return {OutputProblem::Twice, f.path};
        seen.insert(QDir::cleanPath(target));
        targets.append(target);
    }

    struct Pending {
        QString target;
        QString written; // the new file beside the target
        QString backup;  // a copy of the file it replaces, when there was one
        bool placed = false;
    };
    QList<Pending> pending;
    auto undo = [&pending, &rename] {
        for (const Pending& p : pending) {
            if (!p.placed) {
                QFile::remove(p.written);
                if (!p.backup.isEmpty()) QFile::remove(p.backup);
            } else if (p.backup.isEmpty()) {
                QFile::remove(p.target);
            } else {
                // Should even this fail, the old content stays in the copy beside the target.
                rename(p.backup, p.target);
            }
        }
    };
    for (qsizetype i = 0; i < files.size(); ++i) {
        Pending p{targets.at(i), besideName(targets.at(i), "part"), {}, false};
        if (!writeNew(p.written, files.at(i).bytes)) {
            undo();
            return {OutputProblem::WriteFailed, files.at(i).path};
        }
        // The file about to be replaced is kept until every new one is in place.
        if (QFileInfo::exists(p.target)) {
            p.backup = besideName(p.target, "old");
            if (!QFile::copy(p.target, p.backup)) {
                QFile::remove(p.written);
                undo();
                return {OutputProblem::WriteFailed, files.at(i).path};
            }
        }
        pending.append(p);
    }
    for (qsizetype i = 0; i < pending.size(); ++i) {
        if (!rename(pending.at(i).written, pending.at(i).target)) {
            undo();
            return {OutputProblem::RenameFailed, files.at(i).path};
        }
        pending[i].placed = true;
    }
    for (const Pending& p : pending)
        if (!p.backup.isEmpty()) QFile::remove(p.backup);
    return {};
}

} // namespace tarn
