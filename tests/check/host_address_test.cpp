// SPDX-License-Identifier: Apache-2.0
#include "check/host_address.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>

namespace {
std::string Resolved(const std::string& strAddress) {
    std::optional<SIpAddress> address = ResolveHostAddress(strAddress);
    return address ? IpAddressText(*address) : "none";
}
} // namespace

// Only numbers-and-dots forms here, and names of /etc/hosts: no lookup leaves
// the machine. Unknown names are tried inside a private namespace.
TEST(HostAddress, TakesNumbersAndDotsFormsAsTheyStand) {
    EXPECT_EQ(Resolved("192.0.2.1"), "192.0.2.1");
    EXPECT_EQ(Resolved("127.1"), "127.0.0.1");
    EXPECT_EQ(Resolved("127.0.258"), "127.0.1.2");
    EXPECT_EQ(Resolved("0x7f.1"), "127.0.0.1");
    EXPECT_EQ(Resolved("0177.0.0.01"), "127.0.0.1");
    EXPECT_EQ(Resolved("2130706433"), "127.0.0.1");
    EXPECT_EQ(Resolved("255.255.255.255"), "255.255.255.255");
    EXPECT_EQ(Resolved("127.0.0.1 trailing words"), "127.0.0.1");
}

TEST(HostAddress, RefusesEmptyTextAndZeroBytes) {
    EXPECT_EQ(Resolved(""), "none");
    EXPECT_EQ(Resolved(std::string("127.0.0.1\0.evil", 15)), "none");
    EXPECT_EQ(Resolved(std::string("\0", 1)), "none");
}

TEST(HostAddress, LooksUpNamesOfTheHostsFile) {
    EXPECT_EQ(Resolved("localhost"), "127.0.0.1");
}

// IPv6 forms are taken as they stand too; none of them is looked up.
TEST(HostAddress, TakesIpv6AddressesAsTheyStand) {
    struct SCase {
        const char* pszText;
        const char* pszResolved;
        bool bIpv6Literal;
    };
    for (const SCase& c : std::initializer_list<SCase>{
             {"::1", "::1", true},
             {"[::1]", "::1", true},
             {"2001:DB8:0::7", "2001:db8::7", true},
             {"fe80::1%lo", "fe80::1%1", true},
             {"[fe80::1%1]", "fe80::1%1", true},
             {"fe80::1%ostrel-no-if", "none", true},
             {"::ffff:127.0.0.2", "127.0.0.2", true},
             {"127.0.0.1", "127.0.0.1", false},
             {"localhost", "127.0.0.1", false},
         }) {
        EXPECT_EQ(Resolved(c.pszText), c.pszResolved) << c.pszText;
        EXPECT_EQ(IsIpv6Literal(c.pszText), c.bIpv6Literal) << c.pszText;
        EXPECT_EQ(NeedsNameLookup(c.pszText), std::string(c.pszText) == "localhost") << c.pszText;
    }
}
