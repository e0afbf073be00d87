// SPDX-License-Identifier: Apache-2.0
// ostrel-cli doctor: whether this machine lets Ostrel work (echo requests,
// IPv4 sockets, a display, a sound server, and for IPv6 targets IPv6 echo and
// sockets), with the command that fixes each thing that is missing.
#include "cli/cli_commands.h"
#include "cli/doctor/doctor_checks.h"
#include "cli/doctor/doctor_session.h"

#include <sys/socket.h>

#include <cstdio>

namespace {
// Some check failed.
constexpr int kExitCheckFailed = 1;

// "ok   NAME: FINDING", "FAIL NAME: FINDING" or "warn NAME: FINDING", then
// one line per command: "  fix: " under a failure or a warning, "  advice: "
// under a check that passed.
void PrintCheck(const SDoctorCheck& check) {
    const char* pszHead = check.bOk ? "ok   " : check.bWarning ? "warn " : "FAIL ";
    PrintLine(stdout, VisibleSystemText(pszHead + check.strName + ": " + check.strFinding));
    for (const std::string& fix : check.fixes)
        PrintLine(stdout, VisibleSystemText((check.bOk ? "  advice: " : "  fix: ") + fix));
}

// The last line: how many checks failed, and how many only warned.
std::string Summary(size_t nChecks, int nFailed, int nWarned) {
    const std::string of = " of " + std::to_string(nChecks);
    // Appended piece by piece: GCC 12 at -O2 and above warns, wrongly, of an
    // overlapping copy (-Wrestrict) in a literal + a temporary string.
    std::string text;
    if (nFailed == 0 && nWarned == 0)
        return text.append("All ").append(std::to_string(nChecks)).append(" checks passed.");
    if (nFailed == 0)
        return text.append("No check failed; ").append(std::to_string(nWarned)) + of + " warned.";
    text.append(std::to_string(nFailed)).append(of).append(" checks failed.");
    if (nWarned)
        text.append(1, ' ').append(std::to_string(nWarned)).append(" warned.");
    return text;
}

int RunDoctor(const CCliCommand&, const CCommandLine&) {
    const SEchoFacts echo = ReadEchoFacts();
    const SSessionEnv env = ReadSessionEnv();
    const SDoctorCheck checks[] = {
        JudgeEcho(echo),
        JudgeWindowEcho(echo),
        JudgeIpv4Sockets(SocketOpenError(SOCK_DGRAM, 0), SocketOpenError(SOCK_STREAM, 0)),
        JudgeIpv6Echo(echo),
        JudgeIpv6Sockets(ReadIpv6Facts()),
        JudgeDisplay(env),
        JudgeSound(env),
    };
    int nFailed = 0, nWarned = 0;
    for (const SDoctorCheck& check : checks) {
        PrintCheck(check);
        if (!check.bOk)
            ++(check.bWarning ? nWarned : nFailed);
    }
    PrintLine(stdout, Summary(std::size(checks), nFailed, nWarned));
    return nFailed == 0 ? kExitOk : kExitCheckFailed;
}
} // namespace

const CCliCommand kDoctorCommand = {
    {"doctor",
     {},
     {},
     "",
     "Checks whether this machine lets Ostrel work, one line per check: \"ok\",\n"
     "\"FAIL\" or \"warn\", the check's name and what was found. Under a failure or a\n"
     "warning, each \"fix:\" line is a command that mends it; \"advice:\" lines under\n"
     "a check that passed help other users. The IPv6 checks only warn: a machine\n"
     "without IPv6 is common, and only IPv6 targets need it.\n"
     "  echo          ostrel-cli can send ICMP echo requests: through an ICMP datagram\n"
     "                socket, which net.ipv4.ping_group_range allows for the effective\n"
     "                or a supplementary group, or through a raw socket (root or\n"
     "                CAP_NET_RAW). Both sockets are opened to see.\n"
     "  window echo   the window (ostrel) can too, run by the same user. It never has\n"
     "                capabilities: it echoes through ICMP datagram sockets, or as\n"
     "                root through a raw socket. Fails when echo works only through\n"
     "                a capability of ostrel-cli.\n"
     "  IPv4 sockets  IPv4 datagram and stream sockets open.\n"
     "  IPv6 echo     the same as echo for IPv6 targets, through ICMPv6 sockets (the\n"
     "                same net.ipv4.ping_group_range governs them).\n"
     "  IPv6 sockets  IPv6 datagram and stream sockets open, and\n"
     "                net.ipv6.conf.all.disable_ipv6 is not 1.\n"
     "  display       DISPLAY or WAYLAND_DISPLAY names a display whose server accepts\n"
     "                a connection (an X server on another host is not tried).\n"
     "  sound         a PulseAudio server (PipeWire's pipewire-pulse is one) accepts a\n"
     "                connection: the window's sound alert plays through it.\n"
     "Only unix sockets and loopback addresses are connected to.\n"
     "Exit status: 0 no check failed (warnings allowed), 1 some check failed, 2 usage\n"
     "error.\n",
     ""},
    RunDoctor,
};
