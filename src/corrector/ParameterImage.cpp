#include "corrector/ParameterImage.h"

#include "common/DateTimeText.h"
#include "common/DisplayNumber.h"
#include "common/Language.h"
#include "corrector/DeviceValues.h"
#include "corrector/Units.h"
#include "corrector/ValueLists.h"

namespace tarn::corrector {

WordClass wordClass(int index) {
    if (index <= 31) return WordClass::Packed;
    if (index == 70) return WordClass::Minutes;
    if (index <= 96) return WordClass::Float;
    if (index <= 104) return WordClass::Int32;
    if (index <= 136) return WordClass::Text;
    if (index <= 144) return WordClass::Uninterpreted;
    return WordClass::Coefficient;
}

namespace {

bool validIndex(int index) {
    return index >= 0 && index < ParameterImage::kWords;
}

bool isPressureWord(int index) {
    return index == 45 || index == 46 || index == 47 || index == 64;
}

} // namespace

void ParameterImage::clear() {
    raw_ = {};
    for (auto& t : text_)
        t.clear();
    read_.reset();
}

void ParameterImage::DecodePage(int startWord, const QByteArray& payload, const ModelProfile& profile) {
    const int limit = profile.hasCoefficientTable() ? kWords : kCommonWords;
    for (int i = 0; i < kPageBytes / 4; ++i) {
        const int index = startWord + i;
        if (index < 0 || index >= limit) continue;
        if (4 * i + 4 > payload.size()) break;
        store(index, payload.mid(4 * i, 4));
    }
    renderAll();
}

void ParameterImage::store(int index, const QByteArray& bytes) {
    for (int b = 0; b < 4; ++b)
        raw_[index][b] = readU8(bytes, b);
    read_.set(index);
}

void ParameterImage::setWordBytes(int index, const QByteArray& bytes) {
    if (!validIndex(index)) return;
    store(index, bytes);
    if (index == 2)
        renderAll();
    else
        render(index);
}

void ParameterImage::setByte(int index, int byte, quint8 value) {
    if (!validIndex(index) || byte < 0 || byte > 3) return;
    raw_[index][byte] = value;
    read_.set(index);
    if (index == 2)
        renderAll();
    else
        render(index);
}

void ParameterImage::setBit(int index, int byte, quint8 mask, bool on) {
    if (!validIndex(index) || byte < 0 || byte > 3) return;
    const quint8 old = raw_[index][byte];
    setByte(index, byte, on ? quint8(old | mask) : quint8(old & ~mask));
}

void ParameterImage::renderAll() {
    for (int i = 0; i < kWords; ++i)
        render(i);
}

void ParameterImage::render(int index) {
    if (!read_.test(index)) {
        text_[index].clear();
        return;
    }
    const QByteArray bytes = wordBytes(index);
    const bool mpa = pressureInMpa();
    QString& text = text_[index];
    switch (wordClass(index)) {
    case WordClass::Packed:
    case WordClass::Uninterpreted:
    case WordClass::Coefficient:
        text = hexBytes(bytes);
        return;
    case WordClass::Minutes:
        text = minutesText(readMinutes(bytes, 0));
        return;
    case WordClass::Int32:
        text = QString::number(readI32(bytes, 0));
        return;
    case WordClass::Text:
        text = deviceText(bytes);
        return;
    case WordClass::Float:
        break;
    }
    const double value = readFloat(bytes, 0);
    if (index <= 42)
        text = exponentText(value);
    else if (isPressureWord(index))
        text = displayNumber(ToDisplayPressure(value, mpa), mpa ? 4 : 3);
    else if (index == 55)
        text = displayNumber(ToDisplayPressure(value, mpa), mpa ? 6 : 5);
    else if (index == 66 || index == 67)
        text = displayNumber(value, mpa ? 5 : 4);
    else
        text = displayNumber(value, 5);
}

QByteArray ParameterImage::storedText(int index) const {
    if (!validIndex(index) || !read_.test(index) || index == 0) return {};
    switch (wordClass(index)) {
    case WordClass::Packed:
    case WordClass::Text:
    case WordClass::Coefficient:
        return wordBytes(index);
    case WordClass::Uninterpreted:
        return {};
    case WordClass::Float:
    case WordClass::Minutes:
    case WordClass::Int32:
        break;
    }
    return text_[index].toLatin1();
}

void ParameterImage::setStoredText(int index, const QByteArray& content) {
    if (!validIndex(index) || index == 0 || content.isEmpty()) return;
    switch (wordClass(index)) {
    case WordClass::Packed:
    case WordClass::Coefficient:
        setWordBytes(index, content.left(4).leftJustified(4, '\0'));
        return;
    case WordClass::Text:
        setWordBytes(index, content.left(4).leftJustified(4, ' '));
        return;
    case WordClass::Uninterpreted:
        return;
    case WordClass::Minutes: {
        const auto stamp = parseTimestamp(QString::fromLatin1(content).trimmed());
        const auto minutes = stamp ? dateTimeToMinutes(*stamp, true) : std::nullopt;
        if (minutes) setWordBytes(index, u32Bytes(*minutes));
        return;
    }
    case WordClass::Int32: {
        bool ok = false;
        const qint32 value = QString::fromLatin1(content).trimmed().toInt(&ok);
        if (ok) setWordBytes(index, i32Bytes(value));
        return;
    }
    case WordClass::Float:
        break;
    }
    bool ok = false;
    double value = QString::fromLatin1(content).trimmed().toDouble(&ok);
    if (!ok) return;
    // The display divides these by 10.19716 in MPa; the corrector keeps kgf/cm2.
    if (isPressureWord(index) || index == 55) value = FromDisplayPressure(value, pressureInMpa());
    setWordBytes(index, floatBytes(static_cast<float>(value)));
}

QString ParameterImage::WordText(int index) const {
    return validIndex(index) ? text_[index] : QString();
}

double ParameterImage::WordValue(int index) const {
    if (!validIndex(index) || !read_.test(index)) return 0.0;
    switch (wordClass(index)) {
    case WordClass::Float:
        return wordFloat(index);
    case WordClass::Minutes:
        return double(wordU32(index) & 0xFFFFFFu);
    case WordClass::Int32:
        return double(wordInt32(index));
    case WordClass::Text:
        return 0.0;
    case WordClass::Packed:
    case WordClass::Uninterpreted:
    case WordClass::Coefficient:
        break;
    }
    return double(wordU32(index));
}

bool ParameterImage::isRead(int index) const {
    return validIndex(index) && read_.test(index);
}

QByteArray ParameterImage::wordBytes(int index) const {
    if (!validIndex(index)) return QByteArray(4, '\0');
    return QByteArray(reinterpret_cast<const char*>(raw_[index].data()), 4);
}

quint8 ParameterImage::byteAt(int index, int byte) const {
    if (!validIndex(index) || byte < 0 || byte > 3) return 0;
    return raw_[index][byte];
}

quint32 ParameterImage::wordU32(int index) const {
    return readU32(wordBytes(index), 0);
}
qint32 ParameterImage::wordInt32(int index) const {
    return readI32(wordBytes(index), 0);
}
float ParameterImage::wordFloat(int index) const {
    return readFloat(wordBytes(index), 0);
}

ArchivePointers ParameterImage::archivePointers() const {
    ArchivePointers p;
    p.alarm = static_cast<quint16>(wordU32(16) & 0xFFFF);
    p.hourly = static_cast<quint16>(wordU32(16) >> 16);
    p.operative = static_cast<quint16>(wordU32(17) & 0xFFFF);
    p.interference = static_cast<quint16>(wordU32(18) >> 16);
    p.daily = static_cast<quint16>(wordU32(19) & 0xFFFF);
    p.monthly = static_cast<quint16>(wordU32(19) >> 16);
    p.service = static_cast<quint16>(wordU32(20) & 0xFFFF);
    return p;
}

double ParameterImage::pulseWeight() const {
    const QString entry = ChoiceText(ValueList::PulseWeights5, pulseWeightIndex(), kRussian);
    return entry.isEmpty() ? 1.0 : entry.toDouble();
}

QString ParameterImage::textItem(int firstWord) const {
    QByteArray bytes;
    for (int i = 0; i < 8; ++i)
        bytes += wordBytes(firstWord + i);
    return trimBlanks(deviceText(bytes));
}

QString ParameterImage::batteryText() const {
    return displayNumber(batteryResource(wordInt32(101), batteryCapacity()), 1);
}

bool ParameterImage::showsMass(const ModelProfile& profile) const {
    return profile.gasSelection && massAccounting() && massDensity(gasIndex()) > 0.0;
}

} // namespace tarn::corrector
