// SPDX-License-Identifier: Apache-2.0
// The digest of a pass that the command alert finds in its environment, so
// that the command can say what failed.
#pragma once

#include "model/item_list.h"
#include "monitor/alert_command.h"
#include "monitor/target_alert_state.h"

#include <cstddef>
#include <string>
#include <vector>

// At most this many bytes of targets go into OSTREL_FAILED_TARGETS: a single
// string of the environment may not pass 128 KiB, and past it the command
// could not be started at all.
inline constexpr size_t kMaxFailedTargetsBytes = 65536;

// What the command finds about the results in `list` (each target's m_bOk
// after the pass), as "NAME=value":
// - OSTREL_FAILED: how many targets did not respond, in decimal;
// - OSTREL_TOTAL: how many targets the list holds;
// - OSTREL_FAILED_TARGETS: the targets that did not respond, in list order,
//   each as one word, the words separated by single blanks: "address:port"
//   (the stored port in decimal) for a TCP target, "address" for an ICMP
//   echo target. Within an address, every control byte, the blank, the
//   backslash, the colon and the shell's pattern bytes * ? [ are written as
//   \xNN (lower-case hex), so the value splits on blanks into words, and
//   replacing each \xNN by its byte gives the address back. An IPv6 address
//   (IsIpv6Literal) is written in brackets instead, "[address]:port" and
//   "[address]" (stored brackets are not doubled), with its own colons as
//   they are; a %zone is escaped as above, "]" too. So a word holds a colon
//   outside brackets exactly when it names a TCP target. A word without
//   brackets is one a shell leaves as it is; a bracketed one is a pattern to
//   a shell that expands globs (set -f first). An ICMP target with an empty
//   address gives an empty word. Only as many
//   whole words as fit in kMaxFailedTargetsBytes are given;
// - OSTREL_FAILED_TARGETS_TRUNCATED=1 when words were left out.
// The file text holds every word, each on a line of its own.
SAlertEnvironment AlertDigestEnvironment(const CItemList& list);

// A target as one word of the digest, written as above.
std::string AlertTargetWord(const CItem& item);

// The digest of one alert event of `watch`: the pass's digest as above, and
// - OSTREL_EVENT: the event's name (failed, down, up, reminder, link-down,
//   link-up);
// - OSTREL_TARGETS: the words of the targets the event concerns (for
//   link-down and link-up, the canaries), joined and cut to
//   kMaxFailedTargetsBytes as OSTREL_FAILED_TARGETS is, with
//   OSTREL_TARGETS_TRUNCATED=1 when words were left out.
// The file text holds every word of `concerned`, one a line.
SAlertEnvironment AlertEventEnvironment(const CItemList& list, EAlertEvent event,
                                        const std::vector<std::string>& concerned);
