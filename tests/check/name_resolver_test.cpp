// SPDX-License-Identifier: Apache-2.0
// The resolver's threads hand back every lookup once, under its own tag, and
// may outlive the resolver that started them.
#include "check/concurrent/name_resolver.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <map>

TEST(NameResolver, EveryLookupComesBackOnceUnderItsTag) {
    std::map<size_t, std::optional<SIpAddress>> results;
    {
        CNameResolver resolver(3);
        for (size_t nTag = 0; nTag < 40; ++nTag)
            resolver.Submit(nTag, nTag % 2 ? "localhost" : "");
        while (results.size() < 40) {
            pollfd pfd{resolver.Fd(), POLLIN, 0};
            ASSERT_EQ(poll(&pfd, 1, 10000), 1) << "a lookup never came back";
            for (auto& [nTag, address] : resolver.TakeResults())
                EXPECT_TRUE(results.emplace(nTag, address).second) << "tag " << nTag << " twice";
        }
        // Lookups still queued or running when the resolver goes are dropped.
        for (size_t nTag = 100; nTag < 140; ++nTag)
            resolver.Submit(nTag, "localhost");
    }
    for (auto& [nTag, address] : results) {
        ASSERT_EQ(address.has_value(), nTag % 2 == 1) << "tag " << nTag;
        if (address) {
            EXPECT_EQ(address->v4.s_addr, htonl(INADDR_LOOPBACK));
        }
    }
}
