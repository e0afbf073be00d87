// SPDX-License-Identifier: Apache-2.0
// The toolkit layer: templates built into widgets, dispatch, controls, the
// integer exchange, message boxes, file dialogs, timers and placement.
#include "framework/exception.h"
#include "ui/templates/templates.h"
#include "ui/toolkit/app_window.h"
#include "ui/toolkit/center_window.h"
#include "ui/toolkit/file_dialog.h"
#include "ui/toolkit/message_box.h"
#include "ui/toolkit/text.h"
#include "ui/toolkit/window_timer.h"
#include "ui_test_util.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <limits>

namespace {
// A window with one of each control the exchange uses.
const CDialogTemplate& ProbeTemplate() {
    static const CDialogTemplate tpl{
        900,
        "Probe",
        200,
        100,
        "MS Sans Serif",
        8,
        kWndSysMenu,
        {
            {10, ECtlKind::kEdit, "", 5, 5, 60, 14, 0, true},
            {11, ECtlKind::kButton, "Throw", 70, 5, 50, 14, 0, true},
            {12, ECtlKind::kRadio, "A", 5, 25, 30, 10, kStyleGroup},
            {13, ECtlKind::kRadio, "B", 40, 25, 30, 10},
            {14, ECtlKind::kRadio, "C", 75, 25, 30, 10},
            {15, ECtlKind::kCheckBox, "Check", 5, 40, 50, 10, 0, true},
            {16, ECtlKind::kDropDown, "", 5, 55, 60, 50, 0, true, {"Alpha", "beta", "Beta2"}},
            {17, ECtlKind::kEdit, "", 70, 55, 40, 14, 0, true},
        },
    };
    return tpl;
}

class CProbeDlg : public CDialog {
public:
    CProbeDlg() : CDialog(ProbeTemplate(), nullptr) {
        MapCommand(11, ECtlEvent::kClicked, &CProbeDlg::OnThrow);
        MapCommand(17, ECtlEvent::kKillFocus, &CProbeDlg::OnLeaveNumber);
        MapCommand(16, ECtlEvent::kSelChange, &CProbeDlg::OnPick);
    }
    void OnThrow() {
        ++m_nThrows;
        throw CFileException(2, std::string(200, 'x') + ".osl");
    }
    void OnLeaveNumber() { m_bLastRead = ReadIntegerItemInRange(17, m_nNumber, 1, 100000); }
    void OnPick() { ++m_nPicks; }
    void OnTimer(int nId) override { ++m_timerHits[nId]; }

    using CDialog::CheckRadio;
    using CDialog::GetCheckedRadio;
    using CDialog::GetComboText;
    using CDialog::ReadIntegerItem;
    using CDialog::SelectComboPrefix;

    int m_nThrows = 0;
    int m_nPicks = 0;
    int32_t m_nNumber = -5;
    bool m_bLastRead = true;
    std::map<int, int> m_timerHits;
};
} // namespace

TEST(Toolkit, DialogUnitsFollowTheFontMetrics) {
    const CDialogUnits units(6, 13);
    EXPECT_EQ(units.ToPixels(4, 8), QSize(6, 13));
    EXPECT_EQ(units.ToPixels(10, 20, 100, 40), QRect(15, 32, 150, 65));
    const CDialogUnits fromFont(QApplication::font());
    EXPECT_EQ(fromFont.BaseY(), QFontMetrics(QApplication::font()).height());
    EXPECT_GT(fromFont.BaseX(), 2);
}

TEST(Toolkit, WindowIsBuiltFromItsTemplate) {
    CProbeDlg dlg;
    ASSERT_TRUE(dlg.Create());
    QWidget* pWnd = dlg.GetWindow();
    const CDialogUnits& units = dlg.Units();
    EXPECT_EQ(pWnd->windowTitle(), "Probe");
    EXPECT_EQ(pWnd->size(), units.ToPixels(200, 100));
    EXPECT_EQ(dlg.GetDlgItem(10)->geometry(), units.ToPixels(5, 5, 60, 14));
    // The drop-down list takes one field's height while closed.
    EXPECT_EQ(dlg.GetDlgItem(16)->geometry(), units.ToPixels(5, 55, 60, 14));
    EXPECT_EQ(dlg.Item<QComboBox>(16)->count(), 3);
    EXPECT_EQ(dlg.Item<QComboBox>(16)->itemText(2), "Beta2");
    EXPECT_EQ(dlg.GetDlgItem(12)->focusPolicy(), Qt::ClickFocus); // not a tab stop
    EXPECT_EQ(dlg.GetDlgItem(10)->focusPolicy(), Qt::StrongFocus);
    dlg.DestroyWindow();
    EXPECT_EQ(dlg.GetWindow(), nullptr);
    EXPECT_EQ(dlg.GetDlgItem(10), nullptr);
}

