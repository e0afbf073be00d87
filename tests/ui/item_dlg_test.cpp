// SPDX-License-Identifier: Apache-2.0
// The target editor driven through its real widgets.
#include "model/item.h"
#include "ui/item_dlg.h"
#include "ui/toolkit/app_window.h"
#include "ui/toolkit/message_box.h"
#include "ui_test_util.h"

#include <QComboBox>
#include <QRadioButton>

namespace {
struct ItemDlgTest : testing::Test {
    CMessageBoxRecorder boxes;

    static QLineEdit* Edit(CItemDlg& dlg, int nId) { return dlg.Item<QLineEdit>(nId); }
    static QComboBox* Service(CItemDlg& dlg) { return dlg.Item<QComboBox>(CItemDlg::kIdService); }
    static bool PortControlsEnabled(CItemDlg& dlg) {
        return dlg.GetDlgItem(CItemDlg::kIdService)->isEnabled() &&
               dlg.GetDlgItem(CItemDlg::kIdPort)->isEnabled() &&
               dlg.GetDlgItem(CItemDlg::kIdPortSpin)->isEnabled();
    }
    static bool PortControlsDisabled(CItemDlg& dlg) {
        return !dlg.GetDlgItem(CItemDlg::kIdService)->isEnabled() &&
               !dlg.GetDlgItem(CItemDlg::kIdPort)->isEnabled() &&
               !dlg.GetDlgItem(CItemDlg::kIdPortSpin)->isEnabled();
    }
    // Chooses a service with the keyboard by typing the start of its name,
    // after the type-ahead of any earlier typing has run out.
    static void ChooseService(CItemDlg& dlg, const char* pszFirstLetter) {
        QTest::qWait(QApplication::keyboardInputInterval() + 50);
        Service(dlg)->setFocus();
        QTest::keyClicks(Service(dlg), pszFirstLetter);
    }
};

CItem MakeItem(int32_t nMode, const char* pszAddress, int32_t nPort, int32_t bOk = 1) {
    CItem item;
    item.m_nMode = nMode;
    item.m_strAddress = pszAddress;
    item.m_nPort = nPort;
    item.m_bOk = bOk;
    return item;
}
} // namespace

TEST_F(ItemDlgTest, OpensShowingTheTargetWithPortControlsEnabledUntilAModeIsClicked) {
    CItem item = MakeItem(kProbeIcmp, "host.example", 8080);
    CItemDlg dlg(&item, nullptr);
    const int nResult = RunModal(dlg, [&] {
        EXPECT_EQ(dlg.GetWindow()->windowTitle(), "Dialog");
        EXPECT_EQ(Edit(dlg, CItemDlg::kIdAddress)->text(), "host.example");
        EXPECT_EQ(Edit(dlg, CItemDlg::kIdPort)->text(), "8080");
        EXPECT_TRUE(dlg.Item<QRadioButton>(CItemDlg::kIdModeIcmp)->isChecked());
        EXPECT_FALSE(dlg.Item<QRadioButton>(CItemDlg::kIdModeConnect)->isChecked());
        EXPECT_EQ(Service(dlg)->currentIndex(), -1);
        EXPECT_EQ(dlg.GetWindow()->focusWidget(), Edit(dlg, CItemDlg::kIdAddress));
        EXPECT_TRUE(PortControlsEnabled(dlg)); // mode 0, yet enabled: not touched at opening

        Click(dlg.GetDlgItem(CItemDlg::kIdModeConnect));
        EXPECT_TRUE(PortControlsEnabled(dlg));
        Click(dlg.GetDlgItem(CItemDlg::kIdModeIcmp));
        EXPECT_TRUE(PortControlsDisabled(dlg));
        Click(dlg.GetDlgItem(CItemDlg::kIdModeConnect));
        EXPECT_TRUE(PortControlsEnabled(dlg));
        QTest::keyClick(dlg.GetWindow(), Qt::Key_Escape);
    });
    EXPECT_EQ(nResult, kIdCancel);
    EXPECT_EQ(item.m_nMode, kProbeIcmp);
    EXPECT_TRUE(boxes.m_boxes.empty());
}

