// SPDX-License-Identifier: Apache-2.0
// CSchedule: the rules of monitoring in one place. Start arms the schedule
// timer for 1 ms; each firing runs one check pass, raises the alerts when the
// pass found some (in the window, when a target failed), and arms the timer
// again for the list's period, counted from the end of the pass and its
// alerts. Ping Now runs one pass without alerts
// and without touching the timer. Stop kills the timer.
//
// Passes never overlap: a firing that meets a running pass (or a hold, such
// as an open target editor) is remembered and its pass runs as soon as the
// running one is over. A Stop during a pass is final: that pass still raises
// its alerts, but the timer is not armed again.
//
// The window drives it with its timers and alerts; tests drive it directly.
#pragma once

#include <cstdint>

enum class EScheduleState { kIdle, kWaiting, kScheduledPass, kAlerting, kManualPass };

// What the schedule drives.
class CScheduleHost {
public:
    virtual ~CScheduleHost() = default;
    // Arms the schedule timer to fire after nDelayMs; gives its id, 0 when it
    // could not be armed.
    virtual int SetScheduleTimer(int64_t nDelayMs) = 0;
    virtual void KillScheduleTimer(int nTimer) = 0;
    // Runs one check pass to its end: true when it leaves alerts to raise
    // (in the window, when a target did not respond).
    virtual bool RunPassFindsAlerts() = 0;
    // Raises the alerts of a scheduled pass that found some; returns once
    // they are raised (a popup dismissed, the sound and the command started).
    virtual void RaiseAlerts() = 0;
    // The running flag changed, or a pass began or ended.
    virtual void RunningChanged() = 0;
    // The current list's period, in minutes.
    virtual int32_t PeriodMinutes() const = 0;
};

class CSchedule {
public:
    static constexpr int64_t kFirstDelayMs = 1;

    explicit CSchedule(CScheduleHost& host) : m_host(host) {}
    CSchedule(const CSchedule&) = delete;
    CSchedule& operator=(const CSchedule&) = delete;

    void Start();
    void Stop();
    // Runs one pass now; does nothing while another pass runs.
    void PingNow();
    // A timer fired: false when it is not the schedule's timer.
    bool OnTimer(int nTimer);
    // The window goes: kills the timer, if one is armed.
    void Destroy();

    // While held, a firing waits for the release (the list is being edited).
    void Hold() { ++m_nHolds; }
    void Release();

    EScheduleState State() const;
    // A pass, or the alerts of one, is under way.
    bool IsPassRunning() const { return m_activity != EScheduleState::kIdle; }
    // The delay between passes for a period in minutes; a period below 1
    // counts as 1 minute.
    int64_t PeriodMs(int32_t nPeriod) const;

    // The running flag: monitoring started, or a Ping Now pass under way.
    int32_t RunningFlag() const { return m_bRunning; }
    // The armed schedule timer; 0 when none.
    int Timer() const { return m_nTimer; }

    int64_t m_nMinuteMs = 60000; // tests make the clock fast

private:
    void RunScheduledPass();
    void RunDuePass();
    void Arm(int64_t nDelayMs);
    void SetRunning(int32_t bRunning);

    CScheduleHost& m_host;
    int32_t m_bRunning = 0;
    int m_nTimer = 0;
    bool m_bMonitoring = false; // between Start and Stop
    bool m_bTimerDue = false;   // fired while a pass ran or a hold stood
    int m_nHolds = 0;
    unsigned m_nStartsAndStops = 0; // tells a pass that the schedule changed under it
    EScheduleState m_activity = EScheduleState::kIdle; // the pass or alerts under way
};
