// SPDX-License-Identifier: Apache-2.0
#include "check/log_record.h"

#include "framework/control_bytes.h"
#include "model/item.h"

#include <cstdint>
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

// Takes the plain decimal at the end of `text` ("0", "-7", never "07" or
// "-0") off it.
std::optional<int32_t> TakeNumber(std::string_view& text) {
    size_t i = text.size();
    while (i > 0 && text[i - 1] >= '0' && text[i - 1] <= '9')
        --i;
    const std::string_view digits = text.substr(i);
    const bool negative = i > 0 && text[i - 1] == '-';
    if (digits.empty() || digits.size() > 10 ||
        (digits[0] == '0' && (digits.size() > 1 || negative)))
        return std::nullopt;
    int64_t value = 0;
    for (char c : digits)
        value = value * 10 + (c - '0');
    value = negative ? -value : value;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    text.remove_suffix(digits.size() + (negative ? 1 : 0));
    return static_cast<int32_t>(value);
}

bool TakeSuffix(std::string_view& text, std::string_view suffix) {
    if (!text.ends_with(suffix))
        return false;
    text.remove_suffix(suffix.size());
    return true;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// "DD/DD/DD DD:DD:DD, " anywhere in `text`.
bool HoldsRecordTime(std::string_view text) {
    static const char shape[] = "00/00/00 00:00:00, ";
    const size_t n = sizeof shape - 1;
    for (size_t i = 0; i + n <= text.size(); ++i) {
        size_t j = 0;
        while (j < n && (shape[j] == '0' ? IsDigit(text[i + j]) : text[i + j] == shape[j]))
            ++j;
        if (j == n)
            return true;
    }
    return false;
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

std::optional<SLogTarget> ParseLogTarget(std::string_view key) {
    SLogTarget target;
    const std::optional<int32_t> port = TakeNumber(key);
    if (!port || !TakeSuffix(key, ", "))
        return std::nullopt;
    const std::optional<int32_t> mode = TakeNumber(key);
    if (!mode || !TakeSuffix(key, "\", "))
        return std::nullopt;
    for (unsigned char c : key)
        if (c < 0x20 || c == 0x7F)
            return std::nullopt;
    if (HoldsRecordTime(key))
        return std::nullopt;
    target.strAddress = DecodeLogAddress(key);
    target.nMode = *mode;
    target.nPort = *port;
    return target;
}

std::string DecodeLogAddress(std::string_view text) {
    std::string address;
    address.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            const int high = HexDigit(text[i + 2]), low = HexDigit(text[i + 3]);
            const int byte = high * 16 + low;
            if (high >= 0 && low >= 0 &&
                (byte < 0x20 || byte == 0x7F ||
                 kLogShellQuotedBytes.find(static_cast<char>(byte)) != std::string_view::npos)) {
                address += static_cast<char>(byte);
                i += 3;
                continue;
            }
        }
        address += text[i];
    }
    return address;
}
