#pragma once
// The controller's four memory areas and what tells them apart on the line: the
// command codes of their reads and writes, and the address a field starts with.

#include <QString>
#include <array>
#include <cstdint>

namespace memory {

// In the order the panel shows them and the reply handling looks at them.
enum MemoryArea { AreaIR, AreaER, AreaIM, AreaIF, MemoryAreaCount };

struct MemoryAreaInfo {
    const char* label;          // "IR>"
    const char* defaultAddress; // the address field's text at start
    const char* readCode;       // two hex digits
    const char* writeCode;
};

inline constexpr std::array<MemoryAreaInfo, MemoryAreaCount> kMemoryAreas{{
    {"IR>", "000024", "C8", "C9"},
    {"ER>", "010000", "CA", "CB"},
    {"IM>", "000000", "C4", "C5"},
    {"IF>", "003000", "CC", "CD"},
}};

inline QString readCode(MemoryArea area) { return QString::fromLatin1(kMemoryAreas[area].readCode); }
inline QString writeCode(MemoryArea area) { return QString::fromLatin1(kMemoryAreas[area].writeCode); }

// The keys an address field acts on; every other key only abandons the chain.
enum class MemoryKey { Enter, PageDown, PageUp, Other };

} // namespace memory
