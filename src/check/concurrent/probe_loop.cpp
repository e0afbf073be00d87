#include "check/concurrent/probe_loop.h"

#include "check/host_address.h"
#include "check/icmp_socket.h"
#include "check/wait_time.h"
#include "model/item.h"

#include <sys/epoll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace {
using Clock = CProbeLoop::Clock;

// Event tags beside the probe slots' indexes.
constexpr uint32_t kStopTag = 0xffffffff;
constexpr uint32_t kRawTag = 0xfffffffe;
constexpr uint32_t kResolverTag = 0xfffffffd;

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
// Room for a burst of answers: a thousand replies in one moment must not
// overflow the queue, which every ICMP packet of the host shares.
constexpr int kRawBufferBytes = 8 << 20;

uint64_t Tag(uint32_t nSlot, uint32_t nGeneration) {
    return static_cast<uint64_t>(nGeneration) << 32 | nSlot;
}

uint64_t KeyId(const SEchoKey& key) {
    return static_cast<uint64_t>(key.target.s_addr) << 32 |
           static_cast<uint64_t>(key.nIdent) << 16 | key.nSequence;
}
} // namespace

CProbeLoop::CProbeLoop(CPassBoard& board, int nJobs, int nStopFd)
    : m_board(board), m_nStopFd(nStopFd), m_slots(static_cast<size_t>(std::max(nJobs, 1))) {
    for (uint32_t n = static_cast<uint32_t>(m_slots.size()); n-- > 0;)
        m_freeSlots.push_back(n);
}

CProbeLoop::~CProbeLoop() = default;

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
        StartProbes();
    }
}

// Without an epoll set (no descriptor left for it) this loop probes its
// targets one after the other, as the sequential pass does.
void CProbeLoop::RunOneByOne() {
    for (size_t nRow; !m_board.IsStopped() && (nRow = m_board.TakeRow()) != CPassBoard::kNone;) {
        auto start = Clock::now();
        int32_t nResult = m_board.Item(nRow).Probe();
        m_board.Complete(nRow, nResult,
                         std::chrono::duration<double>(Clock::now() - start).count());
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
    std::optional<in_addr> address = ResolveHostAddress(strAddress);
    if (address)
        Begin(nSlot, *address);
    else
        Finish(nSlot, 0);
}

void CProbeLoop::Begin(uint32_t nSlot, in_addr address) {
    const CItem& item = m_board.Item(m_slots[nSlot].nRow);
    if (item.IsIcmp())
        BeginEcho(nSlot, address);
    else
        BeginConnect(nSlot, address, static_cast<uint16_t>(item.m_nPort & 0xffff));
}

void CProbeLoop::BeginEcho(uint32_t nSlot, in_addr address) {
    SSlot& slot = m_slots[nSlot];
    slot.deadline = Clock::now() + kEchoTimeout;
    if (m_raw.IsOpen()) {
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
void CProbeLoop::BeginSharedEcho(uint32_t nSlot, in_addr address) {
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

void CProbeLoop::BeginConnect(uint32_t nSlot, in_addr address, uint16_t nPort) {
    SSlot& slot = m_slots[nSlot];
    slot.connect = StartTcpConnect(address, nPort);
    if (slot.connect.bNoResources) {
        WaitForDescriptor(nSlot, address);
    } else if (!slot.connect.IsPending()) {
        Finish(nSlot, slot.connect.nResult);
    } else if (!Watch(slot.connect.fd.Get(), EPOLLOUT, Tag(nSlot, slot.nGeneration))) {
        Finish(nSlot, 0);
    } else {
        slot.state = ESlotState::kConnect;
    }
}

void CProbeLoop::Finish(uint32_t nSlot, int32_t nResult) {
    SSlot& slot = m_slots[nSlot];
    const size_t nRow = slot.nRow;
    const double dSeconds = std::chrono::duration<double>(Clock::now() - slot.start).count();
    if (slot.state == ESlotState::kSharedEcho)
        m_rawProbes.erase(KeyId(slot.key));
    slot.echo.fd.Close(); // closing leaves the epoll set too
    slot.connect.fd.Close();
    slot.state = ESlotState::kFree;
    ++slot.nGeneration;
    m_freeSlots.push_back(nSlot);
    --m_nInFlight;
    m_retryAt = Clock::time_point{}; // what it held is free now
    m_board.Complete(nRow, nResult, dSeconds);
}

void CProbeLoop::WaitForDescriptor(uint32_t nSlot, in_addr address) {
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
void CProbeLoop::OnRawPackets() {
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

void CProbeLoop::ExpireDeadlines() {
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

int CProbeLoop::WaitMilliseconds() const {
    if (!m_waiting.empty()) {
        const Clock::time_point wake =
            m_deadlines.empty() ? m_retryAt : std::min(m_retryAt, m_deadlines.front().first);
        return MillisecondsUntil(wake);
    }
    if (m_nInFlight < m_slots.size() && m_board.HasUntaken())
        return 0;
    if (m_deadlines.empty())
        return -1; // connects and lookups end by themselves
    return MillisecondsUntil(m_deadlines.front().first);
}
