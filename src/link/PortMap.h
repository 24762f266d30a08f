#pragma once
// Port names: settings and books keep "COMn". On Linux "COMn" names a device through Work\PortMap.000
// (lines "COM3 /dev/ttyUSB0"); a "COMn" the file does not list is /dev/ttyS(n-1). A device path typed
// where a port name goes is used as it is.
#include "common/DataRoot.h"

#include <QHash>
#include <QString>
#include <optional>

namespace tarn::link {

class PortMap {
public:
    static PortMap load(const DataRoot& root);
    static QString fileName() { return QStringLiteral("PortMap.000"); }

    void set(int comNumber, const QString& device) { map_.insert(comNumber, device); }
    QString device(const QString& portName) const;

    // "COM7" (any case, blanks ignored) → 7.
    static std::optional<int> comNumber(const QString& portName);

private:
    QHash<int, QString> map_;
};

} // namespace tarn::link
