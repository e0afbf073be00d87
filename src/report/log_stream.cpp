// SPDX-License-Identifier: Apache-2.0
#include "report/log_stream.h"

#include "check/log_record.h"
#include "report/target_table.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {
// Large enough that reading costs one system call per megabyte, small enough
// to stay in the caches' reach.
constexpr size_t kBufferSize = 1024 << 10;
// The shortest target part: `", 0, 0`.
constexpr size_t kShortestTarget = 7;
} // namespace

CLogStream::~CLogStream() {
    if (m_fd > 0)
        ::close(m_fd);
}

int CLogStream::Open() {
    m_fd = m_strPath == "-" ? 0 : ::open(m_strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        return errno;
    ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    m_buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
    return 0;
}

bool CLogStream::Fill() {
    if (m_nBegin == 0 && m_nEnd == kBufferSize) {
        // One line fills the buffer: no record is that long.
        m_bDiscarding = true;
        m_nEnd = 0;
    }
    std::memmove(m_buffer.get(), m_buffer.get() + m_nBegin, m_nEnd - m_nBegin);
    m_nEnd -= m_nBegin;
    m_nBegin = 0;
    for (;;) {
        const ssize_t n = ::read(m_fd, m_buffer.get() + m_nEnd, kBufferSize - m_nEnd);
        if (n > 0) {
            m_nEnd += static_cast<size_t>(n);
            return true;
        }
        if (n == 0 || errno != EINTR) {
            m_nError = n < 0 ? errno : 0;
            m_bEof = true;
            return false;
        }
    }
}

void CLogStream::NoteSkipped() {
    if (m_nSkipped++ == 0)
        m_nFirstSkipped = m_nLine;
}

bool CLogStream::Next(CLogLine& line) {
    for (;;) {
        char* const start = m_buffer.get() + m_nBegin;
        if (TakeExpected(start, line))
            return true;
        char* const end = static_cast<char*>(std::memchr(start, '\n', m_nEnd - m_nBegin));
        if (!end) {
            if (!m_bEof && Fill())
                continue;
            if (m_nBegin < m_nEnd || m_bDiscarding) {
                // A last line without its line end: a record cut short.
                ++m_nLine;
                NoteSkipped();
                m_nBegin = m_nEnd;
                m_bDiscarding = false;
            }
            return false;
        }
        ++m_nLine;
        m_nBegin = static_cast<size_t>(end + 1 - m_buffer.get());
        size_t n = static_cast<size_t>(end - start);
        if (n && start[n - 1] == '\r')
            --n;
        if (!m_bDiscarding && ParseLine(start, n, line))
            return true;
        m_bDiscarding = false;
        NoteSkipped();
    }
}

bool CLogStream::TakeExpected(const char* start, CLogLine& line) {
    const size_t n = kLogTargetOffset + m_expected.size();
    // The head is checked byte for byte and the target part is one the log
    // holds, so no line end can hide in between.
    if (m_expected.empty() || m_bDiscarding || m_nEnd - m_nBegin < n + 2 || start[n] != '\r' ||
        start[n + 1] != '\n' ||
        !EqualBytes(start + kLogTargetOffset, m_expected.data(), m_expected.size()) ||
        !ParseHead(start, line))
        return false;
    ++m_nLine;
    m_nBegin += n + 2;
    line.m_key = std::string_view(start + kLogTargetOffset, m_expected.size());
    line.m_bExpected = true;
    return true;
}

bool CLogStream::ParseHead(const char* p, CLogLine& line) {
    // Bytes 17 to 22, `, R, "`, in one word with R set to '0'.
    uint64_t head;
    std::memcpy(&head, p + 16, sizeof head);
    const uint64_t separators = head & 0x00FFFFFF00FFFF00ull;
    const uint64_t expected = static_cast<uint64_t>(',') << 8 | static_cast<uint64_t>(' ') << 16 |
                              static_cast<uint64_t>(',') << 32 | static_cast<uint64_t>(' ') << 40 |
                              static_cast<uint64_t>('"') << 48;
    if (separators != expected || (p[19] != '0' && p[19] != '1') || !m_clock.Read(p, line.m_tTime))
        return false;
    line.m_bOk = p[19] == '1';
    return true;
}

bool CLogStream::ParseLine(const char* p, size_t n, CLogLine& line) {
    if (n < kLogTargetOffset + kShortestTarget || !ParseHead(p, line))
        return false;
    line.m_key = std::string_view(p + kLogTargetOffset, n - kLogTargetOffset);
    line.m_bExpected = false;
    return true;
}
