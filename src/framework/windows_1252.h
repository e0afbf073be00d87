// SPDX-License-Identifier: Apache-2.0
// Conversion between UTF-16 code units and the Windows-1252 code page, for
// list files that store text in 16-bit form and for showing text in windows.
#pragma once

#include <cstdint>

// The Windows-1252 byte for `unit`, or '?' when it has none.
uint8_t Windows1252FromUnicode(uint16_t unit);

// The UTF-16 code unit of the Windows-1252 byte `byte`; the five undefined
// bytes stand for the C1 controls of the same value.
uint16_t UnicodeFromWindows1252(uint8_t byte);
