// The digest of a pass that the command alert finds in its environment, so
// that the command can say what failed.
#pragma once

#include "model/item_list.h"

#include <string>
#include <vector>

// The variables, as "NAME=value", that describe the results in `list` (each
// target's m_bOk after the pass):
// - OSTREL_FAILED: how many targets did not respond, in decimal;
// - OSTREL_TOTAL: how many targets the list holds;
// - OSTREL_FAILED_TARGETS: the targets that did not respond, in list order,
//   each as one word, the words separated by single blanks: "address:port"
//   (the stored port in decimal) for a TCP target, "address" for an ICMP
//   echo target. Within an address, every control byte, the blank, the
//   backslash and the colon are written as \xNN (lower-case hex), so the
//   value splits on blanks, a word holds a colon exactly when it names a
//   TCP target, and replacing each \xNN by its byte gives the address back.
//   An ICMP target with an empty address gives an empty word.
std::vector<std::string> AlertDigestEnvironment(const CItemList& list);
