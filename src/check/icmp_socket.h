// SPDX-License-Identifier: Apache-2.0
// The sockets an echo probe sends its request on and reads its answer from,
// shared by the single probe and the concurrent pass.
#pragma once

#include "check/file_descriptor.h"
#include "check/icmp_packet.h"

#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <optional>

using IcmpClock = std::chrono::steady_clock;

// How long a probe waits for its answer, counted from the socket's opening.
inline constexpr std::chrono::milliseconds kEchoTimeout{10000};

enum class IcmpSocketKind { kDatagram, kRaw };

struct SIcmpSocket {
    CFileDescriptor fd;
    IcmpSocketKind kind = IcmpSocketKind::kDatagram;
    bool bIpv6 = false;
    // A raw IPv4 socket delivers whole IP packets; every other kind the
    // message from its ICMP header on, with the sender as its address.
    bool DeliversIpHeader() const { return kind == IcmpSocketKind::kRaw && !bIpv6; }
};

// 32 bits from the kernel's random source, taken from a per-thread pool it
// fills 64 words at a time; before that is seeded (early in boot), from the
// library's.
uint32_t RandomBits();

// Draws the probe's key at random and opens its socket, of the family of the
// key's target: an ICMP or ICMPv6 datagram socket bound to the key's
// identifier where net.ipv4.ping_group_range allows it (it governs both),
// else a raw socket. Once the kernel has refused this process a datagram
// socket, later probes go to the raw socket first: the refusal holds for the
// process's groups (or the kernel lacks the family), so asking again would
// only cost a system call per probe.
// The datagram socket is asked for again only when the raw one fails too. A datagram socket puts
// its own identifier in the request, the one it was bound to; `key` carries it out. Not open when
// neither kind opens.
SIcmpSocket OpenIcmpSocket(SEchoKey& key, IcmpClock::time_point deadline);

// A raw ICMP (or, `bIpv6`, ICMPv6) socket whose kernel filter lets through
// only the types that can answer an echo request, with whatever came in
// before the filter thrown away.
CFileDescriptor OpenRawSocket(bool bIpv6, IcmpClock::time_point deadline);

// Sends the echo request of `key` on `nFd`; true when the whole request went.
bool SendEchoRequest(int nFd, const SEchoKey& key);

// Judges a packet read from a socket that delivers IP headers or not, from
// `from`: ClassifyIpPacket or ClassifyIcmpMessage, whichever fits.
EchoVerdict ClassifyReceived(bool bIpHeader, const uint8_t* pData, size_t nSize,
                             const sockaddr_storage& from, const SEchoKey& key);

// Which probe a packet read from a socket that delivers IP headers or not
// could be about (EchoKeyOfIpPacket or EchoKeyOfIcmpMessage).
std::optional<SEchoKey> EchoKeyOfReceived(bool bIpHeader, const uint8_t* pData, size_t nSize,
                                          const sockaddr_storage& from);

struct msghdr;
// Judges one report read from a datagram socket's error queue (MSG_ERRQUEUE):
// its IP_RECVERR or IPV6_RECVERR message, the quoted request's destination
// and the quote.
EchoVerdict JudgeQueuedError(msghdr& msg, const SIpAddress& quotedTarget, const uint8_t* pQuote,
                             size_t nSize, const SEchoKey& key);

// Reads what a wake-up brought on the probe's own socket (`nEvents` holds
// POLLIN and POLLERR as poll or epoll reported them), a bounded number of
// packets: the first verdict other than kUnrelated wins.
EchoVerdict ReadWaiting(const SIcmpSocket& sock, const SEchoKey& key, uint32_t nEvents,
                        IcmpClock::time_point deadline);
