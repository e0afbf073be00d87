// SPDX-License-Identifier: Apache-2.0
// Fuzz target for the test that tells our echo reply, or an ICMP error about
// our request, from every other packet. The first byte, a digit (any byte is
// taken as its distance from '0', modulo 5), picks what the rest is:
//   0: a whole IPv4 packet, as a raw socket delivers it;
//   1: the source address (4 bytes), then an ICMP message, as a datagram
//      socket delivers it;
//   2: an error's type (1 byte) and the quoted destination (4 bytes), then
//      the quoted ICMP message, as a datagram socket's error queue hands it;
//   3, 4: as 1 and 2 for IPv6 (16-byte addresses, ICMPv6 messages), as an
//      ICMPv6 datagram or raw socket delivers them.
// Any input must be judged without reading outside it, and a verdict other
// than "unrelated" must hold up against the bytes: a reply is the target's
// intact echo reply with our key, an error quotes our request to the target.
// The key a shared raw socket would look a packet up by is read too.
#include "check/icmp_packet.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {
// The keys of the packet tests, so that their packets seed the corpus.
const SEchoKey kKey{in_addr{htonl(0xc0000201)}, 0x1234, 0xabcd}; // 192.0.2.1
const SEchoKey kKey6{
    SIpAddress(in6_addr{{{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}}}), 0x1234,
    0xabcd}; // 2001:db8::1
const auto kRequest = BuildEchoRequest(kKey);

struct SFamily {
    const SEchoKey& key;
    size_t nAddress; // bytes of an address
    uint8_t nReply, nRequest;
};
const SFamily kIpv4{kKey, 4, 0, 8};
const SFamily kIpv6{kKey6, 16, 129, 128};

bool IsTarget(const SFamily& family, const uint8_t* pAddress) {
    const void* pTarget = family.nAddress == 4 ? static_cast<const void*>(&family.key.target.v4)
                                               : static_cast<const void*>(&family.key.target.v6);
    return std::memcmp(pAddress, pTarget, family.nAddress) == 0;
}

bool IsFailureType(const SFamily& family, uint8_t nType) {
    return family.nAddress == 4 ? nType == 3 || nType == 11 || nType == 12
                                : nType >= 1 && nType <= 4;
}

// Our echo request's type, identifier and sequence lead the quoted message.
bool QuotesOurKey(const SFamily& family, const uint8_t* pIcmp, size_t nSize) {
    return nSize >= 8 && pIcmp[0] == family.nRequest &&
           std::memcmp(pIcmp + 4, &kRequest[4], 4) == 0;
}

void Check(bool bHolds) {
    if (!bHolds)
        std::abort();
}

void CheckReply(const SFamily& family, const uint8_t* pIcmp, size_t nSize, const uint8_t* pSource) {
    Check(nSize == kEchoRequestSize && pIcmp[0] == family.nReply && pIcmp[1] == 0 &&
          IsTarget(family, pSource) && std::memcmp(pIcmp + 4, &kRequest[4], 4) == 0 &&
          std::equal(kEchoData.begin(), kEchoData.end(), pIcmp + 8));
}

// An error: 8 bytes of header, then the quoted IP header and message.
void CheckError(const SFamily& family, const uint8_t* pIcmp, size_t nSize) {
    Check(nSize >= 8 + 20 + 8 && IsFailureType(family, pIcmp[0]));
    const uint8_t* pQuote = pIcmp + 8;
    const bool bIpv6 = family.nAddress == 16;
    size_t nHeader = bIpv6 ? 40 : static_cast<size_t>(pQuote[0] & 0x0f) * 4;
    Check(nHeader >= 20 && nSize >= 8 + nHeader + 8 &&
          IsTarget(family, pQuote + (bIpv6 ? 24 : 16)) &&
          (!bIpv6 || (pQuote[0] >> 4 == 6 && pQuote[6] == 58)) &&
          QuotesOurKey(family, pQuote + nHeader, nSize - 8 - nHeader));
}

