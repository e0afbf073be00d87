// Stored text for places that require UTF-8: a list's strings are bytes in
// no declared encoding, typed on this platform (UTF-8) or kept from list
// files of the Windows-1252 era.
#pragma once

#include <string>
#include <string_view>

// Appends `bytes` to `out` as valid UTF-8: each run of well-formed UTF-8 is
// kept as it is, and every other byte is read as a Windows-1252 character.
// Text that is valid UTF-8 already comes out unchanged.
void AppendUtf8FromBytes(std::string& out, std::string_view bytes);
