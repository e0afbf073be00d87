// SPDX-License-Identifier: Apache-2.0
// Monitoring in the window, with the schedule's minute made short: passes at
// Start and every period, the alerts in their order, Ping Now beside the
// schedule, and Stop and close in the middle of passes.
#include "monitor/alert_sound.h"
#include "monitor_test_util.h"
#include "storage/list_approvals.h"
#include "storage/list_file.h"
#include "support/loopback_port.h"
#include "support/test_files.h"
#include "ui/list_trust_box.h"
#include "ui/toolkit/window_timer.h"

#include <QPushButton>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>

namespace {
constexpr int64_t kMinuteMs = 40; // the schedule's minute in these tests

class MonitorScheduleTest : public MonitorDlgTest {
protected:
    void SetUp() override {
        MonitorDlgTest::SetUp();
        dlg.m_schedule.m_nMinuteMs = kMinuteMs;
        SetTargets({NewItem(0, 1, "127.0.0.1", listening.Port()), pTarget});
        // Every result goes to the log: one record per target and pass.
        dlg.List()->m_nLogging = kLogAlways;
        dlg.List()->m_strLogFile = dir / "checks.log";
    }

    void SetFailing(bool bFailing) {
        pTarget->m_nPort = bFailing ? refused.Port() : listening.Port();
    }
    // Sets the window's alert settings as the user would, through its handlers.
    void SetAlerts(bool bPopup, bool bSound, bool bCommand) {
        dlg.m_bPopup = bPopup;
        dlg.m_strSound = bSound ? dir / "alarm.wav" : "";
        // The command leaves the failed targets it was given as "alerted".
        dlg.m_strExecute = bCommand
                               ? "cd '" + dir.Path() +
                                     "' && printf %s \"$OSTREL_FAILED_TARGETS\" > t && mv t alerted"
                               : "";
    }
    int Passes() const {
        const Bytes log = ReadFileBytes(dir / "checks.log");
        return static_cast<int>(std::count(log.begin(), log.end(), '\n')) / 2;
    }
    bool CommandRan() const {
        return QTest::qWaitFor([&] { return std::filesystem::exists(dir / "alerted"); }, 5000);
    }
    const CWindowTimer* ScheduleTimer() const {
        return dlg.FindTimer(CMonitorDlg::kIdScheduleTimer);
    }
    void Fire() { dlg.TimerFired(CMonitorDlg::kIdScheduleTimer); }
    void ExpectIdle(const char* pszWhen) {
        EXPECT_EQ(dlg.m_schedule.RunningFlag(), 0) << pszWhen;
        EXPECT_EQ(dlg.m_schedule.Timer(), 0) << pszWhen;
        EXPECT_EQ(ScheduleTimer(), nullptr) << pszWhen;
        EXPECT_TRUE(dlg.GetDlgItem(CMonitorDlg::kIdStart)->isEnabled()) << pszWhen;
        EXPECT_TRUE(dlg.GetDlgItem(CMonitorDlg::kIdAdd)->isEnabled()) << pszWhen;
        EXPECT_FALSE(dlg.GetDlgItem(CMonitorDlg::kIdStop)->isEnabled()) << pszWhen;
    }

    CTempDir dir;
    CLoopbackPort listening{true};
    CLoopbackPort refused{false};
    CItem* pTarget = NewItem(0, 1, "127.0.0.1", 0);
};
} // namespace

TEST_F(MonitorScheduleTest, StartRunsAPassAtOnceThenOnePeriodAfterEachPass) {
    SetFailing(false);
    dlg.List()->m_nPeriod = 2;
    Click(W<QPushButton>(CMonitorDlg::kIdStart));
    EXPECT_FALSE(dlg.GetDlgItem(CMonitorDlg::kIdStart)->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Passes() >= 1; }, 5000));
    EXPECT_EQ(ScheduleTimer()->IntervalMs(), 2 * kMinuteMs);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Passes() >= 3; }, 5000));
    EXPECT_TRUE(boxes.m_boxes.empty()); // all good: no alert
    EXPECT_TRUE(dlg.Sound().History().empty());

    // A changed period applies from the next arming.
    dlg.List()->m_nPeriod = 100000;
    EXPECT_EQ(ScheduleTimer()->IntervalMs(), 2 * kMinuteMs);
    dlg.m_schedule.m_nMinuteMs = 60000; // real minutes: 6,000,000,000 ms, past 32 bits
    Fire();
    EXPECT_EQ(ScheduleTimer()->IntervalMs(), int64_t{100000} * 60000);

    // Stop, then Start: the next pass runs at once.
    Click(W<QPushButton>(CMonitorDlg::kIdStop));
    ExpectIdle("after Stop");
    const int nBefore = Passes();
    Click(W<QPushButton>(CMonitorDlg::kIdStart));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Passes() > nBefore; }, 5000));

    // A timer that is not the schedule's starts no pass.
    const int nNow = Passes();
    dlg.TimerFired(5);
    EXPECT_EQ(Passes(), nNow);
}

