// SPDX-License-Identifier: Apache-2.0
// CProbeLoop: one thread's share of a concurrent pass. It takes targets from
// the pass's board in list order and keeps up to its number of probes in
// flight on one epoll set, every socket non-blocking, as fping and mtr keep
// their echoes in flight; each result goes back to the board. A target may
// take several probes (the board's settings), which its CProbeSeries counts,
// paces and judges: its echoes share one socket and go out without waiting
// for one another; its connects go one after the other. The loop holds the
// sockets, the deadlines and the queue of what is due, and sends.
#pragma once

#include "check/concurrent/name_resolver.h"
#include "check/concurrent/pass_board.h"
#include "check/concurrent/probe_series.h"
#include "check/icmp_socket.h"
#include "check/tcp_probe.h"

#include <sys/epoll.h>

#include <ctime>
#include <deque>
#include <memory>
#include <optional>
#include <queue>
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

    // Something due for a probe at a time: its deadline, or its sending.
    struct SDue {
        Clock::time_point at;
        uint64_t nTag;
        uint16_t nProbe;
        bool operator>(const SDue& other) const { return at > other.at; }
    };
    using DueQueue = std::priority_queue<SDue, std::vector<SDue>, std::greater<SDue>>;

    // One target in flight.
    struct SSlot {
        ESlotState state = ESlotState::kFree;
        uint32_t nGeneration = 0; // tells a stale event from one about this probe
        size_t nRow = 0;
        Clock::time_point start;
        Clock::time_point deadline; // an echo's
        SIpAddress address;         // where a waiting probe goes
        SIcmpSocket echo;           // a datagram echo's own socket
        SEchoKey key{};
        STcpAttempt connect;
        uint16_t nPort = 0;
        CProbeSeries series; // its probes, what they measured, its result
    };

    bool Watch(int nFd, uint32_t nEvents, uint64_t nTag);
    void StartProbes();
    void StartProbe(size_t nRow);
    void Begin(uint32_t nSlot, const SIpAddress& address);
    void BeginEcho(uint32_t nSlot, const SIpAddress& address);
    void BeginSharedEcho(uint32_t nSlot, const SIpAddress& address);
    void BeginConnect(uint32_t nSlot, const SIpAddress& address, uint16_t nPort);
    void SendEcho(uint32_t nSlot);
    void StartConnect(uint32_t nSlot);
    void OnConnectEnded(uint32_t nSlot, int32_t nResult);
    void OnEchoAnswer(uint32_t nSlot, uint16_t nSequence, EchoVerdict verdict,
                      const std::optional<timespec>& stamp);
    void EndProbe(uint32_t nSlot, uint16_t nProbe, bool bAnswered, double dRtt);
    void SendDue();
    void Finish(uint32_t nSlot, int32_t nResult);
    void Report(size_t nRow, int32_t nResult, double dSeconds, const STargetMeasure& measure);
    void WaitForDescriptor(uint32_t nSlot, const SIpAddress& address);
    void RetryWaiting();
    void OnEvent(const epoll_event& event);
    void OnResolved();
    void OnRawPackets(bool bIpv6);
    void ExpireDeadlines();
    int WaitMilliseconds() const;
    void RunOneByOne();

    CPassBoard& m_board;
    const SMeasureSettings& m_settings;
    std::chrono::microseconds m_echoTimeout;
    int m_nStopFd;
    std::vector<SSlot> m_slots;
    std::vector<uint32_t> m_freeSlots;
    size_t m_nInFlight = 0;
    CFileDescriptor m_epoll;
    // Probe deadlines, earliest first; entries of probes ended early stay
    // until they reach the front.
    DueQueue m_deadlines;
    // The next echo or connect of each target that has more to send.
    DueQueue m_sends;
    // One raw socket per family serves every echo of the loop when datagram
    // sockets are refused: raw sockets each get a copy of every ICMP packet,
    // so one per probe would multiply the work by the probes in flight.
    CFileDescriptor m_raw[2]; // IPv4, IPv6
    struct SKeyHash {
        size_t operator()(const SEchoKey& key) const;
    };
    struct SKeyEqual {
        bool operator()(const SEchoKey& a, const SEchoKey& b) const;
    };
    std::unordered_map<SEchoKey, uint32_t, SKeyHash, SKeyEqual> m_rawProbes; // echo key -> slot
    std::unique_ptr<CNameResolver> m_pResolver;
    // Probes whose socket found no descriptor free, earliest row first: they
    // try again once one of this loop's probes has ended, or after a pause
    // that grows while none comes free; no new probe starts meanwhile.
    std::deque<uint32_t> m_waiting;
    Clock::time_point m_retryAt;
    std::chrono::milliseconds m_retryPause{0};
    Clock::time_point m_shortSince; // when the waiting began
};
