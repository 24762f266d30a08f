#include "transfer/TransferUnit.h"

#include "common/Language.h"
#include "link/FrameChecksum.h"

#include <QStringList>

namespace tarn::transfer {

namespace {

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

quint32 complementSum(const QByteArray& first260) {
    quint32 sum = 0;
    for (int i = 0; i + 1 < 260; i += 2) {
        const quint16 word = static_cast<quint16>(static_cast<quint8>(first260.at(i)) |
                                                  (static_cast<quint8>(first260.at(i + 1)) << 8));
        sum += static_cast<quint16>(~word);
    }
    return sum;
}

} // namespace

QByteArray versionRequest() {
    return bytes({0x00, 0x00, 0x20});
}

QByteArray stateRequest(int zones) {
    return bytes({0x00, 0x03, zones <= 8 ? 0x08 : 0x10});
}

QByteArray progressRequest() {
    return bytes({0x00, 0x01, 0x04});
}

QByteArray testStartRequest() {
    return bytes({0x80, 0x01, 0x02, 0x3C, 0xC3});
}

QByteArray eraseStartRequest() {
    return bytes({0x80, 0x03, 0x02, 0x55, 0xAA});
}

QByteArray blockRequest(int zone, int block) {
    const int page = zone * kZoneBlocks + block;
    return bytes({0x20 | ((page >> 8) & 0xFF), page & 0xFF, 0x00});
}

int expectedReplyLength(const QByteArray& request) {
    if (request.isEmpty()) return 0;
    if (static_cast<quint8>(request.at(0)) & 0x80) return 3;
    const int count = request.size() > 2 ? static_cast<quint8>(request.at(2)) : 0;
    return count == 0 ? 266 : count + 2;
}

ReplyCheck checkReply(const QByteArray& received, int expectedLength) {
    ReplyCheck r;
    if (received.isEmpty()) {
        r.fault = ReplyFault::NoReply;
        return r;
    }
    const quint8 first = static_cast<quint8>(received.at(0));
    if (first == 0xEE) {
        // The unit's own refusal: never data, whatever its length.
        r.fault = ReplyFault::UnitError;
        r.unitFlags = received.size() > 1 ? static_cast<quint8>(received.at(1)) : 0;
        return r;
    }
    if (received.size() != expectedLength) {
        r.fault = ReplyFault::WrongLength;
        return r;
    }
    if (link::frameChecksum(received.constData(), received.size() - 1) !=
        static_cast<quint8>(received.at(received.size() - 1))) {
        r.fault = first == 0xCC || first == 0xDD ? ReplyFault::Checksum : ReplyFault::Unidentified;
        return r;
    }
    r.accepted = true;
    r.payload = received.mid(1, received.size() - 2);
    return r;
}

bool blockCheckOk(const QByteArray& payload) {
    if (payload.size() < 264) return false;
    const quint32 check = static_cast<quint32>(static_cast<quint8>(payload.at(260))) |
                          (static_cast<quint32>(static_cast<quint8>(payload.at(261))) << 8) |
                          (static_cast<quint32>(static_cast<quint8>(payload.at(262))) << 16) |
                          (static_cast<quint32>(static_cast<quint8>(payload.at(263))) << 24);
    return complementSum(payload) == static_cast<quint32>(~check);
}

QByteArray blockCheckBytes(const QByteArray& first260) {
    const quint32 check = ~complementSum(first260.leftJustified(260, '\0', true));
    QByteArray out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<char>((check >> (8 * i)) & 0xFF);
    return out;
}

QStringList faultTexts(ReplyFault fault, quint8 unitFlags) {
    switch (fault) {
    case ReplyFault::None:
        return {};
    case ReplyFault::NoReply:
        return {QStringLiteral("Нет ответа от ДТУ")};
    case ReplyFault::WrongLength:
        return {QStringLiteral("Ошибочное число данных")};
    case ReplyFault::Checksum:
        return {QStringLiteral("Ошибка контрольной суммы")};
    case ReplyFault::Unidentified:
        return {QStringLiteral("Информация не идентифицирована")};
    case ReplyFault::UnitError: {
        static const std::pair<quint8, const char*> kFlags[] = {{0x01, "Ошибка контрольной суммы"},
                                                                {0x02, "Ошибочное число данных"},
                                                                {0x04, "Неверный параметр"},
                                                                {0x08, "Мало байт - убежала скорость"},
                                                                {0x10, "Ошибочная команда"}};
        QStringList out;
        for (const auto& [flag, text] : kFlags)
            if (unitFlags & flag) out.append(QString::fromUtf8(text));
        return out;
    }
    }
    return {};
}

std::optional<UnitStateMessage> unitStateMessage(quint8 s, bool justErased, int lang) {
    if (s == 0) return UnitStateMessage{QStringLiteral("Неопределенное состояние ДТУ !!!")};
    if ((s & 0x0F) == 2) return UnitStateMessage{QStringLiteral("Состяние ДТУ не определено!!!")};
    if (s & 0x08) return UnitStateMessage{uaRu(lang, "ДТУ після тесту", "ДТУ после теста")};
    if (s == 0xA0) {
        if (justErased)
            return UnitStateMessage{uaRu(lang, "Стирання ДТУ - НОРМА", "Стирание ДТУ - НОРМА"), true};
        return UnitStateMessage{uaRu(lang, "ДТУ після стирання", "ДТУ после стирания")};
    }
    if (s & 0x04) return UnitStateMessage{QStringLiteral("Тест ДТУ незавершен!!!")};
    return std::nullopt;
}

bool unitAfterTest(quint8 firstStatus) {
    return (firstStatus & 0x0C) != 0;
}

QString zoneText(quint8 status, bool afterTest, const QString& serial, const QString& name, int lang) {
    if (afterTest) return uaRu(lang, "Після тесту", "После теста");
    switch (status & 0x07) {
    case ZoneEmpty:
        return uaRu(lang, "Немає даних", "Нет данных");
    case ZoneIncomplete:
        return uaRu(lang, "Запис неповний", "Запись неполная");
    case ZoneComplete:
        if (!serial.isEmpty())
            return QStringLiteral("N ") + serial.rightJustified(5, QLatin1Char('0')) + name;
        return uaRu(lang, "Запис норма", "Нормальная запись");
    case ZoneBlockChecksum:
        return uaRu(lang, "Помилка конт.сум.O", "Ошибка конт.сум.O");
    case ZoneDataChecksum:
        return uaRu(lang, "Помилка конт.сум.Д", "Ошибка конт.сум.Д");
    case ZoneOldVersion:
        return uaRu(lang, "Стара версія прогр.", "Старая версия прогр.");
    default:
        return {};
    }
}

QString unitVersionText(const QByteArray& reply) {
    QByteArray kept;
    for (char c : reply)
        if (c != '\0') kept.append(c);
    return QString::fromLatin1(kept).trimmed();
}

int zoneCountOf(const QByteArray& versionText) {
    return versionText.contains("u208") ? 8 : kMaxZones;
}

} // namespace tarn::transfer
