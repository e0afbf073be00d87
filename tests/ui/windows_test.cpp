// SPDX-License-Identifier: Apache-2.0
// The about box, the system menu stand-in, help and the progress window.
#include "ui/about_dlg.h"
#include "ui/help/help_command.h"
#include "ui/help/help_file.h"
#include "ui/help/help_viewer.h"
#include "ui/progress_dlg.h"
#include "ui/templates/templates.h"
#include "ui/toolkit/app_window.h"
#include "ui/toolkit/message_box.h"
#include "ui/toolkit/window_timer.h"
#include "ui_test_util.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>

namespace {
// A main window stand-in with the system-menu entry of the about box.
const CDialogTemplate& HostTemplate() {
    static const CDialogTemplate tpl{
        901,
        "Host",
        150,
        80,
        "MS Sans Serif",
        8,
        kWndSysMenu | kWndMinimizeBox | kWndAppWindow,
        {{kIdStatic, ECtlKind::kLabel, "Right-click me", 10, 10, 80, 8}},
    };
    return tpl;
}

class CHostDlg : public CDialog {
public:
    CHostDlg() : CDialog(HostTemplate(), nullptr) {}
    bool OnInitDialog() override {
        CDialog::OnInitDialog();
        AppendSystemMenuSeparator();
        AppendSystemMenuItem(kAboutMenuText, kIdmAboutBox);
        return true;
    }
    void OnSysCommand(int nCommand) override {
        m_commands.push_back(nCommand);
        if (IsAboutCommand(nCommand))
            RunAboutBox();
        else
            CDialog::OnSysCommand(nCommand);
    }
    std::vector<int> m_commands;
};

struct AboutSeen {
    int nShown = 0;
    QWidget* pParent = nullptr;
    QString label;
};

// Closes the next about box with its OK button once it is up.
void CloseNextAboutBox(AboutSeen& seen) {
    QTimer::singleShot(0, [&seen] {
        QWidget* pBox = QApplication::activeModalWidget();
        ASSERT_NE(pBox, nullptr);
        EXPECT_EQ(pBox->windowTitle(), "About Ostrel");
        ++seen.nShown;
        seen.pParent = pBox->parentWidget();
        for (QLabel* pLabel : pBox->findChildren<QLabel*>())
            if (!pLabel->text().isEmpty())
                seen.label = pLabel->text();
        Click(pBox->findChild<QPushButton*>());
    });
}

struct MainWindowScope {
    explicit MainWindowScope(QWidget* pWnd) { SetMainWindow(pWnd); }
    ~MainWindowScope() { SetMainWindow(nullptr); }
};
} // namespace

TEST(AboutBox, FromTheContextMenuEntryAndFromEverySystemCommand16To31) {
    CHostDlg host;
    ASSERT_TRUE(host.Create());
    QWidget* pWnd = host.GetWindow();
    pWnd->show();
    MainWindowScope scope(pWnd);

    // Right-click on the window's background opens the system menu stand-in.
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 60),
                            pWnd->mapToGlobal(QPoint(5, 60)));
    QApplication::sendEvent(pWnd, &click);
    auto* pMenu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(pMenu, nullptr);
    ASSERT_EQ(pMenu->actions().size(), 2);
    EXPECT_TRUE(pMenu->actions()[0]->isSeparator());
    EXPECT_EQ(pMenu->actions()[1]->text(), "&About Ostrel...");
    AboutSeen seen;
    CloseNextAboutBox(seen);
    pMenu->actions()[1]->trigger();
    EXPECT_EQ(seen.nShown, 1);
    EXPECT_EQ(seen.pParent, pWnd); // owned by the main window
    EXPECT_EQ(seen.label, "Ostrel Version 1.0");
    EXPECT_EQ(host.m_commands, std::vector<int>{kIdmAboutBox});
    pMenu->close();

    for (int nCommand = 16; nCommand <= 31; ++nCommand) {
        CloseNextAboutBox(seen);
        host.SysCommand(nCommand);
    }
    EXPECT_EQ(seen.nShown, 17);
    // The keyboard's Menu key opens the same menu.
    QTest::keyClick(pWnd, Qt::Key_Menu);
    pMenu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(pMenu, nullptr);
    EXPECT_EQ(pMenu->actions().size(), 2);
    pMenu->close();

    host.SysCommand(15);
    host.SysCommand(32);
    EXPECT_EQ(seen.nShown, 17);
    QApplication::processEvents(); // the closers of the boxes that never came
}

