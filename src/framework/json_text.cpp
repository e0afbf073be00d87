// SPDX-License-Identifier: Apache-2.0
#include "framework/json_text.h"

#include <cstdio>

std::string JsonString(const std::string& text) {
    std::string json = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            json += "\\\"";
            break;
        case '\\':
            json += "\\\\";
            break;
        case '\b':
            json += "\\b";
            break;
        case '\f':
            json += "\\f";
            break;
        case '\n':
            json += "\\n";
            break;
        case '\r':
            json += "\\r";
            break;
        case '\t':
            json += "\\t";
            break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", c);
                json += escape;
            } else {
                json += static_cast<char>(c);
            }
        }
    }
    return json + "\"";
}
