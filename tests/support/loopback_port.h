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
    // Opens or closes the port between probes: listening, or bound again to
    // the same port without listening, which refuses connections.
    void SetListening(bool bListen);
    // Takes the next waiting connection: -1 when none waits, else the number
    // of bytes it carried before its end (0: closed without data).
    int AcceptAndDrain();

private:
    // Binds a new socket to m_nPort (0: one the kernel picks) and reads the
    // port back.
    void Bind();

    bool m_bIpv6;
    int m_nFd = -1;
    int m_nPort = 0;
};
