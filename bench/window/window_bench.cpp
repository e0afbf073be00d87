// SPDX-License-Identifier: Apache-2.0
// The main window under load, each result printed beside its goal:
//   1. processor time of the whole process while one pass waits out a silent
//      ICMP target, against the wall time: under 2 % of one core;
//   2. a pass over 10,000 loopback TCP targets (half listening, half refused)
//      in the window, beside `ostrel-cli check` over the same list: within
//      1.5x, medians of kRepetitions;
//   3. RefreshList of 10,000 targets: under 0.5 s, median of kRepetitions.
// Runs as root: every pass runs in a network namespace of its own holding
// loopback only, so no packet leaves it and no pass meets the TIME_WAIT ports
// an earlier one left behind.
#include "check/check_worker.h"
#include "check/status_sink.h"
#include "loopback_targets.h"
#include "storage/list_file.h"
#include "ui/monitor_dlg.h"

#include <QApplication>
#include <QWidget>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
constexpr int kTargets = 10000;
constexpr int kPortsEach = 50; // the listening and the refusing ports the targets share
constexpr int kRepetitions = 7;
const char* const kListPath = "/dev/shm/ostrel_window_bench.osl";

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double ProcessorSeconds(const rusage& usage) {
    auto seconds = [](timeval tv) { return static_cast<double>(tv.tv_sec) + tv.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// User and system time of every thread of this process so far.
double ProcessorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return ProcessorSeconds(usage);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool Report(const char* pszWhat, double dMeasured, const char* pszUnit, double dGoal) {
    const bool bMet = dMeasured < dGoal;
    std::printf("%-44s %10.3f %-6s goal: under %g %-6s %s\n", pszWhat, dMeasured, pszUnit, dGoal,
                pszUnit, bMet ? "met" : "MISSED");
    return bMet;
}

// A private network namespace whose loopback answers no echo request.
bool EnterSilentNetwork() {
    if (!EnterPrivateNetwork())
        return false;
    FILE* pFile = std::fopen("/proc/sys/net/ipv4/icmp_echo_ignore_all", "w");
    bool bOk = pFile && std::fputs("1\n", pFile) >= 0;
    return pFile && std::fclose(pFile) == 0 && bOk;
}

// kTargets TCP targets on 127.0.0.1, spread over `ports` in turn.
std::unique_ptr<CItemList> TcpList(const std::vector<int>& ports) {
    auto pList = std::make_unique<CItemList>();
    for (int i = 0; i < kTargets; ++i) {
        auto* pItem = new CItem;
        pItem->m_strAddress = "127.0.0.1";
        pItem->m_nPort = ports[static_cast<size_t>(i) % ports.size()];
        pList->AddTail(pItem);
    }
    return pList;
}

void ShowList(CMonitorDlg& dlg, std::unique_ptr<CItemList> pList) {
    dlg.m_pList = std::move(pList);
    dlg.RefreshList();
    QApplication::processEvents();
}

bool MeasureSilentEcho(CMonitorDlg& dlg) {
    if (!EnterSilentNetwork()) {
        std::printf("cannot make a network namespace with silent loopback\n");
        return false;
    }
    auto pList = std::make_unique<CItemList>();
    auto* pItem = new CItem;
    pItem->m_nMode = kProbeIcmp;
    pItem->m_strAddress = "127.0.0.1";
    pList->AddTail(pItem);
    ShowList(dlg, std::move(pList));

    const double dProcessorBefore = ProcessorSeconds();
    const auto start = Clock::now();
    const int32_t nAllOk = dlg.CheckAll();
    const double dWall = SecondsSince(start);
    const double dProcessor = ProcessorSeconds() - dProcessorBefore;
    std::printf("silent ICMP target: wall %.3f s, processor %.3f s, result %s\n", dWall, dProcessor,
                nAllOk ? "Yes (not silent!)" : "No");
    const double dPercent = 100 * dProcessor / dWall;
    return Report("1. processor time while waiting, % of one core", dPercent, "%", 2) &&
           nAllOk == 0;
}

// Runs `ostrel-cli check LIST`, its output thrown away; the processor time
// it took, -1 when it did not run.
double RunCli(const char* pszCli) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>(pszCli), const_cast<char*>("check"),
                    const_cast<char*>(kListPath), nullptr};
    pid_t pid = 0;
    int nStatus = 0;
    rusage usage{};
    const bool bRan = posix_spawn(&pid, pszCli, &actions, nullptr, argv, environ) == 0 &&
                      wait4(pid, &nStatus, 0, &usage) == pid;
    posix_spawn_file_actions_destroy(&actions);
    return bRan ? ProcessorSeconds(usage) : -1;
}

