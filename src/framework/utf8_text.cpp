// SPDX-License-Identifier: Apache-2.0
#include "framework/utf8_text.h"

#include "framework/control_bytes.h"
#include "framework/windows_1252.h"

#include <cstdint>

size_t Utf8SequenceLength(std::string_view s) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
    const uint8_t lead = byte(0);
    if (lead < 0x80)
        return 1;
    size_t n = 0;
    uint8_t low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (s.size() < n || byte(1) < low || byte(1) > high)
        return 0;
    for (size_t i = 2; i < n; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return n;
}

void AppendUtf8(std::string& out, uint16_t unit) {
    if (unit < 0x800) {
        out += static_cast<char>(0xC0 | (unit >> 6));
    } else {
        out += static_cast<char>(0xE0 | (unit >> 12));
        out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (unit & 0x3F));
}

void AppendUtf8FromWindows1252(std::string& out, std::string_view bytes, EControls controls,
                               std::string_view alsoAsHex) {
    for (const char c : bytes) {
        const auto byte = static_cast<uint8_t>(c);
        const uint16_t unit = UnicodeFromWindows1252(byte);
        const bool bControl = unit < 0x20 || (unit >= 0x7F && unit < 0xA0);
        if ((bControl && controls == EControls::kAsHex) || alsoAsHex.find(c) != alsoAsHex.npos)
            AppendHexEscape(out, byte);
        else if (unit < 0x80)
            out += c;
        else
            AppendUtf8(out, unit);
    }
}
