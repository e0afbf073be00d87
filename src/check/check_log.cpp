// SPDX-License-Identifier: Apache-2.0
#include "check/check_log.h"

#include "check/file_descriptor.h"
#include "check/log_record.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

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
