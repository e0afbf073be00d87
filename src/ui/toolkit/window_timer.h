// SPDX-License-Identifier: Apache-2.0
// A repeating window timer with a 64-bit interval in milliseconds. Qt timers
// take an int, which overflows past about 24.8 days; longer intervals are
// waited out in several shorter waits towards a fixed deadline.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>

class QTimer;

class CWindowTimer {
public:
    static constexpr int64_t kMaxWaitMs = int64_t{1} << 30; // about 12.4 days

    // Fires fnFire every nIntervalMs through `pContext`'s event loop until
    // destroyed. The callback may destroy the timer.
    CWindowTimer(QObject* pContext, int64_t nIntervalMs, std::function<void()> fnFire,
                 int64_t nMaxWaitMs = kMaxWaitMs);
    ~CWindowTimer();
    CWindowTimer(const CWindowTimer&) = delete;
    CWindowTimer& operator=(const CWindowTimer&) = delete;

    int64_t IntervalMs() const { return m_nIntervalMs; }
    // Milliseconds until the next firing is due (0 when overdue).
    int64_t RemainingMs() const;
    // The length of the wait now armed, never more than the maximum wait.
    int CurrentWaitMs() const;

private:
    static int64_t NowMs();
    void ArmWait();
    void OnWaitOver();

    QTimer* m_pTimer;
    int64_t m_nIntervalMs;
    int64_t m_nMaxWaitMs;
    int64_t m_nDeadlineMs;
    std::function<void()> m_fnFire;
};
