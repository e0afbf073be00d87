// SPDX-License-Identifier: Apache-2.0
// One TCP connection attempt to an IPv4 or IPv6 address and port.
#pragma once

#include "check/file_descriptor.h"
#include "check/ip_address.h"

#include <chrono>
#include <cstdint>

// How long an unanswered connect waits before it fails: about the 21 s of
// three SYNs on the platform the monitor was first written for, where
// Linux's default of seven SYNs waits 127 s.
inline constexpr std::chrono::milliseconds kTcpConnectTimeout{21000};

// Gives a stream socket, before it connects, `timeout` as the time after
// which the stack ends an unanswered attempt as failed.
void SetConnectTimeout(int nFd, std::chrono::milliseconds timeout);

// Whether a kernel of this release (uname's, "6.1.0-18-amd64") ends an
// unanswered connect at the socket's user timeout: from 4.19 on it does;
// older ones apply the user timeout only once the connection is made.
bool UserTimeoutEndsConnect(const char* pszRelease);

// Opens a stream socket, connects it without blocking from any local address
// and a port the stack chooses (at the connect, so that a port busy with
// another destination may serve) and waits, with no time limit of its own,
// until the stack reports the outcome (which it does after
// kTcpConnectTimeout at the latest when nothing answers); then closes the
// socket at once, without sending data. 1 when the connection was made; 0
// when it failed, when the socket could not be created, or when the stack
// connected the socket to itself (a closed port in the local port range on
// this host: local and peer address equal, nobody listening). Thread-safe.
int32_t ProbeTcp(const SIpAddress& target, uint16_t nPort);

// The same attempt in two steps, for a caller that waits on many at once.
struct STcpAttempt {
    CFileDescriptor fd;  // the socket while the outcome is pending
    int32_t nResult = 0; // the outcome once `fd` is closed
    // The socket could not be opened for want of a descriptor or of memory:
    // the attempt was never made.
    bool bNoResources = false;
    uint16_t nPort = 0; // where it goes, to tell a connection to itself
    bool IsPending() const { return fd.IsOpen(); }
};
// Starts the attempt; pending until the socket reports writable or an error,
// which the stack does after `timeout` at the latest.
STcpAttempt StartTcpConnect(const SIpAddress& target, uint16_t nPort,
                            std::chrono::milliseconds timeout = kTcpConnectTimeout);
// The outcome of a pending attempt whose socket has reported; closes it.
int32_t FinishTcpConnect(STcpAttempt& attempt);
