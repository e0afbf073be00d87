// SPDX-License-Identifier: Apache-2.0
#include "report/local_clock.h"

#include <algorithm>
#include <cstring>

namespace {
tm LocalFields(int year, int month, int day, int hour, int minute, int second, int isdst) {
    tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = isdst;
    return fields;
}

// The local time Y-M-D h:m:s with daylight saving time `isdst` (1, 0 or -1
// for the library's own choice), if that reading exists.
std::optional<time_t> MakeLocal(int year, int month, int day, int hour, int minute, int second,
                                int isdst) {
    tm fields = LocalFields(year, month, day, hour, minute, second, isdst);
    const time_t t = mktime(&fields);
    tm back{};
    if (!localtime_r(&t, &back))
        return std::nullopt;
    // mktime moves a forced reading that does not exist, and an impossible
    // date (31 February), to another local time.
    if (back.tm_year != year - 1900 || back.tm_mon != month - 1 || back.tm_mday != day ||
        back.tm_hour != hour || back.tm_min != minute)
        return std::nullopt;
    return t;
}

bool Digits(const char* p, int& value) {
    const unsigned a = static_cast<unsigned>(p[0] - '0'), b = static_cast<unsigned>(p[1] - '0');
    value = static_cast<int>(a * 10 + b);
    return a < 10 && b < 10;
}
} // namespace

bool CLocalClock::LoadHour(int year, int month, int day, int hour) {
    const std::optional<time_t> standard = MakeLocal(year, month, day, hour, 0, 0, 0);
    const std::optional<time_t> summer = MakeLocal(year, month, day, hour, 0, 0, 1);
    if (standard && summer) {
        m_tHour = std::min(*standard, *summer);
        m_tHourLater = std::max(*standard, *summer);
    } else if (standard || summer) {
        m_tHour = m_tHourLater = standard ? *standard : *summer;
    } else {
        // An hour skipped when daylight saving time starts: the library's
        // reading, one hour on; or no such day at all.
        const std::optional<time_t> any = MakeLocal(year, month, day, 0, 0, 0, -1);
        if (!any)
            return false;
        m_tHour = m_tHourLater = *any + hour * 3600;
    }
    return true;
}

bool CLocalClock::Read(const char* p, time_t& t) {
    // A pass writes many records within a second: the same 17 bytes as the
    // line before give the same time.
    uint64_t date, clock;
    std::memcpy(&date, p, sizeof date);
    std::memcpy(&clock, p + 8, sizeof clock);
    if (m_bAny && date == m_nDateText && clock == m_nClockText && p[16] == m_cLastDigit) {
        t = m_tPrevious;
        m_nClamped += m_bClamped;
        return true;
    }
    // "MM/DD/YY HH:" as two words: mostly the same as the line before.
    const uint32_t hourText = static_cast<uint32_t>(clock);
    if (date != m_nDateText || hourText != m_nHourText || !m_bHourValid) {
        int month, day, year, hour;
        if (!Digits(p, month) || p[2] != '/' || !Digits(p + 3, day) || p[5] != '/' ||
            !Digits(p + 6, year) || p[8] != ' ' || !Digits(p + 9, hour) || p[11] != ':' ||
            month < 1 || month > 12 || day < 1 || day > 31 || hour > 23)
            return false;
        m_nDateText = date;
        m_nHourText = hourText;
        m_bHourValid = LoadHour(year < 69 ? 2000 + year : 1900 + year, month, day, hour);
        if (!m_bHourValid)
            return false;
    }
    int minute, second;
    if (!Digits(p + 12, minute) || p[14] != ':' || !Digits(p + 15, second) || minute > 59 ||
        second > 60)
        return false;
    const int offset = minute * 60 + second;
    t = m_tHour + offset;
    m_bClamped = false;
    if (m_bAny && t < m_tPrevious) {
        t = m_tHourLater + offset;
        if (t < m_tPrevious) {
            t = m_tPrevious;
            m_bClamped = true;
            ++m_nClamped;
        }
    }
    m_tPrevious = t;
    m_bAny = true;
    m_nClockText = clock;
    m_cLastDigit = p[16];
    return true;
}

std::optional<time_t> ParseLocalDate(const std::string& text, bool bEnd) {
    // YYYY-MM-DD, then " HH:MM", then ":SS", each optional after the date.
    const size_t n = text.size();
    const char* p = text.c_str();
    int century, year, month, day, hour = 0, minute = 0, second = 0;
    if ((n != 10 && n != 16 && n != 19) || !Digits(p, century) || !Digits(p + 2, year) ||
        p[4] != '-' || !Digits(p + 5, month) || p[7] != '-' || !Digits(p + 8, day))
        return std::nullopt;
    if (n > 10 && ((p[10] != ' ' && p[10] != 'T') || !Digits(p + 11, hour) || p[13] != ':' ||
                   !Digits(p + 14, minute)))
        return std::nullopt;
    if (n > 16 && (p[16] != ':' || !Digits(p + 17, second)))
        return std::nullopt;
    if (bEnd && n == 10)
        hour = 23, minute = 59;
    if (bEnd && n < 19)
        second = 59;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    year += century * 100;
    if (std::optional<time_t> t = MakeLocal(year, month, day, hour, minute, second, -1))
        return t;
    // A time in the hour skipped when daylight saving time starts: the
    // library's reading of it, if the day exists.
    if (!MakeLocal(year, month, day, 0, 0, 0, -1))
        return std::nullopt;
    tm fields = LocalFields(year, month, day, hour, minute, second, -1);
    return mktime(&fields);
}
