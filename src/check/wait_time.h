// SPDX-License-Identifier: Apache-2.0
// The timeout that makes poll or epoll_wait wake at a deadline.
#pragma once

#include <algorithm>
#include <chrono>
#include <climits>

// 0 when `deadline` has passed, else the milliseconds left, rounded up so
// that the wait does not end just short of it, and at most INT_MAX.
inline int MillisecondsUntil(std::chrono::steady_clock::time_point deadline) {
    auto remaining = deadline - std::chrono::steady_clock::now();
    if (remaining <= std::chrono::steady_clock::duration::zero())
        return 0;
    auto nMs = std::chrono::ceil<std::chrono::milliseconds>(remaining).count();
    return static_cast<int>(std::min<decltype(nMs)>(nMs, INT_MAX));
}
