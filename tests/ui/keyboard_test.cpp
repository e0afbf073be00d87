// SPDX-License-Identifier: Apache-2.0
// Tab and the arrow keys: each radio group is one tab stop, its checked
// button; the arrows move within the group and check as a click does.
#include "model/item.h"
#include "monitor_test_util.h"
#include "ui/item_dlg.h"

namespace {
using Ids = std::vector<int>;

// The controls Tab visits from the focused one, once round.
Ids TabRound() {
    Ids ids;
    QWidget* pStart = QApplication::focusWidget();
    do {
        ids.push_back(QApplication::focusWidget()->property("ctlId").toInt());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    } while (QApplication::focusWidget() != pStart && ids.size() < 40);
    return ids;
}
} // namespace

TEST_F(MonitorDlgTest, TabReachesTheLoggingGroupOnceAndTheArrowsChangeTheMode) {
    dlg.GetDlgItem(CMonitorDlg::kIdList)->setFocus(); // the log file's controls are disabled
    EXPECT_EQ(TabRound(), Ids({1019, 1011, 1015, 1014, 1016, 1018, 1006, 1005, 1033, 1026, 1027,
                               1028, 1001, 1003, 1004, 1000, 9, 1030, kIdCancel}));
    dlg.GetDlgItem(CMonitorDlg::kIdLogNever)->setFocus();
    for (auto [key, nLogging] : {std::pair{Qt::Key_Right, kLogOnFailure},
                                 {Qt::Key_Down, kLogAlways},
                                 {Qt::Key_Right, kLogNever},
                                 {Qt::Key_Left, kLogAlways}}) {
        QTest::keyClick(QApplication::focusWidget(), key);
        EXPECT_EQ(dlg.List()->m_nLogging, nLogging);
    }
}

TEST(ItemDlgKeys, TabReachesTheModeGroupAtItsCheckedButton) {
    CMessageBoxRecorder boxes;
    CItem item; // TCP connect
    CItemDlg dlg(&item, nullptr);
    RunModal(dlg, [&] {
        QApplication::setActiveWindow(dlg.GetWindow());
        EXPECT_EQ(TabRound(), Ids({1022, 1021, 1023, 1024, kIdOk}));
        dlg.GetDlgItem(CItemDlg::kIdModeConnect)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up); // the port controls go
        EXPECT_EQ(TabRound(), Ids({1020, kIdOk, 1022}));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    });
    EXPECT_EQ(item.m_nMode, kProbeIcmp);
}
