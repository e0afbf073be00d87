// SPDX-License-Identifier: Apache-2.0
// Hosts that lie: a target that has seen our request to it forges ICMP
// errors about the next probe or about requests like ours. On both ICMP
// socket kinds, only an error quoting our very request (identifier, sequence
// and target) ends a probe, and no probe's key follows from the one before.
#include "check/icmp_packet.h"
#include "scripted_hosts.h"
#include "support/private_network_or_skip.h"
#include "support/test_files.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/icmp6.h>
#include <poll.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

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
            !SetSysctl("net/ipv4/icmp_echo_ignore_all", bKernelAnswers ? "0" : "1"))
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

// An IPv6 target of lo that, having seen our request, sends "address
// unreachable" quoting it with the identifier and sequence moved by these
// deltas and sent to `pszQuotedTo`, then answers after 50 ms.
struct SForgingIpv6Host {
    const char* pszTarget;
    int nIdentDelta, nSequenceDelta;
    const char* pszQuotedTo;
};

in6_addr Ipv6Address(const char* psz) {
    in6_addr address{};
    inet_pton(AF_INET6, psz, &address);
    return address;
}

// "Address unreachable" to `source` quoting `request` (its ICMPv6 bytes),
// changed as `host` says, with a valid checksum for the changed request.
Bytes ForgedIpv6Error(const SForgingIpv6Host& host, const in6_addr& source, Bytes request) {
    const in6_addr quotedTo = Ipv6Address(host.pszQuotedTo);
    for (auto [nAt, nDelta] : {std::pair{4, host.nIdentDelta}, {6, host.nSequenceDelta}}) {
        const int nValue = (request[nAt] << 8 | request[nAt + 1]) + nDelta;
        request[nAt] = static_cast<uint8_t>(nValue >> 8);
        request[nAt + 1] = static_cast<uint8_t>(nValue);
    }
    const auto nLength = static_cast<uint8_t>(request.size());
    Bytes header = {0x60, 0, 0, 0, 0, nLength, IPPROTO_ICMPV6, 64};
    header.insert(header.end(), source.s6_addr, source.s6_addr + 16);
    header.insert(header.end(), quotedTo.s6_addr, quotedTo.s6_addr + 16);
    request[2] = request[3] = 0;
    const Bytes summed = Bytes(header.begin() + 8, header.end()) +
                         Bytes{0, 0, 0, nLength, 0, 0, 0, IPPROTO_ICMPV6} + request;
    const uint16_t nChecksum = InternetChecksum(summed.data(), summed.size());
    request[2] = static_cast<uint8_t>(nChecksum >> 8);
    request[3] = static_cast<uint8_t>(nChecksum);
    return Bytes{ICMP6_DST_UNREACH, ICMP6_DST_UNREACH_ADDR, 0, 0, 0, 0, 0, 0} + header + request;
}

// Plays `hosts` on the raw ICMPv6 socket `nFd` (echo requests only) until
// stopped; the errors it forged. On lo a request's source is its target.
int PlayForgingIpv6Hosts(const std::vector<SForgingIpv6Host>& hosts, int nFd,
                         const std::stop_token& stop) {
    int nForged = 0;
    uint8_t buffer[1500];
    for (sockaddr_in6 from{}; !stop.stop_requested();) {
        pollfd pfd{nFd, POLLIN, 0};
        socklen_t nLength = sizeof from;
        const ssize_t n = poll(&pfd, 1, 10) != 1
                              ? -1
                              : recvfrom(nFd, buffer, sizeof buffer, 0,
                                         reinterpret_cast<sockaddr*>(&from), &nLength);
        auto host = std::find_if(hosts.begin(), hosts.end(), [&](const SForgingIpv6Host& h) {
            return std::memcmp(Ipv6Address(h.pszTarget).s6_addr, from.sin6_addr.s6_addr, 16) == 0;
        });
        if (n < 8 || host == hosts.end())
            continue;
        const Bytes error = ForgedIpv6Error(*host, from.sin6_addr, Bytes(buffer, buffer + n));
        auto* pTo = reinterpret_cast<sockaddr*>(&from);
        nForged += sendto(nFd, error.data(), error.size(), 0, pTo, sizeof from) > 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(kReplyAfterMs));
        buffer[0] = ICMP6_ECHO_REPLY; // the kernel fills in the checksum
        sendto(nFd, buffer, static_cast<size_t>(n), 0, pTo, sizeof from);
    }
    return nForged;
}
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

// Each target, having seen our request, sends "host unreachable" quoting it
// with one thing changed, or not at all, then answers after 50 ms. A datagram
// socket's kernel queues every error carrying the socket's identifier.
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
            EXPECT_EQ(run->outcomes[i].nResult, cases[i].nExpected) << cases[i].pszWhat;
        EXPECT_GT(run->nForged, 0);
    }
}

TEST(ForgedError, OverIpv6CountsOnlyWhenItQuotesOurRequest) {
    const struct {
        SForgingIpv6Host host;
        int nExpected;
        const char* pszWhat;
    } cases[] = {
        {{"fd00::11", 0, 0, "fd00::11"}, 0, "our request: the probe fails"},
        {{"fd00::12", 0, 1, "fd00::12"}, 1, "another sequence"},
        {{"fd00::13", 0, -1, "fd00::13"}, 1, "another sequence"},
        {{"fd00::14", 1, 0, "fd00::14"}, 1, "another identifier"},
        {{"fd00::15", 0, 0, "fd00::99"}, 1, "another destination"},
    };
    std::vector<SForgingIpv6Host> hosts;
    std::string strAddresses;
    for (const auto& c : cases) {
        hosts.push_back(c.host);
        strAddresses += std::string(c.host.pszTarget) + "/128 ";
    }
    for (const auto& kind : kSocketKinds) {
        SCOPED_TRACE(kind.pszName);
        RUN_IN_PRIVATE_NETWORK_OR_SKIP(text, [&] {
            const int nFd = socket(AF_INET6, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMPV6);
            icmp6_filter filter;
            ICMP6_FILTER_SETBLOCKALL(&filter);
            ICMP6_FILTER_SETPASS(ICMP6_ECHO_REQUEST, &filter);
            if (!SetSysctl("net/ipv4/ping_group_range", kind.pszPingGroups) ||
                !SetSysctl("net/ipv6/icmp/echo_ignore_all", "1") ||
                std::system(AddressUp(strAddresses, "lo").c_str()) != 0 ||
                setsockopt(nFd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter) != 0)
                return std::string("set-up failed\n");
            std::string strOut;
            int nForged = 0;
            {
                std::jthread player([&](std::stop_token stop) {
                    nForged = PlayForgingIpv6Hosts(hosts, nFd, stop);
                });
                for (const SForgingIpv6Host& host : hosts)
                    strOut += TimeProbe(0, host.pszTarget);
            }
            return strOut + std::to_string(nForged) + " 0\n";
        });
        auto outcomes = ParseOutcomes(text);
        ASSERT_EQ(outcomes.size(), std::size(cases) + 1) << text;
        for (size_t i = 0; i < std::size(cases); ++i)
            EXPECT_EQ(outcomes[i].nResult, cases[i].nExpected) << cases[i].pszWhat;
        EXPECT_GE(outcomes.back().nResult, int(std::size(cases))) << "errors forged";
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
