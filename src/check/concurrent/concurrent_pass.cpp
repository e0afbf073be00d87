#include "check/concurrent/concurrent_pass.h"

#include "check/concurrent/pass_board.h"
#include "check/concurrent/probe_loop.h"
#include "model/item.h"

#include <sys/resource.h>

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

namespace {
// Descriptors left to the rest of the process beside the probes' sockets.
constexpr rlim_t kSpareDescriptors = 64;
constexpr unsigned kMaxLoops = 8;

// The probes the descriptor limit leaves room for, after raising the soft
// limit toward the hard one as far as `nJobs` needs.
int UsableJobs(int nJobs) {
    nJobs = std::max(nJobs, 1);
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return nJobs;
    const rlim_t nWanted = static_cast<rlim_t>(nJobs) + kSpareDescriptors;
    if (limit.rlim_cur < nWanted) {
        rlimit raised = limit;
        raised.rlim_cur =
            limit.rlim_max == RLIM_INFINITY ? nWanted : std::min(nWanted, limit.rlim_max);
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    if (limit.rlim_cur >= nWanted)
        return nJobs;
    return limit.rlim_cur > 2 * kSpareDescriptors
               ? static_cast<int>(limit.rlim_cur - kSpareDescriptors)
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

SPassOutcome RunConcurrentPass(CItemList& list, CStatusSink& sink, int nJobs, int nStopFd) {
    nJobs = UsableJobs(nJobs);
    CPassBoard board(list, sink);
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
