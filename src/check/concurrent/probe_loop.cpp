// SPDX-License-Identifier: Apache-2.0
#include "check/concurrent/probe_loop.h"

#include "check/echo_answer.h"
#include "check/host_address.h"
#include "check/icmp_socket.h"
#include "check/wait_time.h"
#include "model/item.h"

#include <sys/epoll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <functional>

namespace {
using Clock = CProbeLoop::Clock;

// Event tags beside the probe slots' indexes.
constexpr uint32_t kStopTag = 0xffffffff;
constexpr uint32_t kRawTag = 0xfffffffe; // the IPv4 raw socket's
constexpr uint32_t kResolverTag = 0xfffffffd;
constexpr uint32_t kRaw6Tag = 0xfffffffc;

constexpr int kResolverThreads = 8;
constexpr int kEventsPerWait = 256;
// Probes started between two looks at the events, so that a list whose
// probes all end at once (refused loopback ports) still hears a stop.
constexpr int kStartsPerRound = 256;
// Pauses between tries of probes that wait for a descriptor while none of
// this loop's ends, and how long they wait with nothing of this loop in
// flight before their targets count as failed, as a probe that cannot open
// its socket fails alone: by then any echo of the pass has reached its
// deadline and returned its descriptor.
constexpr std::chrono::milliseconds kFirstRetryPause{1};
constexpr std::chrono::milliseconds kLongestRetryPause{100};
constexpr std::chrono::seconds kDescriptorPatience{10};
// Packets read from the shared raw socket at one wake-up; the rest wait for
// the next, after the deadlines have been looked at.
constexpr int kRawPacketsPerWake = 1024;
// Answers taken from one target's own socket at one wake-up.
constexpr int kAnswersPerWake = 64;
// Room for a burst of answers: a thousand replies in one moment must not
// overflow the queue, which every ICMP packet of the host shares.
constexpr int kRawBufferBytes = 8 << 20;

uint64_t Tag(uint32_t nSlot, uint32_t nGeneration) {
    return static_cast<uint64_t>(nGeneration) << 32 | nSlot;
}

uint32_t RawTag(bool bIpv6) {
    return bIpv6 ? kRaw6Tag : kRawTag;
}

int64_t RealNanoseconds(const timespec& at) {
    return static_cast<int64_t>(at.tv_sec) * 1000000000 + at.tv_nsec;
}

int64_t RealNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return RealNanoseconds(now);
}

// The echo's round trip in seconds: from the wall-clock time taken just
// before its request went to the kernel's receive stamp of the reply, where
// the socket gave one and it agrees with the loop's own steady clock (not
// below zero, not above the time the loop saw pass, which a step of the wall
// clock could cause); else the loop's steady-clock time until it read the reply.
double RoundTrip(Clock::time_point sent, int64_t nRealSentNs,
                 const std::optional<timespec>& stamp) {
    const int64_t nSteady =
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - sent).count();
    const int64_t nKernel = stamp ? RealNanoseconds(*stamp) - nRealSentNs : -1;
    return static_cast<double>(nKernel >= 0 && nKernel <= nSteady ? nKernel : nSteady) / 1e9;
}
} // namespace

CProbeLoop::CProbeLoop(CPassBoard& board, int nJobs, int nStopFd)
    : m_board(board), m_settings(board.Settings()),
      m_echoTimeout(m_settings.timeout.value_or(kEchoTimeout)), m_nStopFd(nStopFd),
      m_slots(static_cast<size_t>(std::max(nJobs, 1))) {
    for (uint32_t n = static_cast<uint32_t>(m_slots.size()); n-- > 0;)
        m_freeSlots.push_back(n);
}

CProbeLoop::~CProbeLoop() = default;

