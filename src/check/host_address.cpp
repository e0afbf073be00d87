// SPDX-License-Identifier: Apache-2.0
#include "check/host_address.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netdb.h>

#include <cstring>

namespace {
// The first address of `nFamily` that `pszName` has.
std::optional<SIpAddress> LookUpName(const char* pszName, int nFamily) {
    addrinfo hints{};
    hints.ai_family = nFamily;
    hints.ai_socktype = SOCK_STREAM; // one entry per address, not one per socket type
    addrinfo* pResult = nullptr;
    if (getaddrinfo(pszName, nullptr, &hints, &pResult) != 0 || !pResult)
        return std::nullopt;
    std::optional<SIpAddress> address;
    if (pResult->ai_family == AF_INET && pResult->ai_addrlen >= sizeof(sockaddr_in))
        address = reinterpret_cast<const sockaddr_in*>(pResult->ai_addr)->sin_addr;
    else if (pResult->ai_family == AF_INET6 && pResult->ai_addrlen >= sizeof(sockaddr_in6))
        address =
            SIpAddress(reinterpret_cast<const sockaddr_in6*>(pResult->ai_addr)->sin6_addr,
                       reinterpret_cast<const sockaddr_in6*>(pResult->ai_addr)->sin6_scope_id);
    freeaddrinfo(pResult);
    return address;
}

// A name is asked for IPv4 first, as it always was, and for IPv6 only when
// that found nothing, whatever the reason: an IPv6-only name of the hosts
// file must resolve on a machine whose name server cannot be reached, where
// the IPv4 lookup ends in the server's silence after the file.
std::optional<SIpAddress> LookUpName(const char* pszName) {
    std::optional<SIpAddress> address = LookUpName(pszName, AF_INET);
    return address ? address : LookUpName(pszName, AF_INET6);
}

struct SIpv6Literal {
    in6_addr address{};
    std::string strZone;
};

std::string WithoutBrackets(const std::string& strText) {
    const bool bBracketed = strText.size() >= 2 && strText.front() == '[' && strText.back() == ']';
    return bBracketed ? strText.substr(1, strText.size() - 2) : strText;
}

// "ADDRESS", "ADDRESS%ZONE", or either in brackets.
std::optional<SIpv6Literal> ParseIpv6Literal(const std::string& strLiteral) {
    std::string strText = WithoutBrackets(strLiteral);
    SIpv6Literal literal;
    const size_t nPercent = strText.find('%');
    if (nPercent != std::string::npos) {
        literal.strZone = strText.substr(nPercent + 1);
        if (literal.strZone.empty())
            return std::nullopt;
        strText.resize(nPercent);
    }
    if (inet_pton(AF_INET6, strText.c_str(), &literal.address) != 1)
        return std::nullopt;
    return literal;
}

// A zone is an interface's name or its index in decimal; 0 when it names none.
uint32_t ZoneIndex(const std::string& strZone) {
    if (strZone.empty())
        return 0;
    if (strZone.find_first_not_of("0123456789") == std::string::npos && strZone.size() <= 10) {
        const unsigned long nIndex = std::stoul(strZone);
        return nIndex <= UINT32_MAX ? static_cast<uint32_t>(nIndex) : 0;
    }
    return if_nametoindex(strZone.c_str());
}

bool IsUsableText(const std::string& strAddress) {
    return !strAddress.empty() && strAddress.find('\0') == std::string::npos;
}

bool IsDotted(const std::string& strAddress, in_addr& address) {
    return inet_aton(strAddress.c_str(), &address) != 0;
}
} // namespace

std::optional<SIpAddress> ResolveHostAddress(const std::string& strAddress) {
    if (!IsUsableText(strAddress))
        return std::nullopt;
    in_addr address{};
    if (IsDotted(strAddress, address))
        return address;
    if (std::optional<SIpv6Literal> literal = ParseIpv6Literal(strAddress)) {
        if (IN6_IS_ADDR_V4MAPPED(&literal->address)) {
            std::memcpy(&address.s_addr, &literal->address.s6_addr[12], 4);
            return address;
        }
        const uint32_t nScope = ZoneIndex(literal->strZone);
        if (!literal->strZone.empty() && nScope == 0)
            return std::nullopt;
        return SIpAddress(literal->address, nScope);
    }
    return LookUpName(strAddress.c_str());
}

bool NeedsNameLookup(const std::string& strAddress) {
    in_addr address{};
    return IsUsableText(strAddress) && !IsDotted(strAddress, address) &&
           !ParseIpv6Literal(strAddress);
}

bool IsIpv6Literal(const std::string& strAddress) {
    return IsUsableText(strAddress) && ParseIpv6Literal(strAddress).has_value();
}

std::string WithoutIpv6Brackets(const std::string& strAddress) {
    return IsIpv6Literal(strAddress) ? WithoutBrackets(strAddress) : strAddress;
}
