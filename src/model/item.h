// SPDX-License-Identifier: Apache-2.0
// CItem: one monitored target, the way to test it, and its last result.
#pragma once

#include "framework/object.h"

#include <cstdint>
#include <string>

// How a target is tested. Every nonzero value is a TCP connect.
enum ProbeMode : int32_t { kProbeIcmp = 0, kProbeTcp = 1 };

class CItem : public CObject {
    DECLARE_SERIAL(CItem)
public:
    CItem() = default;
    ~CItem() override = default;
    void Serialize(CArchive& ar) override;

    // Tests the target once by its mode; 1 when it responded, else 0.
    // Defined with the probes in check/.
    int32_t Probe() const;
    // Runs the target editor on this target, modally. Defined in ui/, so only
    // programs with a user interface may call it.
    void Edit();

    bool IsIcmp() const { return m_nMode == kProbeIcmp; }

    int32_t m_bOk = 0;           // nonzero: answered at the last probe
    int32_t m_nMode = kProbeTcp; // ProbeMode
    std::string m_strAddress;    // host name or dotted IPv4 address, as typed
    int32_t m_nPort = 80;        // TCP port (low 16 bits used); stored for ICMP targets too
};