// Each row: which alerts are on; the popup, if shown, must come first with
// neither the sound nor the command started and no timer armed. The command
// learns which target failed.
TEST_F(MonitorScheduleTest, FailedPassRaisesThePopupThenTheSoundAndTheCommand) {
    SetFailing(true);
    const std::string strFailed = "127.0.0.1:" + std::to_string(refused.Port());
    for (bool bPopup : {true, false}) {
        std::filesystem::remove(dir / "alerted");
        SetAlerts(bPopup, true, true);
        dlg.StartMonitoring();
        const size_t nSounds = dlg.Sound().History().size();
        boxes.m_boxes.clear();
        bool bNothingElseYet = false;
        boxes.OnBox([&](const CMessageBoxRecorder::CBox& box) {
            bNothingElseYet = dlg.Sound().History().size() == nSounds &&
                              !std::filesystem::exists(dir / "alerted") &&
                              ScheduleTimer() == nullptr && box.pOwner == dlg.GetWindow() &&
                              box.icon == EMsgIcon::kInformation;
        });
        Fire();
        if (bPopup) {
            ASSERT_EQ(boxes.m_boxes.size(), 1u);
            EXPECT_EQ(boxes.m_boxes[0].strText, "One or more connection failed!");
            EXPECT_TRUE(bNothingElseYet);
        } else {
            EXPECT_TRUE(boxes.m_boxes.empty());
        }
        EXPECT_EQ(dlg.Sound().History().size(), nSounds + 1);
        EXPECT_EQ(dlg.Sound().History().back(), dir / "alarm.wav");
        EXPECT_TRUE(CommandRan()) << bPopup;
        const Bytes alerted = ReadFileBytes(dir / "alerted");
        EXPECT_EQ(std::string(alerted.begin(), alerted.end()), strFailed);
        EXPECT_EQ(ScheduleTimer()->IntervalMs(), 15 * kMinuteMs);
        dlg.StopMonitoring();
    }
}

TEST_F(MonitorScheduleTest, PingNowRaisesNoAlertAndLeavesTheScheduleAsItWas) {
    SetFailing(true);
    SetAlerts(true, true, true);
    dlg.m_schedule.m_nMinuteMs = 60000;
    dlg.StartMonitoring();
    Fire(); // a scheduled pass: the timer is now armed for 15 real minutes
    boxes.m_boxes.clear();
    const CWindowTimer* pTimer = ScheduleTimer();
    const int64_t nRemaining = pTimer->RemainingMs();
    Click(W<QPushButton>(CMonitorDlg::kIdPingNow));
    EXPECT_EQ(dlg.ListView().GetItemText(1, 2), "No");
    EXPECT_TRUE(boxes.m_boxes.empty());
    EXPECT_EQ(dlg.Sound().History().size(), 1u);
    EXPECT_EQ(ScheduleTimer(), pTimer);
    EXPECT_LE(pTimer->RemainingMs(), nRemaining);
    EXPECT_GT(pTimer->RemainingMs(), nRemaining - 5000);
    EXPECT_EQ(dlg.m_schedule.RunningFlag(), 1);
    EXPECT_FALSE(dlg.GetDlgItem(CMonitorDlg::kIdAdd)->isEnabled());
}

TEST_F(MonitorScheduleTest, StopDuringAnyPassLeavesTheWindowIdleWithNoTimer) {
    SetFailing(true);
    SetAlerts(true, false, false);
    // Stop during a scheduled pass: the pass still reports its failure, but
    // no timer is armed again; the list stays locked until the pass is over.
    dlg.StartMonitoring();
    DuringNextPass([&] {
        Click(W<QPushButton>(CMonitorDlg::kIdStop));
        EXPECT_TRUE(dlg.GetDlgItem(CMonitorDlg::kIdStart)->isEnabled());
        EXPECT_FALSE(dlg.GetDlgItem(CMonitorDlg::kIdAdd)->isEnabled());
        EXPECT_FALSE(dlg.GetDlgItem(CMonitorDlg::kIdLoadList)->isEnabled());
    });
    Fire();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"One or more connection failed!"});
    ExpectIdle("stop in a scheduled pass");

    // Stop during a Ping Now pass that began while monitoring.
    dlg.StartMonitoring();
    DuringNextPass([&] { Click(W<QPushButton>(CMonitorDlg::kIdStop)); });
    Click(W<QPushButton>(CMonitorDlg::kIdPingNow));
    ExpectIdle("stop in Ping Now");
}

