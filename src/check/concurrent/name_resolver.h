// SPDX-License-Identifier: Apache-2.0
// CNameResolver: looks host names up on threads of its own, so that a name
// that takes long to resolve holds up nobody but its own target.
#pragma once

#include "check/ip_address.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class CNameResolver {
public:
    // Up to `nThreads` lookups at once; threads start as names come.
    explicit CNameResolver(int nThreads);
    CNameResolver(const CNameResolver&) = delete;
    CNameResolver& operator=(const CNameResolver&) = delete;
    // Drops the lookups not begun. Those under way are not waited for: each
    // finishes on its thread, which then ends on its own.
    ~CNameResolver();

    // Readable while results wait to be taken.
    int Fd() const;
    // Queues the lookup of `strName`; its result comes back under `nTag`.
    void Submit(size_t nTag, std::string strName);
    using Result = std::pair<size_t, std::optional<SIpAddress>>;
    // The lookups finished since the last call.
    std::vector<Result> TakeResults();

private:
    struct SShared;
    static void Serve(std::shared_ptr<SShared> shared);

    std::shared_ptr<SShared> m_shared;
    int m_nThreads;
    int m_nStarted = 0;
};
