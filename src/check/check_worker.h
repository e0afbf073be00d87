// SPDX-License-Identifier: Apache-2.0
// CCheckWorker: runs one check pass on its own thread while the caller goes on
// (the GUI keeps dispatching its events meanwhile), and tells when it is over.
#pragma once

#include <cstdint>
#include <functional>
#include <thread>

class CItemList;
class CStatusSink;

class CCheckWorker {
public:
    CCheckWorker() = default;
    CCheckWorker(const CCheckWorker&) = delete;
    CCheckWorker& operator=(const CCheckWorker&) = delete;
    ~CCheckWorker(); // waits for a pass still running

    // Publishes the pass in CheckPassState (allOk = 1, the list, the sink) and
    // starts a thread running CheckThreadProc. `fnFinished`, when given, is
    // called on that thread once the pass is over, as its last act; the GUI
    // uses it to wake its event loop. False, with nothing started and
    // `fnFinished` never called, when another pass is running in this process
    // (passes never overlap) or when no thread can be created; in the latter
    // case allOk is set to 0, since no target was tested.
    bool Start(CItemList& list, CStatusSink& sink, std::function<void()> fnFinished = {});
    // Sleeps until the started pass is over and takes its result,
    // CheckPassState.allOk; only then may the next pass start. Without a
    // started pass, returns allOk as it stands.
    int32_t Join();

private:
    std::thread m_thread;
};

// Runs one pass on a worker thread and waits for it: the pass's result, 1
// when every target responded (also for an empty list), else 0 (also when no
// pass could be started).
int32_t RunCheckPass(CItemList& list, CStatusSink& sink);
