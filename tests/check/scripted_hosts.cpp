// SPDX-License-Identifier: Apache-2.0
#include "scripted_hosts.h"

#include "check/icmp_packet.h"
#include "private_network.h"

#include <arpa/inet.h>
#include <linux/icmp.h>
#include <netinet/icmp6.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;
// A flood ends by itself after this long, should the test never stop it.
constexpr std::chrono::seconds kLongestFlood{15};
constexpr unsigned kFloodBatch = 64;

void WriteU16(uint8_t* p, uint16_t n) {
    p[0] = static_cast<uint8_t>(n >> 8);
    p[1] = static_cast<uint8_t>(n);
}

void SetChecksum(Bytes& icmp) {
    WriteU16(&icmp[2], 0);
    WriteU16(&icmp[2], InternetChecksum(icmp.data(), icmp.size()));
}

// A raw ICMP socket that sends with `address` as its source and takes in
// nothing, or -1.
int OpenHostSocket(in_addr address) {
    int nFd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (nFd < 0)
        return -1;
    icmp_filter filter{~0u};
    sockaddr_in bound{};
    bound.sin_family = AF_INET;
    bound.sin_addr = address;
    if (setsockopt(nFd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter) != 0 ||
        bind(nFd, reinterpret_cast<sockaddr*>(&bound), sizeof bound) != 0) {
        close(nFd);
        return -1;
    }
    return nFd;
}

// A raw socket that takes in echo requests only, or -1.
int OpenSniffer() {
    int nFd = socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    icmp_filter filter{~(1u << ICMP_ECHO)};
    if (nFd >= 0 && setsockopt(nFd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter) != 0) {
        close(nFd);
        return -1;
    }
    return nFd;
}

Bytes EchoReply(uint16_t nIdent, uint16_t nSequence) {
    auto request = BuildEchoRequest({in_addr{}, nIdent, nSequence});
    Bytes reply(request.begin(), request.end());
    reply[0] = ICMP_ECHOREPLY;
    SetChecksum(reply);
    return reply;
}

// "Host unreachable" quoting an echo request from `from` to `to` with this
// identifier and sequence: the quoted IP header and the whole request.
Bytes Unreachable(in_addr from, in_addr to, uint16_t nIdent, uint16_t nSequence) {
    Bytes error = {ICMP_DEST_UNREACH, ICMP_HOST_UNREACH, 0, 0, 0, 0, 0, 0};
    Bytes ip = {0x45, 0, 0, 20 + kEchoRequestSize, 0, 0, 0x40, 0, 64, IPPROTO_ICMP, 0, 0};
    ip.resize(20);
    std::memcpy(&ip[12], &from.s_addr, 4);
    std::memcpy(&ip[16], &to.s_addr, 4);
    WriteU16(&ip[10], InternetChecksum(ip.data(), ip.size()));
    auto request = BuildEchoRequest({to, nIdent, nSequence});
    error.insert(error.end(), ip.begin(), ip.end());
    error.insert(error.end(), request.begin(), request.end());
    SetChecksum(error);
    return error;
}

bool IsIpv6(const SHostScript& script) {
    return std::strchr(script.pszAddress, ':') != nullptr;
}

in6_addr Ipv6Address(const char* psz) {
    in6_addr address{};
    inet_pton(AF_INET6, psz, &address);
    return address;
}

// A raw ICMPv6 socket that takes in echo requests only, or -1.
int OpenIpv6Sniffer() {
    int nFd = socket(AF_INET6, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMPV6);
    icmp6_filter filter;
    ICMP6_FILTER_SETBLOCKALL(&filter);
    ICMP6_FILTER_SETPASS(ICMP6_ECHO_REQUEST, &filter);
    if (nFd >= 0 && setsockopt(nFd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter) != 0) {
        close(nFd);
        return -1;
    }
    return nFd;
}

// "Address unreachable" quoting an ICMPv6 echo request from `from` to `to`:
// `request` with its identifier and sequence moved as `quote` says (its
// checksum left as it was).
Bytes Ipv6Unreachable(const in6_addr& from, const in6_addr& to, Bytes request,
                      const SForgedQuote& quote) {
    WriteU16(&request[4],
             static_cast<uint16_t>((request[4] << 8 | request[5]) + quote.nIdentDelta));
    WriteU16(&request[6],
             static_cast<uint16_t>((request[6] << 8 | request[7]) + quote.nSequenceDelta));
    Bytes error = {ICMP6_DST_UNREACH, ICMP6_DST_UNREACH_ADDR, 0, 0, 0, 0, 0, 0, 0x60, 0, 0, 0, 0};
    error.insert(error.end(), {static_cast<uint8_t>(request.size()), IPPROTO_ICMPV6, 64});
    error.insert(error.end(), from.s6_addr, from.s6_addr + 16);
    error.insert(error.end(), to.s6_addr, to.s6_addr + 16);
    error.insert(error.end(), request.begin(), request.end());
    return error; // the kernel fills in the checksum
}

