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
constexpr uint8_t kType6Unreachable = 1;
constexpr uint8_t kType6PacketTooBig = 2;
constexpr uint8_t kType6TimeExceeded = 3;
constexpr uint8_t kType6ParameterProblem = 4;
constexpr uint8_t kType6EchoRequest = 128;
constexpr uint8_t kType6EchoReply = 129;
constexpr uint8_t kProtocolIcmp = 1;
constexpr uint8_t kNextHeaderIcmp6 = 58;
constexpr size_t kIcmpHeaderSize = 8;
constexpr size_t kIpv6HeaderSize = 40;

uint16_t ReadU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

void WriteU16(uint8_t* p, uint16_t n) {
    p[0] = static_cast<uint8_t>(n >> 8);
    p[1] = static_cast<uint8_t>(n);
}

uint8_t RequestType(bool bIpv6) {
    return bIpv6 ? kType6EchoRequest : kTypeEchoRequest;
}

uint8_t ReplyType(bool bIpv6) {
    return bIpv6 ? kType6EchoReply : kTypeEchoReply;
}

bool HasKey(const uint8_t* pIcmp, const SEchoKey& key) {
    return ReadU16(pIcmp + 4) == key.nIdent && ReadU16(pIcmp + 6) == key.nSequence;
}

// Unreachable, time exceeded, parameter problem and (IPv6) packet too big end
// a probe; a redirect or source quench does not.
bool IsFailureType(uint8_t nType, bool bIpv6) {
    if (bIpv6)
        return nType == kType6Unreachable || nType == kType6PacketTooBig ||
               nType == kType6TimeExceeded || nType == kType6ParameterProblem;
    return nType == kTypeUnreachable || nType == kTypeTimeExceeded ||
           nType == kTypeParameterProblem;
}

// The first 8 bytes of our echo request, sent to the key's target.
bool IsOurRequest(const uint8_t* pIcmp, size_t nSize, const SIpAddress& destination,
                  const SEchoKey& key) {
    return nSize >= kIcmpHeaderSize && destination.SameHost(key.target) &&
           pIcmp[0] == RequestType(key.target.IsIpv6()) && HasKey(pIcmp, key);
}

// The IPv4 header length of a packet, or 0 when it is not a whole IPv4
// header carrying ICMP.
size_t IcmpOffset(const uint8_t* pData, size_t nSize) {
    if (nSize < 20 || pData[0] >> 4 != 4 || pData[9] != kProtocolIcmp)
        return 0;
    size_t nHeader = static_cast<size_t>(pData[0] & 0x0f) * 4;
    return nHeader >= 20 && nHeader <= nSize ? nHeader : 0;
}

// The IP header that an error quotes, of the family asked for: its length,
// with the destination it names, or 0 when it is not a whole header carrying
// ICMP (for IPv6 with no extension header between: our requests carry none).
size_t QuotedHeader(const uint8_t* pQuote, size_t nSize, bool bIpv6, SIpAddress& destination) {
    if (!bIpv6) {
        size_t nHeader = IcmpOffset(pQuote, nSize);
        in_addr address{};
        if (nHeader)
            std::memcpy(&address.s_addr, pQuote + 16, 4);
        destination = address;
        return nHeader;
    }
    if (nSize < kIpv6HeaderSize || pQuote[0] >> 4 != 6 || pQuote[6] != kNextHeaderIcmp6)
        return 0;
    in6_addr address{};
    std::memcpy(&address, pQuote + 24, sizeof address);
    destination = SIpAddress(address);
    return kIpv6HeaderSize;
}

