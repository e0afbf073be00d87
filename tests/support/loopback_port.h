// SPDX-License-Identifier: Apache-2.0
// CLoopbackPort: a loopback TCP port for probes to meet, listening or not.
#pragma once

class CLoopbackPort {
public:
    // Binds 127.0.0.1 (::1 with `bIpv6`) on a port the kernel picks; listens
    // when `bListen`. Bound but not listening, the port refuses connections.
    // An IPv6 port also holds its number on 127.0.0.1, bound and not
    // listening, so that an IPv4 connect to it is refused whatever else runs
    // on the machine (another process could otherwise listen there).
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

    // Holds m_nPort on 127.0.0.1 for an IPv6 port; false when it is taken.
    bool HoldIpv4Number();

    bool m_bIpv6;
    int m_nFd = -1;
    int m_nIpv4Holder = -1;
    int m_nPort = 0;
};
