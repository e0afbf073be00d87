// Waiting, with a time limit, for what another process or thread does.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

// Tries `fnDone` every 10 ms for up to `limit`; whether it came true.
inline bool WaitFor(const std::function<bool()>& fnDone,
                    std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    for (auto end = std::chrono::steady_clock::now() + limit;
         std::chrono::steady_clock::now() < end;) {
        if (fnDone())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return fnDone();
}
