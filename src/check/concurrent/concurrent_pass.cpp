// SPDX-License-Identifier: Apache-2.0
#include "check/concurrent/concurrent_pass.h"

#include "check/concurrent/pass_board.h"
#include "check/concurrent/probe_loop.h"
#include "model/item.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

namespace {
// Descriptors left to the rest of the pass beside the probes' sockets: the
// loops' epoll sets and raw sockets, the name lookups' threads (each may
// open a socket and the files NSS reads), the log file's record by record.
constexpr rlim_t kSpareDescriptors = 64;
constexpr unsigned kMaxLoops = 8;

// How many descriptors the process has open: the entries of /proc/self/fd
// less the one reading it; without /proc, those of the first 65536 numbers
// that are open.
rlim_t OpenDescriptors() {
    rlim_t nOpen = 0;
    if (DIR* pDir = opendir("/proc/self/fd")) {
        while (const dirent* pEntry = readdir(pDir))
            nOpen += pEntry->d_name[0] != '.' ? 1 : 0;
        closedir(pDir);
        return nOpen > 0 ? nOpen - 1 : 0;
    }
    for (int nFd = 0; nFd < 65536; ++nFd)
        nOpen += fcntl(nFd, F_GETFD) >= 0 ? 1 : 0;
    return nOpen;
}

// The probes the descriptors still free leave room for, after raising the
// soft limit toward the hard one as far as `nJobs` needs. A probe that finds
// none free all the same waits for one (see CProbeLoop).
int UsableJobs(int nJobs) {
    nJobs = std::max(nJobs, 1);
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return nJobs;
    const rlim_t nOpen = OpenDescriptors();
    const rlim_t nWanted = static_cast<rlim_t>(nJobs) + kSpareDescriptors + nOpen;
    if (limit.rlim_cur < nWanted) {
        rlimit raised = limit;
        raised.rlim_cur =
            limit.rlim_max == RLIM_INFINITY ? nWanted : std::min(nWanted, limit.rlim_max);
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    if (limit.rlim_cur >= nWanted)
        return nJobs;
    return limit.rlim_cur > nOpen + 2 * kSpareDescriptors
               ? static_cast<int>(limit.rlim_cur - nOpen - kSpareDescriptors)
               : 1;
}

// One loop per processor for connects: the kernel sets up and tears down a
// connection (on loopback, the whole handshake) on the thread that asks, so
// a single loop keeps one processor busy however many it has in flight.
// Echoes cost the loop little, and their datagram sockets, opened and closed
// by the thousand, would only meet on the kernel's lock of the ping socket
// table: a list of echoes alone gets one loop.
int LoopCount(int nJobs, const CPassBoard& board) {
    size_t nConnects = 0;
    for (size_t nRow = 0; nRow < board.Count() && nConnects < kMaxLoops; ++nRow)
        nConnects += board.Item(nRow).IsIcmp() ? 0 : 1;
    unsigned nLoops = std::clamp(std::thread::hardware_concurrency(), 1u, kMaxLoops);
    nLoops = std::min<size_t>(nLoops, std::max<size_t>(nConnects, 1));
    return std::min(static_cast<int>(nLoops), nJobs);
}
} // namespace

SPassOutcome RunConcurrentPass(CItemList& list, CStatusSink& sink, int nJobs, int nStopFd,
                               const SMeasureSettings* pMeasure) {
    nJobs = UsableJobs(nJobs);
    CPassBoard board(list, sink, pMeasure);
    const int nLoops = LoopCount(nJobs, board);
    std::vector<std::thread> helpers;
    int nOwnJobs = nJobs;
    for (int i = 1; i < nLoops; ++i) {
        const int nShare = nJobs / nLoops + (i < nJobs % nLoops ? 1 : 0);
        try {
            helpers.emplace_back(
                [&board, nShare, nStopFd] { CProbeLoop(board, nShare, nStopFd).Run(); });
        } catch (const std::system_error&) {
            break; // the loops started, this one among them, share the targets
        }
        nOwnJobs -= nShare;
    }
    CProbeLoop(board, nOwnJobs, nStopFd).Run();
    for (std::thread& helper : helpers)
        helper.join();
    return board.Outcome();
}
