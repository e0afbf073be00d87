// One TCP connection attempt to an IPv4 address and port.
#pragma once

#include <netinet/in.h>

#include <cstdint>

// Opens a stream socket bound to any local address and a port the stack
// chooses, connects without blocking and waits, with no time limit of its
// own, until the stack reports the outcome; then closes the socket at once,
// without sending data. 1 when the connection was made; 0 when it failed,
// when the socket could not be created or bound, or when the stack connected
// the socket to itself (a closed port in the local port range on this host:
// local and peer address equal, nobody listening). Thread-safe.
int32_t ProbeTcp(in_addr target, uint16_t nPort);
