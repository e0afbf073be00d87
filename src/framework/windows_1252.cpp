// SPDX-License-Identifier: Apache-2.0
#include "framework/windows_1252.h"

namespace {
// Unicode of the bytes 0x80..0x9F; 0 where the byte stands for the same C1
// control code point (0x81, 0x8D, 0x8F, 0x90, 0x9D).
constexpr uint16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};
} // namespace

uint8_t Windows1252FromUnicode(uint16_t unit) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF))
        return static_cast<uint8_t>(unit);
    for (int i = 0; i < 32; ++i) {
        const uint16_t mapped =
            kHighControls[i] ? kHighControls[i] : static_cast<uint16_t>(0x80 + i);
        if (mapped == unit)
            return static_cast<uint8_t>(0x80 + i);
    }
    return '?';
}

uint16_t UnicodeFromWindows1252(uint8_t byte) {
    if (byte < 0x80 || byte >= 0xA0)
        return byte;
    const uint16_t mapped = kHighControls[byte - 0x80];
    return mapped ? mapped : byte;
}
