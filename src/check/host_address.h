// SPDX-License-Identifier: Apache-2.0
// Turns a target's address text into the address a probe sends to.
#pragma once

#include "check/ip_address.h"

#include <optional>
#include <string>

// A numbers-and-dots address is taken as it stands, with no lookup, in the
// forms inet_aton() accepts: "a.b.c.d", and the shorter "a.b.c", "a.b" and
// "a" forms whose last part fills the remaining bytes, each part decimal,
// octal (leading 0) or hexadecimal (leading 0x); text after a blank is
// ignored. So is an IPv6 address ("2001:db8::7", "::1"), with or without
// brackets, a link-local one with its zone ("fe80::1%eth0", or the
// interface's index); an IPv4-mapped one ("::ffff:192.0.2.1") is its IPv4
// address. Anything else is looked up as a host name: its first IPv4
// address, or, when it has none, its first IPv6 address. Empty text, text
// holding a zero byte, a zone naming no interface and a name that does not
// resolve give no address. Thread-safe; nothing is cached.
std::optional<SIpAddress> ResolveHostAddress(const std::string& strAddress);

// Whether ResolveHostAddress would have to look `strAddress` up as a name,
// which may take long; everything else it answers at once.
bool NeedsNameLookup(const std::string& strAddress);

// Whether `strAddress` is an IPv6 address as ResolveHostAddress takes one,
// brackets and zone included (the zone unchecked).
bool IsIpv6Literal(const std::string& strAddress);

// An IPv6 address without the brackets it may be stored in; other text as it is.
std::string WithoutIpv6Brackets(const std::string& strAddress);