size_t CProbeLoop::SKeyHash::operator()(const SEchoKey& key) const {
    uint64_t nHash = static_cast<uint64_t>(key.nIdent) << 16 | key.nSequence;
    if (key.target.IsIpv6()) {
        uint64_t nHalves[2];
        std::memcpy(nHalves, &key.target.v6, sizeof nHalves);
        nHash ^= nHalves[0] * 0x9e3779b97f4a7c15u ^ nHalves[1];
    } else {
        nHash |= static_cast<uint64_t>(key.target.v4.s_addr) << 32;
    }
    return std::hash<uint64_t>{}(nHash);
}

bool CProbeLoop::SKeyEqual::operator()(const SEchoKey& a, const SEchoKey& b) const {
    return a.nIdent == b.nIdent && a.nSequence == b.nSequence && a.target.SameHost(b.target);
}

void CProbeLoop::Run() {
    m_epoll = CFileDescriptor(epoll_create1(EPOLL_CLOEXEC));
    if (!m_epoll.IsOpen() || (m_nStopFd >= 0 && !Watch(m_nStopFd, EPOLLIN, kStopTag))) {
        RunOneByOne();
        return;
    }
    epoll_event events[kEventsPerWait];
    while (!m_board.IsStopped() && (m_nInFlight > 0 || m_board.HasUntaken())) {
        int nReady = epoll_wait(m_epoll.Get(), events, kEventsPerWait, WaitMilliseconds());
        if (nReady < 0 && errno != EINTR)
            break; // cannot happen with a valid set; the rest stays unreported
        for (int i = 0; i < nReady; ++i) {
            if (static_cast<uint32_t>(events[i].data.u64) == kStopTag) {
                m_board.Stop();
                return;
            }
            OnEvent(events[i]);
        }
        ExpireDeadlines();
        SendDue();
        StartProbes();
    }
}

// Without an epoll set (no descriptor left for it) this loop probes its
// targets one after the other, as the sequential pass does.
void CProbeLoop::RunOneByOne() {
    for (size_t nRow; !m_board.IsStopped() && (nRow = m_board.TakeRow()) != CPassBoard::kNone;) {
        auto start = Clock::now();
        int32_t nResult = m_board.Item(nRow).Probe();
        const double dSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        STargetMeasure measure;
        measure.nSent = 1;
        if (nResult)
            measure.AddAnswer(dSeconds);
        Report(nRow, nResult, dSeconds, measure);
    }
}

bool CProbeLoop::Watch(int nFd, uint32_t nEvents, uint64_t nTag) {
    epoll_event event{};
    event.events = nEvents;
    event.data.u64 = nTag;
    return epoll_ctl(m_epoll.Get(), EPOLL_CTL_ADD, nFd, &event) == 0;
}

void CProbeLoop::StartProbes() {
    RetryWaiting();
    for (int nStarted = 0;
         nStarted < kStartsPerRound && m_nInFlight < m_slots.size() && m_waiting.empty();
         ++nStarted) {
        size_t nRow = m_board.TakeRow();
        if (nRow == CPassBoard::kNone)
            return;
        StartProbe(nRow);
    }
}

void CProbeLoop::StartProbe(size_t nRow) {
    uint32_t nSlot = m_freeSlots.back();
    m_freeSlots.pop_back();
    ++m_nInFlight;
    SSlot& slot = m_slots[nSlot];
    slot.nRow = nRow;
    slot.start = Clock::now();
    slot.series.Begin(m_settings);
    const std::string& strAddress = m_board.Item(nRow).m_strAddress;
    if (NeedsNameLookup(strAddress)) {
        if (!m_pResolver) {
            auto pResolver = std::make_unique<CNameResolver>(kResolverThreads);
            // Unheard, its results would never come; the next name tries again.
            if (!Watch(pResolver->Fd(), EPOLLIN, kResolverTag)) {
                Finish(nSlot, 0);
                return;
            }
            m_pResolver = std::move(pResolver);
        }
        slot.state = ESlotState::kResolving;
        m_pResolver->Submit(Tag(nSlot, slot.nGeneration), strAddress);
        return;
    }
    std::optional<SIpAddress> address = ResolveHostAddress(strAddress);
    if (address)
        Begin(nSlot, *address);
    else
        Finish(nSlot, 0);
}

