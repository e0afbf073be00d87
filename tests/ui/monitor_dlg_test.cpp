// SPDX-License-Identifier: Apache-2.0
// The main window: its opening state, the exchange with its rules, every
// settings handler's write-through, and Add, Edit, Delete and Enter.
#include "monitor_test_util.h"

#include "ui/toolkit/spin_button.h"

#include <QCheckBox>
#include <QToolButton>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using Ids = std::vector<int>;
using Texts = std::vector<std::string>;

TEST_F(MonitorDlgTest, OpensIdleWithTheDefaultListAndItsSettings) {
    EXPECT_EQ(dlg.GetWindow()->windowTitle(), "Ostrel");
    EXPECT_FALSE(dlg.GetWindow()->windowIcon().isNull());
    QTreeWidget* pTree = W<QTreeWidget>(CMonitorDlg::kIdList);
    EXPECT_EQ(dlg.ListView().GetColumnCount(), 3);
    EXPECT_EQ(Texts({dlg.ListView().GetColumnTitle(0), dlg.ListView().GetColumnTitle(1),
                     dlg.ListView().GetColumnTitle(2)}),
              Texts({"IP Address", "Port", "OK"}));
    // Pixel widths made for the templates' font, scaled to the one in use.
    EXPECT_EQ(pTree->columnWidth(0), dlg.Units().ScalePixelsX(245));
    EXPECT_GE(pTree->columnWidth(1), pTree->fontMetrics().horizontalAdvance("65535"));
    EXPECT_EQ(pTree->topLevelItemCount(), 0);
    EXPECT_EQ(W<QLineEdit>(CMonitorDlg::kIdPeriod)->text(), "15");
    EXPECT_TRUE(W<QCheckBox>(CMonitorDlg::kIdPopup)->isChecked());
    EXPECT_FALSE(W<QCheckBox>(CMonitorDlg::kIdAutoStart)->isChecked());
    EXPECT_TRUE(W<QRadioButton>(CMonitorDlg::kIdLogNever)->isChecked());
    for (int nId : {CMonitorDlg::kIdLogFile, CMonitorDlg::kIdLogBrowse, CMonitorDlg::kIdLogClear,
                    CMonitorDlg::kIdStop})
        EXPECT_FALSE(dlg.GetDlgItem(nId)->isEnabled()) << nId;
    for (int nId : {CMonitorDlg::kIdAdd, CMonitorDlg::kIdEdit, CMonitorDlg::kIdDelete,
                    CMonitorDlg::kIdStart, CMonitorDlg::kIdPingNow, CMonitorDlg::kIdLoadList})
        EXPECT_TRUE(dlg.GetDlgItem(nId)->isEnabled()) << nId;
    EXPECT_EQ(dlg.List()->m_nPeriod, 15);
    EXPECT_EQ(dlg.List()->m_bPopup, 1);
    EXPECT_TRUE(boxes.m_boxes.empty());
}

TEST_F(MonitorDlgTest, RowsShowAddressPortOrIcmpAndStatus) {
    CItem* pThird = NewItem(1, 7, "10.0.0.1", -5);
    SetTargets({NewItem(1, 0, "127.0.0.1", 80), NewItem(0, 1, "host.example", 0), pThird,
                NewItem(0, 1, "", 65535)});
    EXPECT_EQ(Column(0), Texts({"127.0.0.1", "host.example", "10.0.0.1", ""}));
    EXPECT_EQ(Column(1), Texts({"ICMP", "0", "-5", "65535"}));
    EXPECT_EQ(Column(2), Texts({"Yes", "No", "Yes", "No"}));
    EXPECT_EQ(dlg.ListView().GetItemData(2), pThird);
}

