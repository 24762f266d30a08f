#include "portscan/FrameChecksum.h"

namespace tarn::portscan {

quint8 frameChecksum(QByteArrayView bytes) {
    quint8 sum = 0;
    for (char c : bytes)
        sum = static_cast<quint8>(sum + static_cast<quint8>(c));
    return static_cast<quint8>(~sum);
}

} // namespace tarn::portscan
