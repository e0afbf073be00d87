// SPDX-License-Identifier: Apache-2.0
// CLoopbackPort: a loopback TCP port for probes to meet, listening or not.
#pragma once

class CLoopbackPort {
public:
    // Binds 127.0.0.1 (::1 with `bIpv6`) on a port the kernel picks; listens
    // when `bListen`. Bound but not listening, the port refuses connections.
    explicit CLoopbackPort(bool bListen, bool bIpv6 = false);
    CLoopbackPort(const CLoopbackPort&) = delete;
    CLoopbackPort& operator=(const CLoopbackPort&) = delete;
    ~CLoopbackPort();

    int Port() const { return m_nPort; }
    // Takes the next waiting connection: -1 when none waits, else the number
    // of bytes it carried before its end (0: closed without data).
    int AcceptAndDrain();

private:
    int m_nFd;
    int m_nPort = 0;
};
