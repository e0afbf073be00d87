// SPDX-License-Identifier: Apache-2.0
// Whether this process may open an ICMP socket at all, for tests to skip.
#pragma once

// True when an ICMP datagram socket (net.ipv4.ping_group_range) or a raw
// socket (CAP_NET_RAW) opens.
bool CanOpenIcmpSocket();
