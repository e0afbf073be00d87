// SPDX-License-Identifier: Apache-2.0
// ostrel-cli doctor: whether this machine lets Ostrel work (echo requests,
// IPv4 sockets, a display, a sound server), with the command that fixes each
// thing that is missing.
#include "cli/cli_commands.h"
#include "cli/doctor/doctor_checks.h"
#include "cli/doctor/doctor_session.h"

#include <sys/socket.h>

#include <cstdio>

namespace {
// Some check failed.
constexpr int kExitCheckFailed = 1;

// "ok   NAME: FINDING" or "FAIL NAME: FINDING", then one line per command:
// "  fix: " under a failure, "  advice: " under a check that passed.
void PrintCheck(const SDoctorCheck& check) {
    PrintLine(stdout, VisibleSystemText((check.bOk ? "ok   " : "FAIL ") + check.strName + ": " +
                                        check.strFinding));
    for (const std::string& fix : check.fixes)
        PrintLine(stdout, VisibleSystemText((check.bOk ? "  advice: " : "  fix: ") + fix));
}

int RunDoctor(const CCliCommand& command, const std::vector<std::string>& args) {
    CCliArgs parsed;
    if (auto rc = StartCommand(command, args, {}, {}, 0, "no operands", parsed))
        return *rc;

    const SEchoFacts echo = ReadEchoFacts();
    const SSessionEnv env = ReadSessionEnv();
    const SDoctorCheck checks[] = {
        JudgeEcho(echo),
        JudgeWindowEcho(echo),
        JudgeIpv4Sockets(SocketOpenError(SOCK_DGRAM, 0), SocketOpenError(SOCK_STREAM, 0)),
        JudgeDisplay(env),
        JudgeSound(env),
    };
    int nFailed = 0;
    for (const SDoctorCheck& check : checks) {
        PrintCheck(check);
        nFailed += check.bOk ? 0 : 1;
    }
    if (nFailed == 0)
        PrintLine(stdout, "All " + std::to_string(std::size(checks)) + " checks passed.");
    else
        PrintLine(stdout, std::to_string(nFailed) + " of " + std::to_string(std::size(checks)) +
                              " checks failed.");
    return nFailed == 0 ? kExitOk : kExitCheckFailed;
}
} // namespace

const CCliCommand kDoctorCommand = {
    "doctor",
    "usage: ostrel-cli doctor\n"
    "Checks whether this machine lets Ostrel work, one line per check: \"ok\" or\n"
    "\"FAIL\", the check's name and what was found. Under a failure, each \"fix:\"\n"
    "line is a command that mends it; \"advice:\" lines under a check that passed\n"
    "help other users.\n"
    "  echo          ostrel-cli can send ICMP echo requests: through an ICMP datagram\n"
    "                socket, which net.ipv4.ping_group_range allows for the effective\n"
    "                or a supplementary group, or through a raw socket (root or\n"
    "                CAP_NET_RAW). Both sockets are opened to see.\n"
    "  window echo   the window (ostrel) can too, run by the same user. It never has\n"
    "                capabilities: it echoes through ICMP datagram sockets, or as\n"
    "                root through a raw socket. Fails when echo works only through\n"
    "                a capability of ostrel-cli.\n"
    "  IPv4 sockets  IPv4 datagram and stream sockets open.\n"
    "  display       DISPLAY or WAYLAND_DISPLAY names a display whose server accepts\n"
    "                a connection (an X server on another host is not tried).\n"
    "  sound         a PulseAudio server (PipeWire's pipewire-pulse is one) accepts a\n"
    "                connection: the window's sound alert plays through it.\n"
    "Only unix sockets and loopback addresses are connected to.\n"
    "Exit status: 0 every check passed, 1 some check failed, 2 usage error.\n",
    RunDoctor,
};
