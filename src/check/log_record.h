// SPDX-License-Identifier: Apache-2.0
// The check log's record, written and read in one place:
//   MM/DD/YY HH:MM:SS, R, "ADDRESS", MODE, PORT CR LF
// The writer is the check's log (check_log.h appends what FormatLogRecord
// makes); the reader is the report, which takes the time and result itself
// and hands the rest, the target part, to ParseLogTarget.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

class CItem;

// The bytes a shell reads inside double quotes, which a record's address
// writes as \xNN beside the control bytes.
inline constexpr std::string_view kLogShellQuotedBytes = "\"\\$`";

// Where the target part starts: after "MM/DD/YY HH:MM:SS, R, \"".
inline constexpr size_t kLogTargetOffset = 23;

// The record for `item` and its probe `nResult` written at time `t`, in
// local time (TZ honoured), the result as 1 or 0. The address is written
// byte for byte, except that each control byte (below 0x20, and 0x7F) and
// each of the four bytes a shell reads inside double quotes (" \ $ `) is
// written as \xNN with two lower-case hex digits ("a\nb" gives a\x0ab,
// "$x" gives \x24x): a record is always exactly one line, splits back into
// its fields, and runs nothing when a shell reads it. No host name or
// dotted address holds any of these bytes.
// A time that cannot be shown as local time leaves the time field empty.
std::string FormatLogRecord(time_t t, const CItem& item, int32_t nResult);

// The target part of a record: `ADDRESS", MODE, PORT`.
struct SLogTarget {
    std::string strAddress; // \xNN escapes of the bytes the writer escapes decoded
    int32_t nMode = 0;
    int32_t nPort = 0;
};

// Reads a target part. The address is everything before the `", ` that comes
// ahead of the last two numbers, so quotes and commas in it are kept. Fails
// for numbers that are not plain 32-bit decimals, for a raw control byte in
// the address (the writer escapes them), and for an address that holds a
// record time, which is a record cut short with the next one glued to it.
std::optional<SLogTarget> ParseLogTarget(std::string_view key);

// The address as it was before the writer escaped it: each \xNN that stands
// for a byte the writer escapes (a control byte, below 0x20 and 0x7F, or one
// of " \ $ `) becomes that byte; everything else, other backslashes included,
// stays as it is, so that logs written before the shell bytes were escaped
// still read as they were written.
std::string DecodeLogAddress(std::string_view text);
