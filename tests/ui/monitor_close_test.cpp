// Closing the main window with changes to the list: the question whether to
// save them, and what each answer does.
#include "monitor_test_util.h"
#include "storage/list_file.h"
#include "support/test_files.h"
#include "ui/toolkit/app_window.h"
#include "ui/toolkit/save_question.h"

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>

namespace {
struct CloseCase {
    const char* pszWhat;
    std::function<void(CMonitorDlg&)> fnChange;
    std::vector<int> answers;     // to the question, one Esc each; none: one Esc
    std::vector<bool> saveDialog; // answered with the path (true) or cancelled
    std::vector<bool> openAfter;  // the window still open after each Esc
    std::function<bool(const CItemList&)> fnSaved = {}; // the file written, if any
};

void PressEsc(CMonitorDlg& dlg) {
    QWidget* pFocus = dlg.GetWindow()->focusWidget();
    QTest::keyClick(pFocus ? pFocus : dlg.GetWindow(), Qt::Key_Escape);
}

void CancelNextEditor() {
    QTimer::singleShot(0,
                       [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
}
} // namespace

TEST(MonitorClose, AChangedListIsNotLostWithoutAQuestion) {
    CTempDir dir;
    const std::string strSaved = dir / "saved.osl";
    const std::vector<CloseCase> cases = {
        {"nothing changed", [](CMonitorDlg&) {}, {}, {}, {false}},
        {"only a pass's results",
         [](CMonitorDlg& d) { d.List()->GetAt(d.List()->GetHeadPosition())->m_bOk = 1; },
         {},
         {},
         {false}},
        {"a target added: Cancel, then Discard",
         [](CMonitorDlg& d) {
             CancelNextEditor();
             Click(d.GetDlgItem(CMonitorDlg::kIdAdd));
         },
         {kIdCancel, kIdDiscardAnswer},
         {},
         {true, false}},
        {"popup changed: Save",
         [](CMonitorDlg& d) { Click(d.GetDlgItem(CMonitorDlg::kIdPopup)); },
         {kIdSaveAnswer},
         {true},
         {false},
         [](const CItemList& l) { return l.m_bPopup == 0 && l.GetCount() == 1; }},
        {"logging changed: Save, its dialog cancelled, then Discard",
         [](CMonitorDlg& d) { Click(d.GetDlgItem(CMonitorDlg::kIdLogAlways)); },
         {kIdSaveAnswer, kIdDiscardAnswer},
         {false},
         {true, false}},
        {"a command typed, the focus still in its field: Save",
         [](CMonitorDlg& d) { TypeInto(d.Item<QLineEdit>(CMonitorDlg::kIdExecute), "beep"); },
         {kIdSaveAnswer},
         {true},
         {false},
         [](const CItemList& l) { return l.m_strExecute == "beep"; }},
        {"changed, then saved with Save List",
         [&](CMonitorDlg& d) {
             Click(d.GetDlgItem(CMonitorDlg::kIdAutoStart));
             CFileDialogScript::Active()->AnswerPath(strSaved);
             Click(d.GetDlgItem(CMonitorDlg::kIdSaveList));
         },
         {},
         {},
         {false},
         [](const CItemList& l) { return l.m_bAutoStart == 1; }},
    };
    for (const CloseCase& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        std::remove(strSaved.c_str());
        CMessageBoxRecorder boxes;
        CFileDialogScript files;
        for (int nAnswer : c.answers)
            boxes.SetNextAnswer(nAnswer);
        for (bool bPath : c.saveDialog)
            bPath ? files.AnswerPath(strSaved) : files.AnswerCancel();
        CMonitorDlg dlg;
        dlg.List()->AddTail(NewItem(0, 1, "127.0.0.1", 7));
        std::vector<bool> openAfter;
        RunModal(dlg, [&] {
            QApplication::setActiveWindow(dlg.GetWindow());
            c.fnChange(dlg);
            for (size_t i = 0; i < std::max<size_t>(c.answers.size(), 1); ++i) {
                PressEsc(dlg);
                openAfter.push_back(dlg.GetWindow() && dlg.GetWindow()->isVisible());
            }
        });
        EXPECT_EQ(openAfter, c.openAfter);
        ASSERT_EQ(boxes.m_boxes.size(), c.answers.size());
        for (const auto& box : boxes.m_boxes) {
            EXPECT_EQ(box.strText, "Save changes to the list before closing?");
            EXPECT_EQ(box.strCaption, ApplicationTitle());
        }
        if (c.fnSaved) {
            const std::unique_ptr<CItemList> pSaved = ReadListFile(strSaved);
            ASSERT_TRUE(pSaved);
            EXPECT_TRUE(c.fnSaved(*pSaved));
        } else {
            EXPECT_FALSE(std::filesystem::exists(strSaved));
        }
    }
}
