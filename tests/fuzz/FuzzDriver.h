#pragma once
// The shape every fuzz target has: one function that takes an input of any bytes and must neither crash
// nor trip a sanitizer on it. FuzzDriver.cpp holds the program around it (corpus replay, then seeded
// mutations); FuzzSupport holds what several targets share.
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace tarn::fuzz {

inline QByteArray bytesOf(const std::uint8_t* data, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// The bytes cut or padded with zeros to the length a caller guarantees (the engine hands on only replies
// of the length asked for).
inline QByteArray exactly(const QByteArray& bytes, qsizetype size) {
    return bytes.left(size).leftJustified(size, '\0', true);
}

// A folder for the run, made once: targets whose parsers read files write each input there.
QTemporaryDir& scratch();
// Writes the input over path (made with its folders); false when it could not be written.
bool putFile(const QString& path, const QByteArray& bytes);

} // namespace tarn::fuzz
