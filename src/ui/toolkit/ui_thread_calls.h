// SPDX-License-Identifier: Apache-2.0
// Calls that other threads make on the user-interface thread. A caller hands
// a function over under a mutex and wakes the user-interface thread through
// an eventfd that its event loop watches; that thread runs the function while
// it dispatches events. Because the hand-over goes through a mutex and a
// condition variable of the standard library, what the function reads and
// writes is ordered between the two threads for every checker, sanitizers
// included, which cannot see into Qt's own locks. Each side polls for a
// moment before it sleeps, since a pass over fast targets hands a call over
// more often than a thread can sleep and be woken.
#pragma once

#include <functional>

// Must first be called on the user-interface thread: sets up the watch there.
void InitUiThreadCalls();
// From another thread: runs fn on the user-interface thread and returns once
// it has run. The user-interface thread must be dispatching events.
void CallOnUiThread(const std::function<void()>& fn);
// From any thread: runs fn on the user-interface thread at its next dispatch,
// without waiting.
void PostToUiThread(std::function<void()> fn);