void CProbeLoop::Begin(uint32_t nSlot, const SIpAddress& address) {
    const CItem& item = m_board.Item(m_slots[nSlot].nRow);
    if (item.IsIcmp())
        BeginEcho(nSlot, address);
    else
        BeginConnect(nSlot, address, static_cast<uint16_t>(item.m_nPort & 0xffff));
}

// The next echo is queued, and this echo's deadline entered, before the
// request goes: a request refused at once may end the target and free its
// slot.
void CProbeLoop::SendEcho(uint32_t nSlot) {
    SSlot& slot = m_slots[nSlot];
    const uint64_t nTag = Tag(nSlot, slot.nGeneration);
    const uint16_t nProbe = slot.series.Take();
    SEchoKey key = slot.key;
    key.nSequence = static_cast<uint16_t>(key.nSequence + nProbe);
    if (slot.series.HasMore())
        m_sends.push({slot.series.NextEchoDue(), nTag, 0});
    const bool bShared = slot.state == ESlotState::kSharedEcho;
    const CFileDescriptor& raw = m_raw[key.target.IsIpv6()];
    if (bShared && m_rawProbes.count(key)) {
        EndProbe(nSlot, nProbe, false, 0); // another target's echo holds the key: counts as lost
        return;
    }
    const int64_t nRealNs = RealNow();
    const Clock::time_point sent = Clock::now();
    slot.series.Started(nProbe, sent, nRealNs);
    m_deadlines.push({sent + m_echoTimeout, nTag, nProbe});
    if (!SendEchoRequest(bShared ? raw.Get() : slot.echo.fd.Get(), key)) {
        EndProbe(nSlot, nProbe, false, 0);
        return;
    }
    if (bShared)
        m_rawProbes.emplace(key, nSlot);
}

// A target's later connects wait for a descriptor a while when none is free.
void CProbeLoop::StartConnect(uint32_t nSlot) {
    SSlot& slot = m_slots[nSlot];
    const uint64_t nTag = Tag(nSlot, slot.nGeneration);
    const Clock::time_point start = Clock::now();
    slot.connect = StartTcpConnect(
        slot.address, slot.nPort,
        m_settings.timeout ? std::chrono::ceil<std::chrono::milliseconds>(*m_settings.timeout)
                           : kTcpConnectTimeout);
    if (slot.connect.bNoResources && slot.series.Taken() == 0) {
        WaitForDescriptor(nSlot, slot.address);
        return;
    }
    if (slot.connect.bNoResources) {
        m_sends.push({start + kLongestRetryPause, nTag, 0});
        return;
    }
    slot.state = ESlotState::kConnect;
    const uint16_t nProbe = slot.series.Take();
    slot.series.Started(nProbe, start);
    if (!slot.connect.IsPending())
        OnConnectEnded(nSlot, slot.connect.nResult);
    else if (!Watch(slot.connect.fd.Get(), EPOLLOUT, nTag))
        OnConnectEnded(nSlot, 0);
    else if (m_settings.timeout)
        m_deadlines.push({start + *m_settings.timeout, nTag, nProbe});
}

// The connect's round trip ends when the loop hears of its outcome.
void CProbeLoop::OnConnectEnded(uint32_t nSlot, int32_t nResult) {
    SSlot& slot = m_slots[nSlot];
    slot.connect.fd.Close();
    const auto nProbe = static_cast<uint16_t>(slot.series.Taken() - 1);
    const Clock::time_point now = Clock::now();
    const Clock::time_point started = slot.series.StartedAt(nProbe);
    if (slot.series.HasMore())
        m_sends.push({slot.series.NextConnectDue(nProbe, now), Tag(nSlot, slot.nGeneration), 0});
    EndProbe(nSlot, nProbe, nResult == 1, std::chrono::duration<double>(now - started).count());
}

