// Conversion of one UTF-16 code unit to the Windows-1252 code page, for list
// files that store text in 16-bit form.
#pragma once

#include <cstdint>

// The Windows-1252 byte for `unit`, or '?' when it has none.
uint8_t Windows1252FromUnicode(uint16_t unit);
