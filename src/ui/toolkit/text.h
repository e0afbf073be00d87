// The program keeps text as 8-bit Windows-1252 bytes; Qt shows UTF-16.
#pragma once

#include <QString>
#include <string>

QString ToQString(const std::string& str);
std::string FromQString(const QString& str);
