// Tab and the arrow keys through the main window and the target editor: each
// radio group is one tab stop, its checked button; the arrows move and check.
#include "model/item.h"
#include "monitor_test_util.h"
#include "ui/item_dlg.h"

#include <QRadioButton>

namespace {
using Ids = std::vector<int>;

// The controls Tab visits from the focused one, in order, once round.
Ids TabRound(QWidget* pWnd) {
    Ids ids;
    QWidget* pStart = pWnd->focusWidget();
    do {
        ids.push_back(pWnd->focusWidget()->property("ctlId").toInt());
        QTest::keyClick(pWnd->focusWidget(), Qt::Key_Tab);
    } while (pWnd->focusWidget() != pStart && ids.size() < 40);
    return ids;
}

void Press(QWidget* pWnd, Qt::Key key) {
    QTest::keyClick(pWnd->focusWidget(), key);
}
} // namespace

TEST_F(MonitorDlgTest, TabReachesTheLoggingGroupOnceAtItsCheckedButton) {
    const Ids idle = {1019, 1011, 1015, 1014, 1016, 1018, 1006, 1005};
    const Ids buttons = {1026, 1027, 1028, 1001, 1003, 1004, 1000, 9, 1030, kIdCancel};
    QWidget* pWnd = dlg.GetWindow();
    dlg.GetDlgItem(CMonitorDlg::kIdList)->setFocus();
    Ids expected = idle;
    expected.push_back(CMonitorDlg::kIdLogNever); // the log file controls are disabled
    expected.insert(expected.end(), buttons.begin(), buttons.end());
    EXPECT_EQ(TabRound(pWnd), expected);

    // Right, Right from "Never": "On failure", then "Always", each checked
    // as by a click, which writes the mode through and enables the log file.
    dlg.GetDlgItem(CMonitorDlg::kIdLogNever)->setFocus();
    Press(pWnd, Qt::Key_Right);
    EXPECT_EQ(dlg.List()->m_nLogging, kLogOnFailure);
    Press(pWnd, Qt::Key_Right);
    EXPECT_TRUE(W<QRadioButton>(CMonitorDlg::kIdLogAlways)->hasFocus());
    EXPECT_EQ(dlg.List()->m_nLogging, kLogAlways);
    Press(pWnd, Qt::Key_Down); // round the end to the first
    EXPECT_EQ(dlg.List()->m_nLogging, kLogNever);
    Press(pWnd, Qt::Key_Up);
    EXPECT_EQ(dlg.List()->m_nLogging, kLogAlways);

    dlg.GetDlgItem(CMonitorDlg::kIdList)->setFocus();
    expected = idle;
    expected.insert(expected.end(), {CMonitorDlg::kIdLogAlways, 1036, 1017, 1020});
    expected.insert(expected.end(), buttons.begin(), buttons.end());
    EXPECT_EQ(TabRound(pWnd), expected);
    EXPECT_TRUE(boxes.m_boxes.empty());
}

TEST(ItemDlgKeys, TabReachesTheModeGroupOnceAndTheArrowsChangeTheMode) {
    CMessageBoxRecorder boxes;
    CItem item;
    item.m_nMode = kProbeTcp;
    CItemDlg dlg(&item, nullptr);
    const int nResult = RunModal(dlg, [&] {
        QWidget* pWnd = dlg.GetWindow();
        QApplication::setActiveWindow(pWnd);
        EXPECT_EQ(TabRound(pWnd), Ids({1022, CItemDlg::kIdModeConnect, 1023, 1024, kIdOk}));
        dlg.GetDlgItem(CItemDlg::kIdModeConnect)->setFocus();
        Press(pWnd, Qt::Key_Up); // "ICMP (Ping)", as its click: the port controls go
        EXPECT_TRUE(dlg.Item<QRadioButton>(CItemDlg::kIdModeIcmp)->isChecked());
        EXPECT_FALSE(dlg.GetDlgItem(CItemDlg::kIdPort)->isEnabled());
        EXPECT_EQ(TabRound(pWnd), Ids({CItemDlg::kIdModeIcmp, kIdOk, 1022}));
        Press(pWnd, Qt::Key_Return);
    });
    EXPECT_EQ(nResult, kIdOk);
    EXPECT_EQ(item.m_nMode, kProbeIcmp);
    EXPECT_TRUE(boxes.m_boxes.empty());
}