TEST_F(MonitorScheduleTest, TimerDuringPingNowRunsItsPassOnceThePingNowPassHasReturned) {
    SetFailing(true);
    SetAlerts(true, false, false);
    dlg.StartMonitoring();
    int nPassesInside = -1;
    DuringNextPass([&] {
        Fire();
        nPassesInside = Passes();
        EXPECT_TRUE(boxes.m_boxes.empty());
    });
    Click(W<QPushButton>(CMonitorDlg::kIdPingNow));
    EXPECT_EQ(nPassesInside, 0);
    EXPECT_EQ(Passes(), 2);
    EXPECT_EQ(boxes.m_boxes.size(), 1u); // the scheduled pass's popup
    EXPECT_EQ(ScheduleTimer()->IntervalMs(), 15 * kMinuteMs);
}

TEST_F(MonitorScheduleTest, LoadedPeriodOfZeroShowsZeroAndCountsAsOneMinute) {
    CItemList list;
    list.m_nPeriod = 0;
    WriteListFile(dir / "zero.osl", list);
    dlg.LoadList(dir / "zero.osl");
    EXPECT_EQ(W<QLineEdit>(CMonitorDlg::kIdPeriod)->text(), "0");
    EXPECT_TRUE(boxes.m_boxes.empty());
    dlg.StartMonitoring();
    Fire();
    EXPECT_EQ(ScheduleTimer()->IntervalMs(), kMinuteMs);
}

TEST_F(MonitorScheduleTest, CloseDuringThePopupTakesEffectAfterTheAlerts) {
    SetFailing(true);
    CMonitorDlg modal;
    modal.List()->AddTail(NewItem(0, 1, "127.0.0.1", refused.Port()));
    modal.m_strExecute = "touch '" + dir / "alerted" + "'";
    bool bOpenDuringPopup = false;
    boxes.OnBox([&](const CMessageBoxRecorder::CBox&) {
        modal.GetWindow()->close(); // the close box
        bOpenDuringPopup = modal.GetWindow()->isVisible() && modal.List() != nullptr;
    });
    const int nResult = RunModal(modal, [&] {
        modal.StartMonitoring();
        modal.TimerFired(CMonitorDlg::kIdScheduleTimer);
    });
    EXPECT_TRUE(bOpenDuringPopup);
    EXPECT_EQ(nResult, kIdCancel);
    EXPECT_TRUE(CommandRan()); // the alerts went on after the popup
}

// A list from elsewhere, loaded as a double-click would: its log file and
// command are asked about before anything runs. Each row: the answer, and
// whether the failing pass then logged and ran the command.
TEST_F(MonitorScheduleTest, ALoadedListLogsAndRunsItsCommandOnlyOnceAllowed) {
    const struct {
        int nAnswer;
        bool bActs;
    } cases[] = {{kIdOkAnswer, false}, {kIdAllowListActions, true}};
    // Set once: each load replaces the targets, and each list written here
    // keeps the failing port.
    SetFailing(true);
    for (const auto& c : cases) {
        SetAlerts(false, false, true);
        dlg.List()->m_strExecute = dlg.m_strExecute;
        dlg.List()->m_bPopup = 0;
        const std::string strList = dir / ("from-elsewhere-" + std::to_string(c.nAnswer) + ".osl");
        WriteListFile(strList, *dlg.List());
        boxes.m_boxes.clear();
        boxes.SetNextAnswer(c.nAnswer);
        dlg.LoadList(strList);
        ASSERT_EQ(BoxTexts(), std::vector{ListTrustText(strList, ListActions(*dlg.List()))});
        EXPECT_EQ(dlg.m_strExecute, dlg.List()->m_strExecute); // shown and kept either way
        dlg.StartMonitoring();
        Fire();
        dlg.StopMonitoring();
        EXPECT_EQ(Column(2), (std::vector<std::string>{"Yes", "No"}));
        EXPECT_EQ(Passes(), c.bActs ? 1 : 0);
        EXPECT_EQ(c.bActs ? CommandRan()
                          : QTest::qWaitFor(
                                [&] { return std::filesystem::exists(dir / "alerted"); }, 300),
                  c.bActs);
        std::filesystem::remove(dir / "checks.log");
        std::filesystem::remove(dir / "alerted");
        // Loaded again: an allowed list asks nothing, a declined one asks again.
        boxes.m_boxes.clear();
        dlg.LoadList(strList);
        EXPECT_EQ(boxes.m_boxes.size(), c.bActs ? 0u : 1u);
    }
}

// A sound file that is a pipe is not opened: no loader waits on it for a
// writer, and so none lets a writer in at once.
TEST(AlertSound, APipeIsNotPlayed) {
    CTempDir dir;
    ASSERT_EQ(::mkfifo((dir / "alarm.wav").c_str(), 0600), 0);
    CAlertSound sound;
    sound.Play(dir / "alarm.wav");
    QTest::qWait(300);
    EXPECT_LT(::open((dir / "alarm.wav").c_str(), O_WRONLY | O_NONBLOCK), 0);
}
