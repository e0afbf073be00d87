// SPDX-License-Identifier: Apache-2.0
// Check passes in the main window over real loopback ports: results in the
// rows, the progress window, and a window that stays live but lets nothing
// change the list or end the window under a running pass.
#include "monitor_test_util.h"
#include "support/loopback_port.h"

#include <QPushButton>
#include <QRadioButton>

using Texts = std::vector<std::string>;

namespace {
constexpr const char* kProgressTitle = "Checking connections.  Please wait...";

QWidget* ShownProgressWindow() {
    for (QWidget* pWnd : QApplication::topLevelWidgets())
        if (pWnd->isVisible() && pWnd->windowTitle() == kProgressTitle)
            return pWnd;
    return nullptr;
}

class MonitorPassTest : public MonitorDlgTest {
protected:
    void SetUp() override {
        MonitorDlgTest::SetUp();
        SetTargets({NewItem(0, 1, "127.0.0.1", listening.Port()),
                    NewItem(1, 1, "127.0.0.1", refused.Port()),
                    NewItem(0, 1, "127.0.0.1", listening.Port())});
    }

    CLoopbackPort listening{true};
    CLoopbackPort refused{false};
};
} // namespace

TEST_F(MonitorPassTest, PassShowsEachResultInItsRowUnderTheProgressWindow) {
    bool bProgressShown = false;
    DuringNextPass([&] { bProgressShown = ShownProgressWindow() != nullptr; });
    EXPECT_EQ(dlg.CheckAll(), 0);
    EXPECT_TRUE(bProgressShown);
    EXPECT_EQ(ShownProgressWindow(), nullptr);
    EXPECT_EQ(Column(2), Texts({"Yes", "No", "Yes"}));
    dlg.RefreshList(); // the targets hold the same results
    EXPECT_EQ(Column(2), Texts({"Yes", "No", "Yes"}));
    EXPECT_EQ(listening.AcceptAndDrain(), 0);
    EXPECT_EQ(listening.AcceptAndDrain(), 0);
}

TEST_F(MonitorDlgTest, EmptyListPassReturns1AndStillShowsTheProgressWindow) {
    bool bProgressShown = false;
    DuringNextPass([&] { bProgressShown = ShownProgressWindow() != nullptr; });
    EXPECT_EQ(dlg.CheckAll(), 1);
    EXPECT_TRUE(bProgressShown);
    EXPECT_EQ(ShownProgressWindow(), nullptr);
}

TEST_F(MonitorPassTest, CancelInTheProgressWindowDoesNotShortenThePass) {
    DuringNextPass([] { Click(ShownProgressWindow()->findChild<QPushButton*>()); });
    EXPECT_EQ(dlg.CheckAll(), 0);
    EXPECT_EQ(Column(2), Texts({"Yes", "No", "Yes"}));
}

// Ping Now from idle: the window shows its running state for the pass; the
// controls that would change the list, its log path or start another pass
// show disabled and do nothing even when reached; the rest answer.
TEST_F(MonitorPassTest, DuringPingNowNothingChangesTheListAndTheRestAnswers) {
    Click(W<QRadioButton>(CMonitorDlg::kIdLogAlways));
    const int ids[] = {CMonitorDlg::kIdAdd,     CMonitorDlg::kIdEdit,     CMonitorDlg::kIdDelete,
                       CMonitorDlg::kIdLoadList, CMonitorDlg::kIdPingNow, CMonitorDlg::kIdLogBrowse,
                       CMonitorDlg::kIdLogClear, CMonitorDlg::kIdStart};
    std::vector<int> stillEnabled;
    int nPassesInside = 0;
    dlg.ListView().SelectRow(1);
    DuringNextPass([&] {
        EXPECT_EQ(dlg.m_schedule.RunningFlag(), 1);
        EXPECT_TRUE(dlg.GetDlgItem(CMonitorDlg::kIdStop)->isEnabled());
        for (int nId : ids)
            if (dlg.GetDlgItem(nId)->isEnabled())
                stillEnabled.push_back(nId);
        // Reached anyway (a double-click, a command): nothing happens.
        files.AnswerPath("/tmp/elsewhere.log");
        for (int nId : ids)
            if (nId != CMonitorDlg::kIdStart) // would start monitoring, as it should
                dlg.Command(nId, ECtlEvent::kClicked);
        dlg.Command(CMonitorDlg::kIdList, ECtlEvent::kDblClk);
        nPassesInside = static_cast<int>(files.m_requests.size());
        // A setting that stays live: the logging mode.
        Click(W<QRadioButton>(CMonitorDlg::kIdLogOnFailure));
    });
    Click(W<QPushButton>(CMonitorDlg::kIdPingNow));
    EXPECT_EQ(stillEnabled, std::vector<int>{});
    EXPECT_EQ(nPassesInside, 0); // no file dialog opened
    EXPECT_EQ(dlg.List()->GetCount(), 3u);
    EXPECT_EQ(Column(2), Texts({"Yes", "No", "Yes"}));
    EXPECT_EQ(dlg.List()->m_nLogging, kLogOnFailure);
    EXPECT_EQ(dlg.List()->m_strLogFile, "");
    EXPECT_TRUE(boxes.m_boxes.empty());
    // Idle again once the pass has returned.
    EXPECT_EQ(dlg.m_schedule.RunningFlag(), 0);
    for (int nId : ids)
        EXPECT_TRUE(dlg.GetDlgItem(nId)->isEnabled()) << nId;
    EXPECT_FALSE(dlg.GetDlgItem(CMonitorDlg::kIdStop)->isEnabled());
}

TEST_F(MonitorPassTest, CloseDuringAPassTakesEffectOnceThePassHasReturned) {
    CMonitorDlg modal;
    modal.List()->AddTail(NewItem(0, 1, "127.0.0.1", listening.Port()));
    modal.List()->AddTail(NewItem(1, 1, "127.0.0.1", refused.Port()));
    bool bOpenAfterClose = false;
    const int nResult = RunModal(modal, [&] {
        DuringNextPass([&] {
            Click(modal.GetDlgItem(kIdCancel));
            QTest::keyClick(modal.GetWindow(), Qt::Key_Escape);
            bOpenAfterClose = modal.GetWindow()->isVisible() && modal.List() != nullptr;
        });
        Click(modal.GetDlgItem(CMonitorDlg::kIdPingNow));
        EXPECT_EQ(modal.ListView().GetItemText(1, 2), "No");
    });
    EXPECT_TRUE(bOpenAfterClose);
    EXPECT_EQ(nResult, kIdCancel);
}
