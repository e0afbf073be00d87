// SPDX-License-Identifier: Apache-2.0
// Building targets for tests.
#pragma once

#include "model/item.h"

#include <string>

inline CItem* NewItem(int32_t ok, int32_t mode, const std::string& address, int32_t port) {
    auto* item = new CItem;
    item->m_bOk = ok;
    item->m_nMode = mode;
    item->m_strAddress = address;
    item->m_nPort = port;
    return item;
}
