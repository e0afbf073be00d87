// SPDX-License-Identifier: Apache-2.0
// A report written to a file of its own: the web page, which is mailed or
// archived as it is.
#pragma once

#include <string>

// Writes `text` to the file at strPath, created, or emptied when it exists,
// and closes it. Returns 0, or the errno of the first step that failed
// (opening, writing, flushing, closing).
int WriteReportFile(const std::string& strPath, const std::string& text);
