// SPDX-License-Identifier: Apache-2.0
// CItem::Probe: resolves the target and runs the test its mode selects.
#include "model/item.h"

#include "check/host_address.h"
#include "check/icmp_probe.h"
#include "check/tcp_probe.h"

int32_t CItem::Probe() const {
    std::optional<SIpAddress> address = ResolveHostAddress(m_strAddress);
    if (!address)
        return 0;
    if (IsIcmp())
        return ProbeIcmp(*address);
    return ProbeTcp(*address, static_cast<uint16_t>(m_nPort & 0xffff));
}
