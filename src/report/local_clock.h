// SPDX-License-Identifier: Apache-2.0
// Local wall-clock times of the log and of the --since/--until options, as
// instants. Two readings of one local time (the hour repeated when daylight
// saving time ends) are told apart by the order of the records.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

// Reads the time fields of one log file, in file order.
class CLocalClock {
public:
    // Reads the 17 bytes "MM/DD/YY HH:MM:SS" at `p` into `t`; false when they
    // are not a time. YY is read as strptime's %y: 69-99 as 1969-1999, 00-68
    // as 2000-2068. Time never runs backwards within a file: a time earlier
    // than the one before it is read as the second pass of a repeated hour
    // when it is one and that keeps the order, else as the time before it.
    bool Read(const char* p, time_t& t);
    // Records that were read as the time before them.
    int64_t Clamped() const { return m_nClamped; }

private:
    bool LoadHour(int year, int month, int day, int hour);

    uint64_t m_nDateText = 0;  // "MM/DD/YY" of the hour loaded
    uint32_t m_nHourText = 0;  // " HH:" of it
    uint64_t m_nClockText = 0; // " HH:MM:S" of the last time read
    char m_cLastDigit = 0;     // and its last digit
    bool m_bClamped = false;   // it was read as the time before it
    time_t m_tHour = 0;        // the hour's start, its earlier reading
    time_t m_tHourLater = 0;   // its later reading (the same when only one)
    bool m_bHourValid = false;
    time_t m_tPrevious = 0;
    bool m_bAny = false;
    int64_t m_nClamped = 0;
};

// Reads "YYYY-MM-DD[ HH:MM[:SS]]" (a "T" may stand for the blank) in local
// time. `bEnd` gives the last second of what the text names (the whole day
// for a date alone, the whole minute for HH:MM), else its first second.
std::optional<time_t> ParseLocalDate(const std::string& text, bool bEnd);