void CheckIcmpVerdict(const SFamily& family, EchoVerdict verdict, const uint8_t* pIcmp,
                      size_t nSize, const uint8_t* pSource) {
    if (verdict == EchoVerdict::kReply)
        CheckReply(family, pIcmp, nSize, pSource);
    else if (verdict == EchoVerdict::kError)
        CheckError(family, pIcmp, nSize);
}

void FuzzIpPacket(const uint8_t* pData, size_t nSize) {
    EchoVerdict verdict = ClassifyIpPacket(pData, nSize, kKey);
    std::optional<SEchoKey> key = EchoKeyOfIpPacket(pData, nSize);
    if (key)
        ClassifyIpPacket(pData, nSize, *key);
    if (verdict == EchoVerdict::kUnrelated)
        return;
    Check(key && key->nIdent == kKey.nIdent && key->nSequence == kKey.nSequence);
    size_t nHeader = static_cast<size_t>(pData[0] & 0x0f) * 4;
    Check(nSize >= nHeader && nHeader >= 20 && pData[0] >> 4 == 4 && pData[9] == 1);
    CheckIcmpVerdict(kIpv4, verdict, pData + nHeader, nSize - nHeader, pData + 12);
}

SIpAddress AddressAt(const SFamily& family, const uint8_t* p) {
    if (family.nAddress == 4) {
        in_addr address{};
        std::memcpy(&address.s_addr, p, 4);
        return address;
    }
    in6_addr address{};
    std::memcpy(&address, p, 16);
    return SIpAddress(address);
}

void FuzzIcmpMessage(const SFamily& family, const uint8_t* pData, size_t nSize) {
    if (nSize < family.nAddress)
        return;
    const SIpAddress source = AddressAt(family, pData);
    const uint8_t* pIcmp = pData + family.nAddress;
    const size_t nIcmp = nSize - family.nAddress;
    EchoVerdict verdict = ClassifyIcmpMessage(pIcmp, nIcmp, source, family.key);
    std::optional<SEchoKey> key = EchoKeyOfIcmpMessage(pIcmp, nIcmp, source);
    if (key)
        ClassifyIcmpMessage(pIcmp, nIcmp, source, *key);
    if (verdict != EchoVerdict::kUnrelated)
        Check(key && key->nIdent == kKey.nIdent && key->nSequence == kKey.nSequence &&
              key->target.SameHost(family.key.target));
    CheckIcmpVerdict(family, verdict, pIcmp, nIcmp, pData);
}

void FuzzQueuedError(const SFamily& family, const uint8_t* pData, size_t nSize) {
    if (nSize < 1 + family.nAddress)
        return;
    const uint8_t* pQuote = pData + 1 + family.nAddress;
    const size_t nQuote = nSize - 1 - family.nAddress;
    EchoVerdict verdict =
        ClassifyQueuedError(pData[0], AddressAt(family, pData + 1), pQuote, nQuote, family.key);
    Check(verdict != EchoVerdict::kReply);
    if (verdict == EchoVerdict::kError)
        Check(IsFailureType(family, pData[0]) && IsTarget(family, pData + 1) &&
              QuotesOurKey(family, pQuote, nQuote));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize == 0)
        return 0;
    switch (static_cast<uint8_t>(pData[0] - '0') % 5) {
    case 0:
        FuzzIpPacket(pData + 1, nSize - 1);
        break;
    case 1:
        FuzzIcmpMessage(kIpv4, pData + 1, nSize - 1);
        break;
    case 2:
        FuzzQueuedError(kIpv4, pData + 1, nSize - 1);
        break;
    case 3:
        FuzzIcmpMessage(kIpv6, pData + 1, nSize - 1);
        break;
    default:
        FuzzQueuedError(kIpv6, pData + 1, nSize - 1);
        break;
    }
    return 0;
}
