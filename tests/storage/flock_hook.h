// The storage tests' own flock(2). Defined in the test program, it takes the
// place of the C library's for every caller linked into it, the core library
// included, and passes each call on to the kernel. A test can have it
//   - hold the first lock of the process: say that it got there, then wait
//     until told to go on (a process held between opening a file and
//     locking it, while another one saves);
//   - refuse locks with ENOLCK on files whose name ends in a given text (a
//     file system without locks);
//   - note the name and permissions of every file as it is locked.
#pragma once

#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

struct CFlockHook {
    int m_nArrivedFd = -1; // given a byte when the held lock is reached
    int m_nGoFd = -1;      // a byte read from it lets the held lock go on
    std::string m_strFailSuffix;
    std::vector<std::pair<std::string, mode_t>> m_locked;
};

extern CFlockHook g_flockHook;

// Holds the first lock of a child process until Release(). Made before the
// fork; the child calls HoldHere() and goes on to open and lock a file.
class CHeldLock {
public:
    CHeldLock();
    ~CHeldLock();
    // In the child: hold the next lock.
    void HoldHere();
    // In the parent: wait until the child is held (false when it ended
    // before), then let it go on.
    bool WaitUntilHeld();
    void Release();

private:
    int m_arrived[2];
    int m_go[2];
};
