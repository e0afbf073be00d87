// SPDX-License-Identifier: Apache-2.0
// UTF-8: the system's text where it is well formed, and the form a list's
// and a log's text (Windows-1252 bytes, as the window shows them) takes in
// the files other programs read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The length of the well-formed UTF-8 sequence at the start of `s`, or 0 when
// it starts with none: no overlong forms, surrogates or code points past
// U+10FFFF.
size_t Utf8SequenceLength(std::string_view s);

// Appends the UTF-8 form of `unit`, a code point of the Basic Multilingual
// Plane of 0x80 or above.
void AppendUtf8(std::string& out, uint16_t unit);

// What becomes of the control characters: the C0 controls, DEL, and the C1
// controls that the five bytes Windows-1252 leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) stand for.
enum class EControls {
    kKept, // as characters, for a format that escapes them its own way
    kAsHex // as \xNN text, as the log and the terminal show them: inert, one line
};

// Appends `bytes`, Windows-1252 text, to `out` in UTF-8: each byte as its
// Windows-1252 character (a byte of 0x80 and above never passes through as
// it is, so the result is always well formed, whatever the locale); each
// control character as `controls` says, and each byte of `alsoAsHex` as
// \xNN too.
void AppendUtf8FromWindows1252(std::string& out, std::string_view bytes, EControls controls,
                               std::string_view alsoAsHex = {});
