// SPDX-License-Identifier: Apache-2.0
// Answers to several echoes of one target sent on one socket (sequence
// numbers counted up from the first), with the kernel's receive time of each
// reply, for a pass that measures round trips.
#pragma once

#include "check/icmp_socket.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <ctime>
#include <optional>

// What one packet said about the echoes of a key.
struct SEchoAnswer {
    EchoVerdict verdict = EchoVerdict::kUnrelated;
    uint16_t nSequence = 0;
    // When the kernel received it (CLOCK_REALTIME), where it said so.
    std::optional<timespec> stamp;
};

// Asks the kernel to stamp every packet received on `nFd` (SO_TIMESTAMPNS).
void EnableReceiveStamps(int nFd);

// Receives one packet (or, with MSG_ERRQUEUE in `nFlags`, one queued error)
// with its receive stamp and control messages left in `msg`. The result of
// recvmsg.
struct SStampedPacket {
    uint8_t data[2048];
    alignas(cmsghdr) uint8_t control[512];
    sockaddr_storage from{};
    msghdr msg{};
    iovec iov{};
    std::optional<timespec> stamp;
};
ssize_t ReceiveStamped(int nFd, SStampedPacket& packet, int nFlags);

// Reads from a target's own socket, a bounded number of packets, until one
// answers (or reports an error about) one of the echoes `first.nSequence`
// .. `first.nSequence + nCount - 1` of `first`; kUnrelated when none did.
// `nEvents` holds POLLIN and POLLERR as epoll reported them.
SEchoAnswer ReadEchoAnswer(const SIcmpSocket& sock, const SEchoKey& first, uint16_t nCount,
                           uint32_t nEvents);

// Whether `nSequence` is one of the `nCount` sequences counted up from the
// first key's, wrapping around.
inline bool IsInRange(uint16_t nSequence, const SEchoKey& first, uint16_t nCount) {
    return static_cast<uint16_t>(nSequence - first.nSequence) < nCount;
}
