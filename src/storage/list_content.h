// SPDX-License-Identifier: Apache-2.0
// What a list holds for its user, to tell whether it changed: the bytes of
// its list file with every target's last status cleared, since the results
// of check passes are no change the user made.
#pragma once

#include "model/item_list.h"

#include <cstdint>
#include <vector>

std::vector<uint8_t> ListContent(const CItemList& list);
