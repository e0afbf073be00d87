// SPDX-License-Identifier: Apache-2.0
// Text for a terminal: bytes that a terminal takes as a control never reach
// it, whatever they were stored as.
#pragma once

#include <string>
#include <string_view>

// Reads the terminal's code set from the locale (LC_CTYPE, set from the
// environment before): UTF-8, or anything else, which gets ASCII only.
void ChooseTerminalEncoding();

// A list's stored text (8-bit, read as Windows-1252, as the window shows it)
// for the terminal: printable ASCII as it is; in a UTF-8 terminal, every
// other Windows-1252 character in UTF-8. What has no printable form there
// (the C0 controls, DEL, the C1 controls at the five bytes Windows-1252
// leaves undefined, and in other code sets every byte of 0x80 and above),
// and each byte of `alsoEscaped`, is written \xNN in lower-case hex.
std::string VisibleText(const std::string& text, std::string_view alsoEscaped = {});

// The columns that `shown`, text made by VisibleText or VisibleSystemText,
// takes on the terminal: one per character, whatever its length in bytes.
size_t VisibleWidth(std::string_view shown);

// The system's text (paths, the environment, messages), UTF-8 where it is
// well formed: kept as it is in a UTF-8 terminal, except for the C1 controls
// U+0080 to U+009F; every other byte that is not printable ASCII, and every
// control, is written \xNN.
std::string VisibleSystemText(const std::string& text);
