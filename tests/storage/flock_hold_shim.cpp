// SPDX-License-Identifier: Apache-2.0
// Preloaded (LD_PRELOAD) into an ostrel-cli run by the storage tests: holds
// the process at its N-th flock(2), before that lock is taken.
// OSTREL_TEST_HOLD="ARRIVED,GO,N" names two inherited pipe ends: a byte is
// written to ARRIVED when the N-th lock is reached, and the lock is taken
// once a byte can be read from GO. Every call goes on to the kernel.
#include <cstdio>
#include <cstdlib>
#include <sys/file.h>
#include <sys/syscall.h>
#include <unistd.h>

int flock(int fd, int operation) noexcept {
    static int calls = 0;
    int arrived = -1, go = -1, n = 0;
    const char* hold = std::getenv("OSTREL_TEST_HOLD");
    if (hold && std::sscanf(hold, "%d,%d,%d", &arrived, &go, &n) == 3 && ++calls == n) {
        char byte = 0;
        [[maybe_unused]] ssize_t n = ::write(arrived, &byte, 1);
        n = ::read(go, &byte, 1);
    }
    return static_cast<int>(::syscall(SYS_flock, fd, operation));
}
