// SPDX-License-Identifier: Apache-2.0
#include "ui/toolkit/window_timer.h"

#include <QTimer>
#include <algorithm>
#include <chrono>

CWindowTimer::CWindowTimer(QObject* pContext, int64_t nIntervalMs, std::function<void()> fnFire,
                           int64_t nMaxWaitMs)
    : m_pTimer(new QTimer(pContext)), m_nIntervalMs(std::max<int64_t>(nIntervalMs, 0)),
      m_nMaxWaitMs(std::clamp<int64_t>(nMaxWaitMs, 1, kMaxWaitMs)),
      m_nDeadlineMs(NowMs() + m_nIntervalMs), m_fnFire(std::move(fnFire)) {
    m_pTimer->setSingleShot(true);
    m_pTimer->setTimerType(Qt::PreciseTimer);
    QObject::connect(m_pTimer, &QTimer::timeout, m_pTimer, [this] { OnWaitOver(); });
    ArmWait();
}

CWindowTimer::~CWindowTimer() {
    m_pTimer->stop();
    m_pTimer->deleteLater(); // may be running its own timeout right now
}

int64_t CWindowTimer::NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t CWindowTimer::RemainingMs() const {
    return std::max<int64_t>(m_nDeadlineMs - NowMs(), 0);
}

int CWindowTimer::CurrentWaitMs() const {
    return m_pTimer->interval();
}

void CWindowTimer::ArmWait() {
    m_pTimer->start(static_cast<int>(std::min(RemainingMs(), m_nMaxWaitMs)));
}

void CWindowTimer::OnWaitOver() {
    if (RemainingMs() > 0) {
        ArmWait();
        return;
    }
    m_nDeadlineMs = NowMs() + m_nIntervalMs;
    ArmWait();
    // The callback may destroy this timer: call a copy, and touch nothing after.
    std::function<void()> fnFire = m_fnFire;
    fnFire();
}
