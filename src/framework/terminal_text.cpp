// SPDX-License-Identifier: Apache-2.0
#include "framework/terminal_text.h"

#include "framework/utf8_text.h"
#include "framework/windows_1252.h"

#include <langinfo.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {
bool g_bUtf8Terminal = false;

void AppendEscape(std::string& out, uint8_t byte) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\x%02x", byte);
    out += escape;
}

// An ASCII byte: as it is when printable and not in `alsoEscaped`.
void AppendAscii(std::string& out, uint8_t byte, std::string_view alsoEscaped) {
    if (byte < 0x20 || byte == 0x7F ||
        alsoEscaped.find(static_cast<char>(byte)) != alsoEscaped.npos)
        AppendEscape(out, byte);
    else
        out += static_cast<char>(byte);
}
} // namespace

void ChooseTerminalEncoding() {
    const char* pszCodeSet = nl_langinfo(CODESET);
    g_bUtf8Terminal = pszCodeSet && std::strcmp(pszCodeSet, "UTF-8") == 0;
}

std::string VisibleText(const std::string& text, std::string_view alsoEscaped) {
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<uint8_t>(c);
        const uint16_t unit = UnicodeFromWindows1252(byte);
        if (byte < 0x80)
            AppendAscii(shown, byte, alsoEscaped);
        else if (g_bUtf8Terminal && unit >= 0xA0)
            AppendUtf8(shown, unit);
        else
            AppendEscape(shown, byte);
    }
    return shown;
}

std::string VisibleSystemText(const std::string& text) {
    std::string shown;
    shown.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<uint8_t>(text[i]);
        const size_t n = g_bUtf8Terminal ? Utf8SequenceLength(std::string_view(text).substr(i)) : 0;
        // U+0080 to U+009F are C2 80 to C2 9F.
        const bool bC1 = n == 2 && byte == 0xC2 && static_cast<uint8_t>(text[i + 1]) < 0xA0;
        if (byte < 0x80) {
            AppendAscii(shown, byte, {});
            ++i;
        } else if (n > 0 && !bC1) {
            shown.append(text, i, n);
            i += n;
        } else {
            AppendEscape(shown, byte);
            ++i;
        }
    }
    return shown;
}