TEST_F(MonitorDlgTest, PeriodIsReadAsAnIntegerFrom1To100000) {
    struct Case {
        const char* pszText;
        const char* pszMessage; // nullptr: accepted
        int32_t nListPeriod;
    };
    const Case cases[] = {
        {"abc", "Please enter an integer.", 15},
        {"", "Please enter an integer.", 15},
        {"0", "Please enter an integer between 1 and 100000.", 15},
        {"100001", "Please enter an integer between 1 and 100000.", 15},
        {" 100000\t", nullptr, 100000},
        {"+7", nullptr, 7},
    };
    auto* pPeriod = W<QLineEdit>(CMonitorDlg::kIdPeriod);
    for (const Case& c : cases) {
        dlg.List()->m_nPeriod = 15;
        boxes.m_boxes.clear();
        TypeInto(pPeriod, c.pszText);
        W<QLineEdit>(CMonitorDlg::kIdExecute)->setFocus(); // leave the field
        EXPECT_EQ(BoxTexts(), c.pszMessage ? Texts{c.pszMessage} : Texts{}) << c.pszText;
        EXPECT_EQ(dlg.List()->m_nPeriod, c.nListPeriod) << c.pszText;
        if (c.pszMessage) { // the focus is back, the text selected
            EXPECT_TRUE(pPeriod->hasFocus()) << c.pszText;
            EXPECT_EQ(pPeriod->selectedText(), pPeriod->text()) << c.pszText;
        }
    }
}

TEST_F(MonitorDlgTest, PopupClickWithAnInvalidPeriodCopiesTheOldPopupValue) {
    W<QLineEdit>(CMonitorDlg::kIdPeriod)->setText("x");
    Click(W<QCheckBox>(CMonitorDlg::kIdPopup));
    EXPECT_EQ(BoxTexts(), Texts{"Please enter an integer."});
    EXPECT_FALSE(W<QCheckBox>(CMonitorDlg::kIdPopup)->isChecked());
    EXPECT_EQ(dlg.List()->m_bPopup, 1);
    EXPECT_EQ(dlg.List()->m_nPeriod, 15);
}

// Each row: a user's action, and the list as it must be afterwards.
TEST_F(MonitorDlgTest, EverySettingIsWrittenThroughToTheList) {
    struct Case {
        const char* pszAction;
        std::function<void()> fnAct;
        std::function<bool(const CItemList&)> fnHolds;
    };
    CItemList& list = *dlg.List();
    const Case cases[] = {
        {"popup off", [&] { Click(W<QCheckBox>(CMonitorDlg::kIdPopup)); },
         [](const CItemList& l) { return l.m_bPopup == 0 && l.m_nPeriod == 15; }},
        {"start automatically", [&] { Click(W<QCheckBox>(CMonitorDlg::kIdAutoStart)); },
         [](const CItemList& l) { return l.m_bAutoStart == 1; }},
        {"period by the spin",
         [&] { Click(dlg.Item<CSpinButton>(CMonitorDlg::kIdPeriodSpin)->UpArrow()); },
         [](const CItemList& l) { return l.m_nPeriod == 16; }},
        {"execute, leaving the field",
         [&] {
             TypeInto(W<QLineEdit>(CMonitorDlg::kIdExecute), "notify-send down");
             W<QLineEdit>(CMonitorDlg::kIdPeriod)->setFocus();
         },
         [](const CItemList& l) { return l.m_strExecute == "notify-send down"; }},
        {"logging always", [&] { Click(W<QRadioButton>(CMonitorDlg::kIdLogAlways)); },
         [&](const CItemList& l) {
             return l.m_nLogging == kLogAlways && dlg.GetDlgItem(CMonitorDlg::kIdLogFile)->isEnabled();
         }},
        {"log file browsed",
         [&] {
             files.AnswerPath("/tmp/ostrel.log");
             Click(W<QPushButton>(CMonitorDlg::kIdLogBrowse));
         },
         [&](const CItemList& l) {
             const CFileDialogRequest& r = files.m_requests.back();
             return l.m_strLogFile == "/tmp/ostrel.log" && !r.bOpen && r.strDefExt == ".log" &&
                    r.strFilter == "Log (*.log)|*.log" && r.strFileName.empty() &&
                    W<QLineEdit>(CMonitorDlg::kIdLogFile)->text() == "/tmp/ostrel.log";
         }},
        {"log browse cancelled",
         [&] {
             files.AnswerCancel();
             Click(W<QPushButton>(CMonitorDlg::kIdLogBrowse));
         },
         [](const CItemList& l) { return l.m_strLogFile == "/tmp/ostrel.log"; }},
        {"log file cleared", [&] { Click(W<QPushButton>(CMonitorDlg::kIdLogClear)); },
         [&](const CItemList& l) {
             return l.m_strLogFile.empty() && W<QLineEdit>(CMonitorDlg::kIdLogFile)->text().isEmpty();
         }},
        {"sound browsed",
         [&] {
             files.AnswerPath("/tmp/alarm.wav");
             Click(W<QPushButton>(CMonitorDlg::kIdSoundBrowse));
         },
         [&](const CItemList& l) {
             const CFileDialogRequest& r = files.m_requests.back();
             return l.m_strSound == "/tmp/alarm.wav" && dlg.m_strSound == l.m_strSound &&
                    r.bOpen && r.strDefExt == ".wav" && r.strFilter == "Sounds (*.wav)|*.wav" &&
                    W<QLineEdit>(CMonitorDlg::kIdSound)->text() == "/tmp/alarm.wav";
         }},
        {"sound cleared", [&] { Click(W<QPushButton>(CMonitorDlg::kIdSoundClear)); },
         [&](const CItemList& l) {
             return l.m_strSound.empty() && W<QLineEdit>(CMonitorDlg::kIdSound)->text().isEmpty();
         }},
        {"logging never", [&] { Click(W<QRadioButton>(CMonitorDlg::kIdLogNever)); },
         [&](const CItemList& l) {
             return l.m_nLogging == kLogNever && !dlg.GetDlgItem(CMonitorDlg::kIdLogBrowse)->isEnabled();
         }},
    };
    for (const Case& c : cases) {
        c.fnAct();
        EXPECT_TRUE(c.fnHolds(list)) << c.pszAction;
    }
    EXPECT_TRUE(boxes.m_boxes.empty());
}

