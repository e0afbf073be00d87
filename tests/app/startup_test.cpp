// SPDX-License-Identifier: Apache-2.0
// Start-up: the command line's arguments as one list path, the list loaded
// into the window as it opens, and monitoring started when the list asks.
#include "app/monitor_app.h"
#include "storage/list_approvals.h"
#include "storage/list_file.h"
#include "support/loopback_port.h"
#include "support/test_files.h"
#include "support/test_items.h"
#include "ui/list_trust_box.h"
#include "ui/monitor_dlg.h"
#include "ui/toolkit/message_box.h"
#include "ui_test_util.h"

#include <QLineEdit>
#include <sys/stat.h>

using Texts = std::vector<std::string>;

namespace {
struct StartupResult {
    Texts boxes;
    std::vector<std::string> rows;
    int32_t bRunning = 0;
};

// Opens the window as the program does with `strTail`, looks at it once it is
// up (after `fnWhileOpen`, if any), and closes it with Esc.
// A box asked before the window opens gets `nAnswer`.
StartupResult OpenWith(const std::string& strTail,
                       std::function<void(CMonitorDlg&)> fnWhileOpen = {},
                       int nAnswer = kIdOkAnswer) {
    CMessageBoxRecorder recorder;
    recorder.SetNextAnswer(nAnswer);
    CMonitorDlg dlg(nullptr, strTail);
    StartupResult result;
    RunModal(dlg, [&] {
        if (fnWhileOpen)
            fnWhileOpen(dlg);
        for (int i = 0; i < dlg.ListView().GetItemCount(); ++i)
            result.rows.push_back(dlg.ListView().GetItemText(i, 0));
        result.bRunning = dlg.m_schedule.RunningFlag();
        QTest::keyClick(dlg.GetWindow(), Qt::Key_Escape);
    });
    for (const auto& box : recorder.m_boxes)
        result.boxes.push_back(box.strText);
    return result;
}

std::string SaveList(const std::string& strPath, int32_t bAutoStart, const std::string& strLog = {},
                     int nPort = 1) {
    CItemList list;
    list.m_bAutoStart = bAutoStart;
    list.m_nLogging = kLogAlways;
    list.m_strLogFile = strLog;
    list.AddTail(NewItem(0, 1, "127.0.0.1", nPort));
    WriteListFile(strPath, list);
    return strPath;
}
} // namespace

TEST(Startup, ArgumentsJoinWithSingleBlanksIntoOnePath) {
    EXPECT_EQ(JoinCommandLineTail({}), "");
    EXPECT_EQ(JoinCommandLineTail({"/tmp/My", "Lists/net.osl"}), "/tmp/My Lists/net.osl");
    EXPECT_EQ(JoinCommandLineTail({"\"/a b.osl\""}), "\"/a b.osl\"");
    EXPECT_EQ(CMonitorApp({"x", "", "y"}).m_strCommandLineTail, "x  y");
}

TEST(Startup, NoArgumentOpensTheDefaultWindowWithoutAMessage) {
    const StartupResult result = OpenWith("");
    EXPECT_EQ(result.boxes, Texts{});
    EXPECT_EQ(result.rows, Texts{});
    EXPECT_EQ(result.bRunning, 0);
}

// Each row: a command-line tail, the boxes it shows, the rows and whether
// monitoring started.
TEST(Startup, TheListNamedOnTheCommandLineIsLoadedAndStartsWhenItAsks) {
    CTempDir dir;
    std::filesystem::create_directory(dir / "My Lists");
    const std::string strSpaced = SaveList(dir / "My Lists/net.osl", 0);
    const std::string strAuto = SaveList(dir / "auto.osl", 1);
    const Bytes example = FixtureBytes("example.osl");
    WriteFileBytes(dir / "corrupt.osl", Bytes(example.begin(), example.begin() + 20));
    // A corrupt list that would have started monitoring.
    Bytes autoBytes = ReadFileBytes(strAuto);
    autoBytes.resize(autoBytes.size() - 2);
    WriteFileBytes(dir / "auto-cut.osl", autoBytes);
    const std::string strQuoted = "\"" + strSpaced + "\"";
    const std::string strPipe = dir / "pipe.osl"; // opening it must not wait for a writer
    ASSERT_EQ(::mkfifo(strPipe.c_str(), 0600), 0);
    struct Case {
        std::string strTail;
        Texts boxes;
        Texts rows;
        int32_t bRunning;
    };
    const Case cases[] = {
        {strSpaced, {}, {"127.0.0.1"}, 0},
        {strAuto, {}, {"127.0.0.1"}, 1},
        {strQuoted, {"Loading " + strQuoted + " failed (returned a 0x2)."}, {}, 0},
        {strPipe, {"Loading " + strPipe + " failed (returned a 0x6)."}, {}, 0},
        {dir / "corrupt.osl",
         {"Error: Load failure.  File may be corrupted.",
          "An attempt was made to access  past its end."},
         {},
         0},
        {dir / "auto-cut.osl",
         {"Error: Load failure.  File may be corrupted.",
          "An attempt was made to access  past its end."},
         {},
         0},
    };
    for (const Case& c : cases) {
        const StartupResult result = OpenWith(c.strTail);
        EXPECT_EQ(result.boxes, c.boxes) << c.strTail;
        EXPECT_EQ(result.rows, c.rows) << c.strTail;
        EXPECT_EQ(result.bRunning, c.bRunning) << c.strTail;
    }
}

// Once its log file is allowed (the one question, asked before any pass).
TEST(Startup, AutoStartListLogsItsFirstPassWithoutAClick) {
    CTempDir dir;
    CLoopbackPort listening(true);
    const std::string strLog = dir / "checks.log";
    const std::string strList = SaveList(dir / "auto.osl", 1, strLog, listening.Port());
    const Bytes listBefore = ReadFileBytes(strList);
    bool bLogged = false;
    const StartupResult result = OpenWith(
        strList,
        [&](CMonitorDlg&) {
            bLogged = QTest::qWaitFor([&] { return !ReadFileBytes(strLog).empty(); }, 5000);
        },
        kIdAllowListActions);
    EXPECT_EQ(result.boxes, Texts{ListTrustText(strList, {"", strLog})});
    EXPECT_TRUE(bLogged);
    const Bytes log = ReadFileBytes(strLog);
    const std::string strRecord(log.begin(), log.end());
    EXPECT_NE(strRecord.find(", 1, \"127.0.0.1\", 1, " + std::to_string(listening.Port()) + "\r\n"),
              std::string::npos)
        << strRecord;
    EXPECT_EQ(ReadFileBytes(strList), listBefore); // nothing is saved at exit
}

TEST(Startup, InitInstanceRunsTheWindowAndReturnsWhenItCloses) {
    CMonitorApp app({});
    QTimer::singleShot(100, [] {
        QWidget* pWnd = QApplication::activeModalWidget();
        ASSERT_NE(pWnd, nullptr);
        EXPECT_EQ(pWnd->windowTitle(), "Ostrel");
        QTest::keyClick(pWnd, Qt::Key_Escape);
    });
    EXPECT_EQ(app.InitInstance(), 0);
}