TEST_F(ItemDlgTest, ServicePresetsFillThePortAndOtherKeepsIt) {
    CItem item = MakeItem(kProbeTcp, "a", 80);
    CItemDlg dlg(&item, nullptr);
    RunModal(dlg, [&] {
        const struct {
            const char* pszKey;
            const char* pszService;
            const char* pszPort;
        } cases[] = {{"F", "FTP", "21"},
                     {"S", "SMTP", "25"},
                     {"W", "Whois", "43"},
                     {"T", "Telnet", "23"},
                     {"H", "HTTP", "80"}};
        for (const auto& c : cases) {
            ChooseService(dlg, c.pszKey);
            EXPECT_EQ(Service(dlg)->currentText(), c.pszService);
            EXPECT_EQ(Edit(dlg, CItemDlg::kIdPort)->text(), c.pszPort) << c.pszService;
        }
        // "Finger" comes second among the F entries: type its first two letters.
        ChooseService(dlg, "Fi");
        EXPECT_EQ(Service(dlg)->currentText(), "Finger");
        EXPECT_EQ(Edit(dlg, CItemDlg::kIdPort)->text(), "79");

        TypeInto(Edit(dlg, CItemDlg::kIdPort), "1234");
        ChooseService(dlg, "O");
        EXPECT_EQ(Service(dlg)->currentText(), "Other");
        EXPECT_EQ(Edit(dlg, CItemDlg::kIdPort)->text(), "1234");
        EXPECT_TRUE(dlg.Item<QRadioButton>(CItemDlg::kIdModeConnect)->isChecked());
        Click(dlg.GetDlgItem(kIdOk));
    });
    EXPECT_EQ(item.m_nPort, 1234);
    EXPECT_EQ(item.m_nMode, kProbeTcp);
    EXPECT_TRUE(boxes.m_boxes.empty());
}

TEST_F(ItemDlgTest, ServiceChosenWhilePortHoldsLettersWarnsOnceThenFillsThePort) {
    CItem item = MakeItem(kProbeTcp, "a", 80);
    CItemDlg dlg(&item, nullptr);
    RunModal(dlg, [&] {
        TypeInto(Edit(dlg, CItemDlg::kIdPort), "abc");
        ChooseService(dlg, "F");
        ASSERT_EQ(boxes.m_boxes.size(), 1u);
        EXPECT_EQ(boxes.m_boxes[0].strText, "Please enter an integer.");
        EXPECT_EQ(boxes.m_boxes[0].icon, EMsgIcon::kExclamation);
        EXPECT_EQ(Edit(dlg, CItemDlg::kIdPort)->text(), "21");
        QTest::keyClick(dlg.GetWindow(), Qt::Key_Escape);
    });
    EXPECT_EQ(item.m_nPort, 80);
}

TEST_F(ItemDlgTest, CloseWithLettersWarnsOnceKeepsDialogOpenAndTargetUnchanged) {
    CItem item = MakeItem(kProbeTcp, "old.host", 80, 1);
    CItemDlg dlg(&item, nullptr);
    const int nResult = RunModal(dlg, [&] {
        TypeInto(Edit(dlg, CItemDlg::kIdAddress), "new.host");
        TypeInto(Edit(dlg, CItemDlg::kIdPort), "8o");
        Click(dlg.GetDlgItem(kIdOk));
        ASSERT_EQ(boxes.m_boxes.size(), 1u);
        EXPECT_EQ(boxes.m_boxes[0].strText, "Please enter an integer.");
        EXPECT_EQ(boxes.m_boxes[0].strCaption, ApplicationTitle());
        EXPECT_TRUE(dlg.GetWindow()->isVisible());
        EXPECT_EQ(item.m_strAddress, "old.host");
        EXPECT_EQ(item.m_nPort, 80);
        // The focus is back in the port field with its text selected.
        QLineEdit* pPort = Edit(dlg, CItemDlg::kIdPort);
        EXPECT_EQ(dlg.GetWindow()->focusWidget(), pPort);
        EXPECT_EQ(pPort->selectedText(), "8o");

        QTest::keyClicks(pPort, "8080"); // replaces the selection
        QTest::keyClick(pPort, Qt::Key_Return);
    });
    EXPECT_EQ(nResult, kIdOk);
    EXPECT_EQ(boxes.m_boxes.size(), 1u);
    EXPECT_EQ(item.m_strAddress, "new.host");
    EXPECT_EQ(item.m_nPort, 8080);
    EXPECT_EQ(item.m_nMode, kProbeTcp);
    EXPECT_EQ(item.m_bOk, 1); // the status is not the editor's
}

