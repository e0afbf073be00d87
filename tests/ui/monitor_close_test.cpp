// SPDX-License-Identifier: Apache-2.0
// Closing the main window: the question whether to save a changed list.
#include "monitor_test_util.h"
#include "storage/list_file.h"
#include "support/test_files.h"
#include "ui/toolkit/save_question.h"

namespace {
void PressEsc(CDialog& dlg) {
    QWidget* pFocus = QApplication::focusWidget();
    QTest::keyClick(pFocus ? pFocus : dlg.GetWindow(), Qt::Key_Escape);
}
} // namespace

// Answers: Cancel; Save with its dialog cancelled; Save. The command typed
// last is still in its field, which has the focus, when Esc comes.
TEST(MonitorClose, EscAfterAChangeAsksAndOnlyAWrittenSaveCloses) {
    CTempDir dir;
    CMessageBoxRecorder boxes;
    CFileDialogScript files;
    for (int nAnswer : {kIdCancel, kIdSaveAnswer, kIdSaveAnswer})
        boxes.SetNextAnswer(nAnswer);
    files.AnswerCancel();
    files.AnswerPath(dir / "saved.osl");
    CMonitorDlg dlg;
    std::vector<bool> openAfterEsc;
    RunModal(dlg, [&] {
        QApplication::setActiveWindow(dlg.GetWindow());
        QTimer::singleShot(
            0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
        Click(dlg.GetDlgItem(CMonitorDlg::kIdAdd));
        TypeInto(dlg.Item<QLineEdit>(CMonitorDlg::kIdExecute), "beep");
        for (int i = 0; i < 3; ++i) {
            PressEsc(dlg);
            openAfterEsc.push_back(dlg.GetWindow() && dlg.GetWindow()->isVisible());
        }
    });
    EXPECT_EQ(openAfterEsc, std::vector<bool>({true, true, false}));
    ASSERT_EQ(boxes.m_boxes.size(), 3u);
    EXPECT_EQ(boxes.m_boxes[0].strText, "Save changes to the list before closing?");
    const std::unique_ptr<CItemList> pSaved = ReadListFile(dir / "saved.osl");
    EXPECT_EQ(pSaved->GetCount(), 1u);
    EXPECT_EQ(pSaved->m_strExecute, "beep");
}
