#include "check/concurrent_pass.h"

#include "check/check_pass.h"
#include "check/host_address.h"
#include "check/icmp_socket.h"
#include "check/name_resolver.h"
#include "check/tcp_probe.h"
#include "model/item_list.h"

#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <memory>
#include <unordered_map>
#include <vector>

namespace {
using Clock = IcmpClock;

// Event tags beside the probe slots' indexes.
constexpr uint32_t kStopTag = 0xffffffff;
constexpr uint32_t kRawTag = 0xfffffffe;
constexpr uint32_t kResolverTag = 0xfffffffd;

constexpr int kResolverThreads = 8;
constexpr int kEventsPerWait = 256;
// Probes started between two looks at the events, so that a list whose
// probes all end at once (refused loopback ports) still hears a stop.
constexpr int kStartsPerRound = 256;
// Packets read from the shared raw socket at one wake-up; the rest wait for
// the next, after the deadlines have been looked at.
constexpr int kRawPacketsPerWake = 1024;
// Room for a burst of answers: a thousand replies in one moment must not
// overflow the queue, which every ICMP packet of the host shares.
constexpr int kRawBufferBytes = 8 << 20;
// Descriptors left to the rest of the process beside the probes' sockets.
constexpr rlim_t kSpareDescriptors = 64;

enum class ESlotState { kFree, kResolving, kEcho, kSharedEcho, kConnect };

// One probe in flight.
struct SSlot {
    ESlotState state = ESlotState::kFree;
    uint32_t nGeneration = 0; // tells a stale event from one about this probe
    size_t nRow = 0;
    Clock::time_point start;
    Clock::time_point deadline; // an echo's
    SIcmpSocket echo;           // a datagram echo's own socket
    SEchoKey key{};
    STcpAttempt connect;
};

uint64_t Tag(uint32_t nSlot, uint32_t nGeneration) {
    return static_cast<uint64_t>(nGeneration) << 32 | nSlot;
}

uint64_t KeyId(const SEchoKey& key) {
    return static_cast<uint64_t>(key.target.s_addr) << 32 |
           static_cast<uint64_t>(key.nIdent) << 16 | key.nSequence;
}

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

class CConcurrentPass {
public:
    CConcurrentPass(CItemList& list, CStatusSink& sink, int nJobs, int nStopFd)
        : m_list(list), m_sink(sink), m_nStopFd(nStopFd), m_nJobs(UsableJobs(nJobs)) {}

    SPassOutcome Run();

private:
    bool Watch(int nFd, uint32_t nEvents, uint64_t nTag);
    void StartProbes();
    void StartProbe(size_t nRow);
    void Begin(uint32_t nSlot, in_addr address);
    void BeginEcho(uint32_t nSlot, in_addr address);
    void BeginSharedEcho(uint32_t nSlot, in_addr address);
    void BeginConnect(uint32_t nSlot, in_addr address, uint16_t nPort);
    void Finish(uint32_t nSlot, int32_t nResult);
    void ReportDone();
    void OnEvent(const epoll_event& event);
    void OnResolved();
    void OnRawPackets();
    void ExpireDeadlines();
    int WaitMilliseconds() const;
    bool CanStartMore() const {
        return m_nInFlight < static_cast<size_t>(m_nJobs) && m_nNextStart < m_items.size();
    }
    void RunOneByOne();

    CItemList& m_list;
    CStatusSink& m_sink;
    int m_nStopFd;
    int m_nJobs;
    SPassOutcome m_outcome;

    std::vector<CItem*> m_items;   // list order
    std::vector<int8_t> m_results; // per row: -1 until its probe ends
    std::vector<double> m_seconds; // per row: its probe's duration
    size_t m_nNextStart = 0, m_nNextReport = 0, m_nInFlight = 0;

