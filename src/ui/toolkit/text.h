// SPDX-License-Identifier: Apache-2.0
// The program keeps text as 8-bit Windows-1252 bytes; Qt shows UTF-16. Each
// byte has a code unit of its own and back, so text that was shown and not
// edited reads back byte for byte.
#pragma once

#include <QString>
#include <string>

QString ToQString(const std::string& str);
std::string FromQString(const QString& str);
