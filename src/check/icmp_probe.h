// SPDX-License-Identifier: Apache-2.0
// One ICMP echo request to an IPv4 address, or ICMPv6 echo request to an
// IPv6 one, and the wait for its reply.
#pragma once

#include "check/ip_address.h"

#include <cstdint>

// Sends one echo request carrying "Hi there!" and a zero byte, no IP options,
// and waits up to 10000 ms in all. 1 when the target's echo reply to this
// very request arrives; 0 when the time runs out, an ICMP error about the
// request arrives (at once, without waiting out the time), the request cannot
// be sent, or no ICMP socket can be opened. The request's identifier and
// sequence are drawn at random for every probe, so no one can name the next
// request from the last; an error counts only when it quotes both and the
// target. Uses an ICMP datagram socket where net.ipv4.ping_group_range allows
// it (for either family), else a raw socket. Thread-safe.
int32_t ProbeIcmp(const SIpAddress& target);