    std::vector<SSlot> m_slots;
    std::vector<uint32_t> m_freeSlots;
    CFileDescriptor m_epoll;
    // Echo deadlines in the order the echoes began, which is their order
    // too; entries of probes ended early stay until they reach the front.
    std::deque<std::pair<Clock::time_point, uint64_t>> m_deadlines;
    // One raw socket serves every echo of the pass when datagram sockets
    // are refused: raw sockets each get a copy of every ICMP packet, so one
    // per probe would multiply the work by the probes in flight.
    CFileDescriptor m_raw;
    std::unordered_map<uint64_t, uint32_t> m_rawProbes; // echo key -> slot
    std::unique_ptr<CNameResolver> m_pResolver;
};

SPassOutcome CConcurrentPass::Run() {
    for (POSITION pos = m_list.GetHeadPosition(); pos;)
        m_items.push_back(m_list.GetNext(pos));
    m_results.assign(m_items.size(), -1);
    m_seconds.assign(m_items.size(), 0.0);
    m_slots.resize(std::min(static_cast<size_t>(m_nJobs), std::max<size_t>(m_items.size(), 1)));
    for (uint32_t n = static_cast<uint32_t>(m_slots.size()); n-- > 0;)
        m_freeSlots.push_back(n);

    m_epoll = CFileDescriptor(epoll_create1(EPOLL_CLOEXEC));
    if (!m_epoll.IsOpen() || (m_nStopFd >= 0 && !Watch(m_nStopFd, EPOLLIN, kStopTag))) {
        RunOneByOne();
        return m_outcome;
    }
    epoll_event events[kEventsPerWait];
    while (m_nNextReport < m_items.size()) {
        int nReady = epoll_wait(m_epoll.Get(), events, kEventsPerWait, WaitMilliseconds());
        if (nReady < 0 && errno != EINTR)
            break; // cannot happen with a valid set; the rest stays unreported
        for (int i = 0; i < nReady; ++i) {
            if (static_cast<uint32_t>(events[i].data.u64) == kStopTag) {
                m_outcome.bStopped = true;
                return m_outcome;
            }
            OnEvent(events[i]);
        }
        ExpireDeadlines();
        StartProbes();
    }
    return m_outcome;
}

// Without an epoll set (no descriptor left for it) the targets are probed
// one after the other, as the sequential pass does.
void CConcurrentPass::RunOneByOne() {
    for (size_t nRow = 0; nRow < m_items.size(); ++nRow) {
        auto start = Clock::now();
        int32_t nResult = m_items[nRow]->Probe();
        std::chrono::duration<double> elapsed = Clock::now() - start;
        ReportProbeResult(m_list, *m_items[nRow], static_cast<int>(nRow), nResult, elapsed.count(),
                          &m_sink, m_outcome.allOk);
    }
}

bool CConcurrentPass::Watch(int nFd, uint32_t nEvents, uint64_t nTag) {
    epoll_event event{};
    event.events = nEvents;
    event.data.u64 = nTag;
    return epoll_ctl(m_epoll.Get(), EPOLL_CTL_ADD, nFd, &event) == 0;
}

void CConcurrentPass::StartProbes() {
    for (int nStarted = 0; nStarted < kStartsPerRound && CanStartMore(); ++nStarted)
        StartProbe(m_nNextStart++);
}

void CConcurrentPass::StartProbe(size_t nRow) {
    uint32_t nSlot = m_freeSlots.back();
    m_freeSlots.pop_back();
    ++m_nInFlight;
    SSlot& slot = m_slots[nSlot];
    slot.nRow = nRow;
    slot.start = Clock::now();
    const std::string& strAddress = m_items[nRow]->m_strAddress;
    if (NeedsNameLookup(strAddress)) {
        if (!m_pResolver) {
            auto pResolver = std::make_unique<CNameResolver>(kResolverThreads);
            if (!Watch(pResolver->Fd(), EPOLLIN, kResolverTag)) {
                Finish(nSlot,
                       0); // unheard, its results would never come; the next name tries again
                return;
            }
            m_pResolver = std::move(pResolver);
        }
        slot.state = ESlotState::kResolving;
        m_pResolver->Submit(Tag(nSlot, slot.nGeneration), strAddress);
        return;
    }
    std::optional<in_addr> address = ResolveHostAddress(strAddress);
    if (address)
        Begin(nSlot, *address);
    else
        Finish(nSlot, 0);
}

void CConcurrentPass::Begin(uint32_t nSlot, in_addr address) {
    const CItem& item = *m_items[m_slots[nSlot].nRow];
    if (item.IsIcmp())
        BeginEcho(nSlot, address);
    else
        BeginConnect(nSlot, address, static_cast<uint16_t>(item.m_nPort & 0xffff));
}

void CConcurrentPass::BeginEcho(uint32_t nSlot, in_addr address) {
    SSlot& slot = m_slots[nSlot];
    slot.deadline = Clock::now() + kEchoTimeout;
    if (m_raw.IsOpen()) {
        BeginSharedEcho(nSlot, address);
        return;
    }
    slot.key = {address, 0, 0};
    SIcmpSocket sock = OpenIcmpSocket(slot.key, slot.deadline);
    if (!sock.fd.IsOpen()) {
        Finish(nSlot, 0);
    } else if (sock.kind == IcmpSocketKind::kRaw) {
        m_raw = std::move(sock.fd);
        int nBytes = kRawBufferBytes;
        if (setsockopt(m_raw.Get(), SOL_SOCKET, SO_RCVBUFFORCE, &nBytes, sizeof nBytes) != 0)
            setsockopt(m_raw.Get(), SOL_SOCKET, SO_RCVBUF, &nBytes, sizeof nBytes);
        if (!Watch(m_raw.Get(), EPOLLIN, kRawTag)) {
            m_raw.Close();
            Finish(nSlot, 0);
            return;
        }
        BeginSharedEcho(nSlot, address);
    } else if (!SendEchoRequest(sock.fd.Get(), slot.key) ||
               !Watch(sock.fd.Get(), EPOLLIN, Tag(nSlot, slot.nGeneration))) {
        Finish(nSlot, 0);
    } else {
        slot.echo = std::move(sock);
        slot.state = ESlotState::kEcho;
        m_deadlines.emplace_back(slot.deadline, Tag(nSlot, slot.nGeneration));
    }
}

// The shared raw socket sends the key we draw; no two echoes in flight may
// share one, since the key is all that tells their answers apart.
void CConcurrentPass::BeginSharedEcho(uint32_t nSlot, in_addr address) {
    SSlot& slot = m_slots[nSlot];
    do {
        uint32_t nBits = RandomBits();
        slot.key = {address, static_cast<uint16_t>(nBits), static_cast<uint16_t>(nBits >> 16)};
    } while (m_rawProbes.count(KeyId(slot.key)));
    if (!SendEchoRequest(m_raw.Get(), slot.key)) {
        Finish(nSlot, 0);
        return;
    }
    m_rawProbes.emplace(KeyId(slot.key), nSlot);
    slot.state = ESlotState::kSharedEcho;
    m_deadlines.emplace_back(slot.deadline, Tag(nSlot, slot.nGeneration));
}

void CConcurrentPass::BeginConnect(uint32_t nSlot, in_addr address, uint16_t nPort) {
    SSlot& slot = m_slots[nSlot];
    slot.connect = StartTcpConnect(address, nPort);
    if (!slot.connect.IsPending()) {
        Finish(nSlot, slot.connect.nResult);
    } else if (!Watch(slot.connect.fd.Get(), EPOLLOUT, Tag(nSlot, slot.nGeneration))) {
        Finish(nSlot, 0);
    } else {
        slot.state = ESlotState::kConnect;
    }
}

void CConcurrentPass::Finish(uint32_t nSlot, int32_t nResult) {
    SSlot& slot = m_slots[nSlot];
    m_results[slot.nRow] = static_cast<int8_t>(nResult);
    m_seconds[slot.nRow] = std::chrono::duration<double>(Clock::now() - slot.start).count();
    if (slot.state == ESlotState::kSharedEcho)
        m_rawProbes.erase(KeyId(slot.key));
    slot.echo.fd.Close(); // closing leaves the epoll set too
    slot.connect.fd.Close();
    slot.state = ESlotState::kFree;
    ++slot.nGeneration;
    m_freeSlots.push_back(nSlot);
    --m_nInFlight;
    ReportDone();
}

void CConcurrentPass::ReportDone() {
    while (m_nNextReport < m_nNextStart && m_results[m_nNextReport] >= 0) {
        size_t nRow = m_nNextReport++;
        ReportProbeResult(m_list, *m_items[nRow], static_cast<int>(nRow), m_results[nRow],
                          m_seconds[nRow], &m_sink, m_outcome.allOk);
    }
}

void CConcurrentPass::OnEvent(const epoll_event& event) {
    const auto nTag = static_cast<uint32_t>(event.data.u64);
    if (nTag == kResolverTag) {
        OnResolved();
        return;
    }
    if (nTag == kRawTag) {
        OnRawPackets();
        return;
    }
    SSlot& slot = m_slots[nTag];
    if (static_cast<uint32_t>(event.data.u64 >> 32) != slot.nGeneration)
        return; // about a probe that has ended since
    if (slot.state == ESlotState::kConnect) {
        Finish(nTag, FinishTcpConnect(slot.connect));
    } else if (slot.state == ESlotState::kEcho) {
        EchoVerdict verdict = ReadWaiting(slot.echo, slot.key, event.events, slot.deadline);
        if (verdict != EchoVerdict::kUnrelated)
            Finish(nTag, verdict == EchoVerdict::kReply ? 1 : 0);
    }
}

void CConcurrentPass::OnResolved() {
    for (auto& [nTag, address] : m_pResolver->TakeResults()) {
        const auto nSlot = static_cast<uint32_t>(nTag);
        SSlot& slot = m_slots[nSlot];
        if (slot.state != ESlotState::kResolving || slot.nGeneration != (nTag >> 32))
            continue;
        if (address)
            Begin(nSlot, *address);
        else
            Finish(nSlot, 0);
    }
}

// Each packet goes to the echo its key names, which judges it as its own
// socket would have; an error state on the socket is cleared and passed over,
// since it is about no echo in particular.
void CConcurrentPass::OnRawPackets() {
    uint8_t buffer[2048];
    for (int nTaken = 0; nTaken < kRawPacketsPerWake; ++nTaken) {
        ssize_t n = recv(m_raw.Get(), buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            if (errno != EAGAIN) {
                int nError = 0;
                socklen_t nLength = sizeof nError;
                getsockopt(m_raw.Get(), SOL_SOCKET, SO_ERROR, &nError, &nLength);
            }
            return;
        }
        std::optional<SEchoKey> key = EchoKeyOfIpPacket(buffer, static_cast<size_t>(n));
        auto found = key ? m_rawProbes.find(KeyId(*key)) : m_rawProbes.end();
        if (found == m_rawProbes.end())
            continue;
        const uint32_t nSlot = found->second;
        SSlot& slot = m_slots[nSlot];
        if (Clock::now() >= slot.deadline)
            continue; // too late: the deadline ends it
        EchoVerdict verdict = ClassifyIpPacket(buffer, static_cast<size_t>(n), slot.key);
        if (verdict != EchoVerdict::kUnrelated)
            Finish(nSlot, verdict == EchoVerdict::kReply ? 1 : 0);
    }
}

void CConcurrentPass::ExpireDeadlines() {
    const Clock::time_point now = Clock::now();
    while (!m_deadlines.empty()) {
        auto [deadline, nTag] = m_deadlines.front();
        const auto nSlot = static_cast<uint32_t>(nTag);
        const SSlot& slot = m_slots[nSlot];
        const bool bLive =
            slot.nGeneration == (nTag >> 32) &&
            (slot.state == ESlotState::kEcho || slot.state == ESlotState::kSharedEcho);
        if (bLive && deadline > now)
            return;
        m_deadlines.pop_front();
        if (bLive)
            Finish(nSlot, 0);
    }
}

int CConcurrentPass::WaitMilliseconds() const {
    if (CanStartMore())
        return 0;
    if (m_deadlines.empty())
        return -1; // connects and lookups end by themselves
    auto remaining = m_deadlines.front().first - Clock::now();
    if (remaining <= Clock::duration::zero())
        return 0;
    // Rounded up, so the wait does not end just short of the deadline.
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(remaining).count());
}
} // namespace

SPassOutcome RunConcurrentPass(CItemList& list, CStatusSink& sink, int nJobs, int nStopFd) {
    CConcurrentPass pass(list, sink, nJobs, nStopFd);
    return pass.Run();
}
