#pragma once
// Where a reading came from, numbered as the request log keeps it (1..7).

namespace tarn::corrector {

enum class SourceKind {
    PolledByModem = 1, // "модем БД"
    PolledByCable = 2, // "кабель БД"
    TransferUnit = 3,  // "ДТУ"
    File = 4,          // "файл"
    Cable = 5,         // "кабель"
    Package = 6,       // "файл БД"
    Unknown = 7,       // "неизвестно"
};
constexpr int sourceKindNumber(SourceKind kind) {
    return static_cast<int>(kind);
}

} // namespace tarn::corrector