TEST(AboutBox, OkEnterEscAndTheCloseBoxEndIt) {
    CAboutDlg dlg;
    EXPECT_EQ(RunModal(dlg, [&] { Click(dlg.GetDlgItem(kIdOk)); }), kIdOk);
    EXPECT_EQ(RunModal(dlg, [&] { QTest::keyClick(dlg.GetWindow(), Qt::Key_Return); }), kIdOk);
    EXPECT_EQ(RunModal(dlg, [&] { QTest::keyClick(dlg.GetWindow(), Qt::Key_Escape); }), kIdCancel);
    EXPECT_EQ(RunModal(dlg, [&] { dlg.GetWindow()->close(); }), kIdCancel);
}

TEST(Help, FilePathReplacesTheExtensionOfTheNameOnly) {
    EXPECT_EQ(HelpFilePath("/usr/bin/ostrel"), "/usr/bin/ostrel.HLP");
    EXPECT_EQ(HelpFilePath("/opt/x/ostrel.bin"), "/opt/x/ostrel.HLP");
    EXPECT_EQ(HelpFilePath("/opt/x/a.b.exe"), "/opt/x/a.b.HLP");
    EXPECT_EQ(HelpFilePath("/opt/app.d/ostrel"), "/opt/app.d/ostrel.HLP");
    EXPECT_EQ(HelpFilePath("/home/u/.local/bin/ostrel"), "/home/u/.local/bin/ostrel.HLP");
    EXPECT_EQ(HelpFilePath("ostrel"), "ostrel.HLP");
    EXPECT_EQ(HelpFilePath("/x/.hidden"), "/x/.hidden.HLP");
    EXPECT_EQ(ProgramHelpFilePath(),
              QDir(QCoreApplication::applicationDirPath()).filePath("ui_tests.HLP").toStdString());
}

TEST(Help, ViewerOpensTheHelpFileBesideTheProgramAndClosesWithItsWindow) {
    CMessageBoxRecorder boxes;
    QWidget owner;
    owner.show();
    ShowHelpContents(&owner);
    EXPECT_TRUE(boxes.m_boxes.empty());
    CHelpViewer* pViewer = FindHelpViewer(&owner);
    ASSERT_NE(pViewer, nullptr);
    EXPECT_TRUE(pViewer->isVisible());
    const QString text = pViewer->toPlainText();
    EXPECT_TRUE(text.contains("Ping Now"));
    EXPECT_TRUE(text.contains("Log file"));
    ShowHelpContents(&owner); // again: the same viewer, at the contents
    EXPECT_EQ(FindHelpViewer(&owner), pViewer);

    QPointer<CHelpViewer> pWatch(pViewer);
    CloseHelp(&owner);
    EXPECT_TRUE(QTest::qWaitFor([&] { return pWatch.isNull(); }));
    CloseHelp(&owner); // with no help open: nothing to do
}

TEST(Help, RefusedOrMissingHelpShowsFailedToLaunchHelp) {
    CMessageBoxRecorder boxes;
    QWidget owner;
    {
        CHelpRefusal refuse;
        ShowHelpContents(&owner);
    }
    ASSERT_EQ(boxes.m_boxes.size(), 1u);
    EXPECT_EQ(boxes.m_boxes[0].strText, "Failed to launch help.");
    EXPECT_EQ(boxes.m_boxes[0].icon, EMsgIcon::kExclamation);
    EXPECT_EQ(FindHelpViewer(&owner), nullptr);

    EXPECT_FALSE(WinHelp(&owner, "/nonexistent/ostrel.HLP", kHelpContents));
    EXPECT_FALSE(WinHelp(&owner, QDir::tempPath().toStdString(), kHelpContents)); // a folder
    EXPECT_EQ(FindHelpViewer(&owner), nullptr);
}

