// SPDX-License-Identifier: Apache-2.0
#include "check/concurrent/name_resolver.h"

#include "check/file_descriptor.h"
#include "check/host_address.h"

#include <sys/eventfd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

// What the resolver and its threads share; it lives until the last of them
// lets go, so a thread may outlast the resolver.
struct CNameResolver::SShared {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::pair<size_t, std::string>> queue;
    std::vector<Result> results;
    int nIdle = 0;
    bool bClosed = false;
    CFileDescriptor event{eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)};
};

CNameResolver::CNameResolver(int nThreads)
    : m_shared(std::make_shared<SShared>()), m_nThreads(nThreads < 1 ? 1 : nThreads) {}

CNameResolver::~CNameResolver() {
    std::lock_guard lock(m_shared->mutex);
    m_shared->bClosed = true;
    m_shared->queue.clear();
    m_shared->wake.notify_all();
}

int CNameResolver::Fd() const {
    return m_shared->event.Get();
}

void CNameResolver::Submit(size_t nTag, std::string strName) {
    bool bStartThread;
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->queue.emplace_back(nTag, std::move(strName));
        bStartThread = m_shared->queue.size() > static_cast<size_t>(m_shared->nIdle) &&
                       m_nStarted < m_nThreads;
        m_shared->wake.notify_one();
    }
    if (!bStartThread)
        return;
    try {
        std::thread(Serve, m_shared).detach();
        ++m_nStarted;
    } catch (const std::system_error&) {
        // Without a new thread, the lookups wait for those running.
        if (m_nStarted == 0) {
            std::lock_guard lock(m_shared->mutex);
            auto [nLost, name] = std::move(m_shared->queue.back());
            m_shared->queue.pop_back();
            m_shared->results.emplace_back(nLost, std::nullopt);
            uint64_t nOne = 1;
            (void)!write(m_shared->event.Get(), &nOne, sizeof nOne);
        }
    }
}

std::vector<CNameResolver::Result> CNameResolver::TakeResults() {
    uint64_t nCount;
    while (read(m_shared->event.Get(), &nCount, sizeof nCount) < 0 && errno == EINTR) {
    }
    std::lock_guard lock(m_shared->mutex);
    return std::exchange(m_shared->results, {});
}

void CNameResolver::Serve(std::shared_ptr<SShared> shared) {
    std::unique_lock lock(shared->mutex);
    for (;;) {
        ++shared->nIdle;
        shared->wake.wait(lock, [&] { return shared->bClosed || !shared->queue.empty(); });
        --shared->nIdle;
        if (shared->bClosed)
            return;
        auto [nTag, name] = std::move(shared->queue.front());
        shared->queue.pop_front();
        lock.unlock();
        std::optional<SIpAddress> address = ResolveHostAddress(name);
        lock.lock();
        if (shared->bClosed)
            return;
        shared->results.emplace_back(nTag, address);
        uint64_t nOne = 1;
        (void)!write(shared->event.Get(), &nOne, sizeof nOne);
    }
}
