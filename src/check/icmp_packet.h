// SPDX-License-Identifier: Apache-2.0
// The bytes of the probe's ICMP or ICMPv6 echo request, and the test that
// tells our echo reply, or an error about our request, from every other packet.
#pragma once

#include "check/ip_address.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

// The request data: the nine characters "Hi there!" and a zero byte.
inline constexpr std::array<uint8_t, 10> kEchoData = {'H', 'i', ' ', 't', 'h',
                                                      'e', 'r', 'e', '!', 0};
inline constexpr size_t kEchoRequestSize = 8 + kEchoData.size();

// Which probe a packet belongs to: the target and the request's identifier
// and sequence number (host byte order). Both numbers are drawn at random for
// every probe, so that nobody who has not seen the request can name it.
struct SEchoKey {
    SIpAddress target;
    uint16_t nIdent;
    uint16_t nSequence;
};

enum class EchoVerdict {
    kUnrelated, // anything else: another probe's traffic, our own request, a forgery
    kReply,     // the target's echo reply to our request, data intact
    kError,     // an error (unreachable, time exceeded, parameter problem, and for IPv6
                // packet too big) quoting our request
};

// The Internet checksum of n bytes (RFC 1071), as it goes into an ICMP or
// IPv4 header: the one's complement of their one's-complement sum.
uint16_t InternetChecksum(const uint8_t* p, size_t n);

// An echo request with the key's identifier and sequence and the request
// data: for an IPv4 target ICMP type 8 with a valid checksum; for an IPv6 one
// ICMPv6 type 128 with the checksum left zero, as the kernel fills it in on
// every ICMPv6 socket (it covers the addresses the kernel picks).
std::array<uint8_t, kEchoRequestSize> BuildEchoRequest(const SEchoKey& key);

// Judges an ICMP or ICMPv6 message (the key's family) received from
// `source`, starting at its own header: what an ICMP datagram socket and a
// raw ICMPv6 socket deliver.
EchoVerdict ClassifyIcmpMessage(const uint8_t* pData, size_t nSize, const SIpAddress& source,
                                const SEchoKey& key);

// Judges a whole IPv4 packet carrying ICMP (what a raw socket delivers).
EchoVerdict ClassifyIpPacket(const uint8_t* pData, size_t nSize, const SEchoKey& key);

// Judges an error that an ICMP datagram socket queued (IP_RECVERR or
// IPV6_RECVERR): the error's type (of the key's family), the destination of
// the request it quotes, and the quoted message from its header on. The
// kernel queues on a socket every error that quotes the socket's identifier,
// whatever its sequence and destination.
EchoVerdict ClassifyQueuedError(uint8_t nType, const SIpAddress& quotedTarget,
                                const uint8_t* pQuote, size_t nSize, const SEchoKey& key);

// Which probe an ICMP or ICMPv6 message from `source` could be about, for a
// socket shared by many probes: an echo reply names its source and its
// identifier and sequence; an error names those of the echo request it
// quotes. Nothing for any other message. Only a candidate: the probe's
// ClassifyIcmpMessage decides.
std::optional<SEchoKey> EchoKeyOfIcmpMessage(const uint8_t* pData, size_t nSize,
                                             const SIpAddress& source);

// The same for a whole IPv4 packet carrying ICMP (ClassifyIpPacket decides).
std::optional<SEchoKey> EchoKeyOfIpPacket(const uint8_t* pData, size_t nSize);
