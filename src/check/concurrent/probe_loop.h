// CProbeLoop: one thread's share of a concurrent pass. It takes targets from
// the pass's board in list order and keeps up to its number of probes in
// flight on one epoll set, every socket non-blocking, as fping and mtr keep
// their echoes in flight; each result goes back to the board.
#pragma once

#include "check/icmp_socket.h"
#include "check/concurrent/name_resolver.h"
#include "check/concurrent/pass_board.h"
#include "check/tcp_probe.h"

#include <sys/epoll.h>

#include <deque>
#include <memory>
#include <unordered_map>
#include <vector>

class CProbeLoop {
public:
    using Clock = IcmpClock;

    // Up to `nJobs` probes at once; ends at once when `nStopFd` (-1: none)
    // becomes readable, telling the board.
    CProbeLoop(CPassBoard& board, int nJobs, int nStopFd);
    CProbeLoop(const CProbeLoop&) = delete;
    CProbeLoop& operator=(const CProbeLoop&) = delete;
    ~CProbeLoop();

    // Returns once no target is left to take and its own probes have ended,
    // or the pass was stopped.
    void Run();

private:
    enum class ESlotState { kFree, kResolving, kWaiting, kEcho, kSharedEcho, kConnect };

    // One probe in flight.
    struct SSlot {
        ESlotState state = ESlotState::kFree;
        uint32_t nGeneration = 0; // tells a stale event from one about this probe
        size_t nRow = 0;
        Clock::time_point start;
        Clock::time_point deadline; // an echo's
        in_addr address{};          // where a waiting probe goes
        SIcmpSocket echo;           // a datagram echo's own socket
        SEchoKey key{};
        STcpAttempt connect;
    };

    bool Watch(int nFd, uint32_t nEvents, uint64_t nTag);
    void StartProbes();
    void StartProbe(size_t nRow);
    void Begin(uint32_t nSlot, in_addr address);
    void BeginEcho(uint32_t nSlot, in_addr address);
    void BeginSharedEcho(uint32_t nSlot, in_addr address);
    void BeginConnect(uint32_t nSlot, in_addr address, uint16_t nPort);
    void Finish(uint32_t nSlot, int32_t nResult);
    void WaitForDescriptor(uint32_t nSlot, in_addr address);
    void RetryWaiting();
    void OnEvent(const epoll_event& event);
    void OnResolved();
    void OnRawPackets();
    void ExpireDeadlines();
    int WaitMilliseconds() const;
    void RunOneByOne();

    CPassBoard& m_board;
    int m_nStopFd;
    std::vector<SSlot> m_slots;
    std::vector<uint32_t> m_freeSlots;
    size_t m_nInFlight = 0;
    CFileDescriptor m_epoll;
    // Echo deadlines in the order the echoes began, which is their order
    // too; entries of probes ended early stay until they reach the front.
    std::deque<std::pair<Clock::time_point, uint64_t>> m_deadlines;
    // One raw socket serves every echo of the loop when datagram sockets are
    // refused: raw sockets each get a copy of every ICMP packet, so one per
    // probe would multiply the work by the probes in flight.
    CFileDescriptor m_raw;
    std::unordered_map<uint64_t, uint32_t> m_rawProbes; // echo key -> slot
    std::unique_ptr<CNameResolver> m_pResolver;
    // Probes whose socket found no descriptor free, earliest row first: they
    // try again once one of this loop's probes has ended, or after a pause
    // that grows while none comes free; no new probe starts meanwhile.
    std::deque<uint32_t> m_waiting;
    Clock::time_point m_retryAt;
    std::chrono::milliseconds m_retryPause{0};
    Clock::time_point m_shortSince; // when the waiting began
};