TEST(Toolkit, ErrorLeavingAHandlerIsShownCutTo127WithTheStopIconAndDispatchGoesOn) {
    CMessageBoxRecorder boxes;
    CProbeDlg dlg;
    ASSERT_TRUE(dlg.Create());
    dlg.GetWindow()->show();
    Click(dlg.GetDlgItem(11));
    Click(dlg.GetDlgItem(11));
    EXPECT_EQ(dlg.m_nThrows, 2);
    ASSERT_EQ(boxes.m_boxes.size(), 2u);
    const std::string strFull = CFileException(2, std::string(200, 'x') + ".osl").GetErrorMessage();
    ASSERT_GT(strFull.size(), 127u);
    EXPECT_EQ(boxes.m_boxes[0].strText, strFull.substr(0, 127));
    EXPECT_EQ(boxes.m_boxes[0].icon, EMsgIcon::kStop);
    EXPECT_EQ(boxes.m_boxes[0].pOwner, dlg.GetWindow());
    EXPECT_TRUE(dlg.GetWindow()->isVisible());
}

TEST(Toolkit, MessageBoxCaptionIconAndBeep) {
    CMessageBoxRecorder boxes;
    boxes.SetNextAnswer(7);
    EXPECT_EQ(ShowMessageBox(nullptr, "first"), 7);
    EXPECT_EQ(ShowMessageBox(nullptr, "second", EMsgIcon::kStop, true), kIdOkAnswer);
    ASSERT_EQ(boxes.m_boxes.size(), 2u);
    EXPECT_EQ(boxes.m_boxes[0].icon, EMsgIcon::kExclamation); // no icon named
    EXPECT_EQ(boxes.m_boxes[0].strCaption, "ui_tests");
    EXPECT_EQ(boxes.m_boxes[1].icon, EMsgIcon::kStop);
    EXPECT_EQ(boxes.m_nBeeps, 1);

    EXPECT_EQ(ApplicationTitleFromPath("/usr/bin/ostrel"), "ostrel");
    EXPECT_EQ(ApplicationTitleFromPath("/opt/check.d/check.exe"), "check");
    EXPECT_EQ(ApplicationTitleFromPath("/opt/check.d/check"), "check");
    EXPECT_EQ(ApplicationTitleFromPath("a.b.c"), "a.b");
}

// Each row: text, value read or none. Failures show the message, then the
// focus is back in the field with its whole text selected.
TEST(Toolkit, IntegerFieldReading) {
    const struct {
        const char* pszText;
        std::optional<int32_t> value;
    } cases[] = {
        {"15", 15},
        {" \t+42 \t", 42},
        {"-17", -17},
        {"0", 0},
        {"  007", 7},
        {"00", 0},
        {"-0", std::nullopt},
        {"+0", std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"abc", std::nullopt},
        {"12a", std::nullopt},
        {"1 2", std::nullopt},
        {"--1", std::nullopt},
        {"99999999999999", std::numeric_limits<int32_t>::max()},
        {"2147483647", 2147483647},
        {"1                              x", 1}, // the x lies past 31 characters
        {"1                             x", std::nullopt},
    };
    CMessageBoxRecorder boxes;
    CProbeDlg dlg;
    ASSERT_TRUE(dlg.Create());
    dlg.GetWindow()->show();
    auto* pEdit = dlg.Item<QLineEdit>(10);
    for (const auto& c : cases) {
        boxes.m_boxes.clear();
        dlg.GetDlgItem(11)->setFocus();
        pEdit->setText(c.pszText);
        int32_t nValue = -99;
        const bool bOk = dlg.ReadIntegerItem(10, nValue);
        EXPECT_EQ(bOk, c.value.has_value()) << '"' << c.pszText << '"';
        if (c.value) {
            EXPECT_EQ(nValue, *c.value) << c.pszText;
            EXPECT_TRUE(boxes.m_boxes.empty());
        } else {
            EXPECT_EQ(nValue, -99) << c.pszText;
            ASSERT_EQ(boxes.m_boxes.size(), 1u);
            EXPECT_EQ(boxes.m_boxes[0].strText, "Please enter an integer.");
            EXPECT_EQ(boxes.m_boxes[0].icon, EMsgIcon::kExclamation);
            EXPECT_EQ(dlg.GetWindow()->focusWidget(), pEdit);
            EXPECT_EQ(pEdit->selectedText(), pEdit->text());
        }
    }
}