void CProbeLoop::OnEchoAnswer(uint32_t nSlot, uint16_t nSequence, EchoVerdict verdict,
                              const std::optional<timespec>& stamp) {
    SSlot& slot = m_slots[nSlot];
    const auto nProbe = static_cast<uint16_t>(nSequence - slot.key.nSequence);
    if (!slot.series.IsRunning(nProbe))
        return; // ended already, by an earlier answer or its deadline
    const Clock::time_point sent = slot.series.StartedAt(nProbe);
    if (Clock::now() - sent >= m_echoTimeout)
        return; // too late: the deadline ends it
    const bool bReply = verdict == EchoVerdict::kReply;
    EndProbe(nSlot, nProbe, bReply,
             bReply ? RoundTrip(sent, slot.series.RealStartNs(nProbe), stamp) : 0);
}

// The target ends with its last probe; its result follows from them all.
void CProbeLoop::EndProbe(uint32_t nSlot, uint16_t nProbe, bool bAnswered, double dRtt) {
    SSlot& slot = m_slots[nSlot];
    const bool bLast = slot.series.End(nProbe, bAnswered, dRtt);
    if (slot.state == ESlotState::kSharedEcho) {
        SEchoKey key = slot.key;
        key.nSequence = static_cast<uint16_t>(key.nSequence + nProbe);
        auto found = m_rawProbes.find(key);
        if (found != m_rawProbes.end() && found->second == nSlot)
            m_rawProbes.erase(found);
    }
    if (bLast)
        Finish(nSlot, slot.series.Judge());
}

void CProbeLoop::SendDue() {
    const Clock::time_point now = Clock::now();
    while (!m_sends.empty() && m_sends.top().at <= now) {
        const uint64_t nTag = m_sends.top().nTag;
        m_sends.pop();
        const auto nSlot = static_cast<uint32_t>(nTag);
        const SSlot& slot = m_slots[nSlot];
        if (slot.nGeneration != (nTag >> 32))
            continue;
        if (slot.state == ESlotState::kConnect)
            StartConnect(nSlot);
        else if (slot.state == ESlotState::kEcho || slot.state == ESlotState::kSharedEcho)
            SendEcho(nSlot);
    }
}

void CProbeLoop::BeginEcho(uint32_t nSlot, const SIpAddress& address) {
    SSlot& slot = m_slots[nSlot];
    slot.deadline = Clock::now() + m_echoTimeout;
    slot.series.ScheduleFrom(Clock::now());
    CFileDescriptor& raw = m_raw[address.IsIpv6()];
    if (raw.IsOpen()) {
        BeginSharedEcho(nSlot, address);
        return;
    }
    slot.key = {address, 0, 0};
    SIcmpSocket sock = OpenIcmpSocket(slot.key, slot.deadline);
    if (!sock.fd.IsOpen() && IsOutOfResources(errno)) {
        WaitForDescriptor(nSlot, address);
    } else if (!sock.fd.IsOpen()) {
        Finish(nSlot, 0);
    } else if (sock.kind == IcmpSocketKind::kRaw) {
        raw = std::move(sock.fd);
        int nBytes = kRawBufferBytes;
        if (setsockopt(raw.Get(), SOL_SOCKET, SO_RCVBUFFORCE, &nBytes, sizeof nBytes) != 0)
            setsockopt(raw.Get(), SOL_SOCKET, SO_RCVBUF, &nBytes, sizeof nBytes);
        if (!Watch(raw.Get(), EPOLLIN, RawTag(address.IsIpv6()))) {
            raw.Close();
            Finish(nSlot, 0);
            return;
        }
        if (m_board.IsMeasuring())
            EnableReceiveStamps(raw.Get());
        BeginSharedEcho(nSlot, address);
    } else if (!Watch(sock.fd.Get(), EPOLLIN, Tag(nSlot, slot.nGeneration))) {
        Finish(nSlot, 0);
    } else {
        if (m_board.IsMeasuring())
            EnableReceiveStamps(sock.fd.Get());
        slot.echo = std::move(sock);
        slot.state = ESlotState::kEcho;
        SendEcho(nSlot);
    }
}

