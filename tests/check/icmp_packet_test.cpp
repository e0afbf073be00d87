// SPDX-License-Identifier: Apache-2.0
#include "check/icmp_packet.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <vector>

namespace {
using Bytes = std::vector<uint8_t>;

in_addr Address(const char* psz) {
    in_addr address{};
    inet_aton(psz, &address);
    return address;
}

const SEchoKey kKey{Address("192.0.2.1"), 0x1234, 0xabcd};

// A 20-byte IPv4 header for ICMP from `pszFrom` to `pszTo`.
Bytes IpHeader(const char* pszFrom, const char* pszTo) {
    Bytes header = {0x45, 0, 0, 0, 0, 0, 0, 0, 64, 1, 0, 0};
    in_addr from = Address(pszFrom), to = Address(pszTo);
    auto* pFrom = reinterpret_cast<const uint8_t*>(&from.s_addr);
    auto* pTo = reinterpret_cast<const uint8_t*>(&to.s_addr);
    header.insert(header.end(), pFrom, pFrom + 4);
    header.insert(header.end(), pTo, pTo + 4);
    return header;
}

Bytes Request(const SEchoKey& key) {
    auto packet = BuildEchoRequest(key);
    return Bytes(packet.begin(), packet.end());
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Reply(uint16_t nIdent, uint16_t nSequence) {
    Bytes reply = {0,
                   0,
                   0,
                   0,
                   uint8_t(nIdent >> 8),
                   uint8_t(nIdent),
                   uint8_t(nSequence >> 8),
                   uint8_t(nSequence)};
    reply.insert(reply.end(), kEchoData.begin(), kEchoData.end());
    return reply;
}

// An ICMP error of `nType` quoting our request (IP header and first 8 bytes).
Bytes ErrorAbout(uint8_t nType, const Bytes& quotedIcmp, const char* pszQuotedTo = "192.0.2.1") {
    Bytes quote = Concat(IpHeader("198.51.100.2", pszQuotedTo), quotedIcmp);
    quote.resize(20 + 8);
    return Concat({nType, 1, 0, 0, 0, 0, 0, 0}, quote);
}

EchoVerdict OverIp(const char* pszFrom, const Bytes& icmp) {
    Bytes packet = Concat(IpHeader(pszFrom, "198.51.100.2"), icmp);
    return ClassifyIpPacket(packet.data(), packet.size(), kKey);
}

EchoVerdict Alone(const char* pszFrom, const Bytes& icmp) {
    return ClassifyIcmpMessage(icmp.data(), icmp.size(), Address(pszFrom), kKey);
}
} // namespace

TEST(IcmpPacket, EchoRequestBytes) {
    // Type 8, code 0, checksum, identifier, sequence, "Hi there!" and a zero.
    const Bytes expected = {8,   0,   0xd5, 0x55, 0x12, 0x34, 0xab, 0xcd, 'H',
                            'i', ' ', 't',  'h',  'e',  'r',  'e',  '!',  0};
    EXPECT_EQ(Request(kKey), expected);
}

TEST(IcmpPacket, OnlyTheTargetsIntactReplyToOurRequestCounts) {
    const Bytes request = Request(kKey);
    for (auto* classify : {&OverIp, &Alone}) {
        EXPECT_EQ(classify("192.0.2.1", Reply(0x1234, 0xabcd)), EchoVerdict::kReply);
        EXPECT_EQ(classify("192.0.2.7", Reply(0x1234, 0xabcd)), EchoVerdict::kUnrelated);
        EXPECT_EQ(classify("192.0.2.1", Reply(0x1235, 0xabcd)), EchoVerdict::kUnrelated);
        EXPECT_EQ(classify("192.0.2.1", Reply(0x1234, 0xabce)), EchoVerdict::kUnrelated);
        Bytes altered = Reply(0x1234, 0xabcd);
        altered[10] = 'I';
        EXPECT_EQ(classify("192.0.2.1", altered), EchoVerdict::kUnrelated);
        Bytes longer = Concat(Reply(0x1234, 0xabcd), {0});
        EXPECT_EQ(classify("192.0.2.1", longer), EchoVerdict::kUnrelated);
        Bytes shorter = Reply(0x1234, 0xabcd);
        shorter.resize(12);
        EXPECT_EQ(classify("192.0.2.1", shorter), EchoVerdict::kUnrelated);
        Bytes nonzeroCode = Reply(0x1234, 0xabcd);
        nonzeroCode[1] = 1;
        EXPECT_EQ(classify("192.0.2.1", nonzeroCode), EchoVerdict::kUnrelated);
        // Our own request, looped back to a raw socket.
        EXPECT_EQ(classify("192.0.2.1", request), EchoVerdict::kUnrelated);
        EXPECT_EQ(classify("192.0.2.1", {0, 0, 0}), EchoVerdict::kUnrelated);
    }
}

// A datagram socket's error queue hands over the error's type, the quoted
// request's destination and the quoted ICMP message. The kernel queues every
// error quoting the socket's identifier; only our sequence and target count.
TEST(IcmpPacket, QueuedErrorsCountOnlyWhenTheyQuoteOurRequest) {
    const Bytes request = Request(kKey);
    const Bytes cut7(request.begin(), request.begin() + 7);
    const Bytes cut8(request.begin(), request.begin() + 8);
    const struct {
        uint8_t nType;
        const char* pszQuotedTo;
        Bytes quote;
        EchoVerdict expected;
    } cases[] = {
        {3, "192.0.2.1", request, EchoVerdict::kError},
        {11, "192.0.2.1", request, EchoVerdict::kError},
        {12, "192.0.2.1", request, EchoVerdict::kError},
        {3, "192.0.2.1", cut8, EchoVerdict::kError},        // the 8 bytes an error must carry
        {5, "192.0.2.1", request, EchoVerdict::kUnrelated}, // redirect
        {4, "192.0.2.1", request, EchoVerdict::kUnrelated}, // source quench
        {0, "192.0.2.1", request, EchoVerdict::kUnrelated},
        {3, "192.0.2.2", request, EchoVerdict::kUnrelated}, // another target
        {3, "192.0.2.1", Request({kKey.target, 0x1234, 0xabce}), EchoVerdict::kUnrelated},
        {3, "192.0.2.1", Request({kKey.target, 0x1235, 0xabcd}), EchoVerdict::kUnrelated},
        {3, "192.0.2.1", Reply(0x1234, 0xabcd), EchoVerdict::kUnrelated}, // not a request
        {3, "192.0.2.1", cut7, EchoVerdict::kUnrelated},
        {3, "192.0.2.1", {}, EchoVerdict::kUnrelated},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClassifyQueuedError(c.nType, Address(c.pszQuotedTo), c.quote.data(),
                                      c.quote.size(), kKey),
                  c.expected)
            << "type " << int(c.nType) << " quoting " << c.pszQuotedTo << ", " << c.quote.size()
            << " bytes";
}

TEST(IcmpPacket, ErrorsQuotingOurRequestEndTheProbe) {
    const Bytes request = Request(kKey);
    for (auto* classify : {&OverIp, &Alone}) {
        // Unreachable, time exceeded and parameter problem, from a router.
        for (uint8_t nType : {3, 11, 12})
            EXPECT_EQ(classify("198.51.100.1", ErrorAbout(nType, request)), EchoVerdict::kError);
        // A redirect or source quench is not a failure.
        EXPECT_EQ(classify("198.51.100.1", ErrorAbout(5, request)), EchoVerdict::kUnrelated);
        EXPECT_EQ(classify("198.51.100.1", ErrorAbout(4, request)), EchoVerdict::kUnrelated);
        // Errors about another probe's request, or another target.
        Bytes other = Request({kKey.target, 0x1235, 0xabcd});
        EXPECT_EQ(classify("198.51.100.1", ErrorAbout(3, other)), EchoVerdict::kUnrelated);
        EXPECT_EQ(classify("198.51.100.1", ErrorAbout(3, request, "192.0.2.2")),
                  EchoVerdict::kUnrelated);
        // A quote cut short of the request's header.
        Bytes cut = ErrorAbout(3, request);
        cut.resize(cut.size() - 1);
        EXPECT_EQ(classify("198.51.100.1", cut), EchoVerdict::kUnrelated);
    }
}

TEST(IcmpPacket, RejectsMalformedIpHeaders) {
    Bytes packet = Concat(IpHeader("192.0.2.1", "198.51.100.2"), Reply(0x1234, 0xabcd));
    EXPECT_EQ(ClassifyIpPacket(packet.data(), packet.size(), kKey), EchoVerdict::kReply);
    Bytes wrong = packet;
    wrong[9] = 6; // TCP
    EXPECT_EQ(ClassifyIpPacket(wrong.data(), wrong.size(), kKey), EchoVerdict::kUnrelated);
    wrong = packet;
    wrong[0] = 0x4f; // header longer than the packet
    EXPECT_EQ(ClassifyIpPacket(wrong.data(), 40, kKey), EchoVerdict::kUnrelated);
    wrong[0] = 0x44; // header shorter than 20 bytes
    EXPECT_EQ(ClassifyIpPacket(wrong.data(), wrong.size(), kKey), EchoVerdict::kUnrelated);
    wrong[0] = 0x65; // IPv6
    EXPECT_EQ(ClassifyIpPacket(wrong.data(), wrong.size(), kKey), EchoVerdict::kUnrelated);
    EXPECT_EQ(ClassifyIpPacket(packet.data(), 19, kKey), EchoVerdict::kUnrelated);
}

// ICMPv6: the kernel fills in the checksum, and an error quotes the 40-byte
// IPv6 header of our request. Replies and forged quotes are met on real
// sockets by the namespace tests; here the error types and the quoted header.
TEST(IcmpPacket, Ipv6ErrorsOfEveryFailureTypeQuotingOurRequestEndTheProbe) {
    in6_addr target{}, router{};
    inet_pton(AF_INET6, "2001:db8::1", &target);
    inet_pton(AF_INET6, "2001:db8::fe", &router);
    const SEchoKey key{SIpAddress(target), 0x1234, 0xabcd};
    const Bytes request = Request(key);
    EXPECT_EQ(Bytes(request.begin(), request.begin() + 8),
              Bytes({128, 0, 0, 0, 0x12, 0x34, 0xab, 0xcd}));
    for (uint8_t nNextHeader : {58, 0})
        for (uint8_t nType : {1, 2, 3, 4, 137, 129}) {
            Bytes error = {nType, 0, 0, 0, 0, 0, 0, 0, 0x60, 0, 0, 0, 0, 18, nNextHeader, 64};
            error.insert(error.end(), router.s6_addr, router.s6_addr + 16);
            error.insert(error.end(), target.s6_addr, target.s6_addr + 16);
            error = Concat(error, request);
            const bool bFailure = nNextHeader == 58 && nType <= 4;
            EXPECT_EQ(ClassifyIcmpMessage(error.data(), error.size(), SIpAddress(router), key),
                      bFailure ? EchoVerdict::kError : EchoVerdict::kUnrelated)
                << "type " << int(nType) << ", next header " << int(nNextHeader);
            EXPECT_EQ(ClassifyQueuedError(nType, SIpAddress(target), request.data(), 8, key),
                      nType <= 4 ? EchoVerdict::kError : EchoVerdict::kUnrelated);
        }
}
