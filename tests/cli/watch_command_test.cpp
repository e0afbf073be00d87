// SPDX-License-Identifier: Apache-2.0
// ostrel-cli watch, the real program: passes on the period (the minute made
// short), the alert command with the pass's digest, SIGTERM in the middle of
// a silent echo, and SIGHUP reading the list again.
#include "cli_run.h"
#include "support/loopback_port.h"
#include "support/other_user.h"
#include "support/private_network_or_skip.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

namespace {
using Clock = std::chrono::steady_clock;

size_t CountOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Starts `ostrel-cli watch` with `args`, the minute made `pszMinuteMs` long;
// with a `wrapper` (a command and its words), that command runs the program
// at `strCli` as `watch`.
std::unique_ptr<CChildProcess> StartWatch(std::vector<std::string> args, const char* pszMinuteMs,
                                          std::vector<std::string> wrapper = {},
                                          const std::string& strCli = OSTREL_CLI_PATH) {
    args.insert(args.begin(), "watch");
    std::string strProgram = strCli;
    if (!wrapper.empty()) {
        args.insert(args.begin(), strCli);
        args.insert(args.begin(), wrapper.begin() + 1, wrapper.end());
        strProgram = wrapper.front();
    }
    return std::make_unique<CChildProcess>(
        strProgram, args, SChildOptions{.env = {{"OSTREL_WATCH_MINUTE_MS", pszMinuteMs}}});
}

// Sends SIGTERM and waits for the end: the exit status (-1 when killed by a
// signal) and how long it took.
std::pair<int, double> Terminate(CChildProcess& watch) {
    auto start = Clock::now();
    watch.Signal(SIGTERM);
    const int nStatus = watch.Wait().status;
    return {nStatus, std::chrono::duration<double>(Clock::now() - start).count()};
}

void MakeList(const std::string& path, const std::vector<std::vector<std::string>>& additions,
              const std::vector<std::string>& settings) {
    ASSERT_EQ(RunCli({"new", path}).status, 0);
    for (const auto& addition : additions) {
        std::vector<std::string> args = {"add", path};
        args.insert(args.end(), addition.begin(), addition.end());
        ASSERT_EQ(RunCli(args).status, 0);
    }
    std::vector<std::string> args = {"set", path};
    args.insert(args.end(), settings.begin(), settings.end());
    ASSERT_EQ(RunCli(args).status, 0);
}
} // namespace

// A listening and a refusing port, the minute 250 ms and the period one
// minute: a pass at once and one every 250 ms, each failed pass telling
// standard error and starting the command with the digest.
TEST(WatchCommand, PassesOnThePeriodAndAlertWithTheDigest) {
    CTempDir dir;
    CLoopbackPort listening(true), refusing(false);
    const std::string list = dir / "l.osl", alerts = dir / "alerts";
    MakeList(list,
             {{"--tcp", std::to_string(listening.Port()), "127.0.0.1"},
              {"--tcp", std::to_string(refusing.Port()), "127.0.0.1"}},
             {"--period", "1", "--execute",
              "printf '%s|%s|%s\\n' \"$OSTREL_FAILED\" \"$OSTREL_TOTAL\" "
              "\"$OSTREL_FAILED_TARGETS\" >> '" +
                  alerts + "'"});
    const auto start = Clock::now();
    const auto watch = StartWatch({"--jobs", "4", list}, "250");
    EXPECT_TRUE(WaitFor([&] { return CountOf(watch->Out(), "    2  127.0.0.1") >= 3; }));
    const double dPeriods = std::chrono::duration<double>(Clock::now() - start).count() / 0.25;
    EXPECT_EQ(Terminate(*watch).first, 0);
    const std::string out = watch->Out(), err = watch->Err();
    const size_t nPasses = CountOf(out, "    2  127.0.0.1");
    EXPECT_GE(nPasses, 3u) << out;
    // One pass at once, then one a period at most (and one cut short).
    EXPECT_LE(nPasses, static_cast<size_t>(dPeriods) + 2) << out;
    EXPECT_EQ(CountOf(out, "    1  127.0.0.1"), nPasses);
    EXPECT_EQ(CountOf(err, "One or more connection failed!\n"), nPasses) << err;
    ASSERT_TRUE(WaitFor([&] { return CountOf(ReadText(alerts), "\n") == nPasses; }));
    EXPECT_EQ(CountOf(ReadText(alerts), "1|2|127.0.0.1:" + std::to_string(refusing.Port()) + "\n"),
              nPasses);
}

