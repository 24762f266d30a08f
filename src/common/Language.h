#pragma once
// Text tables: every window and unit owns a fixed table of its texts, one entry per language for each
// text, Ukrainian first, then Russian (the port scanner adds English as a third). Text k of a table is
// entry k * languages + languageIndex - 1.
#include <QString>
#include <cstddef>

namespace tarn {

// 1 Ukrainian, 2 Russian, 3 English (port scanner only).
enum LanguageIndex : int { kUkrainian = 1, kRussian = 2, kEnglish = 3 };

struct TextPairs {
    const char* const* entries = nullptr; // UTF-8
    int size = 0;                         // number of entries
    int languages = 2;

    int pairs() const { return languages ? size / languages : 0; }
};

template <std::size_t N>
constexpr TextPairs makeTextPairs(const char* const (&entries)[N], int languages = 2) {
    static_assert(N > 0);
    return TextPairs{entries, static_cast<int>(N), languages};
}

// The text of pair k in the language; an index outside the table gives an empty text (never a crash).
QString Text(const TextPairs& table, int pair, int languageIndex);

// Picks between two texts in place, Ukrainian first like the tables (for a message quoted once). Every
// text not in a numbered table goes through here, so the argument order is the same everywhere.
inline QString uaRu(int languageIndex, const char* ua, const char* ru) {
    return QString::fromUtf8(languageIndex == kRussian ? ru : ua);
}

// The language of a part that is told only whether its reader is Ukrainian (the report options).
constexpr int languageOf(bool ukrainian) {
    return ukrainian ? kUkrainian : kRussian;
}

} // namespace tarn
