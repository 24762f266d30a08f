#include "link/PortMap.h"

#include "common/TextFile.h"

namespace tarn::link {

std::optional<int> PortMap::comNumber(const QString& portName) {
    const QString t = removeSpaces(portName).toUpper();
    if (!t.startsWith(QLatin1String("COM"))) return std::nullopt;
    bool ok = false;
    const int n = t.mid(3).toInt(&ok);
    if (!ok || n < 1 || n > 999) return std::nullopt;
    return n;
}

PortMap PortMap::load(const DataRoot& root) {
    PortMap map;
    const auto lines = readTextLines(root.file(folder::Work, fileName()));
    if (!lines) return map;
    for (const QString& raw : *lines) {
        const QString line = collapseSpaces(raw.trimmed());
        const qsizetype sp = line.indexOf(QLatin1Char(' '));
        if (sp <= 0) continue;
        const auto n = comNumber(line.left(sp));
        const QString dev = line.mid(sp + 1).trimmed();
        if (n && !dev.isEmpty()) map.set(*n, dev);
    }
    return map;
}

std::optional<QString> PortMap::pointPortName(const QString& port) const {
    constexpr int kLastPointPort = 25;
    const QString name = port.trimmed();
    if (const auto n = comNumber(name))
        return *n <= kLastPointPort ? std::optional<QString>(QStringLiteral("COM%1").arg(*n)) : std::nullopt;
    for (int n = 1; n <= kLastPointPort; ++n)
        if (device(QStringLiteral("COM%1").arg(n)) == name) return QStringLiteral("COM%1").arg(n);
    return std::nullopt;
}

QString PortMap::device(const QString& portName) const {
    const QString name = portName.trimmed();
    const auto n = comNumber(name);
    if (!n) return name;
#ifdef Q_OS_WIN
    return map_.value(*n, QStringLiteral("COM%1").arg(*n));
#else
    return map_.value(*n, QStringLiteral("/dev/ttyS%1").arg(*n - 1));
#endif
}

} // namespace tarn::link
