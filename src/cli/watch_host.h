// SPDX-License-Identifier: Apache-2.0
// CWatchHost: what `ostrel-cli watch` gives the schedule: its one timer, the
// watch pass over the list with the lines it prints, the events raised
// without a window, and the list file read again on request.
#pragma once

#include "cli/cli_support.h"
#include "monitor/schedule.h"
#include "monitor/watch_pass.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>

// The options of `watch`: how each pass runs, and the rest.
struct SWatchOptions : SWatchSettings {
    std::string strListPath;
    bool bJson = false;
    int32_t nRemindMinutes = 0; // 0: no reminders
};

class CWatchHost : public CScheduleHost {
public:
    using Clock = std::chrono::steady_clock;

    // `nStopFd` becomes readable once the program is to end; a pass under
    // way then ends at once.
    CWatchHost(SWatchOptions options, std::unique_ptr<CItemList> pList, int nStopFd);

    int SetScheduleTimer(int64_t nDelayMs) override;
    void KillScheduleTimer(int nTimer) override;
    // Runs the watch pass, printing a line per target; true when it has
    // events to raise.
    bool RunPassFindsAlerts() override;
    // Raises the events of the pass: each one's line on standard error and
    // the list's command with the event's digest.
    void RaiseAlerts() override;
    void RunningChanged() override {}
    int32_t PeriodMinutes() const override { return m_pList->m_nPeriod; }

    // When the armed timer falls due; nullopt when none is armed.
    std::optional<Clock::time_point> TimerDue() const { return m_due; }
    // The armed timer's id, for CSchedule::OnTimer.
    int TimerId() const { return m_nTimer; }
    // Reads the list file again: the new list serves from the next pass on.
    // A file that no longer loads keeps the old list; its load message goes
    // to standard error.
    void ReloadList();
    // A stop was asked for during a pass, which then ended unfinished.
    bool IsStopping() const { return m_bStopping; }

private:
    void RaiseEvent(const SWatchEvent& event);

    std::string m_strListPath;
    bool m_bJson;
    std::unique_ptr<CItemList> m_pList;
    CWatchPass m_pass;
    int m_nTimer = 0;
    std::optional<Clock::time_point> m_due;
    bool m_bStopping = false;
    std::vector<SWatchEvent> m_events; // the last pass's, raised by RaiseAlerts
};
