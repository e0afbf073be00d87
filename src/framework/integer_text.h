// SPDX-License-Identifier: Apache-2.0
// Reading an integer typed into a text field (the period and port fields) or
// given to an ostrel-cli option, with the window's messages on failure.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

inline constexpr const char* kEnterIntegerMessage = "Please enter an integer.";

// Reads at most the first 31 characters of `text`: optional blanks and tabs, an
// optional sign, decimal digits, optional blanks and tabs. A value beyond 32
// bits reads as the nearest 32-bit limit. Text that reads as 0 is accepted
// only when its first character after the blanks is the digit 0. Anything else
// gives no value (show kEnterIntegerMessage).
std::optional<int32_t> ReadIntegerText(std::string_view text);

// "Please enter an integer between LO and HI."
std::string IntegerRangeMessage(int32_t lo, int32_t hi);
