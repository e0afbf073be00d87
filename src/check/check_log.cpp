// SPDX-License-Identifier: Apache-2.0
#include "check/check_log.h"

#include "check/file_descriptor.h"
#include "framework/control_bytes.h"
#include "model/item.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {
std::string FormatTime(time_t t) {
    tm local{};
    if (t < 0 || !localtime_r(&t, &local))
        return {};
    char text[32];
    std::snprintf(text, sizeof text, "%02d/%02d/%02d %02d:%02d:%02d", local.tm_mon + 1,
                  local.tm_mday, local.tm_year % 100, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}
} // namespace

std::string FormatLogRecord(time_t t, const CItem& item, int32_t nResult) {
    std::string record = FormatTime(t);
    record += nResult ? ", 1, \"" : ", 0, \"";
    // Dotted-address parsing stops at a blank or line break, so an address
    // can carry a line end that the probe never sees; written raw it would
    // start a line of its own. The bytes a shell still reads inside double
    // quotes would make a record a command to whoever sources the file.
    record += EscapeControlBytes(item.m_strAddress, kLogShellQuotedBytes);
    record += "\", ";
    record += std::to_string(item.m_nMode);
    record += ", ";
    record += std::to_string(item.m_nPort);
    record += "\r\n";
    return record;
}

void AppendLogRecord(const std::string& strPath, const CItem& item, int32_t nResult) {
    if (strPath.find('\0') != std::string::npos)
        return; // no file has that name
    // Non-blocking, so that a path naming a pipe nobody reads drops the record
    // instead of stalling the pass; ordinary files are unaffected.
    CFileDescriptor fd(open(
        strPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666));
    if (!fd.IsOpen())
        return;
    std::string record = FormatLogRecord(time(nullptr), item, nResult);
    // One write, so the record lands whole at the end even beside other
    // writers; if the file takes only part of it, the rest is dropped.
    while (write(fd.Get(), record.data(), record.size()) < 0 && errno == EINTR) {
    }
}
