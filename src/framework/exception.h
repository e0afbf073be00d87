// SPDX-License-Identifier: Apache-2.0
// The framework's error objects. The file and archive layers throw them by
// value; the operation that reports a failure catches them by type, and the
// user interface's event dispatch catches any that escape a handler and shows
// GetErrorMessage().
#pragma once

#include <exception>
#include <string>

class CException : public std::exception {
public:
    // The text shown to the user for this error.
    virtual std::string GetErrorMessage() const = 0;
    const char* what() const noexcept override;

private:
    mutable std::string m_strWhat;
};

// A file could not be opened, read, written or closed. m_lOsError is the errno
// of the failed call, or -1 for a write that stored fewer bytes than given.
class CFileException : public CException {
public:
    CFileException(long lOsError, std::string strFileName)
        : m_lOsError(lOsError), m_strFileName(std::move(strFileName)) {}
    std::string GetErrorMessage() const override;
    // The system's words for m_lOsError ("No such file or directory").
    std::string Reason() const;

    long m_lOsError;
    std::string m_strFileName;
};

// A list file is malformed (load) or cannot be expressed (store).
class CArchiveException : public CException {
public:
    enum Cause {
        none = 0,
        genericException = 1,
        readOnly = 2,
        endOfFile = 3,
        writeOnly = 4,
        badIndex = 5,
        badClass = 6,
        badSchema = 7,
    };

    CArchiveException(int cause, std::string strFileName)
        : m_cause(cause), m_strFileName(std::move(strFileName)) {}
    // The cause's text with %1 replaced by the file name.
    std::string GetErrorMessage() const override;

    int m_cause;
    std::string m_strFileName;
};
