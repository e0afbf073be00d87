// SPDX-License-Identifier: Apache-2.0
// The target part of a log record: `ADDRESS", MODE, PORT`.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct CLogTarget {
    std::string m_strAddress; // \xNN escapes of control bytes decoded
    int32_t m_nMode = 0;
    int32_t m_nPort = 0;
};

// Reads a target part. The address is everything before the `", ` that comes
// ahead of the last two numbers, so quotes and commas in it are kept. Fails
// for numbers that are not plain 32-bit decimals, for a raw control byte in
// the address (the log escapes them), and for an address that holds a record
// time, which is a record cut short with the next one glued to it.
std::optional<CLogTarget> ParseLogTarget(std::string_view key);

// The address as it was before the log escaped it: each \xNN that stands for
// a byte the log escapes (a control byte, below 0x20 and 0x7F, or one of
// " \ $ `) becomes that byte; everything else, other backslashes included,
// stays as it is, so that logs written before the shell bytes were escaped
// still read as they were written.
std::string DecodeLogAddress(std::string_view text);