TEST(Toolkit, RangeCheckAfterLosingTheFocusStoresTheValueThenComplains) {
    CMessageBoxRecorder boxes;
    CProbeDlg dlg;
    ASSERT_TRUE(dlg.Create());
    dlg.GetWindow()->show();
    QApplication::setActiveWindow(dlg.GetWindow());
    auto* pNumber = dlg.Item<QLineEdit>(17);
    TypeInto(pNumber, "100001");
    dlg.Item<QLineEdit>(10)->setFocus(Qt::TabFocusReason); // leave the field
    EXPECT_FALSE(dlg.m_bLastRead);
    EXPECT_EQ(dlg.m_nNumber, 100001);
    ASSERT_EQ(boxes.m_boxes.size(), 1u);
    EXPECT_EQ(boxes.m_boxes[0].strText, "Please enter an integer between 1 and 100000.");
    EXPECT_EQ(dlg.GetWindow()->focusWidget(), pNumber);
    EXPECT_EQ(pNumber->selectedText(), "100001");

    TypeInto(pNumber, "100000");
    dlg.Item<QLineEdit>(10)->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(dlg.m_bLastRead);
    EXPECT_EQ(dlg.m_nNumber, 100000);
    EXPECT_EQ(boxes.m_boxes.size(), 1u);
}

TEST(Toolkit, RadioGroupCheckBoxAndDropDownList) {
    CProbeDlg dlg;
    ASSERT_TRUE(dlg.Create());
    dlg.GetWindow()->show();
    EXPECT_EQ(dlg.GetCheckedRadio(12), -1);
    dlg.CheckRadio(12, 2);
    EXPECT_EQ(dlg.GetCheckedRadio(12), 2);
    Click(dlg.GetDlgItem(13));
    EXPECT_EQ(dlg.GetCheckedRadio(12), 1);
    EXPECT_FALSE(dlg.Item<QRadioButton>(14)->isChecked());
    dlg.CheckRadio(12, -1);
    EXPECT_EQ(dlg.GetCheckedRadio(12), -1);
    for (int nId : {12, 13, 14})
        EXPECT_FALSE(dlg.Item<QRadioButton>(nId)->isChecked());

    Click(dlg.GetDlgItem(15));
    EXPECT_TRUE(dlg.Item<QCheckBox>(15)->isChecked());

    EXPECT_EQ(dlg.GetComboText(16), "");
    EXPECT_EQ(dlg.SelectComboPrefix(16, ""), -1);
    EXPECT_EQ(dlg.GetComboText(16), "");
    EXPECT_EQ(dlg.SelectComboPrefix(16, "BE"), 1);
    EXPECT_EQ(dlg.GetComboText(16), "beta");
    EXPECT_EQ(dlg.SelectComboPrefix(16, "gamma"), -1);
    EXPECT_EQ(dlg.GetComboText(16), "beta"); // no match leaves the selection
    EXPECT_EQ(dlg.m_nPicks, 0);              // setting it is no user's choice
    dlg.GetDlgItem(16)->setFocus();
    QTest::keyClick(dlg.GetDlgItem(16), Qt::Key_Down);
    EXPECT_EQ(dlg.GetComboText(16), "Beta2");
    EXPECT_EQ(dlg.m_nPicks, 1);

    dlg.GetDlgItem(16)->setEnabled(false); // a disabled control sends nothing
    QTest::keyClick(dlg.GetDlgItem(16), Qt::Key_Up);
    EXPECT_EQ(dlg.m_nPicks, 1);
}

TEST(Toolkit, WindowTimersFireByIdUntilKilled) {
    CProbeDlg dlg;
    EXPECT_EQ(dlg.SetTimer(1, 10), 0); // no window yet
    ASSERT_TRUE(dlg.Create());
    EXPECT_EQ(dlg.SetTimer(0, 10), 0);
    EXPECT_EQ(dlg.SetTimer(3, 5), 3);
    EXPECT_EQ(dlg.SetTimer(4, 10), 4);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return dlg.m_timerHits[3] >= 3 && dlg.m_timerHits[4] >= 2; }));
    EXPECT_TRUE(dlg.KillTimer(3));
    EXPECT_FALSE(dlg.KillTimer(3));
    const int nHits = dlg.m_timerHits[3];
    QTest::qWait(40);
    EXPECT_EQ(dlg.m_timerHits[3], nHits);
    dlg.DestroyWindow(); // takes its timers with it
    EXPECT_EQ(dlg.FindTimer(4), nullptr);
}