TEST(ProgressWindow, StepsByTenAndStartsAgainPastTheEnd) {
    QWidget parent;
    parent.resize(600, 400);
    parent.show();
    CProgressDlg dlg(&parent);
    ASSERT_TRUE(dlg.Create());
    QWidget* pWnd = dlg.GetWindow();
    EXPECT_TRUE(pWnd->isVisible()); // shown at once
    EXPECT_EQ(pWnd->windowTitle(), "Checking connections.  Please wait...");
    EXPECT_FALSE(pWnd->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(dlg.Item<QPushButton>(kIdCancel)->isDefault());
    auto* pBar = dlg.Item<QProgressBar>(CProgressDlg::kIdProgress);
    EXPECT_EQ(pBar->minimum(), 0);
    EXPECT_EQ(pBar->maximum(), 100);
    EXPECT_EQ(pBar->value(), 0);
    EXPECT_EQ(dlg.m_nTimer, CProgressDlg::kIdStepTimer);
    ASSERT_NE(dlg.FindTimer(CProgressDlg::kIdStepTimer), nullptr);
    EXPECT_EQ(dlg.FindTimer(CProgressDlg::kIdStepTimer)->IntervalMs(), 250);

    for (int nStep = 1; nStep <= 10; ++nStep) {
        dlg.TimerFired(CProgressDlg::kIdStepTimer);
        EXPECT_EQ(pBar->value(), nStep * 10);
    }
    dlg.TimerFired(CProgressDlg::kIdStepTimer);
    EXPECT_EQ(pBar->value(), 0);
    dlg.TimerFired(7); // other ids: nothing
    EXPECT_EQ(pBar->value(), 0);
    EXPECT_NE(dlg.FindTimer(CProgressDlg::kIdStepTimer), nullptr); // re-armed

    // And by itself, through the event loop.
    EXPECT_TRUE(QTest::qWaitFor([&] { return pBar->value() > 0; }, 3000));

    dlg.DestroyWindow();
    EXPECT_EQ(dlg.m_nTimer, 0);
    EXPECT_EQ(dlg.FindTimer(CProgressDlg::kIdStepTimer), nullptr);
}

TEST(ProgressWindow, CancelOnlyHidesItAndItCentresOverItsParent) {
    QWidget parent;
    parent.setGeometry(100, 100, 700, 500);
    parent.show();
    CProgressDlg dlg(&parent);
    ASSERT_TRUE(dlg.Create());
    QWidget* pWnd = dlg.GetWindow();
    const QPoint centre = pWnd->geometry().center();
    EXPECT_LE(std::abs(centre.x() - parent.frameGeometry().center().x()), 2);
    EXPECT_LE(std::abs(centre.y() - parent.frameGeometry().center().y()), 2);

    Click(dlg.GetDlgItem(kIdCancel));
    EXPECT_FALSE(pWnd->isVisible());
    EXPECT_EQ(dlg.GetWindow(), pWnd); // still there until the pass destroys it
    EXPECT_NE(dlg.FindTimer(CProgressDlg::kIdStepTimer), nullptr);
    dlg.DestroyWindow();
    EXPECT_EQ(dlg.GetWindow(), nullptr);

    // With its parent hidden it goes to the middle of the work area.
    parent.hide();
    CProgressDlg alone(&parent);
    ASSERT_TRUE(alone.Create());
    const QRect work = alone.GetWindow()->screen()->availableGeometry();
    EXPECT_LE(std::abs(alone.GetWindow()->geometry().center().x() - work.center().x()), 2);
}

TEST(ProgressWindow, SurvivesItsParentGoingFirst) {
    auto* pParent = new QWidget;
    pParent->show();
    CProgressDlg dlg(pParent);
    ASSERT_TRUE(dlg.Create());
    delete pParent; // takes the window with it
    EXPECT_EQ(dlg.GetWindow(), nullptr);
    EXPECT_EQ(dlg.FindTimer(CProgressDlg::kIdStepTimer), nullptr);
    dlg.TimerFired(CProgressDlg::kIdStepTimer); // nothing left to step
    QTest::qWait(300);                          // no timer fires into the void
    dlg.DestroyWindow();
}
