// SPDX-License-Identifier: Apache-2.0
#include "monitor/schedule.h"

#include <algorithm>

void CSchedule::Start() {
    m_bMonitoring = true;
    ++m_nStartsAndStops;
    Arm(kFirstDelayMs);
    SetRunning(1);
}

void CSchedule::Stop() {
    if (m_nTimer != 0) {
        m_host.KillScheduleTimer(m_nTimer);
        m_nTimer = 0;
    }
    m_bMonitoring = false;
    m_bTimerDue = false;
    ++m_nStartsAndStops;
    SetRunning(0);
}

void CSchedule::PingNow() {
    if (IsPassRunning())
        return;
    m_activity = EScheduleState::kManualPass;
    SetRunning(1);
    m_host.RunPassFindsAlerts();
    m_activity = EScheduleState::kIdle;
    // Back to what the schedule is now: a Stop during the pass stays stopped.
    SetRunning(m_bMonitoring ? 1 : 0);
    RunDuePass();
}

bool CSchedule::OnTimer(int nTimer) {
    if (nTimer == 0 || nTimer != m_nTimer)
        return false;
    m_host.KillScheduleTimer(m_nTimer); // m_nTimer keeps its value
    if (IsPassRunning() || m_nHolds > 0)
        m_bTimerDue = true;
    else
        RunScheduledPass();
    return true;
}

void CSchedule::Destroy() {
    if (m_nTimer != 0)
        m_host.KillScheduleTimer(m_nTimer);
    m_nTimer = 0;
    m_bTimerDue = false;
}

void CSchedule::Release() {
    if (m_nHolds > 0 && --m_nHolds == 0 && !IsPassRunning())
        RunDuePass();
}

EScheduleState CSchedule::State() const {
    if (IsPassRunning())
        return m_activity;
    return m_bRunning ? EScheduleState::kWaiting : EScheduleState::kIdle;
}

int64_t CSchedule::PeriodMs(int32_t nPeriod) const {
    return int64_t{std::max<int32_t>(nPeriod, 1)} * m_nMinuteMs;
}

void CSchedule::RunScheduledPass() {
    const unsigned nStartsAndStops = m_nStartsAndStops;
    m_activity = EScheduleState::kScheduledPass;
    m_host.RunningChanged();
    // A Stop during the pass still lets it report what it found; it only
    // keeps the timer from being armed again.
    if (m_host.RunPassFindsAlerts()) {
        m_activity = EScheduleState::kAlerting;
        m_host.RaiseAlerts();
    }
    m_activity = EScheduleState::kIdle;
    if (nStartsAndStops == m_nStartsAndStops)
        Arm(PeriodMs(m_host.PeriodMinutes()));
    m_host.RunningChanged();
    RunDuePass();
}

// A firing that met a pass or a hold runs its pass now.
void CSchedule::RunDuePass() {
    if (!m_bTimerDue || m_nHolds > 0)
        return;
    m_bTimerDue = false;
    if (m_bMonitoring)
        RunScheduledPass();
}

void CSchedule::Arm(int64_t nDelayMs) {
    m_nTimer = m_host.SetScheduleTimer(nDelayMs);
}

void CSchedule::SetRunning(int32_t bRunning) {
    m_bRunning = bRunning;
    m_host.RunningChanged();
}
