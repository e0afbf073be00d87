// SPDX-License-Identifier: Apache-2.0
// The schedule's rules, driven by a host that records what it is asked to do
// and can act in the middle of a pass as a user would.
#include "monitor/schedule.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {
class CRecordingHost : public CScheduleHost {
public:
    int SetScheduleTimer(int64_t nDelayMs) override {
        m_log.push_back("arm " + std::to_string(nDelayMs));
        m_nArmedMs = nDelayMs;
        return m_bTimerFails ? 0 : 1;
    }
    void KillScheduleTimer(int nTimer) override {
        m_log.push_back("kill " + std::to_string(nTimer));
        m_nArmedMs = -1;
    }
    bool RunPassFindsAlerts() override {
        m_log.push_back("pass");
        if (m_fnDuringPass) {
            auto fn = std::move(m_fnDuringPass);
            fn();
        }
        return m_bAlerts;
    }
    void RaiseAlerts() override { m_log.push_back("alerts"); }
    void RunningChanged() override {}
    int32_t PeriodMinutes() const override { return m_nPeriod; }

    std::vector<std::string> Take() { return std::exchange(m_log, {}); }

    std::vector<std::string> m_log;
    std::function<void()> m_fnDuringPass;
    bool m_bAlerts = false;
    int32_t m_nPeriod = 15;
    int64_t m_nArmedMs = -1; // -1: no timer armed
    bool m_bTimerFails = false;
};

using Log = std::vector<std::string>;

class ScheduleTest : public testing::Test {
protected:
    CRecordingHost host;
    CSchedule schedule{host};
};

TEST_F(ScheduleTest, StartRunsAPassAtOnceThenEveryPeriodAfterThePassAndItsAlerts) {
    schedule.Start();
    EXPECT_EQ(host.Take(), Log({"arm 1"}));
    EXPECT_EQ(schedule.State(), EScheduleState::kWaiting);
    EXPECT_EQ(schedule.RunningFlag(), 1);

    host.m_bAlerts = true;
    EXPECT_TRUE(schedule.OnTimer(1));
    EXPECT_EQ(host.Take(), Log({"kill 1", "pass", "alerts", "arm 900000"}));

    host.m_bAlerts = false;
    host.m_nPeriod = 100000; // changed while waiting: applies from the next arming
    EXPECT_TRUE(schedule.OnTimer(1));
    EXPECT_EQ(host.Take(), Log({"kill 1", "pass", "arm 6000000000"}));
    EXPECT_EQ(schedule.Timer(), 1);
}

TEST_F(ScheduleTest, PeriodsBelowOneMinuteCountAsOneMinute) {
    for (int32_t nPeriod : {0, -5, INT32_MIN})
        EXPECT_EQ(schedule.PeriodMs(nPeriod), 60000) << nPeriod;
    EXPECT_EQ(schedule.PeriodMs(71583), int64_t{71583} * 60000); // past 32 bits
}

TEST_F(ScheduleTest, ForeignTimerStartsNoPass) {
    EXPECT_FALSE(schedule.OnTimer(1)); // nothing armed yet
    schedule.Start();
    host.Take();
    EXPECT_FALSE(schedule.OnTimer(7));
    EXPECT_TRUE(host.Take().empty());
}

TEST_F(ScheduleTest, PingNowRaisesNoAlertAndLeavesTheTimerAlone) {
    host.m_bAlerts = true;
    int32_t nRunningDuringPass = -1;
    host.m_fnDuringPass = [&] { nRunningDuringPass = schedule.RunningFlag(); };
    schedule.PingNow();
    EXPECT_EQ(host.Take(), Log({"pass"}));
    EXPECT_EQ(nRunningDuringPass, 1);
    EXPECT_EQ(schedule.State(), EScheduleState::kIdle);

    schedule.Start();
    host.Take();
    schedule.PingNow();
    EXPECT_EQ(host.Take(), Log({"pass"}));
    EXPECT_EQ(schedule.State(), EScheduleState::kWaiting);
    EXPECT_EQ(host.m_nArmedMs, 1);
}

// Each row: what happens during a pass, and what must follow it.
struct StopCase {
    const char* pszName;
    bool bScheduled; // a scheduled pass, else Ping Now while monitoring
    bool bAlerts;    // whether the pass finds alerts
    std::function<void(CSchedule&)> fnDuringPass;
    Log expectedAfter;       // host calls from the action on
    EScheduleState endState; // once everything has returned
};

TEST_F(ScheduleTest, StopDuringAPassIsFinal) {
    const StopCase cases[] = {
        {"stop in a failed scheduled pass", true, true, [](CSchedule& s) { s.Stop(); },
         {"kill 1", "alerts"}, EScheduleState::kIdle},
        {"stop in Ping Now while monitoring", false, true, [](CSchedule& s) { s.Stop(); },
         {"kill 1"}, EScheduleState::kIdle},
        {"stop and start again in a scheduled pass", true, false,
         [](CSchedule& s) {
             s.Stop();
             s.Start();
             s.OnTimer(1); // the 1 ms timer fires while the pass still runs
         },
         {"kill 1", "arm 1", "kill 1", "pass", "arm 900000"}, EScheduleState::kWaiting},
    };
    for (const StopCase& c : cases) {
        CRecordingHost h;
        CSchedule s(h);
        s.Start();
        h.m_bAlerts = c.bAlerts;
        h.m_fnDuringPass = [&] {
            h.Take();
            c.fnDuringPass(s);
        };
        if (c.bScheduled)
            s.OnTimer(1);
        else
            s.PingNow();
        EXPECT_EQ(h.Take(), c.expectedAfter) << c.pszName;
        EXPECT_EQ(s.State(), c.endState) << c.pszName;
        if (c.endState == EScheduleState::kIdle) {
            EXPECT_EQ(s.RunningFlag(), 0) << c.pszName;
            EXPECT_EQ(s.Timer(), 0) << c.pszName;
            EXPECT_EQ(h.m_nArmedMs, -1) << c.pszName;
        }
    }
}

TEST_F(ScheduleTest, TimerDuringPingNowRunsItsPassRightAfter) {
    schedule.Start();
    host.Take();
    host.m_fnDuringPass = [&] {
        EXPECT_TRUE(schedule.OnTimer(1));
        EXPECT_EQ(schedule.State(), EScheduleState::kManualPass);
    };
    schedule.PingNow();
    EXPECT_EQ(host.Take(), Log({"pass", "kill 1", "pass", "arm 900000"}));
}

TEST_F(ScheduleTest, HoldDefersAFiringUntilReleased) {
    schedule.Start();
    schedule.Hold();
    host.Take();
    EXPECT_TRUE(schedule.OnTimer(1));
    EXPECT_EQ(host.Take(), Log({"kill 1"}));
    schedule.Release();
    EXPECT_EQ(host.Take(), Log({"pass", "arm 900000"}));
}

TEST_F(ScheduleTest, TimerThatCannotBeArmedLeavesTheWindowRunningAndStopStillWorks) {
    host.m_bTimerFails = true;
    schedule.Start();
    EXPECT_EQ(schedule.Timer(), 0);
    EXPECT_EQ(schedule.RunningFlag(), 1);
    EXPECT_FALSE(schedule.OnTimer(1));
    schedule.Stop();
    EXPECT_EQ(schedule.State(), EScheduleState::kIdle);
}
} // namespace
