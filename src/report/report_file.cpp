// SPDX-License-Identifier: Apache-2.0
#include "report/report_file.h"

#include <cerrno>
#include <cstdio>

int WriteReportFile(const std::string& strPath, const std::string& text) {
    std::FILE* file = std::fopen(strPath.c_str(), "wb");
    const bool ok = file && std::fwrite(text.data(), 1, text.size(), file) == text.size() &&
                    std::fflush(file) == 0;
    const int error = errno;
    // Closed even after a failure; a close that fails counts only when all
    // before it went well.
    const bool closed = !file || std::fclose(file) == 0;
    if (!ok)
        return error;
    return closed ? 0 : errno;
}
