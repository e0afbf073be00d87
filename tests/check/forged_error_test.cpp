// SPDX-License-Identifier: Apache-2.0
// Hosts that lie: a target that has seen our request to it forges ICMP
// errors about the next probe or about requests like ours. On both ICMP
// socket kinds, only an error quoting our very request (identifier, sequence
// and target) ends a probe, and no probe's key follows from the one before.
#include "scripted_hosts.h"
#include "support/private_network_or_skip.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <sstream>

namespace {
constexpr int kReplyAfterMs = 50; // a true reply comes this long after the request

struct SRun {
    std::vector<SProbeOutcome> outcomes;
    long long nForged = 0;
    std::vector<SSeenRequest> seen;
};

// In a private namespace whose kernel leaves echo requests to the scripts
// (unless `bKernelAnswers`), with the socket kind `pszPingGroups` picks:
// the outcomes of ICMP probes of `targets` in order, what the hosts forged
// and the requests they saw. Nothing, the test skipped, when there is no
// namespace to be had.
std::optional<SRun> ProbeAmongScriptedHosts(const char* pszPingGroups,
                                            const std::vector<SHostScript>& scripts,
                                            const std::vector<const char*>& targets,
                                            bool bKernelAnswers = false) {
    const auto text = RunInPrivateNetworkOrSkip([&] {
        if (!SetSysctl("net/ipv4/ping_group_range", pszPingGroups) ||
            !SetSysctl("net/ipv4/icmp_echo_ignore_all", bKernelAnswers ? "0" : "1") ||
            !SetSysctl("net/ipv6/icmp/echo_ignore_all", bKernelAnswers ? "0" : "1"))
            return std::string("set-up failed\n");
        CScriptedHosts hosts(scripts);
        if (!hosts.IsReady())
            return std::string("no raw sockets\n");
        std::string strOut;
        for (const char* pszTarget : targets)
            strOut += TimeProbe(0, pszTarget);
        hosts.Stop();
        strOut += "forged " + std::to_string(hosts.ForgeriesSent()) + "\n";
        for (const SSeenRequest& request : hosts.SeenRequests())
            strOut += "seen " + std::to_string(request.nIdent) + " " +
                      std::to_string(request.nSequence) + "\n";
        return strOut;
    });
    if (!text)
        return std::nullopt;
    SRun run;
    std::istringstream lines(*text);
    for (std::string strLine; std::getline(lines, strLine);) {
        std::istringstream words(strLine);
        std::string strWord;
        words >> strWord;
        if (strWord == "forged") {
            words >> run.nForged;
        } else if (strWord == "seen") {
            SSeenRequest request{};
            words >> request.nIdent >> request.nSequence;
            run.seen.push_back(request);
        } else {
            run.outcomes.push_back(ParseOutcomes(strLine + "\n").at(0));
        }
    }
    return run;
}

const struct {
    const char* pszName;
    const char* pszPingGroups;
} kSocketKinds[] = {{"raw socket", kRawSocketGroups}, {"datagram socket", kDatagramSocketGroups}};
} // namespace

// 127.0.0.2 answers its echo at once and, having seen that request, sends
// "host unreachable" about the keys a counter would give the next probe
// (identifier one to four higher, the same sequence) to 127.0.0.3, again and
// again while that probe waits. 127.0.0.3 answers after 50 ms.
TEST(ForgedError, AboutTheNextProbeIsIgnored) {
    std::vector<SForgedQuote> guesses;
    for (int nDelta = 1; nDelta <= 4; ++nDelta)
        guesses.push_back({"127.0.0.3", nDelta, 0});
    const std::vector<SHostScript> scripts = {
        {.pszAddress = "127.0.0.2", .nReplyAfterMs = 0, .forgeries = guesses, .nForgeForMs = 200},
        {.pszAddress = "127.0.0.3", .nReplyAfterMs = kReplyAfterMs}};
    for (const auto& kind : kSocketKinds) {
        SCOPED_TRACE(kind.pszName);
        const auto run =
            ProbeAmongScriptedHosts(kind.pszPingGroups, scripts, {"127.0.0.2", "127.0.0.3"});
        if (!run)
            return;
        ASSERT_EQ(run->outcomes.size(), 2u);
        EXPECT_EQ(run->outcomes[0].nResult, 1);
        EXPECT_EQ(run->outcomes[1].nResult, 1) << "the forged error ended the probe";
        EXPECT_GT(run->nForged, 0) << "nothing was forged";
    }
}

