// SPDX-License-Identifier: Apache-2.0
#include "cli/doctor/doctor_checks.h"

#include "check/file_descriptor.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>

namespace {
constexpr const char* kSysctlFix = "sudo sysctl -w net.ipv4.ping_group_range=\"0 2147483647\"";
constexpr const char* kSysctlKeep = "echo 'net.ipv4.ping_group_range = 0 2147483647' | sudo tee "
                                    "/etc/sysctl.d/60-ostrel-ping.conf  # keeps it after a reboot";
constexpr const char* kRangeFile = "/proc/sys/net/ipv4/ping_group_range";
constexpr const char* kIpv6DisabledFile = "/proc/sys/net/ipv6/conf/all/disable_ipv6";
constexpr const char* kIpv6KernelFix = "remove ipv6.disable=1 from GRUB_CMDLINE_LINUX in "
                                       "/etc/default/grub, then sudo update-grub and reboot  # "
                                       "the kernel was started without IPv6";

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

// One unsigned 32-bit decimal number at the front of `text`, taken off it.
std::optional<uint32_t> TakeNumber(std::string_view& text) {
    uint32_t nValue = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), nValue);
    if (ec != std::errc() || end == text.data())
        return std::nullopt;
    text.remove_prefix(static_cast<size_t>(end - text.data()));
    return nValue;
}

size_t SkipBlanks(std::string_view& text) {
    size_t n = 0;
    while (n < text.size() && IsBlank(text[n]))
        ++n;
    text.remove_prefix(n);
    return n;
}

// The groups, each once, as "group G" or "groups G, H".
std::string GroupsText(const std::vector<gid_t>& groups) {
    std::vector<gid_t> unique;
    for (gid_t g : groups)
        if (std::find(unique.begin(), unique.end(), g) == unique.end())
            unique.push_back(g);
    std::string text = unique.size() == 1 ? "group " : "groups ";
    for (size_t i = 0; i < unique.size(); ++i)
        text += (i ? ", " : "") + std::to_string(unique[i]);
    return text;
}

// What the sysctl says about this process's groups.
std::string RangeText(const SEchoFacts& facts) {
    if (!facts.rangeText)
        return "net.ipv4.ping_group_range cannot be read: " + ErrorText(facts.nRangeError);
    const std::optional<SGroupRange> range = ParsePingGroupRange(*facts.rangeText);
    if (!range)
        return "net.ipv4.ping_group_range reads \"" + *facts.rangeText +
               "\", not two group numbers";
    const std::string head = "net.ipv4.ping_group_range " + std::to_string(range->nLow) + " " +
                             std::to_string(range->nHigh);
    if (range->nLow > range->nHigh)
        return head + " includes no group";
    if (std::optional<gid_t> group = FirstGroupInRange(*range, facts.groups))
        return head + " includes group " + std::to_string(*group);
    return head + " includes none of " + GroupsText(facts.groups);
}

std::optional<std::string> ReadSmallFile(const char* path, int& nError) {
    CFileDescriptor fd(open(path, O_RDONLY | O_CLOEXEC));
    char buffer[256];
    ssize_t n = fd.IsOpen() ? read(fd.Get(), buffer, sizeof buffer) : -1;
    nError = n < 0 ? errno : 0;
    if (n < 0)
        return std::nullopt;
    std::string text(buffer, static_cast<size_t>(n));
    while (!text.empty() && IsBlank(text.back()))
        text.pop_back();
    return text;
}

std::vector<gid_t> ProcessGroups() {
    std::vector<gid_t> groups{getegid()};
    const int nCount = getgroups(0, nullptr);
    if (nCount > 0) {
        std::vector<gid_t> more(static_cast<size_t>(nCount));
        const int nGot = getgroups(nCount, more.data());
        groups.insert(groups.end(), more.begin(), more.begin() + std::max(nGot, 0));
    }
    return groups;
}

// The path of the running program, as a shell word; when it cannot be read,
// a shell expression that finds ostrel-cli on the PATH.
std::string ProgramWord() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return "\"$(command -v ostrel-cli)\"";
    return ShellWord(std::string(path, static_cast<size_t>(n)));
}