TEST(Toolkit, LongTimerIntervalsDoNotOverflow) {
    QObject context;
    int nFired = 0;
    const int64_t kFortyDays = int64_t{40} * 24 * 3600 * 1000;
    CWindowTimer longTimer(&context, kFortyDays, [&] { ++nFired; });
    EXPECT_EQ(longTimer.CurrentWaitMs(), CWindowTimer::kMaxWaitMs);
    EXPECT_GT(longTimer.RemainingMs(), kFortyDays - 60000);
    QTest::qWait(30);
    EXPECT_EQ(nFired, 0);

    // The same chaining with a small maximum wait: 60 ms in waits of 7 ms.
    int nShortFired = 0;
    std::unique_ptr<CWindowTimer> pTimer;
    pTimer = std::make_unique<CWindowTimer>(
        &context, 60,
        [&] {
            ++nShortFired;
            pTimer.reset(); // a timer may be killed from its own firing
        },
        7);
    EXPECT_LE(pTimer->CurrentWaitMs(), 7);
    EXPECT_TRUE(QTest::qWaitFor([&] { return nShortFired > 0; }));
    QTest::qWait(30);
    EXPECT_EQ(nShortFired, 1);
}

TEST(Toolkit, FileDialogScriptAndFilters) {
    EXPECT_EQ(QtNameFilters("Ostrel list (*.osl)|*.osl"),
              std::vector<std::string>{"Ostrel list (*.osl)"});
    EXPECT_EQ(QtNameFilters("Sounds|*.wav;*.au|All|*.*||"),
              (std::vector<std::string>{"Sounds (*.wav *.au)", "All (*.*)"}));
    CFileDialogScript script;
    script.AnswerPath("/tmp/list.osl");
    script.AnswerCancel();
    const CFileDialogRequest request{false, ".osl", "", kOfnHideReadOnly | kOfnOverwritePrompt,
                                     "Ostrel list (*.osl)|*.osl"};
    EXPECT_EQ(RunFileDialog(nullptr, request), std::optional<std::string>("/tmp/list.osl"));
    EXPECT_EQ(RunFileDialog(nullptr, request), std::nullopt);
    EXPECT_EQ(RunFileDialog(nullptr, request), std::nullopt); // nothing left: cancel
    ASSERT_EQ(script.m_requests.size(), 3u);
    EXPECT_EQ(script.m_requests[0].strDefExt, ".osl");
}

TEST(Toolkit, CentringKeepsTheWindowInsideTheWorkArea) {
    const QRect work(0, 0, 1000, 700);
    EXPECT_EQ(CenteredPosition(QRect(0, 0, 200, 100), QRect(100, 100, 400, 300), work),
              QPoint(200, 200));
    EXPECT_EQ(CenteredPosition(QRect(0, 0, 200, 100), QRect(900, 650, 100, 50), work),
              QPoint(800, 600));
    EXPECT_EQ(CenteredPosition(QRect(0, 0, 200, 100), QRect(-300, -200, 100, 50), work),
              QPoint(0, 0));
    EXPECT_EQ(CenteredPosition(QRect(0, 0, 1200, 100), work, work), QPoint(0, 300));
}

TEST(Toolkit, TextKeepsWindows1252Bytes) {
    std::string strAll;
    for (int c = 1; c < 256; ++c)
        strAll.push_back(static_cast<char>(c));
    EXPECT_EQ(FromQString(ToQString(strAll)), strAll);
    EXPECT_EQ(ToQString("\x80"), QString(QChar(0x20AC)));
    EXPECT_EQ(FromQString(QString(QChar(0x4E2D))), "?");
}

TEST(Toolkit, ModalRunBlocksItsOwnerUntilItEnds) {
    QWidget owner;
    owner.show();
    CDialog dlg(AboutDlgTemplate(), &owner);
    const int nResult = RunModal(dlg, [&] {
        // Qt blocks the input of every other window while a modal one runs.
        EXPECT_EQ(QApplication::activeModalWidget(), dlg.GetWindow());
        EXPECT_TRUE(dlg.GetWindow()->isModal());
        EXPECT_EQ(dlg.GetWindow()->parentWidget(), &owner);
        QTest::keyClick(dlg.GetWindow(), Qt::Key_Return); // the default button
    });
    EXPECT_EQ(nResult, kIdOk);
    EXPECT_EQ(dlg.GetWindow(), nullptr); // the window goes with the run
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}