// The shared raw socket sends the keys we draw (the target's echoes count
// their sequence up from the first); no two echoes in flight may share one,
// since the key is all that tells their answers apart.
void CProbeLoop::BeginSharedEcho(uint32_t nSlot, const SIpAddress& address) {
    SSlot& slot = m_slots[nSlot];
    const auto taken = [this](SEchoKey key) {
        for (int n = 0; n < m_settings.nCount; ++n, ++key.nSequence)
            if (m_rawProbes.count(key))
                return true;
        return false;
    };
    do {
        uint32_t nBits = RandomBits();
        slot.key = {address, static_cast<uint16_t>(nBits), static_cast<uint16_t>(nBits >> 16)};
    } while (taken(slot.key));
    slot.state = ESlotState::kSharedEcho;
    SendEcho(nSlot);
}

void CProbeLoop::BeginConnect(uint32_t nSlot, const SIpAddress& address, uint16_t nPort) {
    SSlot& slot = m_slots[nSlot];
    slot.address = address;
    slot.nPort = nPort;
    StartConnect(nSlot);
}

void CProbeLoop::Finish(uint32_t nSlot, int32_t nResult) {
    SSlot& slot = m_slots[nSlot];
    const size_t nRow = slot.nRow;
    const double dSeconds = std::chrono::duration<double>(Clock::now() - slot.start).count();
    for (uint16_t n = 0; slot.state == ESlotState::kSharedEcho && n < slot.series.Taken(); ++n) {
        SEchoKey key = slot.key;
        key.nSequence = static_cast<uint16_t>(key.nSequence + n);
        auto found = m_rawProbes.find(key);
        if (slot.series.IsRunning(n) && found != m_rawProbes.end() && found->second == nSlot)
            m_rawProbes.erase(found);
    }
    const STargetMeasure measure = slot.series.Measure();
    slot.echo.fd.Close(); // closing leaves the epoll set too
    slot.connect.fd.Close();
    slot.state = ESlotState::kFree;
    ++slot.nGeneration;
    m_freeSlots.push_back(nSlot);
    --m_nInFlight;
    m_retryAt = Clock::time_point{}; // what it held is free now
    Report(nRow, nResult, dSeconds, measure);
}

// A finished target's result goes to the board, which reports it in list order.
void CProbeLoop::Report(size_t nRow, int32_t nResult, double dSeconds,
                        const STargetMeasure& measure) {
    m_board.Complete(nRow, nResult, dSeconds, measure);
}

void CProbeLoop::WaitForDescriptor(uint32_t nSlot, const SIpAddress& address) {
    SSlot& slot = m_slots[nSlot];
    slot.state = ESlotState::kWaiting;
    slot.address = address;
    const Clock::time_point now = Clock::now();
    if (m_waiting.empty()) {
        m_shortSince = now;
        m_retryPause = kFirstRetryPause;
    } else {
        m_retryPause = std::min(m_retryPause * 2, kLongestRetryPause);
    }
    m_waiting.push_back(nSlot);
    m_retryAt = now + m_retryPause;
}

// Tries the waiting probes again in row order, until one still finds no
// descriptor; it stays first in line.
void CProbeLoop::RetryWaiting() {
    const Clock::time_point now = Clock::now();
    if (m_waiting.empty() || now < m_retryAt)
        return;
    const bool bGiveUp =
        m_nInFlight == m_waiting.size() && now - m_shortSince >= kDescriptorPatience;
    while (!m_waiting.empty()) {
        const uint32_t nSlot = m_waiting.front();
        m_waiting.pop_front();
        if (bGiveUp) {
            Finish(nSlot, 0);
            continue;
        }
        const Clock::time_point shortSince = m_shortSince;
        const std::chrono::milliseconds pause = m_retryPause;
        Begin(nSlot, m_slots[nSlot].address);
        if (m_slots[nSlot].state == ESlotState::kWaiting) {
            m_waiting.pop_back();
            m_waiting.push_front(nSlot);
            m_shortSince = shortSince;
            m_retryPause = std::min(pause * 2, kLongestRetryPause);
            m_retryAt = now + m_retryPause;
            return;
        }
    }
}