// SIGHUP between passes: an edited list is probed from the next pass on; a
// list that no longer loads leaves the last one in use, with the load
// message on standard error.
TEST(WatchCommand, HangUpReadsTheListAgain) {
    CTempDir dir;
    CLoopbackPort listening(true);
    const std::string list = dir / "l.osl", port = std::to_string(listening.Port());
    MakeList(list, {{"--tcp", port, "127.0.0.1"}}, {"--period", "1"});
    const auto watch = StartWatch({"--json", list}, "200");
    ASSERT_TRUE(WaitFor([&] { return CountOf(watch->Out(), "\"row\":1,") > 0; }));
    ASSERT_EQ(RunCli({"add", list, "--tcp", port, "localhost"}).status, 0);
    watch->Signal(SIGHUP);
    ASSERT_TRUE(WaitFor([&] { return CountOf(watch->Out(), "\"address\":\"localhost\"") > 0; }))
        << watch->Out();

    WriteFileBytes(list, Bytes{1, 2, 3});
    watch->Signal(SIGHUP);
    ASSERT_TRUE(WaitFor([&] { return !watch->Err().empty(); }));
    const size_t nSeen = CountOf(watch->Out(), "\"address\":\"localhost\"");
    ASSERT_TRUE(WaitFor([&] { return CountOf(watch->Out(), "\"address\":\"localhost\"") > nSeen; }))
        << "the broken list stopped the passes";
    EXPECT_EQ(Terminate(*watch).first, 0);
    EXPECT_NE(watch->Err().find(list), std::string::npos) << watch->Err();
    EXPECT_EQ(CountOf(watch->Out(), "\"ok\":0"), 0u) << "a pass went on without a list";
}

// A user who may only read the list and the textfile locks both: watch
// still starts and writes its textfile, the owner's set and two adds made at
// once all land, and SIGHUP reads them.
TEST(WatchCommand, AReadersLocksStopNoStartTextfileChangeOrReload) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run a child as nobody";
    CTempDir dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    CLoopbackPort listening(true);
    const std::string list = dir / "l.osl", prom = dir / "l.prom",
                      port = std::to_string(listening.Port());
    MakeList(list, {{"--tcp", port, "127.0.0.1"}}, {"--period", "1"});
    WriteFileBytes(prom, Bytes{});
    const CAsNobody nobody([&] {
        return ::flock(::open(list.c_str(), O_RDONLY), LOCK_EX | LOCK_NB) |
                       ::flock(::open(prom.c_str(), O_RDONLY), LOCK_SH | LOCK_NB)
                   ? "no lock"
                   : "";
    });
    ASSERT_EQ(nobody.Result(), "");
    const auto watch = StartWatch({"--textfile", prom, list}, "200");
    ASSERT_TRUE(WaitFor([&] { return CountOf(ReadText(prom), "ostrel_target_up{") == 1; }))
        << watch->Err();
    EXPECT_EQ(RunCli({"set", list, "--period", "2"}).err, "");
    SChildResult other;
    std::thread adding([&] { other = RunCli({"add", list, "--tcp", port, "localhost"}); });
    EXPECT_EQ(RunCli({"add", list, "--tcp", port, "127.0.0.1"}).err, "");
    adding.join();
    EXPECT_EQ(other.err, "");
    watch->Signal(SIGHUP);
    EXPECT_TRUE(WaitFor([&] { return CountOf(ReadText(prom), "ostrel_target_up{") == 3; }))
        << watch->Err();
    EXPECT_EQ(Terminate(*watch).first, 0);
    EXPECT_EQ(watch->Err(), "");
}

