// SPDX-License-Identifier: Apache-2.0
// Reads one log file record by record, through a large buffer: the time and
// result of each line, and the bytes that name its target.
#pragma once

#include "report/local_clock.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct CLogLine {
    time_t m_tTime = 0;
    bool m_bOk = false;
    // `ADDRESS", MODE, PORT`: the record after the address's opening quote,
    // without the line end; valid until the stream's next Next().
    std::string_view m_key;
    // The target part is the one the reader said to expect.
    bool m_bExpected = false;
};

class CLogStream {
public:
    explicit CLogStream(std::string strPath) : m_strPath(std::move(strPath)) {}
    ~CLogStream();
    CLogStream(const CLogStream&) = delete;
    CLogStream& operator=(const CLogStream&) = delete;

    // Opens the file ("-" is standard input). Returns 0 or the errno.
    int Open();
    // The next line that has the form of a record. Lines that do not are
    // counted as skipped. False at the end of the file or on a read error.
    bool Next(CLogLine& line);
    // Counts the line Next() just gave as skipped: its target part is not
    // one a log holds.
    void SkipLine() { NoteSkipped(); }
    // The reader's notes: the entry of the stream's last record, and what it
    // expects next. A line whose target part is `expected` (it ends where
    // that part would) is taken without looking for its end.
    void Note(int32_t nLastEntry, std::string_view expected, int32_t nExpectedEntry) {
        m_nLastEntry = nLastEntry;
        m_expected = expected;
        m_nExpectedEntry = nExpectedEntry;
    }
    int32_t LastEntry() const { return m_nLastEntry; }
    int32_t ExpectedEntry() const { return m_nExpectedEntry; }

    const std::string& Path() const { return m_strPath; }
    int Error() const { return m_nError; }
    int64_t Skipped() const { return m_nSkipped; }
    int64_t FirstSkippedLine() const { return m_nFirstSkipped; }
    int64_t Clamped() const { return m_clock.Clamped(); }

private:
    bool Fill();
    bool ParseLine(const char* p, size_t n, CLogLine& line);
    bool ParseHead(const char* p, CLogLine& line);
    bool TakeExpected(const char* start, CLogLine& line);
    void NoteSkipped();

    std::string m_strPath;
    int m_fd = -1;
    std::unique_ptr<char[]> m_buffer;
    size_t m_nBegin = 0, m_nEnd = 0;
    bool m_bEof = false;
    bool m_bDiscarding = false; // in a line longer than the buffer
    int m_nError = 0;
    int64_t m_nLine = 0;
    int64_t m_nSkipped = 0, m_nFirstSkipped = 0;
    CLocalClock m_clock;
    int32_t m_nLastEntry = -1;
    std::string_view m_expected;
    int32_t m_nExpectedEntry = -1;
};
