// SPDX-License-Identifier: Apache-2.0
#include "framework/integer_text.h"

#include <limits>

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
} // namespace

std::optional<int32_t> ReadIntegerText(std::string_view text) {
    text = text.substr(0, 31);
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    const size_t first = i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    const size_t digitsStart = i;
    int64_t magnitude = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < text.size() && IsDigit(text[i]); ++i)
        magnitude = std::min(magnitude * 10 + (text[i] - '0'), kLimit);
    if (i == digitsStart)
        return std::nullopt;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    if (i != text.size())
        return std::nullopt;

    int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int32_t>::max())
        value = std::numeric_limits<int32_t>::max();
    if (value == 0 && text[first] != '0')
        return std::nullopt;
    return static_cast<int32_t>(value);
}

std::string IntegerRangeMessage(int32_t lo, int32_t hi) {
    return "Please enter an integer between " + std::to_string(lo) + " and " +
           std::to_string(hi) + ".";
}