TEST_F(MonitorDlgTest, AddEditAndDelete) {
    // Add, the editor closed with Esc: an empty TCP target on port 80.
    QTimer::singleShot(0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
    Click(W<QPushButton>(CMonitorDlg::kIdAdd));
    ASSERT_EQ(dlg.List()->GetCount(), 1u);
    const CItem* pAdded = dlg.List()->GetAt(dlg.List()->GetHeadPosition());
    EXPECT_EQ(pAdded->m_strAddress, "");
    EXPECT_EQ(pAdded->m_nMode, 1);
    EXPECT_EQ(pAdded->m_nPort, 80);
    EXPECT_EQ(Column(1), Texts({"80"}));

    SetTargets({NewItem(0, 1, "a", 1), NewItem(0, 1, "b", 2)});
    // With no row selected, Edit and Delete only rebuild the rows.
    Click(W<QPushButton>(CMonitorDlg::kIdEdit));
    Click(W<QPushButton>(CMonitorDlg::kIdDelete));
    EXPECT_EQ(Column(0), Texts({"", "a", "b"}));

    // Edit by a double-click on a row: the editor shows that target.
    QTreeWidget* pTree = W<QTreeWidget>(CMonitorDlg::kIdList);
    const QPoint row1 = pTree->visualItemRect(pTree->topLevelItem(1)).center();
    QTimer::singleShot(0, [] {
        auto* pAddress = QApplication::activeModalWidget()->findChild<QLineEdit*>();
        TypeInto(pAddress, "a2");
        QTest::keyClick(pAddress, Qt::Key_Return);
    });
    QTest::mouseClick(pTree->viewport(), Qt::LeftButton, {}, row1);
    QTest::mouseDClick(pTree->viewport(), Qt::LeftButton, {}, row1);
    EXPECT_EQ(Column(0), Texts({"", "a2", "b"}));

    dlg.ListView().SelectRow(1);
    Click(W<QPushButton>(CMonitorDlg::kIdDelete));
    EXPECT_EQ(Column(0), Texts({"", "b"}));
    EXPECT_EQ(dlg.List()->GetCount(), 2u);
}

TEST(MonitorDlg, EnterClosesTheWindowOnlyWhenThePeriodIsValid) {
    CMessageBoxRecorder boxes;
    CMonitorDlg dlg;
    const int nResult = RunModal(dlg, [&] {
        auto* pExecute = dlg.Item<QLineEdit>(CMonitorDlg::kIdExecute);
        dlg.Item<QLineEdit>(CMonitorDlg::kIdPeriod)->setText("0");
        pExecute->setFocus();
        boxes.m_boxes.clear();
        QTest::keyClick(pExecute, Qt::Key_Return);
        EXPECT_TRUE(dlg.GetWindow()->isVisible());
        EXPECT_EQ(boxes.m_boxes.size(), 1u);
        dlg.Item<QLineEdit>(CMonitorDlg::kIdPeriod)->setText("20");
        pExecute->setFocus();
        QTest::keyClick(pExecute, Qt::Key_Return);
    });
    EXPECT_EQ(nResult, kIdOk);
}
