// Database packages from outside: listed from their headers, inspected by inflating every entry, and
// unpacked into an empty folder, under limits small enough that a run stays quick (the limits' own
// checks are what is under test, not their sizes).
//   input: the package's bytes
#include "FuzzDriver.h"

#include "sync/Package.h"

#include <QDir>

using namespace tarn;
using namespace tarn::sync;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input = fuzz::bytesOf(data, size);
    const QString path = fuzz::scratch().filePath(QStringLiteral("in.tbd"));
    const QString folder = fuzz::scratch().filePath(QStringLiteral("unpacked"));
    fuzz::putFile(path, input);
    PackageLimits limits;
    limits.maxEntries = 64;
    limits.maxEntryBytes = qint64(1) << 20;
    limits.maxTotalBytes = qint64(4) << 20;
    (void)listPackage(path, limits);
    (void)inspectPackage(path, limits);
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    int asked = 0;
    (void)unpackPackage(path, folder, limits, [&asked] { return ++asked < 32; });
    for (const QString& name : QDir(folder).entryList(QDir::Files))
        (void)isPackageEntryName(name);
    return 0;
}
