// SPDX-License-Identifier: Apache-2.0
// Fuzz target for the test that tells our echo reply, or an ICMP error about
// our request, from every other packet. The first byte picks what the rest is:
//   0: a whole IPv4 packet, as a raw socket delivers it;
//   1: the source address (4 bytes), then an ICMP message, as a datagram
//      socket delivers it;
//   2: an error's type (1 byte) and the quoted destination (4 bytes), then
//      the quoted ICMP message, as a datagram socket's error queue hands it.
// Any input must be judged without reading outside it, and a verdict other
// than "unrelated" must hold up against the bytes: a reply is the target's
// intact echo reply with our key, an error quotes our request to the target.
#include "check/icmp_packet.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {
// The key of the packet tests, so that their packets seed the corpus.
const SEchoKey kKey{{htonl(0xc0000201)}, 0x1234, 0xabcd}; // 192.0.2.1
const auto kRequest = BuildEchoRequest(kKey);

bool IsTarget(const uint8_t* pAddress) {
    return std::memcmp(pAddress, &kKey.target.s_addr, 4) == 0;
}

bool IsFailureType(uint8_t nType) {
    return nType == 3 || nType == 11 || nType == 12;
}

// Our echo request's type, identifier and sequence lead the quoted message.
bool QuotesOurKey(const uint8_t* pIcmp, size_t nSize) {
    return nSize >= 8 && pIcmp[0] == 8 && std::memcmp(pIcmp + 4, &kRequest[4], 4) == 0;
}

void Check(bool bHolds) {
    if (!bHolds)
        std::abort();
}

void CheckReply(const uint8_t* pIcmp, size_t nSize, const uint8_t* pSource) {
    Check(nSize == kEchoRequestSize && pIcmp[0] == 0 && pIcmp[1] == 0 && IsTarget(pSource) &&
          std::memcmp(pIcmp + 4, &kRequest[4], 4) == 0 &&
          std::equal(kEchoData.begin(), kEchoData.end(), pIcmp + 8));
}

// An ICMP error: 8 bytes of header, then the quoted IP header and message.
void CheckError(const uint8_t* pIcmp, size_t nSize) {
    Check(nSize >= 8 + 20 + 8 && IsFailureType(pIcmp[0]));
    const uint8_t* pQuote = pIcmp + 8;
    size_t nHeader = static_cast<size_t>(pQuote[0] & 0x0f) * 4;
    Check(nHeader >= 20 && nSize >= 8 + nHeader + 8 && IsTarget(pQuote + 16) &&
          QuotesOurKey(pQuote + nHeader, nSize - 8 - nHeader));
}

void CheckIcmpVerdict(EchoVerdict verdict, const uint8_t* pIcmp, size_t nSize,
                      const uint8_t* pSource) {
    if (verdict == EchoVerdict::kReply)
        CheckReply(pIcmp, nSize, pSource);
    else if (verdict == EchoVerdict::kError)
        CheckError(pIcmp, nSize);
}

void FuzzIpPacket(const uint8_t* pData, size_t nSize) {
    EchoVerdict verdict = ClassifyIpPacket(pData, nSize, kKey);
    if (verdict == EchoVerdict::kUnrelated)
        return;
    size_t nHeader = static_cast<size_t>(pData[0] & 0x0f) * 4;
    Check(nSize >= nHeader && nHeader >= 20 && pData[0] >> 4 == 4 && pData[9] == 1);
    CheckIcmpVerdict(verdict, pData + nHeader, nSize - nHeader, pData + 12);
}

void FuzzIcmpMessage(const uint8_t* pData, size_t nSize) {
    if (nSize < 4)
        return;
    in_addr source{};
    std::memcpy(&source.s_addr, pData, 4);
    EchoVerdict verdict = ClassifyIcmpMessage(pData + 4, nSize - 4, source, kKey);
    CheckIcmpVerdict(verdict, pData + 4, nSize - 4, pData);
}

void FuzzQueuedError(const uint8_t* pData, size_t nSize) {
    if (nSize < 5)
        return;
    in_addr quotedTarget{};
    std::memcpy(&quotedTarget.s_addr, pData + 1, 4);
    EchoVerdict verdict = ClassifyQueuedError(pData[0], quotedTarget, pData + 5, nSize - 5, kKey);
    Check(verdict != EchoVerdict::kReply);
    if (verdict == EchoVerdict::kError)
        Check(IsFailureType(pData[0]) && IsTarget(pData + 1) && QuotesOurKey(pData + 5, nSize - 5));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize == 0)
        return 0;
    switch (pData[0] % 3) {
    case 0:
        FuzzIpPacket(pData + 1, nSize - 1);
        break;
    case 1:
        FuzzIcmpMessage(pData + 1, nSize - 1);
        break;
    default:
        FuzzQueuedError(pData + 1, nSize - 1);
        break;
    }
    return 0;
}
