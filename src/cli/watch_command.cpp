// SPDX-License-Identifier: Apache-2.0
// ostrel-cli watch: monitoring without a window. The schedule is the
// window's own; this file gives it a clock and signals.
#include "check/file_descriptor.h"
#include "check/wait_time.h"
#include "cli/cli_commands.h"
#include "cli/probe_lines.h"
#include "cli/probe_options.h"
#include "cli/watch_host.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>

namespace {
// Written by the signal handlers, each a counter read by the main loop.
int g_nStopFd = -1;
int g_nReloadFd = -1;
int g_nChildFd = -1;

void Signal(int nFd) {
    const int nSavedErrno = errno;
    uint64_t nOne = 1;
    (void)!write(nFd, &nOne, sizeof nOne);
    errno = nSavedErrno;
}

void OnStopSignal(int) {
    Signal(g_nStopFd);
}

void OnReloadSignal(int) {
    Signal(g_nReloadFd);
}

void OnChildSignal(int) {
    Signal(g_nChildFd);
}

bool Install(int nSignal, void (*pfnHandler)(int)) {
    struct sigaction action {};
    action.sa_handler = pfnHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(nSignal, &action, nullptr) == 0;
}

void Drain(int nFd) {
    uint64_t nCount;
    while (read(nFd, &nCount, sizeof nCount) < 0 && errno == EINTR) {
    }
}

// Tests shorten the minute through the environment; anything but a positive
// number leaves it a minute.
int64_t MinuteMilliseconds() {
    const char* pszText = std::getenv("OSTREL_WATCH_MINUTE_MS");
    char* pEnd = nullptr;
    long long nMs = pszText ? std::strtoll(pszText, &pEnd, 10) : 0;
    return nMs > 0 && pEnd && *pEnd == '\0' ? nMs : 60000;
}

int WaitMilliseconds(const CWatchHost& host) {
    return host.TimerDue() ? MillisecondsUntil(*host.TimerDue()) : -1;
}

// Reaps every child that has ended. The alert command's intermediate process
// is waited for where it is started, on this thread, so what is left here
// are the processes the system hands to us: as process 1 of a PID namespace
// (a container's entry point), every orphan of the namespace, the alert
// commands' shells among them.
void ReapChildren() {
    Drain(g_nChildFd);
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
}

// Sleeps until the schedule's timer falls due, a reload is asked for or the
// program is to end; runs the passes as they fall due. A reload asked for
// during a pass is done at the next wake-up, which comes at once and goes
// before the next pass.
void Monitor(CWatchHost& host, CSchedule& schedule) {
    schedule.Start();
    while (!host.IsStopping()) {
        pollfd fds[3] = {{g_nStopFd, POLLIN, 0}, {g_nReloadFd, POLLIN, 0}, {g_nChildFd, POLLIN, 0}};
        int nReady = poll(fds, 3, WaitMilliseconds(host));
        if (nReady < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN)
            break;
        if (fds[1].revents & POLLIN) {
            Drain(g_nReloadFd);
            host.ReloadList();
        }
        if (fds[2].revents & POLLIN)
            ReapChildren();
        if (WaitMilliseconds(host) == 0)
            schedule.OnTimer(host.TimerId());
    }
    schedule.Destroy();
}

// A canary: "ADDRESS:PORT" a TCP connect to PORT (1 to 65535), "ADDRESS" an
// echo, an IPv6 address as "[ADDRESS]:PORT", "[ADDRESS]" or "ADDRESS" (read
// by SplitTargetText); null for an empty address or a port that is not one.
std::unique_ptr<CItem> ReadCanary(const std::string& text) {
    const std::optional<STargetText> target = SplitTargetText(text);
    if (!target || target->strAddress.empty())
        return nullptr;
    auto pItem = std::make_unique<CItem>();
    pItem->m_strAddress = target->strAddress;
    pItem->m_nMode = kProbeIcmp;
    if (const std::optional<std::string>& port = target->port) {
        if (port->empty() || port->size() > 5 ||
            port->find_first_not_of("0123456789") != std::string::npos || std::stoi(*port) < 1 ||
            std::stoi(*port) > 65535)
            return nullptr;
        pItem->m_nMode = kProbeTcp;
        pItem->m_nPort = std::stoi(*port);
    }
    return pItem;
}

bool IsCanary(const std::string& text) {
    return ReadCanary(text) != nullptr;
}

const SCommandOption kOptions[] = {
    FlagOption("--json", "print each line as a JSON object, as check --json does"),
    PathOption("--textfile", "PATH",
               "after each pass, replace PATH with the pass's results in the Prometheus text "
               "format (for node_exporter's textfile collector); measuring, also each "
               "target's round trip and loss",
               IsFileName, "a file name"),
    IntegerOption("--alert-after", "N",
                  "alert by state instead: a target is down after N failed passes in a row "
                  "(OSTREL_EVENT=down), up again after M good ones (up)",
                  1, 100000),
    IntegerOption("--recover-after", "M", "good passes in a row that end a target's down", 1,
                  100000, SAlertRules{}.nRecoverAfter)
        .Needs("--alert-after"),
    IntegerOption("--remind", "MINUTES",
                  "while a target is down, alert again (reminder) every MINUTES", 1, 100000)
        .Needs("--alert-after"),
    TextOption("--canary", "ADDRESS[:PORT]",
               "probed first in each pass (an echo, or a connect to PORT; an IPv6 ADDRESS is "
               "written [ADDRESS]:PORT for a connect, ADDRESS or [ADDRESS] for an echo); "
               "repeatable. When every canary fails, the pass charges no target and raises "
               "one link-down alert (link-up on its return)",
               IsCanary,
               "ADDRESS or ADDRESS:PORT (1 to 65535), an IPv6 ADDRESS in brackets before :PORT")
        .Repeatable(),
};

// --alert-after, --recover-after, --remind and --canary into `options`.
void ReadAlertOptions(const CCommandLine& parsed, SWatchOptions& options) {
    SAlertRules& rules = options.alertRules;
    rules.nAlertAfter = parsed.Integer("--alert-after").value_or(rules.nAlertAfter);
    rules.nRecoverAfter = *parsed.Integer("--recover-after");
    if (const std::optional<int32_t> nMinutes = parsed.Integer("--remind"))
        options.nRemindMinutes = *nMinutes;
    for (const std::string& text : parsed.Values("--canary")) {
        if (!options.pCanaries)
            options.pCanaries = std::make_unique<CItemList>();
        options.pCanaries->AddTail(ReadCanary(text).release());
    }
}

int RunWatch(const CCliCommand&, const CCommandLine& parsed) {
    SWatchOptions options;
    ReadAlertOptions(parsed, options);
    options.measure = MeasureSettings(parsed);
    options.nJobs = *parsed.Integer("--jobs");
    options.bJson = parsed.Has("--json");
    options.textfile = parsed.Value("--textfile");
    options.strListPath = parsed.Operands()[0];

    std::unique_ptr<CItemList> pList;
    if (int rc = LoadListOrDefaultForCli(options.strListPath, pList))
        return rc;
    CFileDescriptor stop(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    CFileDescriptor reload(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    CFileDescriptor child(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    g_nStopFd = stop.Get();
    g_nReloadFd = reload.Get();
    g_nChildFd = child.Get();
    if (!stop.IsOpen() || !reload.IsOpen() || !child.IsOpen() || !Install(SIGINT, OnStopSignal) ||
        !Install(SIGTERM, OnStopSignal) || !Install(SIGHUP, OnReloadSignal) ||
        !Install(SIGCHLD, OnChildSignal)) {
        std::perror("ostrel-cli: cannot set up signal handling");
        return kExitUsage;
    }
    const int64_t nMinuteMs = MinuteMilliseconds();
    options.alertRules.nRemindMs = options.nRemindMinutes * nMinuteMs;
    CWatchHost host(std::move(options), std::move(pList), stop.Get());
    CSchedule schedule(host);
    schedule.m_nMinuteMs = nMinuteMs;
    Monitor(host, schedule);
    return kExitOk;
}
} // namespace

const CCliCommand kWatchCommand = {
    {"watch", kOptions, kProbeOptions, "LIST",
     "Monitors the targets of the list file LIST without a window, as Start does in\n"
     "the window: a pass at once, then a pass each period of the list's minutes\n"
     "(below 1 counts as 1), counted from the end of the previous pass and its\n"
     "alerts. Logs as the list's logging settings say and prints a line per target\n"
     "as check does. After a pass in which a target did not respond, prints \"One or\n"
     "more connection failed!\" on standard error and starts the list's alert\n"
     "command through /bin/sh -c, not waited for; its environment holds\n"
     "OSTREL_EVENT=failed, OSTREL_FAILED, OSTREL_TOTAL, OSTREL_FAILED_TARGETS (cut to\n"
     "64 KiB of whole targets, then OSTREL_FAILED_TARGETS_TRUNCATED=1), OSTREL_TARGETS\n"
     "(the targets the event concerns, cut the same way) and OSTREL_DIGEST_FILE (the\n"
     "targets concerned, one a line; removed when the command's shell ends). A\n"
     "command that cannot be started is reported on standard error. No sound is\n"
     "played. SIGINT or SIGTERM ends it at once, also during a pass; SIGHUP reads\n"
     "LIST again for the next pass (a file that no longer loads keeps the list in use).\n",
     OSTREL_MEASURE_NOTE
     "Exit status: 0 ended by a signal, 2 usage or file error, 3 malformed list file.\n"},
    RunWatch,
};