bool SendTo(int nFd, const Bytes& packet, in_addr to) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr = to;
    return sendto(nFd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&address),
                  sizeof address) == static_cast<ssize_t>(packet.size());
}

// An echo request from an IPv4 packet the sniffer read; its ICMP bytes go to
// `icmp`.
bool ParseRequest(const uint8_t* p, size_t n, SSeenRequest& request, Bytes& icmp) {
    size_t nHeader = n ? static_cast<size_t>(p[0] & 0x0f) * 4 : 0;
    if (nHeader < 20 || n < nHeader + 8 || p[nHeader] != ICMP_ECHO)
        return false;
    std::memcpy(&request.source.s_addr, p + 12, 4);
    std::memcpy(&request.destination.s_addr, p + 16, 4);
    request.nIdent = static_cast<uint16_t>(p[nHeader + 4] << 8 | p[nHeader + 5]);
    request.nSequence = static_cast<uint16_t>(p[nHeader + 6] << 8 | p[nHeader + 7]);
    icmp.assign(p + nHeader, p + n);
    return true;
}
} // namespace

in_addr DottedAddress(const char* psz) {
    in_addr address{};
    inet_aton(psz, &address);
    return address;
}

CScriptedHosts::CScriptedHosts(std::vector<SHostScript> scripts) : m_scripts(std::move(scripts)) {
    m_nSnifferFd = OpenSniffer();
    m_nIpv6Fd = OpenIpv6Sniffer();
    m_bReady = m_nSnifferFd >= 0 && m_nIpv6Fd >= 0;
    std::string strIpv6Addresses;
    for (const SHostScript& script : m_scripts) {
        if (IsIpv6(script))
            strIpv6Addresses += std::string(script.pszAddress) + "/128 ";
        m_hostFds.push_back(IsIpv6(script) ? -1 : OpenHostSocket(DottedAddress(script.pszAddress)));
        m_bReady = m_bReady && (m_hostFds.back() >= 0 || IsIpv6(script));
    }
    m_bReady = m_bReady && std::system(AddressUp(strIpv6Addresses, "lo").c_str()) == 0;
    if (m_bReady) {
        m_listener = std::thread([this] { Listen(); });
        m_ipv6Listener = std::thread([this] { ListenIpv6(); });
    }
}

CScriptedHosts::~CScriptedHosts() {
    Stop();
    for (int nFd : m_hostFds)
        if (nFd >= 0)
            close(nFd);
    if (m_nSnifferFd >= 0)
        close(m_nSnifferFd);
    if (m_nIpv6Fd >= 0)
        close(m_nIpv6Fd);
}

void CScriptedHosts::Stop() {
    m_bStop = true;
    if (m_listener.joinable())
        m_listener.join();
    if (m_ipv6Listener.joinable())
        m_ipv6Listener.join();
    for (std::thread& flooder : m_flooders)
        flooder.join();
    m_flooders.clear();
}

std::vector<SSeenRequest> CScriptedHosts::SeenRequests() const {
    std::lock_guard lock(m_mutex);
    return m_seen;
}

// Reads requests as they come and sends what is due; wakes every millisecond
// for the repeated forgeries. Once stopped, it still reads what came before.
void CScriptedHosts::Listen() {
    uint8_t buffer[2048];
    for (bool bLast = false; !bLast;) {
        bLast = m_bStop;
        pollfd pfd{m_nSnifferFd, POLLIN, 0};
        poll(&pfd, 1, 1);
        ssize_t n;
        while ((n = recv(m_nSnifferFd, buffer, sizeof buffer, 0)) > 0) {
            SSeenRequest request{};
            Bytes icmp;
            if (!ParseRequest(buffer, static_cast<size_t>(n), request, icmp))
                continue;
            {
                std::lock_guard lock(m_mutex);
                m_seen.push_back(request);
            }
            Answer(request, icmp);
        }
        SendDue();
    }
}

