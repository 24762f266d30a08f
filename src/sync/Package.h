#pragma once
// The database package file (".tbd"): files of one folder, each compressed on its own, carried to
// another installation. Little-endian throughout:
//   magic 0x18061988 (bytes 88 19 06 18), the number N of entries (4 bytes), then N entries of
//   name length L (2 bytes), the name (L bytes, Windows-1251, relative to the packed folder),
//   compressed size S (4 bytes), S bytes of one zlib stream (header, deflate data, Adler-32) at the
//   highest compression level.
// Other installations write and read this layout, so it stays exactly so.
//
// A package comes from outside: before anything is allocated or written, every count and size is held
// against what the file can hold and against the limits below, and every name must be a plain file
// name, so that nothing inside a package reaches outside the folder it is unpacked into.
#include "common/Error.h"

#include <QList>
#include <QString>
#include <functional>

namespace tarn::sync {

inline constexpr quint32 kPackageMagic = 0x18061988;

// What a package may ask for. A point's package has 22 entries at most, and a year of one point's
// records is about half a megabyte: a file of 256 MiB is centuries of hourly records, and anything
// beyond these is no package of ours but a file (or a few bytes that inflate to gigabytes) meant to
// fill the disk.
struct PackageLimits {
    quint32 maxEntries = 1024;
    qint64 maxEntryBytes = qint64(256) << 20; // one file unpacked
    qint64 maxTotalBytes = qint64(1) << 30;   // all files unpacked
};

struct PackageEntryInfo {
    QString name;
    quint32 compressedSize = 0;
    qint64 size = -1; // unpacked; -1 when not inflated
};

struct PackageResult {
    bool ok = false;
    QString error; // why not, for the log and tarn-cli (the windows say the user's text)
    // What kind of failure: Damaged for a package cut short or whose data do not inflate, Invalid for
    // one refused as no package of ours (its magic, a name, a size over the limits), NotFound when there
    // is no package, Io when it or an entry cannot be read or written. None when the run was stopped.
    ErrorKind kind = ErrorKind::None;
    QList<PackageEntryInfo> entries;

    Error failure() const { return {kind, error}; }
};

// A name inside a package that may become a file: a plain Windows-1251 file name, no separators, no
// "..", no drive, no control characters.
bool isPackageEntryName(const QString& name);

// Writes the package of the files of folder named in names (plain file names, in that order),
// atomically: an existing package stays whole until the new one is complete.
PackageResult writePackage(const QString& packagePath, const QString& folder, const QStringList& names);

// Unpacks every entry into folder (which must exist), each file written whole or not at all. The
// first fault (magic, a size beyond the file or the limits, a bad name, a repeated name, a stream that
// does not inflate to its end) stops it; files already unpacked stay for the caller to clear away.
// keepGoing is asked between entries (the stop key).
PackageResult unpackPackage(const QString& packagePath, const QString& folder,
                            const PackageLimits& limits = {}, const std::function<bool()>& keepGoing = {});

// Lists the entries' names and compressed sizes from their headers alone, inflating nothing and
// writing nothing (the sizes unpacked stay -1).
PackageResult listPackage(const QString& packagePath, const PackageLimits& limits = {});

// Lists the entries, inflating each to check it and count its size, writing nothing.
PackageResult inspectPackage(const QString& packagePath, const PackageLimits& limits = {});

} // namespace tarn::sync
