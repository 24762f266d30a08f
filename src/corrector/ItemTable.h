#pragma once
// The 70 programmable items: the corrector's settings read and written one value at a time. Each item
// has its code (the address byte of its read and write), its kind, its range, the access levels that may
// write it, its place in the parameter image and its caption. Decoding, checking and encoding are pure
// functions of the item, the entered text, the image and the model profile.
#include "corrector/ModelProfile.h"
#include "corrector/ParameterImage.h"
#include "corrector/Units.h"
#include "corrector/ValueLists.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace tarn::corrector {

inline constexpr int kItemCount = 70;
// Reply sizes of an item read: serial number, 4 value bytes; text items 64 bytes with the characters at
// payload bytes 30..61.
inline constexpr int kItemReplySize = 6;
inline constexpr int kTextItemReplySize = 64;
inline constexpr int kTextItemOffset = 30;
inline constexpr int kTextItemLength = 32;

enum class ItemKind {
    Byte = 0,
    Mask16 = 1,
    Int32 = 2,
    Float = 3,
    DateTime = 4,
    Flag = 5,
    Choice = 6,
    Text32 = 7,
    Password = 8,
    Hour = 9
};

// Access levels of the corrector window.
enum AccessLevel : int {
    kAccessNone = 0,
    kAccessOperator = 1,
    kAccessMaster = 2,
    kAccessConfigurator = 3,
    kAccessVerifier = 4
};

// Where a decoded item lands in the image.
enum class PlaceKind { None, Word, Byte, Bit, Low16, Text, Clock };

struct ItemEntry {
    int item;
    quint8 code;
    ItemKind kind;
    bool hasRange;
    // The range as shown (item 27: addresses 1..14); the check compares in single precision.
    double minValue;
    double maxValue;
    quint8 writableMask; // bit n: writable at access level n
    PlaceKind place;
    int word;
    int byte;
    quint8 bit;
    const char* captionUa;
    const char* captionRu;
};

// Nothing for item numbers outside 1..70.
const ItemEntry* FindItem(int item);
bool IsWritableAt(int item, int accessLevel);
// The pressures (items 24, 30, 31, 34 and 39): kept in kgf/cm², shown and entered in the corrector's
// pressure unit.
bool isPressureItem(int item);
// The reply size of the item's read (6, or 64 for text items).
int ItemReadCount(int item);
// Items 15 and 67 share a code: on models with a calibration table it carries the pulse coefficient.
int EffectiveItem(int item, const ModelProfile& profile);
// The caption in the language (item 65 names the nominal diameter on meter-coefficient models).
QString ItemCaption(int item, const ModelProfile& profile, int languageIndex);
// The value list of a choice or flag item for the profile (item 15 shown with PulseWeightsCalib on
// calibration models); nothing for other kinds.
std::optional<ValueList> ItemDisplayList(int item, const ModelProfile& profile);

// What the window knows beyond the image: the profile, the language and the unit buttons of the
// gauge- and barometric-pressure panels.
struct ItemContext {
    const ModelProfile& profile;
    int languageIndex = 1;
    GaugeUnit gaugeUnit = GaugeUnit::KgfCm2;
    BaroUnit baroUnit = BaroUnit::KgfCm2;
};

struct DecodedItem {
    quint16 serial = 0; // low 16 bits of the corrector serial number, payload bytes 0..1
    QString text;       // the field's text
    QString dateText;   // datetime items: the date field
    QString timeText;   // datetime items: the time field
};

// Decodes an item reply and updates the item's place in the image (word, byte or bit).
DecodedItem DecodeItem(int item, const QByteArray& payload, ParameterImage& image,
                       const ItemContext& context);

enum class CheckResult { valueOk, valueSyntax, valueBelow, valueAbove };

struct ItemCheck {
    CheckResult result = CheckResult::valueOk;
    QString message; // empty when valueOk
};

// The value check of a float item (gauge and barometric values after conversion from their panel unit;
// pressures in MPa against bounds in MPa); other kinds pass.
ItemCheck CheckItemValue(int item, const QString& text, const ParameterImage& image,
                         const ItemContext& context);

struct EncodedItem {
    bool ok = false;
    QByteArray value; // 4 value bytes; text items: 32 characters padded with blanks
    // For range and syntax refusals the check result; other refusals (list, time, date, password and
    // length messages) leave it valueOk.
    CheckResult check = CheckResult::valueOk;
    QString message; // the refusal, in the context's language
};

// Encodes an entered text for writing. Datetime items take "dd.MM.yyyy HH:mm" (date field, a blank,
// time field). Nothing is to be sent when ok is false.
EncodedItem EncodeItem(int item, const QString& text, const ParameterImage& image,
                       const ItemContext& context);
// Items 16 and 17: the date field and the time field.
EncodedItem EncodeDateTime(const QString& dateText, const QString& timeText, int languageIndex);

// Data of an item write: the low 16 bits of the serial number and the 4 value bytes; for text items the
// serial number, 00 00 00 80 and the 32 characters (38 bytes).
QByteArray ItemWriteData(int item, quint32 serialNumber, const QByteArray& value);

// Value-check messages in the language (the below and above messages are followed by the bounds).
QString CheckMessage(CheckResult result, int languageIndex);

// trunc(value × factor) of two decimal texts computed exactly in decimal (0.29 × 100 gives 29); nothing
// when either is not a number or the product does not fit.
std::optional<qint64> truncatedDecimalProduct(const QString& value, const QString& factor);

} // namespace tarn::corrector
