// SPDX-License-Identifier: Apache-2.0
// Turns a target's address text into the IPv4 address a probe sends to.
#pragma once

#include <netinet/in.h>

#include <optional>
#include <string>

// A numbers-and-dots address is taken as it stands, with no lookup, in the
// forms inet_aton() accepts: "a.b.c.d", and the shorter "a.b.c", "a.b" and
// "a" forms whose last part fills the remaining bytes, each part decimal,
// octal (leading 0) or hexadecimal (leading 0x); text after a blank is
// ignored. Anything else is looked up as a host name and its first IPv4
// address is used. Empty text, text holding a zero byte and a name that does
// not resolve give no address. Thread-safe; nothing is cached.
std::optional<in_addr> ResolveHostAddress(const std::string& strAddress);

// Whether ResolveHostAddress would have to look `strAddress` up as a name,
// which may take long; everything else it answers at once.
bool NeedsNameLookup(const std::string& strAddress);
