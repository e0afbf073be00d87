// SPDX-License-Identifier: Apache-2.0
#include "framework/exception.h"

#include <cstring>

const char* CException::what() const noexcept {
    try {
        m_strWhat = GetErrorMessage();
    } catch (...) {
        return "error";
    }
    return m_strWhat.c_str();
}

std::string CFileException::Reason() const {
    return m_lOsError == -1 ? "the disk is full or the write was cut short"
                            : std::strerror(static_cast<int>(m_lOsError));
}

std::string CFileException::GetErrorMessage() const {
    return (m_strFileName.empty() ? std::string("A file") : m_strFileName) + ": " + Reason() + ".";
}

namespace {
const char* CauseText(int cause) {
    switch (cause) {
    case CArchiveException::endOfFile:
        return "An attempt was made to access %1 past its end.";
    case CArchiveException::badIndex:
        return "%1 has a bad format.";
    case CArchiveException::badClass:
        return "%1 contained an unexpected object.";
    case CArchiveException::badSchema:
        return "%1 contains an incorrect schema.";
    case CArchiveException::readOnly:
        return "Tried to write to %1 while it was being read.";
    case CArchiveException::writeOnly:
        return "Tried to read from %1 while it was being written.";
    default:
        return "An unexpected error occurred while accessing %1.";
    }
}
} // namespace

std::string CArchiveException::GetErrorMessage() const {
    std::string text = CauseText(m_cause);
    if (auto at = text.find("%1"); at != std::string::npos)
        text.replace(at, 2, m_strFileName);
    return text;
}
