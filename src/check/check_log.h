// SPDX-License-Identifier: Apache-2.0
// The check log: one text record per probe result (log_record.h), appended
// to a file.
#pragma once

#include <cstdint>
#include <string>

class CItem;

// Appends the record for the current time to the file `strPath`: created when
// missing (mode 0666 less the umask), never truncated, opened and closed for
// this record alone, the record handed over in one write at the file's end.
// A record that cannot be written is dropped silently.
void AppendLogRecord(const std::string& strPath, const CItem& item, int32_t nResult);