std::string SocketHint(int nError, bool bIpv6) {
    const std::string version = bIpv6 ? "IPv6" : "IPv4";
    switch (nError) {
    case EMFILE:
        return "ulimit -n 4096  # in the shell that starts ostrel: it has too many files open";
    case ENFILE:
        return "sudo sysctl -w fs.file-max=1048576  # the system has too many files open";
    case ENOBUFS:
    case ENOMEM:
        return "free some memory: the kernel has none left for a socket";
    default:
        return "run ostrel outside the sandbox that forbids " + version +
               " sockets (a systemd unit's RestrictAddressFamilies= must allow " +
               (bIpv6 ? "AF_INET6" : "AF_INET") +
               "; a seccomp, SELinux or AppArmor policy must allow " + (bIpv6 ? "inet6" : "inet") +
               " sockets), on a kernel built with " + version;
    }
}

// "no: a datagram socket is refused (...), a stream socket is refused (...)"
// for those of the two errors that are not 0.
std::string RefusedSocketsText(int nDatagramError, int nStreamError) {
    std::string text = "no:";
    if (nDatagramError)
        text += " a datagram socket is refused (" + ErrorText(nDatagramError) + ")";
    if (nStreamError)
        text += std::string(nDatagramError ? "," : "") + " a stream socket is refused (" +
                ErrorText(nStreamError) + ")";
    return text;
}

// Whether echo works through the datagram or else the raw sockets of
// `protocol` ("ICMP" or "ICMPv6"), given the errors of opening them.
SDoctorCheck EchoThrough(std::string strName, const std::string& protocol, int nDatagramError,
                         int nRawError, const SEchoFacts& facts) {
    SDoctorCheck check{std::move(strName), true, {}, {}};
    const std::string datagramRefused = protocol + " datagram sockets are refused (" +
                                        ErrorText(nDatagramError) + "; " + RangeText(facts) + ")";
    if (nDatagramError == 0) {
        check.strFinding =
            "yes, through " + protocol + " datagram sockets (" + RangeText(facts) + ")";
    } else if (nRawError == 0) {
        check.strFinding = "yes, through a raw socket (CAP_NET_RAW); " + datagramRefused;
    } else {
        check.bOk = false;
        check.strFinding = "no: " + datagramRefused + ", and so is a raw socket (" +
                           ErrorText(nRawError) + "; it needs CAP_NET_RAW)";
        check.fixes = {kSysctlFix, kSysctlKeep,
                       "sudo setcap cap_net_raw+ep " + facts.strProgram +
                           "  # instead: lets ostrel-cli alone echo"};
    }
    return check;
}
} // namespace

std::optional<SGroupRange> ParsePingGroupRange(std::string_view text) {
    SkipBlanks(text);
    std::optional<uint32_t> nLow = TakeNumber(text);
    if (!nLow || SkipBlanks(text) == 0)
        return std::nullopt;
    std::optional<uint32_t> nHigh = TakeNumber(text);
    SkipBlanks(text);
    if (!nHigh || !text.empty())
        return std::nullopt;
    return SGroupRange{*nLow, *nHigh};
}

std::optional<gid_t> FirstGroupInRange(const SGroupRange& range, const std::vector<gid_t>& groups) {
    for (gid_t g : groups)
        if (range.nLow <= g && g <= range.nHigh)
            return g;
    return std::nullopt;
}

SEchoFacts ReadEchoFacts() {
    SEchoFacts facts;
    facts.rangeText = ReadSmallFile(kRangeFile, facts.nRangeError);
    facts.groups = ProcessGroups();
    facts.nDatagramError = SocketOpenError(SOCK_DGRAM, IPPROTO_ICMP);
    facts.nRawError = SocketOpenError(SOCK_RAW, IPPROTO_ICMP);
    facts.nDatagram6Error = SocketOpenError(SOCK_DGRAM, IPPROTO_ICMPV6, AF_INET6);
    facts.nRaw6Error = SocketOpenError(SOCK_RAW, IPPROTO_ICMPV6, AF_INET6);
    facts.bRoot = geteuid() == 0;
    facts.strProgram = ProgramWord();
    return facts;
}

SDoctorCheck JudgeEcho(const SEchoFacts& facts) {
    return EchoThrough("echo", "ICMP", facts.nDatagramError, facts.nRawError, facts);
}

