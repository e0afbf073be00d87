// SPDX-License-Identifier: Apache-2.0
// The storage tests' own flock(2). Defined in the test program, it takes the
// place of the C library's for every caller linked into it, the core library
// included, and passes each call on to the kernel. A test can have it
//   - refuse locks with ENOLCK on files whose name ends in a given text (a
//     file system without locks);
//   - note the name and permissions of every file as it is locked.
#pragma once

#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

struct CFlockHook {
    std::string m_strFailSuffix;
    std::vector<std::pair<std::string, mode_t>> m_locked;
};

extern CFlockHook g_flockHook;
