// SPDX-License-Identifier: Apache-2.0
#include "private_network.h"

#include "model/item.h"
#include "support/test_files.h"

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {
bool BringLoopbackUp() {
    int nFd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (nFd < 0)
        return false;
    ifreq request{};
    std::strcpy(request.ifr_name, "lo");
    bool bOk = ioctl(nFd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags |= IFF_UP;
    bOk = bOk && ioctl(nFd, SIOCSIFFLAGS, &request) == 0;
    close(nFd);
    return bOk;
}

// In the child: enters the namespace; an error text, empty on success.
std::string EnterNamespace(const std::string& strNamespace) {
    if (strNamespace.empty()) {
        if (unshare(CLONE_NEWNET) != 0)
            return std::string("unshare(CLONE_NEWNET): ") + std::strerror(errno);
        return BringLoopbackUp() ? "" : "cannot bring lo up";
    }
    int nFd = open(("/run/netns/" + strNamespace).c_str(), O_RDONLY | O_CLOEXEC);
    if (nFd < 0 || setns(nFd, CLONE_NEWNET) != 0)
        return "cannot join namespace " + strNamespace;
    close(nFd);
    return {};
}

} // namespace

std::string AddressUp(const std::string& strCidrs, const std::string& strIf) {
    std::istringstream cidrs(strCidrs);
    std::string strCommand;
    for (std::string strCidr; cidrs >> strCidr;) // an IPv6 one skips duplicate address detection
        strCommand += "ip addr add " + strCidr + " dev " + strIf +
                      (strCidr.find(':') == std::string::npos ? "" : " nodad") + " && ";
    return strCommand + "ip link set " + strIf + " up";
}

std::string RunInNetworkNamespace(const std::string& strNamespace,
                                  const std::function<std::string()>& fnBody,
                                  std::string& strSkipReason) {
    strSkipReason = geteuid() == 0 ? "" : "network namespaces need root";
    if (!strSkipReason.empty())
        return {};
    const std::string text = RunInChild([&] {
        const std::string strError = EnterNamespace(strNamespace);
        return strError.empty() ? "+" + fnBody() : "!" + strError;
    });
    if (text.starts_with("!"))
        strSkipReason = text.substr(1);
    return text.starts_with("+") ? text.substr(1) : strSkipReason.empty() ? text : "";
}

bool SetSysctl(const std::string& strName, const std::string& strValue) {
    std::ofstream file("/proc/sys/" + strName);
    file << strValue << '\n';
    file.close();
    return !file.fail();
}

long long SnmpCounter(const std::string& strGroup, const std::string& strName) {
    if (strGroup.ends_with('6')) { // /proc/net/snmp6 has one "GroupName value" a line
        std::ifstream file("/proc/net/snmp6");
        std::string strKey;
        long long nValue;
        while (file >> strKey >> nValue)
            if (strKey == strGroup + strName)
                return nValue;
        return -1;
    }
    std::ifstream file("/proc/net/snmp");
    std::string strHeader, strValues;
    while (std::getline(file, strHeader) && std::getline(file, strValues)) {
        std::istringstream names(strHeader), values(strValues);
        std::string strName1, strValue;
        names >> strName1;
        values >> strValue;
        if (strName1 != strGroup + ":")
            continue;
        while (names >> strName1 && values >> strValue)
            if (strName1 == strName)
                return std::stoll(strValue);
    }
    return -1;
}

CNamespaceSet::~CNamespaceSet() {
    for (const std::string& strName : m_names) // a namespace left behind is harmless
        [[maybe_unused]] int nStatus =
            std::system(("ip netns delete " + strName + " 2>/dev/null").c_str());
}

std::string CNamespaceSet::Add(const std::string& strRole) {
    static std::atomic<int> nCounter{0};
    std::string strName = "ostrel-test-" + std::to_string(getpid()) + "-" +
                          std::to_string(nCounter++) + "-" + strRole;
    if (std::system(("ip netns add " + strName + " 2>/dev/null").c_str()) != 0)
        return {};
    m_names.push_back(strName);
    return Exec(strName, "ip link set lo up") ? strName : std::string();
}

bool CNamespaceSet::Exec(const std::string& strName, const std::string& strCommand) {
    std::string strLine =
        "ip netns exec " + strName + " sh -c '" + strCommand + "' >/dev/null 2>&1";
    return std::system(strLine.c_str()) == 0;
}

bool CNamespaceSet::Link(const std::string& strA, const std::string& strIfA,
                         const std::string& strAddrA, const std::string& strB,
                         const std::string& strIfB, const std::string& strAddrB) {
    std::string strCommand = "ip link add " + strIfA + " netns " + strA + " type veth peer name " +
                             strIfB + " netns " + strB + " 2>/dev/null";
    return std::system(strCommand.c_str()) == 0 && Exec(strA, AddressUp(strAddrA, strIfA)) &&
           Exec(strB, AddressUp(strAddrB, strIfB));
}

std::string TimeProbe(int nMode, const std::string& strAddress, int nPort) {
    CItem item;
    item.m_nMode = nMode;
    item.m_strAddress = strAddress;
    item.m_nPort = nPort;
    auto start = std::chrono::steady_clock::now();
    int nResult = item.Probe();
    std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
    return std::to_string(nResult) + " " + std::to_string(elapsed.count()) + "\n";
}

std::vector<SProbeOutcome> ParseOutcomes(const std::string& strText) {
    std::vector<SProbeOutcome> outcomes;
    std::istringstream lines(strText);
    SProbeOutcome outcome;
    while (lines >> outcome.nResult >> outcome.dMs)
        outcomes.push_back(outcome);
    return outcomes;
}
