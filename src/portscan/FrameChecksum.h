#pragma once
// The check byte of request and reply frames: the bitwise NOT of the 8-bit sum of the covered bytes
// (02 00 20 → DD).
#include <QByteArrayView>

namespace tarn::portscan {

quint8 frameChecksum(QByteArrayView bytes);

} // namespace tarn::portscan
