// SPDX-License-Identifier: Apache-2.0
// check's measurements inside network namespaces of the test's own: round
// trips beside fping's against hosts that answer after 50 ms (the
// benchmark's echo responder), and loss and thresholds against a dropper.
#include "check/private_network.h"
#include "cli/cli_run.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <regex>
#include <sstream>

namespace {
double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

// Every number after `field` in the JSON lines or fping's -C lines.
std::vector<double> Numbers(const std::string& text, const std::string& pattern) {
    std::vector<double> values;
    const std::regex number(pattern);
    for (std::sregex_iterator it(text.begin(), text.end(), number), end; it != end; ++it)
        values.push_back(std::stod((*it)[1]));
    return values;
}

// ostrel-cli with `args`, run inside namespace `ns`.
SChildResult RunCliIn(const std::string& ns, const std::vector<std::string>& args) {
    return RunCli(args, {.fnInChild = [ns] {
                      const int fd = ::open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
                      if (fd < 0 || ::setns(fd, CLONE_NEWNET) != 0)
                          ::_exit(126);
                  }});
}

class MeasureCommand : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0 || (m_ns = m_set.Add("measure")).empty())
            GTEST_SKIP() << "needs root to make a network namespace";
        ASSERT_EQ(RunCli({"new", m_list}).status, 0);
    }
    void Add(const std::string& address) {
        ASSERT_EQ(RunCli({"add", m_list, "--icmp", address}).status, 0);
    }
    CNamespaceSet m_set;
    std::string m_ns;
    CTempDir m_dir;
    std::string m_list = m_dir / "l.osl";
};
} // namespace

// Ten hosts answered after 50 ms by the echo responder: on both socket
// kinds, the median round trip is fping's within 1 ms (2 %), and --max-rtt
// fails the targets only when their average is above it. The two tools send
// in different patterns (all ten targets at once against fping's spacing),
// which the one responder answers in turn: on an idle machine ours came out
// 0.5 to 0.7 ms above fping's in about one run in six, before and after the
// prober changed alike, so 0.5 ms tested the machine, not the measurement.
TEST_F(MeasureCommand, RoundTripsAgreeWithFpingAndMaxRttJudgesThem) {
    if (::system("command -v fping >/dev/null") != 0)
        GTEST_SKIP() << "fping is not installed (scripts/install-deps)";
    const std::string pidFile = m_dir / "responder.pid", hosts = m_dir / "hosts";
    ASSERT_TRUE(m_set.Exec(m_ns, "sysctl -qw net.ipv4.icmp_echo_ignore_all=1 && "
                                 "ip route add local 10.88.0.0/24 dev lo"));
    ASSERT_TRUE(m_set.Exec(m_ns, std::string(OSTREL_ECHO_RESPONDER) +
                                     " 50 >/dev/null 2>&1 & echo $! >" + pidFile));
    std::ofstream hostList(hosts);
    for (int n = 1; n <= 10; ++n) {
        Add("10.88.0." + std::to_string(n));
        hostList << "10.88.0." << n << "\n";
    }
    hostList.close();
    for (const char* groups : {"0 2147483647", "1 0"}) { // datagram, then raw sockets
        SCOPED_TRACE(groups);
        ASSERT_TRUE(m_set.Exec(m_ns, "sysctl -qw net.ipv4.ping_group_range=\"" +
                                         std::string(groups) + "\""));
        SChildResult r = RunCliIn(m_ns, {"check", "--json", "--jobs", "10", "--count", "10",
                                      "--interval", "100", m_list});
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const std::string fpingOut = m_dir / "fping.out";
        m_set.Exec(m_ns, "fping -q -C 10 -p 100 -f " + hosts + " 2>" + fpingOut);
        const std::vector<double> ours = Numbers(r.out, "\"rtt_ms\":([0-9.]+)");
        const std::vector<double> theirs = Numbers(ReadText(fpingOut), " ([0-9]+\\.[0-9]+)");
        ASSERT_EQ(ours.size(), 10u) << r.out;
        ASSERT_EQ(theirs.size(), 100u) << ReadText(fpingOut);
        EXPECT_NEAR(Median(ours), Median(theirs), 1.0);
        EXPECT_GT(Median(ours), 50.0);
    }
    for (const auto& [maxRtt, status] : {std::pair{"45", 1}, std::pair{"80", 0}}) {
        SChildResult r = RunCliIn(m_ns, {"check", "--json", "--jobs", "10", "--count", "2",
                                      "--interval", "0", "--max-rtt", maxRtt, m_list});
        EXPECT_EQ(r.status, status) << r.out;
        EXPECT_EQ(Numbers(r.out, "\"ok\":(" + std::to_string(1 - status) + ")").size(), 10u);
        EXPECT_EQ(r.out.find(status ? "\"failed_by\":null" : "\"failed_by\":\"rtt\""),
                  std::string::npos);
    }
    std::ifstream pid(pidFile);
    pid_t nPid = 0;
    if (pid >> nPid && nPid > 0)
        ::kill(nPid, SIGTERM);
}

// Every fifth echo request dropped on its way out: 100 echoes lose exactly
// 20, which --max-loss 10 fails and --max-loss 20 lets pass.
TEST_F(MeasureCommand, LossIsCountedExactlyAndMaxLossJudgesIt) {
    if (!m_set.Exec(m_ns, "nft add table ip t && nft \"add chain ip t o { type filter hook "
                          "output priority 0; }\" && nft add rule ip t o icmp type "
                          "echo-request numgen inc mod 5 == 0 drop"))
        GTEST_SKIP() << "nft (nftables) is not usable here (scripts/install-deps)";
    Add("127.0.0.1");
    const struct {
        const char* maxLoss;
        int status;
        const char* verdict;
    } cases[] = {
        {"10", 1, "\"ok\":0,"},
        {"20", 0, "\"ok\":1,"},
    };
    for (const auto& c : cases) {
        SChildResult r = RunCliIn(m_ns, {"check", "--json", "--count", "100", "--interval", "0",
                                      "--max-loss", c.maxLoss, m_list});
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        EXPECT_NE(r.out.find(c.verdict), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("\"sent\":100,\"received\":80,\"loss_pct\":20,"), std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find(c.status ? "\"failed_by\":\"loss\"" : "\"failed_by\":null"),
                  std::string::npos);
    }
}
