// SPDX-License-Identifier: Apache-2.0
#include "check/echo_answer.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace {
constexpr int kPacketsPerWake = 64;
constexpr size_t kIcmpHeader = 8;

uint16_t ReadU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

SEchoAnswer ReadReplies(const SIcmpSocket& sock, const SEchoKey& first, uint16_t nCount) {
    SStampedPacket packet;
    for (int nTaken = 0; nTaken < kPacketsPerWake; ++nTaken) {
        ssize_t n = ReceiveStamped(sock.fd.Get(), packet, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        const auto nSize = static_cast<size_t>(n);
        std::optional<SEchoKey> candidate =
            EchoKeyOfReceived(sock.DeliversIpHeader(), packet.data, nSize, packet.from);
        if (!candidate || candidate->nIdent != first.nIdent ||
            !IsInRange(candidate->nSequence, first, nCount))
            continue;
        SEchoKey key = first;
        key.nSequence = candidate->nSequence;
        EchoVerdict verdict =
            ClassifyReceived(sock.DeliversIpHeader(), packet.data, nSize, packet.from, key);
        if (verdict != EchoVerdict::kUnrelated)
            return {verdict, key.nSequence, packet.stamp};
    }
    return {};
}

// As the single probe does: an error counts when it quotes one of our
// requests; once the queue is empty the pending socket error is cleared.
SEchoAnswer ReadErrors(const SIcmpSocket& sock, const SEchoKey& first, uint16_t nCount) {
    SStampedPacket packet;
    for (int nTaken = 0; nTaken < kPacketsPerWake; ++nTaken) {
        ssize_t n = ReceiveStamped(sock.fd.Get(), packet, MSG_ERRQUEUE);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            TakeSocketError(sock.fd.Get());
            return {};
        }
        if (n < 0 || static_cast<size_t>(n) < kIcmpHeader)
            return {EchoVerdict::kError, first.nSequence, {}}; // the queue cannot be read
        SEchoKey key = first;
        key.nSequence = ReadU16(packet.data + 6);
        if (!IsInRange(key.nSequence, first, nCount))
            continue;
        EchoVerdict verdict = JudgeQueuedError(packet.msg, FromSocketAddress(packet.from),
                                               packet.data, static_cast<size_t>(n), key);
        if (verdict != EchoVerdict::kUnrelated)
            return {verdict, key.nSequence, {}};
    }
    return {};
}
} // namespace

void EnableReceiveStamps(int nFd) {
    int nOn = 1;
    setsockopt(nFd, SOL_SOCKET, SO_TIMESTAMPNS, &nOn, sizeof nOn);
}

ssize_t ReceiveStamped(int nFd, SStampedPacket& packet, int nFlags) {
    packet.iov = {packet.data, sizeof packet.data};
    packet.msg = {};
    packet.msg.msg_name = &packet.from;
    packet.msg.msg_namelen = sizeof packet.from;
    packet.msg.msg_iov = &packet.iov;
    packet.msg.msg_iovlen = 1;
    packet.msg.msg_control = packet.control;
    packet.msg.msg_controllen = sizeof packet.control;
    packet.stamp.reset();
    const ssize_t n = recvmsg(nFd, &packet.msg, nFlags);
    for (cmsghdr* p = n >= 0 ? CMSG_FIRSTHDR(&packet.msg) : nullptr; p;
         p = CMSG_NXTHDR(&packet.msg, p)) {
        if (p->cmsg_level == SOL_SOCKET && p->cmsg_type == SCM_TIMESTAMPNS) {
            timespec stamp;
            std::memcpy(&stamp, CMSG_DATA(p), sizeof stamp);
            packet.stamp = stamp;
        }
    }
    return n;
}

SEchoAnswer ReadEchoAnswer(const SIcmpSocket& sock, const SEchoKey& first, uint16_t nCount,
                           uint32_t nEvents) {
    if (nEvents & POLLERR) {
        SEchoAnswer answer = sock.kind == IcmpSocketKind::kRaw
                                 ? SEchoAnswer{EchoVerdict::kError, first.nSequence, {}}
                                 : ReadErrors(sock, first, nCount);
        if (answer.verdict != EchoVerdict::kUnrelated)
            return answer;
    }
    return nEvents & POLLIN ? ReadReplies(sock, first, nCount) : SEchoAnswer{};
}
