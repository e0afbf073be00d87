// SPDX-License-Identifier: Apache-2.0
// The checks of ostrel-cli doctor that are about the machine: whether ICMP
// echo requests can be sent (by ostrel-cli, and by the window, which never has
// capabilities), whether IPv4 sockets open, and the same for IPv6. Facts are
// gathered apart from the judgement over them, so that any facts can be judged.
#pragma once

#include <sys/socket.h>
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One check's outcome: its name, whether it passed, what was found, and the
// commands that fix it (for a check that passed: advice). A warning is a
// failure that leaves most lists working (a machine without IPv6 is common):
// shown, with its fixes, but doctor does not fail for it.
struct SDoctorCheck {
    std::string strName;
    bool bOk = false;
    std::string strFinding;
    std::vector<std::string> fixes;
    bool bWarning = false;
};

// net.ipv4.ping_group_range: the groups nLow to nHigh, both included. The
// kernel's default, "1 0", includes no group.
struct SGroupRange {
    uint32_t nLow = 1;
    uint32_t nHigh = 0;
};

// The range as /proc/sys/net/ipv4/ping_group_range shows it: two unsigned
// decimal numbers apart by blanks or tabs, with blanks, tabs or a line end
// around them. Nullopt for anything else.
std::optional<SGroupRange> ParsePingGroupRange(std::string_view text);

// The first of `groups` that `range` includes. The kernel lets a process
// open an ICMP datagram socket when its effective group or one of its
// supplementary groups is in the range.
std::optional<gid_t> FirstGroupInRange(const SGroupRange& range, const std::vector<gid_t>& groups);

// What decides whether this process, and the window run by the same user,
// can send echo requests.
struct SEchoFacts {
    std::optional<std::string> rangeText; // the sysctl's text, when it could be read
    int nRangeError = 0;                  // else the errno of reading it
    std::vector<gid_t> groups;            // the effective group, then the supplementary ones
    int nDatagramError = 0;               // 0 when an ICMP datagram socket opened, else its errno
    int nRawError = 0;                    // the same for a raw ICMP socket
    int nDatagram6Error = 0;              // the same for an ICMPv6 datagram socket
    int nRaw6Error = 0;                   // and for a raw ICMPv6 socket
    bool bRoot = false;                   // the effective user is root
    std::string strProgram;               // the running ostrel-cli, for setcap
};

// The facts of this process: the sysctl read, both sockets opened and closed.
SEchoFacts ReadEchoFacts();
// Whether this process can echo at all.
SDoctorCheck JudgeEcho(const SEchoFacts& facts);
// Whether this process can echo over IPv6: the same sysctl governs ICMPv6
// datagram sockets. A warning when it cannot.
SDoctorCheck JudgeIpv6Echo(const SEchoFacts& facts);
// Whether the window can, run by the same user: it has no capabilities, so
// it echoes through ICMP datagram sockets, or as root through a raw socket.
SDoctorCheck JudgeWindowEcho(const SEchoFacts& facts);

// 0 when socket(nFamily, nType, nProtocol) opens (it is closed at once),
// else the errno.
int SocketOpenError(int nType, int nProtocol, int nFamily = AF_INET);
// Whether IPv4 datagram and stream sockets open, given the errors of opening them.
SDoctorCheck JudgeIpv4Sockets(int nDatagramError, int nStreamError);

// What decides whether IPv6 targets can be reached at all.
struct SIpv6Facts {
    int nDatagramError = 0;              // 0 when an IPv6 datagram socket opened, else its errno
    int nStreamError = 0;                // the same for a stream socket
    std::optional<std::string> disabled; // net.ipv6.conf.all.disable_ipv6, when it could be read
};
SIpv6Facts ReadIpv6Facts();
// Whether IPv6 sockets open and the interfaces may have IPv6 addresses; a
// warning when not, as IPv4 targets do not need it.
SDoctorCheck JudgeIpv6Sockets(const SIpv6Facts& facts);

// `text` as one shell word: unchanged when it holds only characters no shell
// treats specially, else in single quotes.
std::string ShellWord(const std::string& text);
// strerror's text for `nError`.
std::string ErrorText(int nError);
