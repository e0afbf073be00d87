// SPDX-License-Identifier: Apache-2.0
#include "check/check_worker.h"

#include "check/check_pass.h"

#include <atomic>
#include <system_error>

namespace {
// Raised from a pass's start until its result has been taken: CheckPassState
// has room for one pass only.
std::atomic<bool> g_bPassRunning{false};
} // namespace

CCheckWorker::~CCheckWorker() {
    Join();
}

bool CCheckWorker::Start(CItemList& list, CStatusSink& sink, std::function<void()> fnFinished) {
    if (m_thread.joinable() || g_bPassRunning.exchange(true, std::memory_order_acquire))
        return false;
    CheckPassState.allOk = 1;
    CheckPassState.list = &list;
    CheckPassState.listView = &sink;
    try {
        m_thread = std::thread([fnFinished = std::move(fnFinished)] {
            CheckThreadProc(nullptr);
            if (fnFinished)
                fnFinished();
        });
    } catch (const std::system_error&) {
        CheckPassState.allOk = 0;
        g_bPassRunning.store(false, std::memory_order_release);
        return false;
    }
    return true;
}

int32_t CCheckWorker::Join() {
    if (!m_thread.joinable())
        return CheckPassState.allOk;
    m_thread.join();
    int32_t nAllOk = CheckPassState.allOk;
    g_bPassRunning.store(false, std::memory_order_release);
    return nAllOk;
}

int32_t RunCheckPass(CItemList& list, CStatusSink& sink) {
    CCheckWorker worker;
    if (!worker.Start(list, sink))
        return 0;
    return worker.Join();
}
