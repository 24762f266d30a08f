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

    // The name a metering point keeps for the port ("COM1" … "COM25"): a port name as it is, a device
    // path by the line that maps it (or the COMn whose default device it is). Nothing when no COMn
    // of that range names the device.
    std::optional<QString> pointPortName(const QString& port) const;

private:
    QHash<int, QString> map_;
};

} // namespace tarn::link
