// SPDX-License-Identifier: Apache-2.0
#include "icmp_access.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <initializer_list>

bool CanOpenIcmpSocket() {
    for (int nType : {SOCK_DGRAM, SOCK_RAW}) {
        int nFd = socket(AF_INET, nType | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (nFd >= 0) {
            close(nFd);
            return true;
        }
    }
    return false;
}
