#include "common/Error.h"

namespace tarn {

QString errorKindName(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::None:
        return QStringLiteral("none");
    case ErrorKind::NotFound:
        return QStringLiteral("not found");
    case ErrorKind::Locked:
        return QStringLiteral("locked");
    case ErrorKind::Damaged:
        return QStringLiteral("damaged");
    case ErrorKind::Refused:
        return QStringLiteral("refused");
    case ErrorKind::NoReply:
        return QStringLiteral("no reply");
    case ErrorKind::NoLink:
        return QStringLiteral("no link");
    case ErrorKind::Io:
        return QStringLiteral("input/output");
    case ErrorKind::Invalid:
        return QStringLiteral("invalid");
    }
    return {};
}

} // namespace tarn