// Each target, having seen our request, sends "host unreachable" ("address
// unreachable" over IPv6) quoting it with one thing changed, or not at all,
// then answers after 50 ms. A datagram socket's kernel queues every error
// carrying the socket's identifier.
TEST(ForgedError, CountsOnlyWhenItQuotesOurRequest) {
    const struct {
        const char* pszTarget;
        SForgedQuote quote;
        int nExpected;
        const char* pszWhat;
    } cases[] = {
        {"127.0.0.11", {"127.0.0.11", 0, 0}, 0, "our request: the probe fails"},
        {"127.0.0.12", {"127.0.0.12", 0, 1}, 1, "another sequence"},
        {"127.0.0.13", {"127.0.0.13", 0, -1}, 1, "another sequence"},
        {"127.0.0.14", {"127.0.0.14", 1, 0}, 1, "another identifier"},
        {"127.0.0.15", {"127.0.0.99", 0, 0}, 1, "another destination"},
        {"fd00::11", {"fd00::11", 0, 0}, 0, "our request: the probe fails"},
        {"fd00::12", {"fd00::12", 0, 1}, 1, "another sequence"},
        {"fd00::13", {"fd00::13", 0, -1}, 1, "another sequence"},
        {"fd00::14", {"fd00::14", 1, 0}, 1, "another identifier"},
        {"fd00::15", {"fd00::99", 0, 0}, 1, "another destination"},
    };
    std::vector<SHostScript> scripts;
    std::vector<const char*> targets;
    for (const auto& c : cases) {
        scripts.push_back({.pszAddress = c.pszTarget,
                           .nReplyAfterMs = kReplyAfterMs,
                           .forgeries = {c.quote},
                           .nForgeForMs = 20});
        targets.push_back(c.pszTarget);
    }
    for (const auto& kind : kSocketKinds) {
        SCOPED_TRACE(kind.pszName);
        const auto run = ProbeAmongScriptedHosts(kind.pszPingGroups, scripts, targets);
        if (!run)
            return;
        ASSERT_EQ(run->outcomes.size(), std::size(cases));
        for (size_t i = 0; i < std::size(cases); ++i)
            EXPECT_EQ(run->outcomes[i].nResult, cases[i].nExpected)
                << cases[i].pszTarget << ": " << cases[i].pszWhat;
        EXPECT_GT(run->nForged, 0);
    }
}

// Sixteen probes in a row, answered by the kernel: every key differs, and
// neither the identifiers nor the sequences move by a fixed step.
TEST(ForgedError, ConsecutiveKeysDoNotFollowFromEachOther) {
    constexpr size_t kProbes = 16;
    const std::vector<const char*> targets(kProbes, "127.0.0.1");
    for (const auto& kind : kSocketKinds) {
        SCOPED_TRACE(kind.pszName);
        const auto run = ProbeAmongScriptedHosts(kind.pszPingGroups, {}, targets, true);
        if (!run)
            return;
        ASSERT_EQ(run->outcomes.size(), kProbes);
        for (const SProbeOutcome& outcome : run->outcomes)
            EXPECT_EQ(outcome.nResult, 1);
        ASSERT_EQ(run->seen.size(), kProbes);
        std::set<uint32_t> keys;
        std::set<uint16_t> identSteps, sequenceSteps;
        for (size_t i = 0; i < kProbes; ++i) {
            keys.insert(uint32_t(run->seen[i].nIdent) << 16 | run->seen[i].nSequence);
            if (i == 0)
                continue;
            identSteps.insert(uint16_t(run->seen[i].nIdent - run->seen[i - 1].nIdent));
            sequenceSteps.insert(uint16_t(run->seen[i].nSequence - run->seen[i - 1].nSequence));
        }
        EXPECT_EQ(keys.size(), kProbes) << "a key came twice";
        EXPECT_GT(identSteps.size(), 1u) << "identifiers move by a fixed step";
        EXPECT_GT(sequenceSteps.size(), 1u) << "sequences move by a fixed step";
    }
}