// A list that is a pipe is refused at once with the load error: at the start
// of show, check and watch, and on watch's SIGHUP, after which SIGTERM still
// ends it at once.
TEST(WatchCommand, APipeAsListIsRefusedAtOnce) {
    CTempDir dir;
    const std::string fifo = dir / "p.osl", list = dir / "l.osl";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ::alarm(30); // a program waiting on the pipe ends the test instead of hanging it
    for (const char* pszCommand : {"show", "check", "watch"})
        EXPECT_EQ(RunCli({pszCommand, fifo}).err,
                  "ostrel-cli: " + fifo + ": No such device or address\n");
    ::alarm(0);
    CLoopbackPort listening(true);
    MakeList(list, {{"--tcp", std::to_string(listening.Port()), "127.0.0.1"}}, {"--period", "1"});
    const auto watch = StartWatch({list}, "60000");
    ASSERT_TRUE(WaitFor([&] { return CountOf(watch->Out(), "127.0.0.1") == 1; }));
    ASSERT_EQ(::rename(fifo.c_str(), list.c_str()), 0);
    watch->Signal(SIGHUP);
    EXPECT_TRUE(WaitFor(
        [&] { return watch->Err() == "ostrel-cli: " + list + ": No such device or address\n"; }));
    auto [nStatus, dSeconds] = Terminate(*watch);
    EXPECT_EQ(nStatus, 0);
    EXPECT_LT(dSeconds, 1.0);
}

namespace {
// The echo requests this network namespace has sent (Icmp OutEchos of
// /proc/net/snmp, whose lines come in pairs of names and values).
long EchoRequestsSent() {
    std::ifstream snmp("/proc/net/snmp");
    for (std::string names, values; std::getline(snmp, names) && std::getline(snmp, values);) {
        std::istringstream nameWords(names), valueWords(values);
        for (std::string name, value; nameWords >> name && valueWords >> value;)
            if (names.starts_with("Icmp: ") && name == "OutEchos")
                return std::stol(value);
    }
    return -1;
}

// In the child's namespace, where echo requests go unanswered: watch logs
// the first target, then waits on the silent echo until SIGTERM.
// "STATUS SECONDS\nLOG".
std::string TerminateDuringSilentEcho(const std::string& strJobs) {
    if (!SetSysctl("net/ipv4/icmp_echo_ignore_all", "1"))
        return "set-up failed\n";
    CTempDir dir;
    CLoopbackPort listening(true);
    const std::string list = dir / "l.osl", log = dir / "l.log";
    MakeList(list,
             {{"--tcp", std::to_string(listening.Port()), "127.0.0.1"},
              {"--icmp", "127.0.0.1"},
              {"--tcp", std::to_string(listening.Port()), "127.0.0.1"}},
             {"--logging", "always", "--log-file", log});
    const auto watch = StartWatch({"--jobs", strJobs, list}, "60000");
    if (!WaitFor([&] { return !ReadText(log).empty(); }))
        return "no record\n";
    if (!WaitFor([] { return EchoRequestsSent() > 0; }))
        return "no echo request\n";
    auto [nStatus, dSeconds] = Terminate(*watch);
    return std::to_string(nStatus) + " " + std::to_string(dSeconds) + "\n" + ReadText(log);
}
} // namespace

TEST(WatchCommand, TerminateEndsItDuringASilentEcho) {
    for (const char* pszJobs : {"1", "3"}) {
        SCOPED_TRACE(pszJobs);
        RUN_IN_PRIVATE_NETWORK_OR_SKIP(text, [&] { return TerminateDuringSilentEcho(pszJobs); });
        int nStatus = -2;
        double dSeconds = 99;
        ASSERT_EQ(std::sscanf(text.c_str(), "%d %lf", &nStatus, &dSeconds), 2) << text;
        EXPECT_EQ(nStatus, 0);
        EXPECT_LT(dSeconds, 1.0);
        const std::string log = text.substr(text.find('\n') + 1);
        EXPECT_EQ(CountOf(log, "\r\n"), 1u) << "one whole record, the first target's: " << log;
        EXPECT_NE(log.find(", 1, \"127.0.0.1\", 1, "), std::string::npos) << log;
    }
}

