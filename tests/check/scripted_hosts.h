// SPDX-License-Identifier: Apache-2.0
// Hosts of a private network played by the test. A raw socket sees every echo
// request sent in the namespace; each scripted host answers the requests sent
// to it as its script says: a true echo reply, "host unreachable" errors that
// quote a request of the host's choosing, or a flood of unrelated ICMP at the
// prober. The kernel's own echo replies are best turned off
// (net.ipv4.icmp_echo_ignore_all), so that every answer is the script's.
// A host with an IPv6 address is given it on lo and played over ICMPv6
// ("address unreachable" forgeries, no flood; net.ipv6.icmp.echo_ignore_all).
// Use only inside a network namespace of the test's own.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// An IPv4 echo request seen on the wire: its source, destination and key.
struct SSeenRequest {
    in_addr source;
    in_addr destination;
    uint16_t nIdent;
    uint16_t nSequence;
};

// A forged "host unreachable" about a request the forger makes up from the
// one it saw: the seen identifier and sequence plus these deltas, sent (as the
// seen request's source) to `pszQuotedTo`.
struct SForgedQuote {
    const char* pszQuotedTo = nullptr;
    int nIdentDelta = 0;
    int nSequenceDelta = 0;
};

struct SHostScript {
    const char* pszAddress = nullptr;
    int nReplyAfterMs = -1; // a true echo reply after this long; -1: none
    // Sent from the host at once, then again every millisecond for
    // nForgeForMs, for each request it sees.
    std::vector<SForgedQuote> forgeries = {};
    int nForgeForMs = 0;
    // Floods the prober with ICMP that is not about its request (echo replies
    // and errors carrying the seen identifier with other sequences) until the
    // hosts stop.
    bool bFlood = false;
};

class CScriptedHosts {
public:
    explicit CScriptedHosts(std::vector<SHostScript> scripts);
    CScriptedHosts(const CScriptedHosts&) = delete;
    CScriptedHosts& operator=(const CScriptedHosts&) = delete;
    ~CScriptedHosts(); // stops

    // False when the sockets could not be opened (not root, no namespace).
    bool IsReady() const { return m_bReady; }
    void Stop();

    std::vector<SSeenRequest> SeenRequests() const;
    long long ForgeriesSent() const { return m_nForged; }
    long long FloodSent() const { return m_nFlooded; }

private:
    // A packet to send from one host's socket when its time comes.
    struct SPending {
        std::chrono::steady_clock::time_point when;
        int nFromFd;
        in_addr to;
        std::vector<uint8_t> packet;
        bool bForged;
    };
    void Listen();
    void Answer(const SSeenRequest& request, const std::vector<uint8_t>& requestIcmp);
    void SendDue();
    void Flood(int nFromFd, SSeenRequest request);
    void ListenIpv6();

    std::vector<SHostScript> m_scripts;
    std::vector<int> m_hostFds; // per script, a raw socket bound to its address
    int m_nSnifferFd = -1;
    int m_nIpv6Fd = -1; // sees the IPv6 hosts' echo requests, sends their answers
    bool m_bReady = false;
    std::vector<SPending> m_pending; // listener thread only
    mutable std::mutex m_mutex;
    std::vector<SSeenRequest> m_seen;
    std::atomic<bool> m_bStop{false};
    std::atomic<long long> m_nForged{0}, m_nFlooded{0};
    std::thread m_listener, m_ipv6Listener;
    std::vector<std::thread> m_flooders; // listener thread starts them; Stop joins
};

// Helpers shared with the tests: an address from its dotted text, and the
// ping_group_range value that picks each ICMP socket kind for root.
in_addr DottedAddress(const char* psz);
inline constexpr const char* kRawSocketGroups = "1 0";               // nobody may ping
inline constexpr const char* kDatagramSocketGroups = "0 2147483647"; // everybody may
