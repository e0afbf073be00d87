// SPDX-License-Identifier: Apache-2.0
// Save List, Load List and LoadList in the window, on real files.
#include "monitor_test_util.h"
#include "storage/list_file.h"
#include "support/other_user.h"
#include "support/test_files.h"
#include "ui/list_trust_box.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <sys/stat.h>

using Texts = std::vector<std::string>;

namespace {
class MonitorListsTest : public MonitorDlgTest {
protected:
    void Load(const std::string& strPath) {
        files.AnswerPath(strPath);
        Click(W<QPushButton>(CMonitorDlg::kIdLoadList));
    }
    void Save(const std::string& strPath) {
        files.AnswerPath(strPath);
        Click(W<QPushButton>(CMonitorDlg::kIdSaveList));
    }
    // The window's list, targets and settings, as its file would hold them.
    Bytes ListBytes() {
        Save(dir / "snapshot.osl");
        return ReadFileBytes(dir / "snapshot.osl");
    }

    CTempDir dir;
};
} // namespace

// The example holds popup on, period 5, logging Always, a log file and two
// targets with their statuses.
// Its log file is asked about, once; a list saved here is not.
TEST_F(MonitorListsTest, LoadShowsEverySettingAndTargetAndSaveWritesThemBack) {
    boxes.SetNextAnswer(kIdAllowListActions);
    Load(std::string(OSTREL_FIXTURES_DIR) + "/example.osl");
    const CFileDialogRequest& request = files.m_requests.back();
    EXPECT_TRUE(request.bOpen);
    EXPECT_EQ(request.strDefExt, ".osl");
    EXPECT_EQ(request.strFilter, "Ostrel list (*.osl)|*.osl");
    ASSERT_EQ(boxes.m_boxes.size(), 1u);
    EXPECT_EQ(boxes.m_boxes[0].icon, EMsgIcon::kQuestion);
    boxes.m_boxes.clear();
    EXPECT_EQ(W<QLineEdit>(CMonitorDlg::kIdPeriod)->text(), "5");
    EXPECT_TRUE(W<QRadioButton>(CMonitorDlg::kIdLogAlways)->isChecked());
    EXPECT_EQ(W<QLineEdit>(CMonitorDlg::kIdLogFile)->text(), "events.log");
    EXPECT_TRUE(W<QLineEdit>(CMonitorDlg::kIdLogFile)->isEnabled());
    EXPECT_EQ(dlg.m_nPeriod, 5);
    EXPECT_EQ(dlg.m_strLogFile, "events.log");
    EXPECT_EQ(Column(0), Texts({"10.0.0.1", "10.0.0.2"}));
    EXPECT_EQ(Column(1), Texts({"ICMP", "25"}));
    EXPECT_EQ(Column(2), Texts({"Yes", "No"})); // stored statuses, until the next pass

    Save(dir / "copy.osl");
    const CFileDialogRequest& save = files.m_requests.back();
    EXPECT_FALSE(save.bOpen);
    EXPECT_EQ(save.nFlags, kOfnHideReadOnly | kOfnOverwritePrompt);
    EXPECT_EQ(ReadFileBytes(dir / "copy.osl"), FixtureBytes("example.osl"));

    // Every setting changed in the window travels through a file to another.
    Click(W<QCheckBox>(CMonitorDlg::kIdPopup));
    Click(W<QCheckBox>(CMonitorDlg::kIdAutoStart));
    Click(W<QRadioButton>(CMonitorDlg::kIdLogOnFailure));
    dlg.List()->m_strSound = "a.wav";
    dlg.List()->m_strExecute = "run me";
    Save(dir / "changed.osl");
    CMonitorDlg other;
    Open(other);
    files.AnswerPath(dir / "changed.osl");
    Click(other.Item<QPushButton>(CMonitorDlg::kIdLoadList));
    EXPECT_EQ(other.m_bPopup, 0);
    EXPECT_EQ(other.m_bAutoStart, 1);
    EXPECT_EQ(other.m_nLogging, kLogOnFailure);
    EXPECT_EQ(other.m_strSound, "a.wav");
    EXPECT_EQ(other.m_strExecute, "run me");
    EXPECT_EQ(other.Item<QLineEdit>(CMonitorDlg::kIdExecute)->text(), "run me");
    EXPECT_EQ(other.m_schedule.RunningFlag(), 0); // loading starts nothing
    EXPECT_TRUE(boxes.m_boxes.empty());           // saved here: nothing to ask
    EXPECT_EQ(ReadFileBytes(dir / "changed.osl"), ListBytes());
}