namespace {
// The children of `pid` whose /proc/PID/stat holds `state` (" Z ": zombies).
std::vector<std::string> ChildrenOf(pid_t pid, const std::string& state = "") {
    std::vector<std::string> children;
    std::ifstream list("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) +
                       "/children");
    for (std::string child; list >> child;)
        if (ReadText("/proc/" + child + "/stat").find(") " + state) != std::string::npos)
            children.push_back(child);
    return children;
}
} // namespace

// Under a service's AmbientCapabilities=CAP_NET_RAW, as nobody: the alert
// command holds no capability in any set it could use or hand on, and no
// descriptor but 0, 1 and 2 (3: ls's own handle of the folder).
TEST(WatchCommand, AlertCommandGetsNoCapabilityAndNoDescriptor) {
    CTempDir dir;
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::all);
    CLoopbackPort refusing(false);
    const std::string list = dir / "l.osl";
    MakeList(list, {{"--tcp", std::to_string(refusing.Port()), "127.0.0.1"}},
             {"--execute", "cd '" + dir.Path() + "' && grep -c 'Cap[IPEA].*:\t0\\{16\\}$' " +
                               "/proc/$$/status > c; mv c caps && exec ls /proc/self/fd > f"});
    std::filesystem::permissions(list, std::filesystem::perms::all);
    const CProgramCopy cli(OSTREL_CLI_PATH); // nobody may not reach the build tree
    const auto watch = StartWatch({list}, "60000", AsNobody(true), cli.Path());
    ASSERT_TRUE(WaitFor([&] { return !ReadText(dir / "f").empty(); })) << watch->Err();
    EXPECT_EQ(ReadText(dir / "caps") + ReadText(dir / "f"), "4\n0\n1\n2\n3\n");
}

// As process 1 of a PID namespace, every alert's shell ends as watch's own
// child: watch reaps them.
TEST(WatchCommand, AsProcessOneItReapsTheAlertCommands) {
    CTempDir dir;
    CLoopbackPort refusing(false);
    const std::string list = dir / "l.osl", alerts = dir / "alerts";
    MakeList(list, {{"--tcp", std::to_string(refusing.Port()), "127.0.0.1"}},
             {"--period", "1", "--execute", "echo >> '" + alerts + "'"});
    const auto watch = StartWatch({list}, "50", {"unshare", "--pid", "--fork", "--kill-child"});
    ASSERT_TRUE(WaitFor([&] { return CountOf(ReadText(alerts), "\n") >= 10; })) << watch->Err();
    const pid_t nWatch = std::stoi(ChildrenOf(watch->Pid()).at(0));
    EXPECT_TRUE(WaitFor([&] { return ChildrenOf(nWatch, "Z ").empty(); }))
        << ChildrenOf(nWatch, "Z ").size() << " zombies";
}

namespace {
// In the watcher's namespace, whose link "va" leads to the canary: a
// target that fails, answers and fails pass by pass as `results` says
// ('1' answers, '0' fails; 'L' fails with the link taken down before the
// pass, 'l' answers with it back up). The alert command's lines.
std::string AlertsOverPasses(const std::string& results) {
    CTempDir dir;
    CLoopbackPort target(false);
    const std::string list = dir / "l.osl", alerts = dir / "alerts",
                      word = "127.0.0.1:" + std::to_string(target.Port());
    MakeList(list, {{"--tcp", std::to_string(target.Port()), "127.0.0.1"}},
             {"--period", "1", "--execute",
              "echo \"$OSTREL_EVENT $OSTREL_TARGETS\" >> '" + alerts + "'"});
    target.SetListening(results[0] != '0');
    const auto watch = StartWatch(
        {"--json", "--alert-after", "3", "--remind", "2", "--canary", "10.77.0.2", list}, "250");
    for (size_t nPass = 1; nPass <= results.size(); ++nPass) {
        if (!WaitFor([&] { return CountOf(watch->Out(), "\"row\":1,") >= nPass; }))
            return "pass " + std::to_string(nPass) + " did not come: " + watch->Err();
        if (nPass == results.size())
            break;
        const char cNext = results[nPass];
        target.SetListening(cNext == '1' || cNext == 'l');
        if (cNext == 'L' || cNext == 'l')
            if (std::system(cNext == 'L' ? "ip link set va down" : "ip link set va up") != 0)
                return "ip link failed";
    }
    Terminate(*watch);
    // Each event started a command after its line on standard error.
    const size_t nEvents = CountOf(watch->Err(), "ostrel-cli: ");
    WaitFor([&] { return CountOf(ReadText(alerts), "\n") >= nEvents; });
    std::string text = ReadText(alerts);
    for (size_t at; (at = text.find(word)) != std::string::npos;)
        text.replace(at, word.size(), "T");
    return text;
}
} // namespace

