// SPDX-License-Identifier: Apache-2.0
// Running part of a test in a network namespace of its own, where packets
// reach no real network, or skipping the test where none can be made.
#pragma once

#include "check/private_network.h"

#include <gtest/gtest.h>

#include <optional>

// Runs `fnBody` in a forked child in a fresh network namespace, loopback up
// (see RunInPrivateNetwork), and gives what it returned. When no namespace
// can be had, marks the running test skipped with the reason and gives
// nothing; the test then returns.
inline std::optional<std::string>
RunInPrivateNetworkOrSkip(const std::function<std::string()>& fnBody) {
    std::string strSkip;
    std::string strText = RunInPrivateNetwork(fnBody, strSkip);
    if (strSkip.empty())
        return strText;
    [&] { GTEST_SKIP() << strSkip; }();
    return std::nullopt;
}

// In a test body: `text` is what RunInPrivateNetworkOrSkip(body) gave, or
// the test has returned, skipped.
#define RUN_IN_PRIVATE_NETWORK_OR_SKIP(text, ...)                                                  \
    const std::optional<std::string> text##OrSkip = RunInPrivateNetworkOrSkip(__VA_ARGS__);        \
    if (!text##OrSkip)                                                                             \
        return;                                                                                    \
    const std::string& text = *text##OrSkip
