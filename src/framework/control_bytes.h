// SPDX-License-Identifier: Apache-2.0
// Stored text shown on one line: a list's strings are bytes in no declared
// encoding and may hold line breaks and other control characters.
#pragma once

#include <string>
#include <string_view>

// Appends `byte` as \xNN in lower-case hex, the form every escape of a byte
// takes, in the log, on a terminal and in the report's files.
void AppendHexEscape(std::string& out, unsigned char byte);

// `text` with each control byte (below 0x20, and 0x7F) and each byte of
// `alsoEscaped` written as \xNN in lower-case hex; every other byte unchanged.
std::string EscapeControlBytes(const std::string& text, std::string_view alsoEscaped = {});

// The value of a hex digit of either case; -1 for any other character.
int HexDigit(char c);

// The reverse for text escaped with a backslash among `alsoEscaped`: each
// \xNN (two hex digits) back to its byte; every other byte unchanged.
std::string UnescapeHexBytes(const std::string& text);