void CProbeLoop::OnEvent(const epoll_event& event) {
    const auto nTag = static_cast<uint32_t>(event.data.u64);
    if (nTag == kResolverTag) {
        OnResolved();
        return;
    }
    if (nTag == kRawTag || nTag == kRaw6Tag) {
        OnRawPackets(nTag == kRaw6Tag);
        return;
    }
    SSlot& slot = m_slots[nTag];
    if (static_cast<uint32_t>(event.data.u64 >> 32) != slot.nGeneration)
        return; // about a probe that has ended since
    if (slot.state == ESlotState::kConnect) {
        if (slot.connect.IsPending())
            OnConnectEnded(nTag, FinishTcpConnect(slot.connect));
        return;
    }
    const uint32_t nGeneration = slot.nGeneration;
    const auto nCount = static_cast<uint16_t>(m_settings.nCount);
    for (int n = 0;
         n < kAnswersPerWake && slot.state == ESlotState::kEcho && slot.nGeneration == nGeneration;
         ++n) {
        SEchoAnswer answer = ReadEchoAnswer(slot.echo, slot.key, nCount, event.events);
        if (answer.verdict == EchoVerdict::kUnrelated)
            break;
        OnEchoAnswer(nTag, answer.nSequence, answer.verdict, answer.stamp);
    }
}

void CProbeLoop::OnResolved() {
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
void CProbeLoop::OnRawPackets(bool bIpv6) {
    SStampedPacket packet;
    const uint8_t* buffer = packet.data;
    const int nRaw = m_raw[bIpv6].Get();
    for (int nTaken = 0; nTaken < kRawPacketsPerWake; ++nTaken) {
        ssize_t n = ReceiveStamped(nRaw, packet, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            if (errno != EAGAIN)
                TakeSocketError(nRaw);
            return;
        }
        const auto nSize = static_cast<size_t>(n);
        std::optional<SEchoKey> key = EchoKeyOfReceived(!bIpv6, buffer, nSize, packet.from);
        auto found = key ? m_rawProbes.find(*key) : m_rawProbes.end();
        if (found == m_rawProbes.end())
            continue;
        EchoVerdict verdict = ClassifyReceived(!bIpv6, buffer, nSize, packet.from, *key);
        if (verdict != EchoVerdict::kUnrelated)
            OnEchoAnswer(found->second, key->nSequence, verdict, packet.stamp);
    }
}

void CProbeLoop::ExpireDeadlines() {
    const Clock::time_point now = Clock::now();
    while (!m_deadlines.empty()) {
        const SDue due = m_deadlines.top();
        const auto nSlot = static_cast<uint32_t>(due.nTag);
        const SSlot& slot = m_slots[nSlot];
        const bool bLive =
            slot.nGeneration == (due.nTag >> 32) && slot.series.IsRunning(due.nProbe) &&
            (slot.state == ESlotState::kEcho || slot.state == ESlotState::kSharedEcho ||
             slot.state == ESlotState::kConnect);
        if (bLive && due.at > now)
            return;
        m_deadlines.pop();
        if (bLive && slot.state == ESlotState::kConnect)
            OnConnectEnded(nSlot, 0);
        else if (bLive)
            EndProbe(nSlot, due.nProbe, false, 0);
    }
}

int CProbeLoop::WaitMilliseconds() const {
    std::optional<Clock::time_point> wake;
    if (!m_deadlines.empty())
        wake = m_deadlines.top().at;
    if (!m_sends.empty())
        wake = wake ? std::min(*wake, m_sends.top().at) : m_sends.top().at;
    if (!m_waiting.empty())
        return MillisecondsUntil(wake ? std::min(m_retryAt, *wake) : m_retryAt);
    if (m_nInFlight < m_slots.size() && m_board.HasUntaken())
        return 0;
    if (!wake)
        return -1; // connects and lookups end by themselves
    return MillisecondsUntil(*wake);
}