// Each row: a file to load, the boxes it shows; the list never changes.
TEST_F(MonitorListsTest, LoadsThatFailOrReadNoListKeepTheList) {
    SetTargets({NewItem(1, 1, "kept", 22)});
    const Bytes example = FixtureBytes("example.osl");
    WriteFileBytes(dir / "short.osl", Bytes(example.begin(), example.begin() + 20));
    WriteFileBytes(dir / "null.osl", Bytes{0, 0});
    const std::string strMissing = dir / "no such.osl";
    struct Case {
        std::string strPath;
        Texts boxTexts;
        std::vector<EMsgIcon> icons;
        int nBeeps;
    };
    const Case cases[] = {
        {strMissing,
         {"Loading " + strMissing + " failed (returned a 0x2)."},
         {EMsgIcon::kExclamation},
         1},
        {dir / "short.osl",
         {"Error: Load failure.  File may be corrupted.",
          "An attempt was made to access  past its end."},
         {EMsgIcon::kStop, EMsgIcon::kStop},
         1},
        {dir / "null.osl", {}, {}, 0},
    };
    const Bytes before = ListBytes();
    for (const Case& c : cases) {
        boxes.m_boxes.clear();
        boxes.m_nBeeps = 0;
        Load(c.strPath);
        EXPECT_EQ(BoxTexts(), c.boxTexts) << c.strPath;
        for (size_t i = 0; i < c.icons.size() && i < boxes.m_boxes.size(); ++i)
            EXPECT_EQ(boxes.m_boxes[i].icon, c.icons[i]) << c.strPath;
        EXPECT_EQ(boxes.m_nBeeps, c.nBeeps) << c.strPath;
        EXPECT_EQ(Column(0), Texts{"kept"}) << c.strPath;
        EXPECT_EQ(ListBytes(), before) << c.strPath;
    }
}

TEST_F(MonitorListsTest, CancelledDialogsChangeNothing) {
    SetTargets({NewItem(1, 1, "kept", 22)});
    const Bytes before = ListBytes();
    files.AnswerCancel();
    Click(W<QPushButton>(CMonitorDlg::kIdLoadList));
    files.AnswerCancel();
    Click(W<QPushButton>(CMonitorDlg::kIdSaveList));
    EXPECT_TRUE(boxes.m_boxes.empty());
    EXPECT_EQ(ListBytes(), before);
}

TEST_F(MonitorListsTest, SaveDuringAPingNowPassWritesTheStatusesOfThatMoment) {
    SetTargets({NewItem(1, 1, "127.0.0.1", 1)}); // port 1 on loopback refuses
    DuringNextPass([&] { Save(dir / "during.osl"); });
    Click(W<QPushButton>(CMonitorDlg::kIdPingNow));
    EXPECT_TRUE(boxes.m_boxes.empty());
    const std::unique_ptr<CItemList> pSaved = ReadListFile(dir / "during.osl");
    ASSERT_NE(pSaved, nullptr);
    EXPECT_EQ(pSaved->GetCount(), 1u);
}

TEST_F(MonitorListsTest, SavingOntoAFileTheUserMayNotWriteShowsTheOpeningMessage) {
    if (geteuid() != 0)
        GTEST_SKIP() << "trying the save as nobody needs root";
    chmod(dir.Path().c_str(), 0755);
    const std::string strPath = dir / "theirs.osl";
    WriteFileBytes(strPath, FixtureBytes("default.osl"));
    chmod(strPath.c_str(), 0644);
    const std::string failure = RunInChild([&]() -> std::string {
        if (!BecomeNobody().empty())
            return "cannot become nobody";
        Save(strPath);
        const Texts expected{"Opening " + strPath + " failed (returned a 0xd)."};
        return BoxTexts() == expected ? "" : "boxes: " + (BoxTexts().empty() ? "" : BoxTexts()[0]);
    });
    EXPECT_EQ(failure, "");
    EXPECT_EQ(ReadFileBytes(strPath), FixtureBytes("default.osl"));
}

// Text has any length: a 40,000-byte command and address of every byte value
// survive the field being entered and left, the editor being closed and a
// save, byte for byte.
TEST_F(MonitorListsTest, LongTextSurvivesTheFieldsTheEditorAndASave) {
    std::string strLong;
    for (int i = 0; i < 40000; ++i)
        strLong.push_back(static_cast<char>(i % 256));
    CItemList list;
    list.m_strExecute = strLong;
    list.AddTail(NewItem(0, 1, strLong, 80));
    WriteListFile(dir / "long.osl", list);
    Load(dir / "long.osl");
    W<QLineEdit>(CMonitorDlg::kIdExecute)->setFocus();
    W<QLineEdit>(CMonitorDlg::kIdPeriod)->setFocus(); // leaves the execute field
    dlg.ListView().SelectRow(0);
    QTimer::singleShot(0, [] { // the editor's Close
        Click(QApplication::activeModalWidget()->findChild<QPushButton*>());
    });
    Click(W<QPushButton>(CMonitorDlg::kIdEdit));
    EXPECT_EQ(ListBytes(), ReadFileBytes(dir / "long.osl"));
}

// A box loaded as 2 shows its third state; clicks set and clear it, and the
// list only ever gets 0 or 1.
TEST_F(MonitorListsTest, ClicksOnABoxLoadedAs2StoreOnly0And1) {
    CItemList list;
    list.m_bAutoStart = list.m_bPopup = 2;
    WriteListFile(dir / "two.osl", list);
    Load(dir / "two.osl");
    for (auto [nId, pmValue] : {std::pair{CMonitorDlg::kIdAutoStart, &CItemList::m_bAutoStart},
                                std::pair{CMonitorDlg::kIdPopup, &CItemList::m_bPopup}}) {
        EXPECT_EQ(W<QCheckBox>(nId)->checkState(), Qt::PartiallyChecked);
        std::vector<int32_t> stored;
        for (int i = 0; i < 3; ++i) {
            Click(W<QCheckBox>(nId));
            stored.push_back(dlg.List()->*pmValue);
        }
        EXPECT_EQ(stored, (std::vector<int32_t>{1, 0, 1})) << nId;
    }
}
