// The fuzz targets' seed corpus: a seed that no longer reaches the code behind the first checks (a reply
// with a bad check byte, archive pages whose records never decode, a corrector whose version is refused)
// leaves the fuzzing to wander in the rejection paths. The packages and text files among the seeds are
// read back here by readers of the test's own.
#include "common/Language.h"
#include "corrector/Archives.h"
#include "corrector/Identification.h"
#include "corrector/ModelProfile.h"
#include "corrector/ParameterImage.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <zlib.h>

using namespace tarn;
using namespace tarn::corrector;

namespace {

const QString kCorpus = QStringLiteral(TARN_FUZZ_CORPUS);

QList<std::pair<QString, QByteArray>> seeds(const char* target) {
    QList<std::pair<QString, QByteArray>> out;
    const QDir dir(kCorpus + u'/' + QLatin1String(target));
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << qPrintable(name);
        out.append({name, f.readAll()});
    }
    return out;
}

quint32 le32(const QByteArray& b, qsizetype at) {
    quint32 v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<quint8>(b.at(at + i));
    return v;
}

} // namespace

TEST(FuzzCorpus, EveryTargetHasSeeds) {
    for (const char* target : {"frames", "archive_pages", "parameter_pages", "parameter_files", "packages",
                               "text_settings", "groups", "address_book"}) {
        SCOPED_TRACE(target);
        const auto all = seeds(target);
        EXPECT_GE(all.size(), 2);
        for (const auto& [name, bytes] : all)
            EXPECT_FALSE(bytes.isEmpty()) << qPrintable(name);
    }
}

// The engine's seeds: after the three header bytes, whole replies of the length asked for, status 0 and
// the check byte that makes the complement of the byte sum.
TEST(FuzzCorpus, ReplySeedsAreWholeGoodReplies) {
    int checked = 0;
    for (const auto& [name, input] : seeds("frames")) {
        if (name.startsWith(QLatin1String("modem")) || name == QLatin1String("refusal")) continue;
        SCOPED_TRACE(qPrintable(name));
        const int length = (static_cast<quint8>(input.at(0)) == 0 ? 256 : static_cast<quint8>(input.at(0))) + 2;
        QByteArray stream = input.mid(3);
        if (name.startsWith(QLatin1String("alarm"))) stream = stream.mid(6);
        ASSERT_EQ(stream.size() % length, 0);
        for (qsizetype at = 0; at < stream.size(); at += length) {
            const QByteArray reply = stream.mid(at, length);
            EXPECT_EQ(reply.at(0), 0);
            quint8 sum = 0;
            for (qsizetype i = 0; i + 1 < reply.size(); ++i)
                sum = static_cast<quint8>(sum + static_cast<quint8>(reply.at(i)));
            EXPECT_EQ(static_cast<quint8>(~sum), static_cast<quint8>(reply.back()));
            ++checked;
        }
    }
    EXPECT_GE(checked, 7);
}

// Every archive seed decodes rows with a date on its first page, as the target reads it.
TEST(FuzzCorpus, ArchiveSeedsDecodeRecords) {
    constexpr int kinds[] = {3, 4, 5, 6, 7, 9, 10};
    for (const auto& [name, input] : seeds("archive_pages")) {
        SCOPED_TRACE(qPrintable(name));
        ASSERT_GE(input.size(), 3 + 32 + 4 * 256);
        const IdentificationString id(input.mid(3, 32));
        ASSERT_TRUE(CheckVersion(id, kRussian).accepted());
        const ModelProfile profile = DeriveModelProfile(id, 0);
        const auto geometry = archiveGeometry(kinds[static_cast<quint8>(input.at(0)) % 7], profile);
        ASSERT_TRUE(geometry);
        ParameterImage image;
        for (int p = 0; p < 3; ++p)
            image.DecodePage(p * 64, input.mid(35 + p * 256, 256), profile);
        ArchiveTables tables;
        ArchivePageCheck check(*geometry, tables, false);
        const ArchiveContext context{profile, image, kRussian, 2};
        EXPECT_NE(check.check(geometry->firstPage, input.mid(35 + 3 * 256, 256), context),
                  ArchivePageCheck::Verdict::Reject);
        int dated = 0;
        for (const QStringList& row : tables.rows(geometry->archive))
            dated += row.size() > 1 ? 1 : 0;
        EXPECT_GE(dated, 1);
    }
}

TEST(FuzzCorpus, ParameterSeedsComeFromEveryFamily) {
    QSet<QChar> letters;
    for (const auto& [name, input] : seeds("parameter_pages")) {
        SCOPED_TRACE(qPrintable(name));
        ASSERT_EQ(input.size(), 32 + 4 * 256);
        const IdentificationString id(input.left(32));
        EXPECT_EQ(CheckVersion(id, kRussian).accepted(), !name.startsWith(QLatin1String("old")));
        letters.insert(id.modelLetter());
    }
    EXPECT_GE(letters.size(), 6);
}

// The package seeds through a reader of the test's own: the magic, the entries, each a zlib stream that
// inflates whole.
TEST(FuzzCorpus, PackageSeedsInflate) {
    QList<int> entryCounts;
    for (const auto& [name, bytes] : seeds("packages")) {
        SCOPED_TRACE(qPrintable(name));
        ASSERT_GE(bytes.size(), 8);
        EXPECT_EQ(bytes.left(4), QByteArray::fromHex("88190618"));
        const quint32 entries = le32(bytes, 4);
        qsizetype at = 8;
        for (quint32 e = 0; e < entries; ++e) {
            ASSERT_LE(at + 2, bytes.size());
            const int nameLength = static_cast<quint8>(bytes.at(at)) | (static_cast<quint8>(bytes.at(at + 1)) << 8);
            at += 2 + nameLength;
            ASSERT_LE(at + 4, bytes.size());
            const quint32 packed = le32(bytes, at);
            at += 4;
            ASSERT_LE(at + static_cast<qsizetype>(packed), bytes.size());
            std::vector<Bytef> out(1 << 20);
            uLongf outLength = static_cast<uLongf>(out.size());
            EXPECT_EQ(uncompress(out.data(), &outLength, reinterpret_cast<const Bytef*>(bytes.constData() + at), packed),
                      Z_OK);
            EXPECT_GT(outLength, 0u);
            at += packed;
        }
        EXPECT_EQ(at, bytes.size());
        entryCounts.append(static_cast<int>(entries));
    }
    std::sort(entryCounts.begin(), entryCounts.end());
    EXPECT_EQ(entryCounts, (QList<int>{0, 2}));
}

// The installation's text files among the seeds are whole CR LF lines, as the program writes them.
TEST(FuzzCorpus, TextSeedsAreCrLfLines) {
    for (const char* target : {"text_settings", "groups", "address_book"}) {
        for (const auto& [name, bytes] : seeds(target)) {
            SCOPED_TRACE(qPrintable(name));
            EXPECT_TRUE(bytes.endsWith("\r\n"));
            EXPECT_EQ(bytes.count('\n'), bytes.count("\r\n"));
            EXPECT_EQ(bytes.count('\r'), bytes.count("\r\n"));
        }
    }
}
