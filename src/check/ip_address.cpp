// SPDX-License-Identifier: Apache-2.0
#include "check/ip_address.h"

#include <arpa/inet.h>

#include <cstring>

bool SIpAddress::SameHost(const SIpAddress& other) const {
    if (nFamily != other.nFamily)
        return false;
    return IsIpv6() ? std::memcmp(&v6, &other.v6, sizeof v6) == 0 : v4.s_addr == other.v4.s_addr;
}

socklen_t ToSocketAddress(const SIpAddress& address, uint16_t nPort, sockaddr_storage& storage) {
    storage = {};
    if (address.IsIpv6()) {
        auto& to = reinterpret_cast<sockaddr_in6&>(storage);
        to.sin6_family = AF_INET6;
        to.sin6_addr = address.v6;
        to.sin6_port = htons(nPort);
        to.sin6_scope_id = address.nScope;
        return sizeof to;
    }
    auto& to = reinterpret_cast<sockaddr_in&>(storage);
    to.sin_family = AF_INET;
    to.sin_addr = address.v4;
    to.sin_port = htons(nPort);
    return sizeof to;
}

SIpAddress FromSocketAddress(const sockaddr_storage& storage) {
    if (storage.ss_family == AF_INET6) {
        const auto& from = reinterpret_cast<const sockaddr_in6&>(storage);
        return SIpAddress(from.sin6_addr, from.sin6_scope_id);
    }
    return SIpAddress(reinterpret_cast<const sockaddr_in&>(storage).sin_addr);
}

std::string IpAddressText(const SIpAddress& address) {
    char text[INET6_ADDRSTRLEN] = "";
    inet_ntop(address.nFamily,
              address.IsIpv6() ? static_cast<const void*>(&address.v6)
                               : static_cast<const void*>(&address.v4),
              text, sizeof text);
    std::string strText = text;
    // Appended piece by piece: GCC 12 at -O2 and above warns, wrongly, of an
    // overlapping copy (-Wrestrict) in a literal + a temporary string.
    if (address.IsIpv6() && address.nScope)
        strText.append(1, '%').append(std::to_string(address.nScope));
    return strText;
}
