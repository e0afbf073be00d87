// SPDX-License-Identifier: Apache-2.0
// Stored text in JSON: lossless, one character per byte, whatever the bytes
// are, so that a script gets back exactly what the list or log holds.
#pragma once

#include <string>

// `text` as a JSON string with its quotes: control characters escaped, and
// each byte of 0x80 and above written as \u00xx with the byte's value.
std::string JsonString(const std::string& text);