SDoctorCheck JudgeIpv6Echo(const SEchoFacts& facts) {
    SDoctorCheck check =
        EchoThrough("IPv6 echo", "ICMPv6", facts.nDatagram6Error, facts.nRaw6Error, facts);
    if (facts.nDatagram6Error == EAFNOSUPPORT && facts.nRaw6Error == EAFNOSUPPORT) {
        check.strFinding = "no: this system has no IPv6 (" + ErrorText(EAFNOSUPPORT) + ")";
        check.fixes = {kIpv6KernelFix};
    }
    check.bWarning = true;
    return check;
}

SDoctorCheck JudgeWindowEcho(const SEchoFacts& facts) {
    SDoctorCheck check{"window echo", true, {}, {}};
    if (facts.nDatagramError == 0) {
        check.strFinding = "yes, ostrel uses the same ICMP datagram sockets";
    } else if (facts.bRoot && facts.nRawError == 0) {
        check.strFinding = "yes while ostrel runs as root, through a raw socket; run by another "
                           "user it echoes only if net.ipv4.ping_group_range includes one of "
                           "that user's groups (" +
                           RangeText(facts) + ")";
        check.fixes = {kSysctlFix, kSysctlKeep};
    } else {
        check.bOk = false;
        check.strFinding = "no: ostrel never has capabilities, so it echoes only through ICMP "
                           "datagram sockets (as root, also a raw socket), and " +
                           RangeText(facts);
        check.fixes = {kSysctlFix, kSysctlKeep};
    }
    return check;
}

int SocketOpenError(int nType, int nProtocol, int nFamily) {
    CFileDescriptor fd(socket(nFamily, nType | SOCK_CLOEXEC, nProtocol));
    return fd.IsOpen() ? 0 : errno;
}

SDoctorCheck JudgeIpv4Sockets(int nDatagramError, int nStreamError) {
    SDoctorCheck check{"IPv4 sockets", true, "yes, datagram and stream sockets open", {}};
    if (nDatagramError == 0 && nStreamError == 0)
        return check;
    check.bOk = false;
    check.strFinding = RefusedSocketsText(nDatagramError, nStreamError);
    check.fixes = {SocketHint(nDatagramError ? nDatagramError : nStreamError, false)};
    return check;
}

SIpv6Facts ReadIpv6Facts() {
    SIpv6Facts facts;
    facts.nDatagramError = SocketOpenError(SOCK_DGRAM, 0, AF_INET6);
    facts.nStreamError = SocketOpenError(SOCK_STREAM, 0, AF_INET6);
    int nError = 0;
    facts.disabled = ReadSmallFile(kIpv6DisabledFile, nError);
    return facts;
}

SDoctorCheck JudgeIpv6Sockets(const SIpv6Facts& facts) {
    SDoctorCheck check{"IPv6 sockets", true, "yes, datagram and stream sockets open", {}, true};
    if (const int nError = facts.nDatagramError ? facts.nDatagramError : facts.nStreamError) {
        check.bOk = false;
        check.strFinding = RefusedSocketsText(facts.nDatagramError, facts.nStreamError);
        check.fixes = {nError == EAFNOSUPPORT ? kIpv6KernelFix : SocketHint(nError, true)};
    } else if (facts.disabled == "1") {
        check.bOk = false;
        check.strFinding = "no: net.ipv6.conf.all.disable_ipv6 is 1, so no interface has an IPv6 "
                           "address, not even ::1";
        check.fixes = {"sudo sysctl -w net.ipv6.conf.all.disable_ipv6=0",
                       "echo 'net.ipv6.conf.all.disable_ipv6 = 0' | sudo tee "
                       "/etc/sysctl.d/60-ostrel-ipv6.conf  # keeps it after a reboot"};
    }
    if (!check.bOk)
        check.strFinding += "; IPv6 targets cannot answer, IPv4 ones are not affected";
    return check;
}

std::string ShellWord(const std::string& text) {
    const bool bPlain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) ||
               (c != '\0' && std::strchr("/._-+,:@%=", c));
    });
    if (bPlain)
        return text;
    std::string word = "'";
    for (char c : text)
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

std::string ErrorText(int nError) {
    return std::strerror(nError);
}
