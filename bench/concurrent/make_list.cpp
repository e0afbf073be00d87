// SPDX-License-Identifier: Apache-2.0
// Writes a list file of many targets for the concurrent check benchmarks,
// through the storage layer's writer, and prints each target's address on
// standard output, one a line (what fping reads with -f):
//   make_list FILE icmp FIRST_ADDRESS COUNT
//       COUNT ICMP echo targets from FIRST_ADDRESS on, one address after the
//       other (10.88.0.1, 10.88.0.2, ..., 10.88.1.0, ...; or IPv6:
//       fd00:88::1, fd00:88::2, ..., fd00:88::a, ...);
//   make_list FILE tcp ADDRESS COUNT PORT...
//       COUNT TCP targets on ADDRESS, taking the ports in turn.
#include "storage/list_file.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {
int Usage() {
    std::fputs("usage: make_list FILE icmp FIRST_ADDRESS COUNT\n"
               "       make_list FILE tcp ADDRESS COUNT PORT...\n",
               stderr);
    return 2;
}

// The address n after `first` (IPv4 or IPv6, in network byte order, nBytes
// long), as text.
std::string AddressText(int nFamily, const uint8_t* pFirst, size_t nBytes, unsigned long n) {
    uint8_t address[16];
    std::memcpy(address, pFirst, nBytes);
    for (size_t i = nBytes; i-- > 0 && n;) { // n, with its carries, added from the last byte up
        const unsigned long nSum = address[i] + (n & 0xff);
        address[i] = static_cast<uint8_t>(nSum);
        n = (n >> 8) + (nSum >> 8);
    }
    char text[INET6_ADDRSTRLEN];
    return inet_ntop(nFamily, address, text, sizeof text);
}

void AddTarget(CItemList& list, int32_t nMode, std::string strAddress, int32_t nPort) {
    auto* pItem = new CItem;
    pItem->m_nMode = nMode;
    pItem->m_strAddress = std::move(strAddress);
    pItem->m_nPort = nPort;
    std::printf("%s\n", pItem->m_strAddress.c_str());
    list.AddTail(pItem);
}
} // namespace

int main(int argc, char** argv) {
    if (argc < 5)
        return Usage();
    const std::string strKind = argv[2];
    const long nCount = std::atol(argv[4]);
    uint8_t first[16];
    const int nFamily = std::strchr(argv[3], ':') ? AF_INET6 : AF_INET;
    if (inet_pton(nFamily, argv[3], first) != 1 || nCount < 0)
        return Usage();
    CItemList list;
    if (strKind == "icmp" && argc == 5) {
        for (long i = 0; i < nCount; ++i)
            AddTarget(list, kProbeIcmp,
                      AddressText(nFamily, first, nFamily == AF_INET6 ? 16 : 4,
                                  static_cast<unsigned long>(i)),
                      80);
    } else if (strKind == "tcp" && argc > 5) {
        std::vector<int32_t> ports;
        for (int i = 5; i < argc; ++i)
            ports.push_back(std::atoi(argv[i]));
        for (long i = 0; i < nCount; ++i)
            AddTarget(list, kProbeTcp, argv[3], ports[static_cast<size_t>(i) % ports.size()]);
    } else {
        return Usage();
    }
    WriteListFile(argv[1], list);
    return 0;
}
