#include "corrector/Reading.h"

#include "common/DisplayNumber.h"
#include "corrector/DeviceValues.h"
#include "corrector/ValueLists.h"

namespace tarn::corrector {

namespace {

using F = Field;

// The spin fields show a number even with nothing read.
constexpr Field kSpinFieldsCleared[] = {F::TimeCorrection, F::ContractDay};

} // namespace

QString Reading::itemText(int item) const {
    return itemTextFromImage(image, item, ItemContext{profile, languageIndex});
}

std::optional<int> Reading::newestRecordRow(Archive archive) const {
    const ArchivePointers p = image.archivePointers();
    int pointer = 0;
    switch (archive) {
    case Archive::Hourly:
        pointer = p.hourly;
        break;
    case Archive::Daily:
        pointer = p.daily;
        break;
    case Archive::Monthly:
        pointer = p.monthly;
        break;
    case Archive::Abnormal:
        pointer = p.alarm;
        break;
    case Archive::Interference:
        pointer = p.interference;
        break;
    case Archive::Operative:
        pointer = p.operative;
        break;
    case Archive::Service:
        pointer = p.service;
        break;
    }
    const int rows = archives.rowCount(archive);
    bool ok = false;
    const int first = archives.cell(static_cast<int>(archive), 0, 0).toInt(&ok);
    if (!ok || rows < 4 || first > pointer) return std::nullopt;
    const int row = pointer - first;
    if (row >= rows) return std::nullopt;
    return row;
}

void Reading::clear() {
    image.clear();
    for (QString& t : texts)
        t = QString::fromLatin1(kNoDataText);
    setText(F::Date, QString::fromLatin1(kClearedDateText));
    setText(F::Time, QString::fromLatin1(kClearedTimeText));
    for (Field spin : kSpinFieldsCleared)
        setText(spin, QStringLiteral("0"));
    header.clear();
    archives.clear();
    kindsRead = {};
}

QString itemTextFromImage(const ParameterImage& img, int item, const ItemContext& context) {
    const ItemEntry* e = FindItem(item);
    if (!e) return {};
    QByteArray value(4, '\0');
    switch (e->place) {
    case PlaceKind::Word:
        if (!img.isRead(e->word)) return QString::fromLatin1(kNoDataText);
        value = img.wordBytes(e->word);
        break;
    case PlaceKind::Byte:
        if (!img.isRead(e->word)) return QString::fromLatin1(kNoDataText);
        value[0] = static_cast<char>(img.byteAt(e->word, e->byte));
        break;
    case PlaceKind::Bit:
        if (!img.isRead(e->word)) return QString::fromLatin1(kNoDataText);
        value[0] = (img.byteAt(e->word, e->byte) & e->bit) ? 1 : 0;
        break;
    case PlaceKind::Low16:
        if (!img.isRead(e->word)) return QString::fromLatin1(kNoDataText);
        value[0] = static_cast<char>(img.byteAt(e->word, 0));
        value[1] = static_cast<char>(img.byteAt(e->word, 1));
        break;
    case PlaceKind::Text:
        if (!img.isRead(e->word)) return QString::fromLatin1(kNoDataText);
        return img.textItem(e->word);
    case PlaceKind::None:
    case PlaceKind::Clock:
        return {};
    }
    const QByteArray payload = QByteArray(2, '\0') + value;
    // Decoding writes what it decodes into the image it is given; the reading's own stays as read.
    ParameterImage scratch = img;
    return DecodeItem(item, payload, scratch, context).text;
}

void fillTextsFromImage(Reading& r, GaugeUnit gaugeUnit, BaroUnit baroUnit) {
    const ParameterImage& img = r.image;
    const ModelProfile& p = r.profile;
    const int lang = r.languageIndex;
    const ItemContext context{p, lang, gaugeUnit, baroUnit};
    for (const FieldSpec& f : allFieldSpecs()) {
        if (f.item == 0 || f.item == 16 || f.item == 17) continue;
        const QString t = itemTextFromImage(img, f.item, context);
        if (!t.isNull()) r.setText(f.field, t);
    }
    if (img.isRead(7))
        r.setText(F::MeterOutput, MeterOutputText(img.meterOutputIndex(), p.hasCalibrationTable(), lang));
    if (img.isRead(3))
        r.setText(F::InterfaceType, ChoiceText(ValueList::InterfaceTypes, img.interfaceTypeIndex(), lang));
    if (img.isRead(63)) r.setText(F::PressureConverter, img.WordText(63));
    if (img.isRead(26)) r.setText(F::AlarmMask2, hex4(img.secondAlarmMask()));
    if (img.isRead(70)) r.setText(F::InitDate, img.WordText(70));

    // Volumes: the hour as stored, the day and the month with the hour of the same kind added; the
    // standard ones shown as mass where the corrector accounts by mass.
    const bool mass = img.showsMass(p);
    const int gas = img.gasIndex();
    auto volume = [&](Field field, double m3, bool standard) {
        r.setText(field, displayNumber(standard ? ToDisplayVolume(m3, mass, gas) : m3, 5));
    };
    const Field hour[4] = {F::WorkHour, F::StandardHour, F::AbnormalHour, F::AbnormalStandardHour};
    const Field day[4] = {F::WorkDay, F::StandardDay, F::AbnormalDay, F::AbnormalStandardDay};
    const Field month[4] = {F::WorkMonth, F::StandardMonth, F::AbnormalMonth, F::AbnormalStandardMonth};
    for (int k = 0; k < 4; ++k) {
        const bool standard = k == 1 || k == 3;
        const double h = img.WordValue(73 + k);
        if (img.isRead(73 + k)) volume(hour[k], h, standard);
        if (img.isRead(81 + k) && img.isRead(73 + k)) volume(day[k], img.WordValue(81 + k) + h, standard);
        if (img.isRead(89 + k) && img.isRead(73 + k)) volume(month[k], img.WordValue(89 + k) + h, standard);
    }
    const Field energy[3] = {F::EnergyHour, F::EnergyDay, F::EnergyMonth};
    for (int k = 0; k < 3; ++k)
        if (img.isRead(37 + k))
            r.setText(energy[k], displayNumber(ToDisplayHeat(img.WordValue(37 + k), img.heatInGj()), 5));
    r.setText(F::HeaderSerial, r.header.refresh(r.profile, r.image));
}

bool completeFullRead(Reading& r, GaugeUnit gaugeUnit, BaroUnit baroUnit) {
    if (!r.image.isRead(99)) return false;
    r.header.setSerial(static_cast<quint32>(r.image.wordInt32(99)));
    RenameAfterFullRead(r.profile, *r.header.serial());
    r.setText(F::ModelName, r.profile.modelName);
    fillTextsFromImage(r, gaugeUnit, baroUnit);
    return true;
}

} // namespace tarn::corrector