// Two failed passes of three raise nothing, three in a row one down, which
// reminders repeat while it lasts and its return ends with one up; passes
// with the canary's link down raise one link-down and no down, then one
// link-up.
TEST(WatchCommand, AlertsByStateAndLink) {
    CNamespaceSet namespaces;
    const std::string watcher = namespaces.Add("watcher"), link = namespaces.Add("link");
    if (watcher.empty() || link.empty() ||
        !namespaces.Link(watcher, "va", "10.77.0.1/24", link, "vb", "10.77.0.2/24"))
        GTEST_SKIP() << "no network namespaces here";
    std::string strSkip;
    const std::string text = RunInNetworkNamespace(
        watcher, [] { return AlertsOverPasses("0010000001LLLl1"); }, strSkip);
    if (!strSkip.empty())
        GTEST_SKIP() << strSkip;
    const size_t nReminders = CountOf(text, "reminder T\n");
    EXPECT_GE(nReminders, 1u) << text;
    std::string expected = "down T\n";
    for (size_t i = 0; i < nReminders; ++i)
        expected += "reminder T\n";
    EXPECT_EQ(text, expected + "up T\nlink-down 10.77.0.2\nlink-up 10.77.0.2\n");
}

namespace {
// In a namespace whose loopback has lost ::1, so that every canary fails:
// the link-down alert's words for `canaries`.
std::string LinkDownWords(const std::vector<std::string>& canaries) {
    if (std::system("ip -6 addr del ::1/128 dev lo") != 0)
        return "ip addr failed";
    CTempDir dir;
    const std::string list = dir / "l.osl", alerts = dir / "alerts";
    MakeList(list, {{"--tcp", "7", "127.0.0.1"}},
             {"--execute", "echo \"$OSTREL_EVENT $OSTREL_TARGETS\" >> '" + alerts + "'"});
    std::vector<std::string> args;
    for (const std::string& canary : canaries)
        args.insert(args.end(), {"--canary", canary});
    args.push_back(list);
    const auto watch = StartWatch(args, "60000");
    WaitFor([&] { return !ReadText(alerts).empty(); });
    Terminate(*watch);
    return ReadText(alerts) + watch->Err();
}
} // namespace

// An IPv6 canary is a connect when written [ADDRESS]:PORT, an echo when
// written without a port, bracketed or not; link-down names each as the
// digest writes it.
TEST(WatchCommand, Ipv6CanariesAsWritten) {
    RUN_IN_PRIVATE_NETWORK_OR_SKIP(text, [] {
        return LinkDownWords({"::1", "[::1]", "[::1]:7", "127.0.0.1:7"});
    });
    EXPECT_EQ(text, "link-down [::1] [::1] [::1]:7 127.0.0.1:7\nostrel-cli: link-down\n");
    for (const char* bad : {"[::1]x", "[host]:80", "[::1]:65536", "[::1", "::1:"}) {
        const SChildResult r = RunCli({"watch", "--canary", bad, "x.osl"});
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find("--canary: expected ADDRESS"), std::string::npos) << r.err;
    }
}
