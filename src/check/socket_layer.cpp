// SPDX-License-Identifier: Apache-2.0
#include "check/socket_layer.h"

#include <sys/socket.h>
#include <unistd.h>

bool SocketLayerAvailable() {
    const int nFd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (nFd < 0)
        return false;
    close(nFd);
    return true;
}
