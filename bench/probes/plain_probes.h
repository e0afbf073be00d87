// SPDX-License-Identifier: Apache-2.0
// The limit the probes are measured against: the same connects and echoes
// written as plain C, with nothing around them.
#pragma once

#include <netinet/in.h>

// socket, bind, non-blocking connect, poll, SO_ERROR, close: 1 when connected.
int PlainConnect(in_addr target, int nPort);
// socket (datagram, else raw), sendto, poll and recv until the reply, close:
// 1 when the echo reply came back within 10 s.
int PlainEcho(in_addr target, unsigned short nSequence);
// The same over IPv6: an ICMPv6 echo request, whose checksum the kernel makes.
int PlainEcho6(const in6_addr& target, unsigned short nSequence);
