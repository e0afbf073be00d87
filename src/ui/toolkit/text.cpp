// SPDX-License-Identifier: Apache-2.0
#include "ui/toolkit/text.h"

#include "framework/windows_1252.h"

QString ToQString(const std::string& str) {
    QString result;
    result.reserve(static_cast<qsizetype>(str.size()));
    for (unsigned char c : str)
        result.append(QChar(UnicodeFromWindows1252(c)));
    return result;
}

std::string FromQString(const QString& str) {
    std::string result;
    result.reserve(static_cast<size_t>(str.size()));
    for (QChar ch : str)
        result.push_back(static_cast<char>(Windows1252FromUnicode(ch.unicode())));
    return result;
}
