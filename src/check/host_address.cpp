// SPDX-License-Identifier: Apache-2.0
#include "check/host_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cstring>

namespace {
std::optional<in_addr> LookUpName(const char* pszName) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM; // one entry per address, not one per socket type
    addrinfo* pResult = nullptr;
    if (getaddrinfo(pszName, nullptr, &hints, &pResult) != 0 || !pResult)
        return std::nullopt;
    std::optional<in_addr> address;
    if (pResult->ai_family == AF_INET && pResult->ai_addrlen >= sizeof(sockaddr_in))
        address = reinterpret_cast<const sockaddr_in*>(pResult->ai_addr)->sin_addr;
    freeaddrinfo(pResult);
    return address;
}
} // namespace

std::optional<in_addr> ResolveHostAddress(const std::string& strAddress) {
    if (strAddress.empty() || strAddress.find('\0') != std::string::npos)
        return std::nullopt;
    in_addr address{};
    if (inet_aton(strAddress.c_str(), &address))
        return address;
    return LookUpName(strAddress.c_str());
}

bool NeedsNameLookup(const std::string& strAddress) {
    in_addr address{};
    return !strAddress.empty() && strAddress.find('\0') == std::string::npos &&
           !inet_aton(strAddress.c_str(), &address);
}
