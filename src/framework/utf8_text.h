// SPDX-License-Identifier: Apache-2.0
// Stored text for places that require UTF-8: a list's strings are bytes in
// no declared encoding, typed on this platform (UTF-8) or kept from list
// files of the Windows-1252 era.
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

// Appends `bytes` to `out` as valid UTF-8: each run of well-formed UTF-8 is
// kept as it is, and every other byte is read as a Windows-1252 character.
// Text that is valid UTF-8 already comes out unchanged.
void AppendUtf8FromBytes(std::string& out, std::string_view bytes);
