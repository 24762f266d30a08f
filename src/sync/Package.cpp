#include "sync/Package.h"

#include "common/Cp1251.h"
#include "common/DataRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QtEndian>

#include <zlib.h>

#include <limits>
#include <memory>

namespace tarn::sync {

namespace {

constexpr qint64 kChunk = 64 * 1024;
constexpr int kHeaderBytes = 8;
// Name length and compressed size: the least an entry takes besides its name and data.
constexpr int kEntryHeadBytes = 6;

PackageResult failed(ErrorKind kind, const QString& why) {
    PackageResult r;
    r.kind = kind;
    r.error = why;
    return r;
}

// A package that cannot be opened for reading: not there at all, or there and unreadable.
PackageResult unreadable(const QFile& in) {
    return failed(in.exists() ? ErrorKind::Io : ErrorKind::NotFound,
                  QStringLiteral("cannot read ") + in.fileName());
}

void putU16(QByteArray& out, quint16 v) {
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void putU32(QByteArray& out, quint32 v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

// One file as one zlib stream at the highest level, read in chunks.
bool deflateFile(const QString& path, QByteArray& compressed, Error& error) {
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) {
        error = {in.exists() ? ErrorKind::Io : ErrorKind::NotFound, QStringLiteral("cannot read ") + path};
        return false;
    }
    z_stream z{};
    if (deflateInit(&z, Z_BEST_COMPRESSION) != Z_OK) {
        error = {ErrorKind::Io, QStringLiteral("zlib: deflateInit")};
        return false;
    }
    QByteArray input;
    QByteArray output(static_cast<qsizetype>(kChunk), Qt::Uninitialized);
    bool ok = true;
    int flush = Z_NO_FLUSH;
    while (ok && flush != Z_FINISH) {
        input = in.read(kChunk);
        if (in.error() != QFileDevice::NoError) {
            error = {ErrorKind::Io, QStringLiteral("cannot read ") + path};
            ok = false;
            break;
        }
        flush = in.atEnd() ? Z_FINISH : Z_NO_FLUSH;
        z.next_in = reinterpret_cast<Bytef*>(input.data());
        z.avail_in = static_cast<uInt>(input.size());
        do {
            z.next_out = reinterpret_cast<Bytef*>(output.data());
            z.avail_out = static_cast<uInt>(output.size());
            if (deflate(&z, flush) == Z_STREAM_ERROR) {
                error = {ErrorKind::Io, QStringLiteral("zlib: deflate")};
                ok = false;
                break;
            }
            compressed.append(output.constData(), output.size() - static_cast<qsizetype>(z.avail_out));
        } while (z.avail_out == 0);
        // The size field has four bytes.
        if (ok && static_cast<quint64>(compressed.size()) > std::numeric_limits<quint32>::max()) {
            error = {ErrorKind::Invalid, QStringLiteral("too large for a package: ") + path};
            ok = false;
        }
    }
    deflateEnd(&z);
    return ok;
}

// Where an entry's unpacked bytes go: a file written whole or nothing.
class EntrySink {
public:
    virtual ~EntrySink() = default;
    virtual bool begin(const QString& name) = 0;
    virtual bool write(const char* data, qint64 size) = 0;
    virtual bool finish() = 0;
    virtual void abandon() = 0;
};

class NullSink final : public EntrySink {
public:
    bool begin(const QString&) override { return true; }
    bool write(const char*, qint64) override { return true; }
    bool finish() override { return true; }
    void abandon() override {}
};

class FolderSink final : public EntrySink {
public:
    explicit FolderSink(QString folder) : folder_(std::move(folder)) {}
    bool begin(const QString& name) override {
        file_ = std::make_unique<QSaveFile>(folder_ + QLatin1Char('/') + name);
        return file_->open(QIODevice::WriteOnly);
    }
    bool write(const char* data, qint64 size) override { return file_->write(data, size) == size; }
    bool finish() override {
        const bool ok = file_->commit();
        file_.reset();
        return ok;
    }
    void abandon() override {
        if (file_) file_->cancelWriting();
        file_.reset();
    }

private:
    QString folder_;
    std::unique_ptr<QSaveFile> file_;
};

// Reads exactly n bytes; false when the file ends first.
bool readExactly(QFile& in, char* to, qint64 n) {
    return in.read(to, n) == n;
}

class Reader {
public:
    Reader(QFile& in, const PackageLimits& limits, EntrySink& sink, bool headersOnly = false)
        : in_(in), limits_(limits), sink_(sink), headersOnly_(headersOnly) {}

    PackageResult run(const std::function<bool()>& keepGoing) {
        const qint64 fileSize = in_.size();
        char head[kHeaderBytes];
        if (fileSize < kHeaderBytes || !readExactly(in_, head, kHeaderBytes))
            return failed(ErrorKind::Damaged, QStringLiteral("package too short"));
        if (qFromLittleEndian<quint32>(head) != kPackageMagic)
            return failed(ErrorKind::Invalid, QStringLiteral("not a package"));
        const quint32 count = qFromLittleEndian<quint32>(head + 4);
        if (count > limits_.maxEntries)
            return failed(ErrorKind::Invalid, QStringLiteral("too many entries: %1").arg(count));
        if (static_cast<qint64>(count) * kEntryHeadBytes > fileSize - kHeaderBytes)
            return failed(ErrorKind::Damaged, QStringLiteral("package truncated"));
        PackageResult result;
        QSet<QString> seen;
        for (quint32 i = 0; i < count; ++i) {
            if (keepGoing && !keepGoing()) return failed(ErrorKind::None, QStringLiteral("stopped"));
            char lengthBytes[2];
            if (!readExactly(in_, lengthBytes, 2))
                return failed(ErrorKind::Damaged, QStringLiteral("package truncated"));
            const quint16 length = qFromLittleEndian<quint16>(lengthBytes);
            if (length == 0 || length > remaining())
                return failed(ErrorKind::Damaged, QStringLiteral("package truncated"));
            QByteArray nameBytes(length, Qt::Uninitialized);
            if (!readExactly(in_, nameBytes.data(), length))
                return failed(ErrorKind::Damaged, QStringLiteral("package truncated"));
            const QString name = fromCp1251(nameBytes);
            if (!isPackageEntryName(name))
                return failed(ErrorKind::Invalid, QStringLiteral("entry name refused: ") + name);
            // Windows folders do not tell case apart: two such names would land on one file.
            if (seen.contains(name.toLower()))
                return failed(ErrorKind::Invalid, QStringLiteral("entry repeated: ") + name);
            seen.insert(name.toLower());
            char sizeBytes[4];
            if (!readExactly(in_, sizeBytes, 4))
                return failed(ErrorKind::Damaged, QStringLiteral("package truncated"));
            const quint32 compressed = qFromLittleEndian<quint32>(sizeBytes);
            if (compressed > remaining())
                return failed(ErrorKind::Damaged, QStringLiteral("package truncated: ") + name);
            PackageEntryInfo info{name, compressed, 0};
            if (headersOnly_) {
                info.size = -1;
                if (!in_.seek(in_.pos() + compressed))
                    return failed(ErrorKind::Damaged, QStringLiteral("package truncated"));
                result.entries.append(info);
                continue;
            }
            if (!sink_.begin(name)) return failed(ErrorKind::Io, QStringLiteral("cannot write ") + name);
            Error why;
            if (!inflateEntry(compressed, info.size, why)) {
                sink_.abandon();
                return failed(why.kind, why.detail + QStringLiteral(": ") + name);
            }
            if (!sink_.finish()) return failed(ErrorKind::Io, QStringLiteral("cannot write ") + name);
            result.entries.append(info);
        }
        result.ok = true;
        return result;
    }

private:
    qint64 remaining() const { return in_.size() - in_.pos(); }

    bool inflateEntry(quint32 compressed, qint64& produced, Error& why) {
        z_stream z{};
        if (inflateInit(&z) != Z_OK) {
            why = {ErrorKind::Io, QStringLiteral("zlib: inflateInit")};
            return false;
        }
        QByteArray input(static_cast<qsizetype>(kChunk), Qt::Uninitialized);
        QByteArray output(static_cast<qsizetype>(kChunk), Qt::Uninitialized);
        qint64 left = compressed;
        bool ended = false;
        bool ok = true;
        produced = 0;
        while (ok && left > 0 && !ended) {
            const qint64 n = in_.read(input.data(), qMin<qint64>(kChunk, left));
            if (n <= 0) {
                why = {ErrorKind::Damaged, QStringLiteral("package truncated")};
                ok = false;
                break;
            }
            left -= n;
            z.next_in = reinterpret_cast<Bytef*>(input.data());
            z.avail_in = static_cast<uInt>(n);
            while (ok && !ended && (z.avail_in > 0 || z.avail_out == 0)) {
                z.next_out = reinterpret_cast<Bytef*>(output.data());
                z.avail_out = static_cast<uInt>(output.size());
                const int rc = inflate(&z, Z_NO_FLUSH);
                // Nothing more to give until the next chunk of input arrives.
                if (rc == Z_BUF_ERROR && z.avail_in == 0) break;
                if (rc != Z_OK && rc != Z_STREAM_END) {
                    why = {ErrorKind::Damaged, QStringLiteral("damaged data")};
                    ok = false;
                    break;
                }
                const qint64 got = output.size() - static_cast<qsizetype>(z.avail_out);
                produced += got;
                total_ += got;
                if (produced > limits_.maxEntryBytes || total_ > limits_.maxTotalBytes) {
                    // Bytes that inflate past what any package of ours holds: refused, not damaged.
                    why = {ErrorKind::Invalid, QStringLiteral("unpacked size over the limit")};
                    ok = false;
                    break;
                }
                if (got > 0 && !sink_.write(output.constData(), got)) {
                    why = {ErrorKind::Io, QStringLiteral("cannot write")};
                    ok = false;
                    break;
                }
                ended = rc == Z_STREAM_END;
                if (rc == Z_OK && got == 0 && z.avail_in == 0) break;
            }
        }
        inflateEnd(&z);
        if (!ok) return false;
        // The stream must end exactly where its size says.
        if (!ended || left > 0 || z.avail_in > 0) {
            why = {ErrorKind::Damaged,
                   ended ? QStringLiteral("data after the stream") : QStringLiteral("stream cut short")};
            return false;
        }
        return true;
    }

    QFile& in_;
    const PackageLimits& limits_;
    EntrySink& sink_;
    bool headersOnly_ = false;
    qint64 total_ = 0;
};

PackageResult readWith(const QString& packagePath, const PackageLimits& limits, EntrySink& sink,
                       const std::function<bool()>& keepGoing) {
    QFile in(packagePath);
    if (!in.open(QIODevice::ReadOnly)) return unreadable(in);
    return Reader(in, limits, sink).run(keepGoing);
}

} // namespace

bool isPackageEntryName(const QString& name) {
    if (!isPlainFileName(name) || name.size() > 255) return false;
    for (const QChar c : name)
        if (c.unicode() < 0x20 || c == QLatin1Char(':') || c == QLatin1Char('*') || c == QLatin1Char('?') ||
            c == QLatin1Char('"') || c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char('|'))
            return false;
    // Only what Windows-1251 can carry.
    return fromCp1251(toCp1251(name)) == name;
}

PackageResult writePackage(const QString& packagePath, const QString& folder, const QStringList& names) {
    if (static_cast<quint64>(names.size()) > std::numeric_limits<quint32>::max())
        return failed(ErrorKind::Invalid, QStringLiteral("too many files"));
    QSaveFile out(packagePath);
    if (!out.open(QIODevice::WriteOnly))
        return failed(ErrorKind::Io, QStringLiteral("cannot write ") + packagePath);
    QByteArray head;
    putU32(head, kPackageMagic);
    putU32(head, static_cast<quint32>(names.size()));
    bool ok = out.write(head) == head.size();
    PackageResult result;
    for (const QString& name : names) {
        if (!ok) break;
        if (!isPackageEntryName(name)) {
            out.cancelWriting();
            return failed(ErrorKind::Invalid, QStringLiteral("name cannot be packed: ") + name);
        }
        QByteArray data;
        Error why;
        if (!deflateFile(QDir(folder).filePath(name), data, why)) {
            out.cancelWriting();
            return failed(why.kind, why.detail);
        }
        const QByteArray nameBytes = toCp1251(name);
        QByteArray entry;
        putU16(entry, static_cast<quint16>(nameBytes.size()));
        entry += nameBytes;
        putU32(entry, static_cast<quint32>(data.size()));
        ok = out.write(entry) == entry.size() && out.write(data) == data.size();
        result.entries.append(
            {name, static_cast<quint32>(data.size()), QFileInfo(QDir(folder), name).size()});
    }
    if (!ok) {
        out.cancelWriting();
        return failed(ErrorKind::Io, QStringLiteral("cannot write ") + packagePath);
    }
    if (!out.commit()) return failed(ErrorKind::Io, QStringLiteral("cannot write ") + packagePath);
    result.ok = true;
    return result;
}

PackageResult unpackPackage(const QString& packagePath, const QString& folder, const PackageLimits& limits,
                            const std::function<bool()>& keepGoing) {
    if (!QFileInfo(folder).isDir()) return failed(ErrorKind::NotFound, QStringLiteral("no folder ") + folder);
    FolderSink sink(folder);
    return readWith(packagePath, limits, sink, keepGoing);
}

PackageResult listPackage(const QString& packagePath, const PackageLimits& limits) {
    QFile in(packagePath);
    if (!in.open(QIODevice::ReadOnly)) return unreadable(in);
    NullSink sink;
    return Reader(in, limits, sink, true).run({});
}

PackageResult inspectPackage(const QString& packagePath, const PackageLimits& limits) {
    NullSink sink;
    return readWith(packagePath, limits, sink, {});
}

} // namespace tarn::sync