// An error carries the IP header and at least the first 8 bytes of the
// packet it is about; ours when that was our echo request to the target.
bool QuotesOurRequest(const uint8_t* pQuote, size_t nSize, const SEchoKey& key) {
    SIpAddress destination;
    size_t nHeader = QuotedHeader(pQuote, nSize, key.target.IsIpv6(), destination);
    return nHeader && IsOurRequest(pQuote + nHeader, nSize - nHeader, destination, key);
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
    packet[0] = RequestType(key.target.IsIpv6());
    WriteU16(&packet[4], key.nIdent);
    WriteU16(&packet[6], key.nSequence);
    std::copy(kEchoData.begin(), kEchoData.end(), packet.begin() + kIcmpHeaderSize);
    if (!key.target.IsIpv6())
        WriteU16(&packet[2], InternetChecksum(packet.data(), packet.size()));
    return packet;
}

EchoVerdict ClassifyIcmpMessage(const uint8_t* pData, size_t nSize, const SIpAddress& source,
                                const SEchoKey& key) {
    if (nSize < kIcmpHeaderSize)
        return EchoVerdict::kUnrelated;
    const bool bIpv6 = key.target.IsIpv6();
    if (pData[0] == ReplyType(bIpv6)) {
        bool bOurs = pData[1] == 0 && source.SameHost(key.target) && HasKey(pData, key) &&
                     nSize == kEchoRequestSize &&
                     std::equal(kEchoData.begin(), kEchoData.end(), pData + kIcmpHeaderSize);
        return bOurs ? EchoVerdict::kReply : EchoVerdict::kUnrelated;
    }
    bool bOurError = IsFailureType(pData[0], bIpv6) &&
                     QuotesOurRequest(pData + kIcmpHeaderSize, nSize - kIcmpHeaderSize, key);
    return bOurError ? EchoVerdict::kError : EchoVerdict::kUnrelated;
}

EchoVerdict ClassifyIpPacket(const uint8_t* pData, size_t nSize, const SEchoKey& key) {
    size_t nHeader = IcmpOffset(pData, nSize);
    if (!nHeader || key.target.IsIpv6())
        return EchoVerdict::kUnrelated;
    in_addr source{};
    std::memcpy(&source.s_addr, pData + 12, 4);
    return ClassifyIcmpMessage(pData + nHeader, nSize - nHeader, source, key);
}

EchoVerdict ClassifyQueuedError(uint8_t nType, const SIpAddress& quotedTarget,
                                const uint8_t* pQuote, size_t nSize, const SEchoKey& key) {
    return IsFailureType(nType, key.target.IsIpv6()) &&
                   IsOurRequest(pQuote, nSize, quotedTarget, key)
               ? EchoVerdict::kError
               : EchoVerdict::kUnrelated;
}

std::optional<SEchoKey> EchoKeyOfIcmpMessage(const uint8_t* pData, size_t nSize,
                                             const SIpAddress& source) {
    if (nSize < kIcmpHeaderSize)
        return std::nullopt;
    const bool bIpv6 = source.IsIpv6();
    const uint8_t* pIcmp = pData;
    SEchoKey key{};
    if (pData[0] == ReplyType(bIpv6)) {
        key.target = source;
    } else if (IsFailureType(pData[0], bIpv6)) {
        const uint8_t* pQuote = pData + kIcmpHeaderSize;
        size_t nQuote = nSize - kIcmpHeaderSize;
        size_t nQuoteHeader = QuotedHeader(pQuote, nQuote, bIpv6, key.target);
        if (!nQuoteHeader || nQuote - nQuoteHeader < kIcmpHeaderSize ||
            pQuote[nQuoteHeader] != RequestType(bIpv6))
            return std::nullopt;
        pIcmp = pQuote + nQuoteHeader;
    } else {
        return std::nullopt;
    }
    key.nIdent = ReadU16(pIcmp + 4);
    key.nSequence = ReadU16(pIcmp + 6);
    return key;
}

std::optional<SEchoKey> EchoKeyOfIpPacket(const uint8_t* pData, size_t nSize) {
    size_t nHeader = IcmpOffset(pData, nSize);
    if (!nHeader)
        return std::nullopt;
    in_addr source{};
    std::memcpy(&source.s_addr, pData + 12, 4);
    return EchoKeyOfIcmpMessage(pData + nHeader, nSize - nHeader, source);
}
