// SPDX-License-Identifier: Apache-2.0
// Whether this process can use IPv4 sockets at all: the program's start-up
// check, before any window opens.
#pragma once

// True when an IPv4 socket can be created (and is closed again at once).
bool SocketLayerAvailable();
