// SPDX-License-Identifier: Apache-2.0
#include "framework/integer_text.h"

#include <gtest/gtest.h>

TEST(IntegerText, AcceptsWhatTheFieldsAccept) {
    struct Case {
        const char* text;
        std::optional<int32_t> value;
    };
    const Case cases[] = {
        {"15", 15},
        {" \t42\t ", 42},
        {"-1", -1},
        {"+7", 7},
        {"0", 0},
        {"  0  ", 0},
        {"007", 7},
        {"2147483647", 2147483647},
        {"99999999999999999999", 2147483647}, // too large: the largest 32-bit value
        {"-99999999999999999999", -2147483647 - 1},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"abc", std::nullopt},
        {"12abc", std::nullopt},
        {"1 2", std::nullopt},
        {"- 5", std::nullopt},
        {"+", std::nullopt},
        {"-0", std::nullopt}, // reads as 0 but does not start with the digit 0
        {"+0", std::nullopt},
        {"0x10", std::nullopt},
        {"1.5", std::nullopt},
        // only the first 31 characters are read: the letter beyond them is not seen
        {"                              5x", 5},
        {"                               5", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadIntegerText(c.text), c.value) << '"' << c.text << '"';
}

TEST(IntegerText, RangeMessage) {
    EXPECT_EQ(IntegerRangeMessage(1, 100000), "Please enter an integer between 1 and 100000.");
    EXPECT_STREQ(kEnterIntegerMessage, "Please enter an integer.");
}
