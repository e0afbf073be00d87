// SPDX-License-Identifier: Apache-2.0
// The address a probe goes to: IPv4, or IPv6 with the interface a link-local
// address is reached through.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <string>

struct SIpAddress {
    sa_family_t nFamily = AF_INET;
    in_addr v4{};
    in6_addr v6{};
    uint32_t nScope = 0; // an IPv6 address's zone (interface index), 0 for none

    SIpAddress() = default;
    // Implicit, so that an IPv4 address goes wherever a target's address does.
    SIpAddress(in_addr address) : v4(address) {}
    explicit SIpAddress(const in6_addr& address, uint32_t nScopeId = 0)
        : nFamily(AF_INET6), v6(address), nScope(nScopeId) {}

    bool IsIpv6() const { return nFamily == AF_INET6; }
    // Equal family and address; the zone is not compared, since an address
    // read back from a packet's header carries none.
    bool SameHost(const SIpAddress& other) const;
};

// The socket address of `address` and `nPort` (host byte order) in
// `storage`; its length.
socklen_t ToSocketAddress(const SIpAddress& address, uint16_t nPort, sockaddr_storage& storage);

// The address of a socket address of either family; the port is left out.
SIpAddress FromSocketAddress(const sockaddr_storage& storage);

// The address as inet_ntop writes it, an IPv6 zone after a '%'.
std::string IpAddressText(const SIpAddress& address);
