// SPDX-License-Identifier: Apache-2.0
// Stand-in for IsIpv6Literal of check/host_address.h until it lands; removed then.
#pragma once

#include <arpa/inet.h>

#include <string>

inline bool IsIpv6Literal(const std::string& strAddress) {
    std::string text = strAddress;
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']')
        text = text.substr(1, text.size() - 2);
    const size_t nZone = text.find('%');
    if (nZone != std::string::npos && nZone + 1 == text.size())
        return false;
    in6_addr address{};
    return inet_pton(AF_INET6, text.substr(0, nZone).c_str(), &address) == 1;
}
