// SPDX-License-Identifier: Apache-2.0
#include "ui/toolkit/ui_thread_calls.h"

#include <QSocketNotifier>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace {
// How long each side waits actively before sleeping. A pass over fast
// targets hands a cell over every few tens of microseconds; sleeping and
// being woken costs more than that on each side, so for this long a thread
// polls (yielding its processor each time) instead. Slow targets pay this
// once per call and then sleep in the kernel.
constexpr auto kActiveWait = std::chrono::microseconds(100);

template <class Pred> bool WaitActively(Pred pred) {
    const auto deadline = std::chrono::steady_clock::now() + kActiveWait;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

class CUiThreadCalls {
public:
    // Created on the user-interface thread; lives as long as the process.
    CUiThreadCalls()
        : m_nEventFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
          m_pNotifier(new QSocketNotifier(m_nEventFd, QSocketNotifier::Read)) {
        QObject::connect(m_pNotifier, &QSocketNotifier::activated, [this] { RunWaiting(); });
    }

    void Call(std::function<void()> fn, bool bWait) {
        std::atomic<bool> bDone{false};
        bool bWake = false;
        {
            std::lock_guard lock(m_mutex);
            m_calls.push_back({std::move(fn), bWait ? &bDone : nullptr});
            m_nQueued.fetch_add(1, std::memory_order_release);
            bWake = !m_bServing;
        }
        if (bWake) {
            const uint64_t nOne = 1;
            [[maybe_unused]] ssize_t n = write(m_nEventFd, &nOne, sizeof nOne);
        }
        if (!bWait)
            return;
        const auto done = [&] { return bDone.load(std::memory_order_acquire); };
        if (WaitActively(done))
            return;
        std::unique_lock lock(m_mutex);
        m_done.wait(lock, done);
    }

private:
    struct CWaitingCall {
        std::function<void()> fn;
        std::atomic<bool>* pbDone; // the waiting caller's flag; null when nobody waits
    };

    // Runs every queued call, then stays a moment for the next before going
    // back to the event loop. While it serves, callers need not wake it.
    void RunWaiting() {
        uint64_t nCount = 0;
        [[maybe_unused]] ssize_t n = read(m_nEventFd, &nCount, sizeof nCount);
        std::unique_lock lock(m_mutex);
        m_bServing = true;
        for (;;) {
            if (m_calls.empty()) {
                lock.unlock();
                WaitActively([this] { return m_nQueued.load(std::memory_order_acquire) > 0; });
                lock.lock();
                if (m_calls.empty())
                    break;
            }
            CWaitingCall call = std::move(m_calls.front());
            m_calls.pop_front();
            m_nQueued.fetch_sub(1, std::memory_order_relaxed);
            lock.unlock();
            call.fn();
            lock.lock();
            if (call.pbDone) {
                call.pbDone->store(true, std::memory_order_release);
                m_done.notify_all();
            }
        }
        m_bServing = false;
    }

    int m_nEventFd;
    QSocketNotifier* m_pNotifier;
    std::mutex m_mutex;
    std::condition_variable m_done;
    std::deque<CWaitingCall> m_calls;
    std::atomic<size_t> m_nQueued{0}; // the queue's length, for a look without the mutex
    bool m_bServing = false;          // RunWaiting will look at the queue before it returns
};

CUiThreadCalls& Calls() {
    static CUiThreadCalls* pCalls = new CUiThreadCalls;
    return *pCalls;
}
} // namespace

void InitUiThreadCalls() {
    Calls();
}

void CallOnUiThread(const std::function<void()>& fn) {
    Calls().Call(fn, true);
}

void PostToUiThread(std::function<void()> fn) {
    Calls().Call(std::move(fn), false);
}