TEST_F(ItemDlgTest, EscAndTheCloseBoxLeaveTheTargetExactlyAsBefore) {
    for (bool bCloseBox : {false, true}) {
        CItem item = MakeItem(kProbeTcp, "keep.me", 443, 0);
        CItemDlg dlg(&item, nullptr);
        const int nResult = RunModal(dlg, [&] {
            TypeInto(Edit(dlg, CItemDlg::kIdAddress), "changed");
            TypeInto(Edit(dlg, CItemDlg::kIdPort), "21");
            Click(dlg.GetDlgItem(CItemDlg::kIdModeIcmp));
            ChooseService(dlg, "S");
            if (bCloseBox)
                dlg.GetWindow()->close();
            else
                QTest::keyClick(Edit(dlg, CItemDlg::kIdAddress), Qt::Key_Escape);
        });
        EXPECT_EQ(nResult, kIdCancel);
        EXPECT_EQ(item.m_strAddress, "keep.me");
        EXPECT_EQ(item.m_nPort, 443);
        EXPECT_EQ(item.m_nMode, kProbeTcp);
        EXPECT_EQ(item.m_bOk, 0);
    }
    EXPECT_TRUE(boxes.m_boxes.empty());
}

TEST_F(ItemDlgTest, PortsOutsideTheUsualRangeAreStored) {
    for (const char* pszPort : {"0", "-1", "70000", "  42\t"}) {
        CItem item = MakeItem(kProbeIcmp, "h", 80);
        CItemDlg dlg(&item, nullptr);
        RunModal(dlg, [&] {
            TypeInto(Edit(dlg, CItemDlg::kIdPort), pszPort);
            Click(dlg.GetDlgItem(kIdOk));
        });
        EXPECT_EQ(item.m_nPort, std::stoi(pszPort)) << pszPort;
        EXPECT_EQ(item.m_nMode, kProbeIcmp);
    }
    EXPECT_TRUE(boxes.m_boxes.empty());
}

TEST_F(ItemDlgTest, TheServiceSelectionIsNeverRemembered) {
    CItem item = MakeItem(kProbeTcp, "h", 80);
    {
        CItemDlg dlg(&item, nullptr);
        RunModal(dlg, [&] {
            ChooseService(dlg, "F");
            QTest::keyClick(dlg.GetWindow(), Qt::Key_Return); // Enter: the default button
        });
    }
    EXPECT_EQ(item.m_nPort, 21);
    CItemDlg again(&item, nullptr);
    RunModal(again, [&] {
        EXPECT_EQ(Service(again)->currentIndex(), -1);
        EXPECT_EQ(again.m_strService, "");
        Click(again.GetDlgItem(kIdOk));
    });
}

TEST_F(ItemDlgTest, SpinArrowsStepThePortAndANoneSelectedModeIsStoredAsMinusOne) {
    CItem item = MakeItem(7, "h", 99); // a mode neither button stands for
    CItemDlg dlg(&item, nullptr);
    RunModal(dlg, [&] {
        EXPECT_FALSE(dlg.Item<QRadioButton>(CItemDlg::kIdModeIcmp)->isChecked());
        EXPECT_FALSE(dlg.Item<QRadioButton>(CItemDlg::kIdModeConnect)->isChecked());
        QLineEdit* pPort = Edit(dlg, CItemDlg::kIdPort);
        pPort->setFocus();
        QTest::keyClick(pPort, Qt::Key_Up);
        QTest::keyClick(pPort, Qt::Key_Up);
        QTest::keyClick(pPort, Qt::Key_Down);
        EXPECT_EQ(pPort->text(), "100");
        Click(dlg.GetDlgItem(kIdOk));
    });
    EXPECT_EQ(item.m_nPort, 100);
    EXPECT_EQ(item.m_nMode, -1);
}

TEST_F(ItemDlgTest, EditRunsTheEditorOwnedByTheMainWindow) {
    QWidget main;
    main.show();
    SetMainWindow(&main);
    CItem item = MakeItem(kProbeTcp, "h", 80);
    QWidget* pParent = nullptr;
    QTimer::singleShot(0, [&] {
        QWidget* pModal = QApplication::activeModalWidget();
        ASSERT_NE(pModal, nullptr);
        pParent = pModal->parentWidget();
        auto* pAddress = pModal->findChild<QLineEdit*>();
        TypeInto(pAddress, "edited");
        QTest::keyClick(pAddress, Qt::Key_Return);
    });
    item.Edit();
    SetMainWindow(nullptr);
    EXPECT_EQ(pParent, &main);
    EXPECT_EQ(item.m_strAddress, "edited");
}