// Plays the IPv6 hosts: for each request, the forgeries at once, then the
// reply after its wait; the next request meanwhile waits in the socket. On lo
// a request's source is its destination, which names the host.
void CScriptedHosts::ListenIpv6() {
    uint8_t buffer[2048];
    for (sockaddr_in6 from{}; !m_bStop;) {
        pollfd pfd{m_nIpv6Fd, POLLIN, 0};
        socklen_t nLength = sizeof from;
        auto* pFrom = reinterpret_cast<sockaddr*>(&from);
        const ssize_t n = poll(&pfd, 1, 10) == 1
                              ? recvfrom(m_nIpv6Fd, buffer, sizeof buffer, 0, pFrom, &nLength)
                              : -1;
        for (const SHostScript& script : m_scripts) {
            if (n < 8 || !IsIpv6(script) ||
                std::memcmp(Ipv6Address(script.pszAddress).s6_addr, &from.sin6_addr, 16) != 0)
                continue;
            for (const SForgedQuote& quote : script.forgeries) {
                Bytes error = Ipv6Unreachable(from.sin6_addr, Ipv6Address(quote.pszQuotedTo),
                                              Bytes(buffer, buffer + n), quote);
                m_nForged += sendto(m_nIpv6Fd, error.data(), error.size(), 0, pFrom, nLength) > 0;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(script.nReplyAfterMs));
            buffer[0] = ICMP6_ECHO_REPLY;
            if (script.nReplyAfterMs >= 0)
                sendto(m_nIpv6Fd, buffer, static_cast<size_t>(n), 0, pFrom, nLength);
        }
    }
}

void CScriptedHosts::Answer(const SSeenRequest& request, const Bytes& requestIcmp) {
    for (size_t i = 0; i < m_scripts.size(); ++i) {
        const SHostScript& script = m_scripts[i];
        if (DottedAddress(script.pszAddress).s_addr != request.destination.s_addr)
            continue;
        Clock::time_point now = Clock::now();
        if (script.nReplyAfterMs >= 0) {
            Bytes reply = requestIcmp;
            reply[0] = ICMP_ECHOREPLY;
            SetChecksum(reply);
            m_pending.push_back({now + std::chrono::milliseconds(script.nReplyAfterMs),
                                 m_hostFds[i], request.source, reply, false});
        }
        for (const SForgedQuote& quote : script.forgeries) {
            Bytes error =
                Unreachable(request.source, DottedAddress(quote.pszQuotedTo),
                            static_cast<uint16_t>(request.nIdent + quote.nIdentDelta),
                            static_cast<uint16_t>(request.nSequence + quote.nSequenceDelta));
            for (int nMs = 0; nMs <= script.nForgeForMs; ++nMs)
                m_pending.push_back({now + std::chrono::milliseconds(nMs), m_hostFds[i],
                                     request.source, error, true});
        }
        if (script.bFlood)
            m_flooders.emplace_back([this, nFd = m_hostFds[i], request] { Flood(nFd, request); });
    }
    SendDue();
}

void CScriptedHosts::SendDue() {
    Clock::time_point now = Clock::now();
    auto due = std::stable_partition(m_pending.begin(), m_pending.end(),
                                     [&](const SPending& pending) { return pending.when > now; });
    for (auto it = due; it != m_pending.end(); ++it)
        if (SendTo(it->nFromFd, it->packet, it->to) && it->bForged)
            ++m_nForged;
    m_pending.erase(due, m_pending.end());
}

// Echo replies from the target and errors about the target, all carrying the
// prober's identifier, so that even a datagram socket has to take them in,
// but never its sequence; batches of them, as fast as the host can send.
void CScriptedHosts::Flood(int nFromFd, SSeenRequest request) {
    std::vector<Bytes> packets;
    for (unsigned i = 0; i < kFloodBatch; ++i) {
        auto nSequence = static_cast<uint16_t>(request.nSequence + 1 + i / 2);
        packets.push_back(
            i % 2 ? Unreachable(request.source, request.destination, request.nIdent, nSequence)
                  : EchoReply(request.nIdent, nSequence));
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr = request.source;
    std::vector<iovec> iovs(kFloodBatch);
    std::vector<mmsghdr> messages(kFloodBatch);
    for (unsigned i = 0; i < kFloodBatch; ++i) {
        iovs[i] = {packets[i].data(), packets[i].size()};
        messages[i].msg_hdr.msg_name = &to;
        messages[i].msg_hdr.msg_namelen = sizeof to;
        messages[i].msg_hdr.msg_iov = &iovs[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    Clock::time_point end = Clock::now() + kLongestFlood;
    while (!m_bStop && Clock::now() < end) {
        int nSent = sendmmsg(nFromFd, messages.data(), kFloodBatch, 0);
        if (nSent > 0)
            m_nFlooded += nSent;
    }
}