class CNullSink : public CStatusSink {
public:
    void ShowResult(int, const SRowResult&) override {}
};

enum class EPassBy { kWindow, kCli, kWorkerAlone }; // in the order of `names` below

struct SPassTime {
    double dWall = -1;
    double dProcessor = -1; // user and system time of every thread taking part
};

// One pass in a fresh namespace: in the window, by ostrel-cli, or by the pass
// worker of this process with a sink that shows nothing (what the window adds
// to a pass is the difference). Times of -1 when the listening ports did not
// see kTargets / 2 connections.
SPassTime TimePass(CMonitorDlg& dlg, EPassBy by, const char* pszCli) {
    if (!EnterPrivateNetwork())
        return {};
    CLoopbackTargets targets(kPortsEach);
    auto pList = TcpList(targets.Ports());
    if (by == EPassBy::kCli)
        WriteListFile(kListPath, *pList);
    if (by == EPassBy::kWindow)
        ShowList(dlg, std::move(pList));
    CNullSink sink;
    SPassTime time;
    const double dProcessorBefore = ProcessorSeconds();
    const auto start = Clock::now();
    if (by == EPassBy::kCli)
        time.dProcessor = RunCli(pszCli);
    else if (by == EPassBy::kWindow)
        dlg.CheckAll();
    else
        RunCheckPass(*pList, sink);
    time.dWall = SecondsSince(start);
    if (by != EPassBy::kCli)
        time.dProcessor = ProcessorSeconds() - dProcessorBefore;
    return targets.DrainConnections() == kTargets / 2 ? time : SPassTime{};
}

bool MeasurePasses(CMonitorDlg& dlg, const char* pszCli) {
    const char* const names[] = {"window", "ostrel-cli check", "worker alone"};
    std::vector<double> wall[3], processor[3];
    for (int i = 0; i < kRepetitions; ++i) {
        std::printf("10,000 TCP targets, run %d:", i + 1);
        for (int n = 0; n < 3; ++n) {
            const SPassTime time = TimePass(dlg, static_cast<EPassBy>(n), pszCli);
            if (time.dWall < 0 || time.dProcessor < 0) {
                std::printf("\n%s: the pass did not make the expected connections\n", names[n]);
                return false;
            }
            wall[n].push_back(time.dWall);
            processor[n].push_back(time.dProcessor);
            std::printf("  %s %.3f s", names[n], time.dWall);
        }
        std::printf("\n");
    }
    for (int n = 0; n < 3; ++n)
        std::printf("median of %-17s wall %.3f s, processor %.3f s\n", names[n], Median(wall[n]),
                    Median(processor[n]));
    return Report("2. window pass / ostrel-cli check", Median(wall[0]) / Median(wall[1]), "x", 1.5);
}

bool MeasureRefresh(CMonitorDlg& dlg) {
    ShowList(dlg, TcpList({80}));
    std::vector<double> refresh, shown;
    for (int i = 0; i < kRepetitions; ++i) {
        const auto start = Clock::now();
        dlg.RefreshList();
        refresh.push_back(SecondsSince(start));
        QApplication::processEvents(); // the view's deferred layout and paint
        shown.push_back(SecondsSince(start));
        std::printf("RefreshList of 10,000 targets, run %d: %.3f s, shown after %.3f s\n", i + 1,
                    refresh.back(), shown.back());
    }
    std::printf("median until shown: %.3f s\n", Median(shown));
    return Report("3. RefreshList of 10,000 targets (median)", Median(refresh), "s", 0.5);
}
} // namespace

int main(int argc, char** argv) {
    if (geteuid() != 0) {
        std::fprintf(stderr, "window_bench: run as root (each pass needs a network namespace "
                             "of its own)\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const char* pszCli = argc > 1 ? argv[1] : OSTREL_CLI_PATH;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    CMonitorDlg dlg;
    dlg.Create();
    dlg.GetWindow()->show();
    QApplication::processEvents();
    bool bAllMet = MeasureSilentEcho(dlg);
    bAllMet = MeasurePasses(dlg, pszCli) && bAllMet;
    bAllMet = MeasureRefresh(dlg) && bAllMet;
    dlg.DestroyWindow();
    unlink(kListPath);
    return bAllMet ? 0 : 1;
}
