// Reads one log file record by record, through a large buffer: the time and
// result of each line, and the bytes that name its target.
#pragma once

#include "cli/report/local_clock.h"

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

    const std::string& Path() const { return m_strPath; }
    int Error() const { return m_nError; }
    int64_t Skipped() const { return m_nSkipped; }
    int64_t FirstSkippedLine() const { return m_nFirstSkipped; }
    int64_t Clamped() const { return m_clock.Clamped(); }

private:
    bool Fill();
    bool ParseLine(const char* p, size_t n, CLogLine& line);
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
};
