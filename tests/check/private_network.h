// SPDX-License-Identifier: Apache-2.0
// Test helpers that run code inside network namespaces of the test's own, so
// probes can meet silent hosts, missing routes and routers without a packet
// reaching a real network.
#pragma once

#include <functional>
#include <string>
#include <vector>

// Runs `fnBody` in a forked child. With `strNamespace` empty the child enters
// a fresh network namespace of its own with the loopback interface up;
// otherwise it joins the named one (made by CNamespaceSet). Returns what the
// body returned, or an empty string with `strSkipReason` set when the
// namespace cannot be had (not root, no namespaces).
std::string RunInNetworkNamespace(const std::string& strNamespace,
                                  const std::function<std::string()>& fnBody,
                                  std::string& strSkipReason);
inline std::string RunInPrivateNetwork(const std::function<std::string()>& fnBody,
                                       std::string& strSkipReason) {
    return RunInNetworkNamespace({}, fnBody, strSkipReason);
}

// Writes a sysctl of the calling process's network namespace, e.g.
// SetSysctl("net/ipv4/ping_group_range", "0 2147483647").
bool SetSysctl(const std::string& strName, const std::string& strValue);

// A counter of /proc/net/snmp in the calling process's namespace, e.g.
// SnmpCounter("Icmp", "OutEchos"), or of /proc/net/snmp6 for a group ending
// in 6, SnmpCounter("Icmp6", "OutEchos"); -1 when absent.
long long SnmpCounter(const std::string& strGroup, const std::string& strName);

// The shell command that gives interface `strIf` the blank-separated CIDRs
// `strCidrs` (IPv6 ones at once usable, without duplicate address detection)
// and brings it up.
std::string AddressUp(const std::string& strCidrs, const std::string& strIf);

// Named namespaces made with `ip netns add`, removed again on destruction.
class CNamespaceSet {
public:
    CNamespaceSet() = default;
    CNamespaceSet(const CNamespaceSet&) = delete;
    CNamespaceSet& operator=(const CNamespaceSet&) = delete;
    ~CNamespaceSet();

    // A new namespace, its loopback up; its unique name, or empty on failure.
    std::string Add(const std::string& strRole);
    // Runs a shell command inside namespace `strName`; true when it succeeded.
    bool Exec(const std::string& strName, const std::string& strCommand);
    // Joins two namespaces by a veth pair: `strIfA` with `strAddrA` in `strA`,
    // `strIfB` with `strAddrB` in `strB`, both up. An address is one or more
    // CIDRs, IPv4 or IPv6, separated by blanks.
    bool Link(const std::string& strA, const std::string& strIfA, const std::string& strAddrA,
              const std::string& strB, const std::string& strIfB, const std::string& strAddrB);

private:
    std::vector<std::string> m_names;
};

// One probe's result and how long it took, passed from a child as text.
struct SProbeOutcome {
    int nResult = -1;
    double dMs = 0;
};
// Probes a target made of these fields; "RESULT MS\n".
std::string TimeProbe(int nMode, const std::string& strAddress, int nPort = 80);
// The outcomes of a child's TimeProbe lines, in order.
std::vector<SProbeOutcome> ParseOutcomes(const std::string& strText);
