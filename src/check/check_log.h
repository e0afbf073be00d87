// SPDX-License-Identifier: Apache-2.0
// The check log: one text record per probe result, appended to a file.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

class CItem;

// The bytes a shell reads inside double quotes, which a record's address
// writes as \xNN beside the control bytes.
inline constexpr std::string_view kLogShellQuotedBytes = "\"\\$`";

// The record for `item` and its probe `nResult` written at time `t`:
//   MM/DD/YY HH:MM:SS, R, "ADDRESS", MODE, PORT CR LF
// in local time (TZ honoured), the result as 1 or 0. The address is written
// byte for byte, except that each control byte (below 0x20, and 0x7F) and
// each of the four bytes a shell reads inside double quotes (" \ $ `) is
// written as \xNN with two lower-case hex digits ("a\nb" gives a\x0ab,
// "$x" gives \x24x): a record is always exactly one line, splits back into
// its fields, and runs nothing when a shell reads it. No host name or
// dotted address holds any of these bytes.
// A time that cannot be shown as local time leaves the time field empty.
std::string FormatLogRecord(time_t t, const CItem& item, int32_t nResult);

// Appends the record for the current time to the file `strPath`: created when
// missing (mode 0666 less the umask), never truncated, opened and closed for
// this record alone, the record handed over in one write at the file's end.
// A record that cannot be written is dropped silently.
void AppendLogRecord(const std::string& strPath, const CItem& item, int32_t nResult);
