// SPDX-License-Identifier: Apache-2.0
#include "check/icmp_packet.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr uint8_t kTypeEchoReply = 0;
constexpr uint8_t kTypeUnreachable = 3;
constexpr uint8_t kTypeEchoRequest = 8;
constexpr uint8_t kTypeTimeExceeded = 11;
constexpr uint8_t kTypeParameterProblem = 12;
constexpr uint8_t kProtocolIcmp = 1;
constexpr size_t kIcmpHeaderSize = 8;

uint16_t ReadU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

void WriteU16(uint8_t* p, uint16_t n) {
    p[0] = static_cast<uint8_t>(n >> 8);
    p[1] = static_cast<uint8_t>(n);
}

bool HasKey(const uint8_t* pIcmp, const SEchoKey& key) {
    return ReadU16(pIcmp + 4) == key.nIdent && ReadU16(pIcmp + 6) == key.nSequence;
}

// Unreachable, time exceeded and parameter problem end a probe; a redirect or
// source quench does not.
bool IsFailureType(uint8_t nType) {
    return nType == kTypeUnreachable || nType == kTypeTimeExceeded ||
           nType == kTypeParameterProblem;
}

// The first 8 bytes of our echo request, sent to the key's target.
bool IsOurRequest(const uint8_t* pIcmp, size_t nSize, in_addr destination, const SEchoKey& key) {
    return nSize >= kIcmpHeaderSize && destination.s_addr == key.target.s_addr &&
           pIcmp[0] == kTypeEchoRequest && HasKey(pIcmp, key);
}

// The IPv4 header length of a packet, or 0 when it is not a whole IPv4
// header carrying ICMP.
size_t IcmpOffset(const uint8_t* pData, size_t nSize) {
    if (nSize < 20 || pData[0] >> 4 != 4 || pData[9] != kProtocolIcmp)
        return 0;
    size_t nHeader = static_cast<size_t>(pData[0] & 0x0f) * 4;
    return nHeader >= 20 && nHeader <= nSize ? nHeader : 0;
}

// An ICMP error carries the IP header and at least the first 8 bytes of the
// packet it is about; ours when that was our echo request to the target.
bool QuotesOurRequest(const uint8_t* pQuote, size_t nSize, const SEchoKey& key) {
    size_t nHeader = IcmpOffset(pQuote, nSize);
    if (!nHeader)
        return false;
    in_addr destination{};
    std::memcpy(&destination.s_addr, pQuote + 16, 4);
    return IsOurRequest(pQuote + nHeader, nSize - nHeader, destination, key);
}
} // namespace

uint16_t InternetChecksum(const uint8_t* p, size_t n) {
    uint32_t nSum = 0;
    for (size_t i = 0; i + 1 < n; i += 2)
        nSum += ReadU16(p + i);
    if (n % 2)
        nSum += static_cast<uint32_t>(p[n - 1]) << 8;
    while (nSum >> 16)
        nSum = (nSum & 0xffff) + (nSum >> 16);
    return static_cast<uint16_t>(~nSum);
}

std::array<uint8_t, kEchoRequestSize> BuildEchoRequest(const SEchoKey& key) {
    std::array<uint8_t, kEchoRequestSize> packet{};
    packet[0] = kTypeEchoRequest;
    WriteU16(&packet[4], key.nIdent);
    WriteU16(&packet[6], key.nSequence);
    std::copy(kEchoData.begin(), kEchoData.end(), packet.begin() + kIcmpHeaderSize);
    WriteU16(&packet[2], InternetChecksum(packet.data(), packet.size()));
    return packet;
}

EchoVerdict ClassifyIcmpMessage(const uint8_t* pData, size_t nSize, in_addr source,
                                const SEchoKey& key) {
    if (nSize < kIcmpHeaderSize)
        return EchoVerdict::kUnrelated;
    if (pData[0] == kTypeEchoReply) {
        bool bOurs = pData[1] == 0 && source.s_addr == key.target.s_addr && HasKey(pData, key) &&
                     nSize == kEchoRequestSize &&
                     std::equal(kEchoData.begin(), kEchoData.end(), pData + kIcmpHeaderSize);
        return bOurs ? EchoVerdict::kReply : EchoVerdict::kUnrelated;
    }
    bool bOurError = IsFailureType(pData[0]) &&
                     QuotesOurRequest(pData + kIcmpHeaderSize, nSize - kIcmpHeaderSize, key);
    return bOurError ? EchoVerdict::kError : EchoVerdict::kUnrelated;
}

EchoVerdict ClassifyIpPacket(const uint8_t* pData, size_t nSize, const SEchoKey& key) {
    size_t nHeader = IcmpOffset(pData, nSize);
    if (!nHeader)
        return EchoVerdict::kUnrelated;
    in_addr source{};
    std::memcpy(&source.s_addr, pData + 12, 4);
    return ClassifyIcmpMessage(pData + nHeader, nSize - nHeader, source, key);
}

EchoVerdict ClassifyQueuedError(uint8_t nType, in_addr quotedTarget, const uint8_t* pQuote,
                                size_t nSize, const SEchoKey& key) {
    return IsFailureType(nType) && IsOurRequest(pQuote, nSize, quotedTarget, key)
               ? EchoVerdict::kError
               : EchoVerdict::kUnrelated;
}

std::optional<SEchoKey> EchoKeyOfIpPacket(const uint8_t* pData, size_t nSize) {
    size_t nHeader = IcmpOffset(pData, nSize);
    if (!nHeader || nSize - nHeader < kIcmpHeaderSize)
        return std::nullopt;
    const uint8_t* pIcmp = pData + nHeader;
    SEchoKey key{};
    if (pIcmp[0] == kTypeEchoReply) {
        std::memcpy(&key.target.s_addr, pData + 12, 4);
    } else if (IsFailureType(pIcmp[0])) {
        const uint8_t* pQuote = pIcmp + kIcmpHeaderSize;
        size_t nQuote = nSize - nHeader - kIcmpHeaderSize;
        size_t nQuoteHeader = IcmpOffset(pQuote, nQuote);
        if (!nQuoteHeader || nQuote - nQuoteHeader < kIcmpHeaderSize ||
            pQuote[nQuoteHeader] != kTypeEchoRequest)
            return std::nullopt;
        std::memcpy(&key.target.s_addr, pQuote + 16, 4);
        pIcmp = pQuote + nQuoteHeader;
    } else {
        return std::nullopt;
    }
    key.nIdent = ReadU16(pIcmp + 4);
    key.nSequence = ReadU16(pIcmp + 6);
    return key;
}
