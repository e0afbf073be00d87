#include "framework/control_bytes.h"

#include <cstdio>

std::string EscapeControlBytes(const std::string& text, std::string_view alsoEscaped) {
    std::string shown;
    shown.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F || alsoEscaped.find(static_cast<char>(c)) != alsoEscaped.npos) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            shown += escape;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}
