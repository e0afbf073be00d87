// SPDX-License-Identifier: Apache-2.0
#include "framework/control_bytes.h"

void AppendHexEscape(std::string& out, unsigned char byte) {
    static const char kDigits[] = "0123456789abcdef";
    const char escape[4] = {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 15]};
    out.append(escape, sizeof escape);
}

std::string EscapeControlBytes(const std::string& text, std::string_view alsoEscaped) {
    std::string shown;
    shown.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F || alsoEscaped.find(static_cast<char>(c)) != alsoEscaped.npos) {
            AppendHexEscape(shown, c);
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string UnescapeHexBytes(const std::string& text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
            HexDigit(text[i + 2]) >= 0 && HexDigit(text[i + 3]) >= 0) {
            bytes += static_cast<char>(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3]));
            i += 3;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}
