// SPDX-License-Identifier: Apache-2.0
// CWatchHost: what `ostrel-cli watch` gives the schedule: its one timer, the
// passes over the list, the alerts it can raise without a window, and the
// list file read again on request.
#pragma once

#include "check/pass_outcome.h"
#include "cli/cli_support.h"
#include "monitor/schedule.h"
#include "monitor/target_alert_state.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>

struct SWatchOptions {
    std::string strListPath;
    int nJobs = 1;
    bool bJson = false;
    std::optional<std::string> textfile;     // where the metrics of each pass go
    SAlertRules alertRules;                  // when alerts are raised
    std::unique_ptr<CItemList> pCanaries;    // probed first in each pass; null: none
    std::optional<SMeasureSettings> measure; // each pass measures, by these
};

class CWatchHost : public CScheduleHost {
public:
    using Clock = std::chrono::steady_clock;

    // `nStopFd` becomes readable once the program is to end; a pass under
    // way then ends at once.
    CWatchHost(SWatchOptions options, std::unique_ptr<CItemList> pList, int nStopFd);

    int SetScheduleTimer(int64_t nDelayMs) override;
    void KillScheduleTimer(int nTimer) override;
    // Probes the canaries, then the list; gives 0 when the pass has alert
    // events to raise, else 1.
    int32_t RunPass() override;
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
    // Whether a canary answered; nullopt without canaries or when stopped.
    std::optional<bool> ProbeCanaries();
    void FollowAlertState(std::optional<bool> linkUp);
    void RaiseEvent(const SRaisedEvent& event);
    void WriteTextfile(const SPassOutcome& outcome, double dPassSeconds,
                       std::optional<bool> linkUp);

    SWatchOptions m_options;
    std::unique_ptr<CItemList> m_pList;
    int m_nStopFd;
    int m_nTimer = 0;
    std::optional<Clock::time_point> m_due;
    bool m_bStopping = false;
    CTargetAlertState m_alertState;
    std::vector<SRaisedEvent> m_events; // the last pass's, raised by RaiseAlerts
};
