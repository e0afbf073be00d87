// SPDX-License-Identifier: Apache-2.0
// The targets of the probe benchmarks: loopback ports that accept and ports
// that refuse, and a private network namespace to hold them.
#pragma once

#include "loopback_port.h"

#include <memory>
#include <vector>

// Moves the calling thread, and the threads it starts from then on, into a
// new network namespace (root only) with loopback up and the whole port
// range open to local ports; false when it stays where it was.
bool EnterPrivateNetwork();

// Writes the namespace's net.ipv4.ping_group_range; false on failure.
bool SetPingGroupRange(const char* pszRange);

class CLoopbackTargets {
public:
    explicit CLoopbackTargets(int nEach); // nEach listening and nEach refusing ports

    // Listening and refusing ports alternately.
    const std::vector<int>& Ports() const { return m_ports; }
    // Accepts and closes every waiting connection; how many there were.
    int DrainConnections();

private:
    std::vector<std::unique_ptr<CLoopbackPort>> m_listening, m_refusing;
    std::vector<int> m_ports;
};
