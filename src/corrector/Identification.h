#pragma once
// The corrector's identification block (32 bytes of block 0) and the rules that accept or refuse its
// software version. Character positions count from 1.
#include <QByteArray>
#include <QChar>
#include <QString>

namespace tarn::corrector {

// The typesize list that identification character 1 selects for item 65.
enum class TypesizeListKind { A, B, C };

// Three characters as the unsigned 24-bit number whose bytes are their codes in order, so that
// "47b" > "47a" > "46a" > "44s".
constexpr quint32 versionNumber(const char (&code)[4]) {
    return (quint32(static_cast<unsigned char>(code[0])) << 16) |
           (quint32(static_cast<unsigned char>(code[1])) << 8) | quint32(static_cast<unsigned char>(code[2]));
}

class IdentificationString {
public:
    static constexpr int kSize = 32;

    IdentificationString() = default;
    explicit IdentificationString(QByteArray raw) : raw_(std::move(raw)) {}

    const QByteArray& raw() const { return raw_; }
    // The code of character position (1-based); 0 beyond the block.
    quint8 code(int position) const;
    QChar character(int position) const;

    // Windows-1251 text of the whole block, control characters dropped (the software-version field).
    QString text() const;
    // Characters 12..15: the model letter and the version code.
    QString versionTag() const;
    QChar modelLetter() const { return character(12); }
    QString versionCode() const; // characters 13..15
    quint32 versionNumber() const;
    TypesizeListKind typesizeList() const;

private:
    QByteArray raw_;
};

// Model letters the program knows; any other refuses the version.
bool isKnownModelLetter(QChar letter);

enum class VersionVerdict {
    Accepted,
    NotDetermined,  // no version tag at characters 12..15
    OlderProgram,   // below "41A": another program serves this corrector
    OlderProgramR,  // "41A" up to below "41y"
    UnknownVersion, // "41y" and above with an unknown letter
};

struct VersionCheck {
    VersionVerdict verdict = VersionVerdict::NotDetermined;
    QString message; // empty when accepted
    bool accepted() const { return verdict == VersionVerdict::Accepted; }
};

VersionCheck CheckVersion(const IdentificationString& identification, int languageIndex);

} // namespace tarn::corrector
