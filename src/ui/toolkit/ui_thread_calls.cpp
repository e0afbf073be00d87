#include "ui/toolkit/ui_thread_calls.h"

#include <QSocketNotifier>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {
class CUiThreadCalls {
public:
    // Created on the user-interface thread; lives as long as the process.
    CUiThreadCalls()
        : m_nEventFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
          m_pNotifier(new QSocketNotifier(m_nEventFd, QSocketNotifier::Read)) {
        QObject::connect(m_pNotifier, &QSocketNotifier::activated, [this] { RunWaiting(); });
    }

    void Call(std::function<void()> fn, bool bWait) {
        bool bDone = false;
        std::unique_lock lock(m_mutex);
        m_calls.push_back({std::move(fn), bWait ? &bDone : nullptr});
        const uint64_t nOne = 1;
        [[maybe_unused]] ssize_t n = write(m_nEventFd, &nOne, sizeof nOne);
        if (bWait)
            m_done.wait(lock, [&] { return bDone; });
    }

private:
    struct CWaitingCall {
        std::function<void()> fn;
        bool* pbDone; // the waiting caller's flag; null when nobody waits
    };

    void RunWaiting() {
        uint64_t nCount = 0;
        [[maybe_unused]] ssize_t n = read(m_nEventFd, &nCount, sizeof nCount);
        std::unique_lock lock(m_mutex);
        while (!m_calls.empty()) {
            CWaitingCall call = std::move(m_calls.front());
            m_calls.pop_front();
            lock.unlock();
            call.fn();
            lock.lock();
            if (call.pbDone) {
                *call.pbDone = true;
                m_done.notify_all();
            }
        }
    }

    int m_nEventFd;
    QSocketNotifier* m_pNotifier;
    std::mutex m_mutex;
    std::condition_variable m_done;
    std::deque<CWaitingCall> m_calls;
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
