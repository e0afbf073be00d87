// SPDX-License-Identifier: Apache-2.0
#include "framework/terminal_text.h"

#include "framework/control_bytes.h"
#include "framework/utf8_text.h"

#include <langinfo.h>

#include <cstdint>
#include <cstring>

namespace {
bool g_bUtf8Terminal = false;

// An ASCII byte: as it is when printable and not in `alsoEscaped`.
void AppendAscii(std::string& out, uint8_t byte, std::string_view alsoEscaped) {
    if (byte < 0x20 || byte == 0x7F ||
        alsoEscaped.find(static_cast<char>(byte)) != alsoEscaped.npos)
        AppendHexEscape(out, byte);
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
    if (g_bUtf8Terminal) {
        AppendUtf8FromWindows1252(shown, text, EControls::kAsHex, alsoEscaped);
        return shown;
    }
    for (const char c : text) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte < 0x80)
            AppendAscii(shown, byte, alsoEscaped);
        else
            AppendHexEscape(shown, byte);
    }
    return shown;
}

size_t VisibleWidth(std::string_view shown) {
    size_t width = 0;
    for (const char c : shown)
        width += (static_cast<uint8_t>(c) & 0xC0) != 0x80; // not a continuation byte
    return width;
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
            AppendHexEscape(shown, byte);
            ++i;
        }
    }
    return shown;
}
