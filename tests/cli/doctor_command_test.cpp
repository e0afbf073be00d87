// SPDX-License-Identifier: Apache-2.0
// ostrel-cli doctor: the judgement over echo facts and names, and the real
// binary run in private network namespaces, as other users, and against
// sockets the test listens on.
#include "cli/doctor/doctor_checks.h"
#include "cli/doctor/doctor_session.h"
#include "cli_run.h"
#include "support/loopback_port.h"
#include "support/private_network_or_skip.h"
#include "support/unix_listener.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>

namespace {
const std::string kSysctlFix = "  fix: sudo sysctl -w net.ipv4.ping_group_range=\"0 2147483647\"\n";
const std::string kSysctlKeep = "  fix: echo 'net.ipv4.ping_group_range = 0 2147483647' | sudo tee "
                                "/etc/sysctl.d/60-ostrel-ping.conf  # keeps it after a reboot\n";

// How the child that becomes ostrel-cli is set up: its whole environment, and
// whether it becomes nobody (with these supplementary groups, and
// CAP_NET_RAW as an ambient capability, as a service unit grants it); in a
// namespace, whether IPv6 is disabled there.
struct SRunAs {
    Env env = {};
    bool bNobody = false;
    std::vector<gid_t> groups = {};
    bool bNetRaw = false;
    bool bNoIpv6 = false;
};

SChildResult RunDoctor(const SRunAs& as) {
    SChildOptions options{.env = as.env, .bClearEnv = true};
    if (as.bNobody)
        options.fnBecomeUser = [&] { return BecomeNobody(as.groups, as.bNetRaw); };
    return RunCli({"doctor"}, std::move(options));
}

// The same in a private network namespace whose ping_group_range is `range`;
// nothing when the test was skipped for want of a namespace.
std::optional<SChildResult> RunDoctorInNamespace(const std::string& range, const SRunAs& as) {
    const std::optional<std::string> text = RunInPrivateNetworkOrSkip([&] {
        if (!SetSysctl("net/ipv4/ping_group_range", range) ||
            (as.bNoIpv6 && !SetSysctl("net/ipv6/conf/all/disable_ipv6", "1")))
            return PackChildResult({.status = -1,
                                    .out = "",
                                    .err = "cannot set the namespace's sysctls",
                                    .program = ""});
        return PackChildResult(RunDoctor(as));
    });
    return text ? std::optional(UnpackChildResult(*text)) : std::nullopt;
}

// The named check's line and the indented lines under it.
std::string CheckBlock(const std::string& out, const std::string& name) {
    const std::string text = "\n" + out;
    size_t nStart = text.find("\nok   " + name + ": ");
    for (const char* pszHead : {"\nFAIL ", "\nwarn "})
        if (nStart == std::string::npos)
            nStart = text.find(pszHead + name + ": ");
    if (nStart == std::string::npos)
        return "(no " + name + " line in:\n" + out + ")";
    size_t nEnd = text.find('\n', ++nStart) + 1;
    while (text.compare(nEnd, 2, "  ") == 0)
        nEnd = text.find('\n', nEnd) + 1;
    return text.substr(nStart, nEnd - nStart);
}
} // namespace

TEST(DoctorChecks, ReadsThePingGroupRange) {
    const struct {
        const char* text;
        std::optional<std::pair<uint32_t, uint32_t>> range;
    } cases[] = {
        {"1\t0\n", {{1, 0}}},
        {"0 2147483647", {{0, 2147483647}}},
        {" 100  100 \n", {{100, 100}}},
        {"4294967295\t4294967295", {{4294967295u, 4294967295u}}},
    };
    for (const auto& [text, range] : cases) {
        const std::optional<SGroupRange> parsed = ParsePingGroupRange(text);
        ASSERT_EQ(parsed.has_value(), range.has_value()) << text;
        if (parsed) {
            EXPECT_EQ(std::make_pair(parsed->nLow, parsed->nHigh), *range) << text;
        }
    }
    for (const char* bad : {"", "1", "1 2 3", "-1 5", "+1 5", "1,2", "10x 20", "4294967296 1"})
        EXPECT_FALSE(ParsePingGroupRange(bad)) << bad;
    EXPECT_EQ(FirstGroupInRange({1, 0}, {0, 1, 65534}), std::nullopt);
    EXPECT_EQ(FirstGroupInRange({100, 100}, {65534, 99, 100, 101}), 100u);
    EXPECT_EQ(FirstGroupInRange({0, 2147483647}, {1000, 27}), 1000u) << "the effective group first";
    EXPECT_EQ(FirstGroupInRange({0, 2147483647}, {4294967294u}), std::nullopt);
}

TEST(DoctorChecks, Ipv4RefusalsAndShellWords) {
    EXPECT_EQ(JudgeIpv4Sockets(0, EAFNOSUPPORT).strFinding,
              "no: a stream socket is refused (Address family not supported by protocol)");
    EXPECT_EQ(JudgeIpv4Sockets(EMFILE, 0).fixes.at(0).rfind("ulimit -n 4096", 0), 0u);
    EXPECT_TRUE(JudgeIpv4Sockets(0, 0).bOk);
    const SDoctorCheck noIpv6 = JudgeIpv6Sockets({EAFNOSUPPORT, EAFNOSUPPORT, std::nullopt});
    EXPECT_EQ(noIpv6.strFinding, "no: a datagram socket is refused (Address family not supported "
                                 "by protocol), a stream socket is refused (Address family not "
                                 "supported by protocol); IPv6 targets cannot answer, IPv4 ones "
                                 "are not affected");
    EXPECT_TRUE(noIpv6.bWarning && !noIpv6.bOk);
    EXPECT_EQ(noIpv6.fixes.at(0).rfind("remove ipv6.disable=1 from GRUB_CMDLINE_LINUX", 0), 0u);
    SEchoFacts noEcho6;
    noEcho6.nDatagram6Error = noEcho6.nRaw6Error = EAFNOSUPPORT;
    const SDoctorCheck echo6 = JudgeIpv6Echo(noEcho6);
    EXPECT_EQ(echo6.strFinding, "no: this system has no IPv6 (Address family not supported by "
                                "protocol)");
    EXPECT_EQ(echo6.fixes, noIpv6.fixes);
    EXPECT_EQ(ShellWord("/usr/bin/ostrel-cli"), "/usr/bin/ostrel-cli");
    EXPECT_EQ(ShellWord("/o'k dir/x"), "'/o'\\''k dir/x'");
}

TEST(DoctorCommand, EchoInPrivateNamespaces) {
    const std::string datagramOk = "ok   window echo: yes, ostrel uses the same ICMP datagram "
                                   "sockets\n";
    const std::string windowNo =
        "FAIL window echo: no: ostrel never has capabilities, so it echoes only through ICMP "
        "datagram sockets (as root, also a raw socket), and net.ipv4.ping_group_range ";
    const struct {
        const char* range;
        SRunAs as;
        std::string echo, window, echo6;
    } cases[] = {
        {"1 0",
         {{}, true},
         "FAIL echo: no: ICMP datagram sockets are refused (Permission denied; "
         "net.ipv4.ping_group_range 1 0 includes no group), and so is a raw socket (Operation not "
         "permitted; it needs CAP_NET_RAW)\n" +
             kSysctlFix + kSysctlKeep +
             "  fix: sudo setcap cap_net_raw+ep PROGRAM  # instead: lets ostrel-cli alone echo\n",
         windowNo + "1 0 includes no group\n" + kSysctlFix,
         "warn IPv6 echo: no: ICMPv6 datagram sockets are refused (Permission denied; "
         "net.ipv4.ping_group_range 1 0 includes no group), and so is a raw socket"},
        {"0 2147483647",
         {{}, true},
         "ok   echo: yes, through ICMP datagram sockets (net.ipv4.ping_group_range 0 2147483647 "
         "includes group 65534)\n",
         datagramOk,
         "ok   IPv6 echo: yes, through ICMPv6 datagram sockets (net.ipv4"},
        {"100 100",
         {{}, true, {100}},
         "ok   echo: yes, through ICMP datagram sockets (net.ipv4.ping_group_range 100 100 "
         "includes group 100)\n",
         datagramOk,
         "ok   IPv6 echo: yes, through ICMPv6 datagram sockets (net.ipv4"},
        {"100 100",
         {{}, true, {}, true},
         "ok   echo: yes, through a raw socket (CAP_NET_RAW); ICMP datagram sockets are refused "
         "(Permission denied; net.ipv4.ping_group_range 100 100 includes none of group 65534)\n",
         windowNo + "100 100 includes none of group 65534\n" + kSysctlFix,
         "ok   IPv6 echo: yes, through a raw socket (CAP_NET_RAW); ICMPv6 datagram sockets are "
         "refused (Permission denied; "},
        {"1 0",
         {},
         "ok   echo: yes, through a raw socket (CAP_NET_RAW); ICMP datagram sockets are refused "
         "(Permission denied; net.ipv4.ping_group_range 1 0 includes no group)\n",
         "ok   window echo: yes while ostrel runs as root, through a raw socket; run by another "
         "user it echoes only if net.ipv4.ping_group_range includes one of that user's groups "
         "(net.ipv4.ping_group_range 1 0 includes no group)\n  advice: sudo sysctl -w "
         "net.ipv4.ping_group_range=\"0 2147483647\"\n",
         "ok   IPv6 echo: yes, through a raw socket (CAP_NET_RAW); "},
        {"0 2147483647",
         {.bNoIpv6 = true},
         "ok   echo: yes, through ICMP datagram sockets (net.ipv4.ping_group_range 0 2147483647 "
         "includes group 0)\n",
         datagramOk,
         "ok   IPv6 echo: yes, through ICMPv6 datagram sockets (net.ipv4"},
    };
    for (auto [range, as, echo, window, echo6] : cases) {
        const std::optional<SChildResult> r = RunDoctorInNamespace(range, as);
        if (!r)
            return;
        // PROGRAM: the ostrel-cli that ran, a copy that nobody may run.
        if (const size_t nAt = echo.find("PROGRAM"); nAt != std::string::npos)
            echo.replace(nAt, 7, r->program);
        EXPECT_EQ(r->status, 1) << "no display or sound here";
        EXPECT_EQ(CheckBlock(r->out, "echo").substr(0, echo.size()), echo) << range;
        EXPECT_EQ(CheckBlock(r->out, "window echo").substr(0, window.size()), window) << range;
        EXPECT_NE(r->out.find("ok   IPv4 sockets: yes, datagram and stream sockets open\n"),
                  std::string::npos);
        EXPECT_EQ(CheckBlock(r->out, "IPv6 echo").substr(0, echo6.size()), echo6) << range;
        EXPECT_EQ(CheckBlock(r->out, "IPv6 sockets").substr(0, 4), as.bNoIpv6 ? "warn" : "ok  ");
    }
}

TEST(DoctorCommand, EveryCheckPassesAsNobodyInAnOpenRange) {
    CTempDir dir;
    chmod(dir.Path().c_str(), 0755);
    CUnixListener compositor(dir / "wayland-7"), pulse(dir / "pulse/native");
    // A machine without IPv6 only warns: doctor still succeeds.
    for (const bool bNoIpv6 : {false, true}) {
        const std::optional<SChildResult> r = RunDoctorInNamespace(
            "0 2147483647",
            {.env = {{"WAYLAND_DISPLAY", "wayland-7"}, {"XDG_RUNTIME_DIR", dir.Path()}},
             .bNobody = true,
             .bNoIpv6 = bNoIpv6});
        if (!r)
            return;
        EXPECT_EQ(r->status, 0) << r->out;
        EXPECT_EQ(CheckBlock(r->out, "display"),
                  "ok   display: yes, a Wayland compositor answers at " + (dir / "wayland-7") +
                      "\n");
        EXPECT_EQ(CheckBlock(r->out, "sound"), "ok   sound: yes, a PulseAudio server answers at " +
                                                   (dir / "pulse/native") + "\n");
        EXPECT_TRUE(r->out.ends_with(bNoIpv6 ? "\nNo check failed; 1 of 7 warned.\n"
                                             : "\nAll 7 checks passed.\n"))
            << r->out;
    }
}

TEST(DoctorCommand, DisplaySoughtWhereItsNameSays) {
    CTempDir dir;
    CUnixListener pulse(dir / "pulse/native");
    CUnixListener pipewireSocket(dir / "pw/pipewire-0"), other(dir / "elsewhere");
    CLoopbackPort listening(true), refusing(false);
    const std::string open = "localhost:" + std::to_string(listening.Port() - 6000);
    const std::string closed = "127.0.0.9:" + std::to_string(refusing.Port() - 6000) + ".1";
    const struct {
        Env env;
        std::string name, block;
    } cases[] = {
        {{}, "display", "FAIL display: no: neither DISPLAY nor WAYLAND_DISPLAY is set\n  fix: "},
        {{{"WAYLAND_DISPLAY", "wayland-3"}},
         "display",
         "FAIL display: no: WAYLAND_DISPLAY wayland-3 is a relative name and XDG_RUNTIME_DIR is "
         "not set\n"},
        {{{"DISPLAY", open}},
         "display",
         "ok   display: yes, an X server answers at DISPLAY " + open + " (localhost port " +
             std::to_string(listening.Port()) + ")\n"},
        {{{"DISPLAY", closed}},
         "display",
         "FAIL display: no: no X server answers at DISPLAY " + closed + " (127.0.0.9 port " +
             std::to_string(refusing.Port()) + ": Connection refused)\n"},
        {{{"DISPLAY", "display.example:0"}},
         "display",
         "ok   display: yes, DISPLAY display.example:0 names an X server on another host (not "
         "tried)\n"},
        {{{"DISPLAY", "no\x1b[2Jname"}},
         "display",
         "FAIL display: no: DISPLAY \"no\\x1b[2Jname\" is not an X display name\n"},
        {{{"XDG_RUNTIME_DIR", dir.Path()}},
         "sound",
         "ok   sound: yes, a PulseAudio server answers at " + (dir / "pulse/native") + "\n"},
        {{{"PULSE_SERVER", "{id} unix:" + (dir / "elsewhere")}},
         "sound",
         "ok   sound: yes, a PulseAudio server answers at " + (dir / "elsewhere") + "\n"},
        {{{"PULSE_SERVER", "tcp:localhost:" + std::to_string(listening.Port())}}, "sound", "ok   "},
        {{{"PULSE_SERVER", "tcp:h:x"}},
         "sound",
         "FAIL sound: no: no PulseAudio server answers (Qt's sound alert plays through one, and "
         "PipeWire's pipewire-pulse is one): PULSE_SERVER entry \"tcp:h:x\" is not a server "
         "address; "},
    };
    for (const auto& [env, name, block] : cases) {
        const SChildResult r = RunDoctor({.env = env});
        EXPECT_EQ(CheckBlock(r.out, name).substr(0, block.size()), block);
    }
    const std::string pipewire =
        CheckBlock(RunDoctor({.env = {{"XDG_RUNTIME_DIR", dir / "pw"}}}).out, "sound");
    EXPECT_EQ(pipewire.rfind("FAIL sound: no: ", 0), 0u);
    EXPECT_NE(pipewire.find("; PipeWire answers at " + (dir / "pw/pipewire-0") +
                            ", but without its PulseAudio service"),
              std::string::npos);
    EXPECT_NE(pipewire.find("\n  fix: sudo apt install pipewire-pulse  # "), std::string::npos);
}

TEST(DoctorCommand, AnXvfbServerAnswersUntilItEnds) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    CChildProcess xvfb("Xvfb", {"-displayfd", std::to_string(fds[1]), "-nolisten", "tcp"});
    close(fds[1]);
    // Xvfb writes the number, then a line end, once it accepts connections;
    // the pipe stays open until both are read.
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    const std::string display = ":" + number;
    if (display == ":")
        GTEST_SKIP() << "Xvfb did not start (package xvfb)";
    const std::string path = "/tmp/.X11-unix/X" + display.substr(1);
    EXPECT_EQ(CheckBlock(RunDoctor({.env = {{"DISPLAY", display}}}).out, "display"),
              "ok   display: yes, an X server answers at DISPLAY " + display + " (" + path + ")\n");
    xvfb.Signal(SIGTERM);
    xvfb.Wait();
    const std::string gone =
        "FAIL display: no: no X server answers at DISPLAY " + display + ".0 (" + path + ": ";
    EXPECT_EQ(CheckBlock(RunDoctor({.env = {{"DISPLAY", display + ".0"}}}).out, "display")
                  .substr(0, gone.size()),
              gone);
}

TEST(DoctorChecks, NamesOfServers) {
    const struct {
        const char* name;
        bool bX;
        std::string path, host;
        uint16_t nPort;
    } cases[] = {
        {"unix:3.1", true, "/tmp/.X11-unix/X3", "", 0},
        {"tcp/host:2", true, "", "host", 6002},
        {"/tmp/launch-a/org.x:0", true, "/tmp/launch-a/org.x", "", 0},
        {":x", true, "", "", 0},
        {":60000", true, "", "", 0},
        {"{abc}/x/native", false, "/x/native", "", 0},
        {"sound.example", false, "", "sound.example", 4713},
        {"tcp6:[::1]:99", false, "", "::1", 99},
        {"h:x", false, "", "", 0},
    };
    for (const auto& [name, bX, path, host, nPort] : cases) {
        const SServerAddress address = bX ? ParseXDisplay(name) : ParsePulseServer(name);
        EXPECT_EQ(address.strSocketPath, path) << name;
        EXPECT_EQ(address.strHost, host) << name;
        EXPECT_EQ(address.nPort, nPort) << name;
    }
}

TEST(DoctorChecks, PlaybackDevicesTheUserMayNotOpen) {
    if (geteuid() != 0)
        GTEST_SKIP() << "dropping to nobody needs root";
    CTempDir runtime, devices;
    chmod(devices.Path().c_str(), 0755);
    WriteFileBytes(devices / "pcmC0D0p", {});
    WriteFileBytes(devices / "pcmC0D0c", {});
    chmod((devices / "pcmC0D0p").c_str(), 0600);
    SSessionEnv env{{}, {}, runtime.Path(), {}, "nobody", kNobody};
    SDoctorCheck check = JudgeSound(env, devices.Path());
    EXPECT_NE(check.strFinding.find("; 1 ALSA playback device(s) in " + devices.Path() + " open"),
              std::string::npos)
        << check.strFinding;
    const std::string result = RunInChild([&] {
        if (const std::string failure = BecomeNobody(); !failure.empty())
            return failure;
        const SDoctorCheck c = JudgeSound(env, devices.Path());
        return c.fixes.at(0) + "\n" + c.strFinding.substr(c.strFinding.rfind("; "));
    });
    EXPECT_EQ(result, "sudo usermod -aG audio nobody  # then log in again\n; the ALSA playback "
                      "devices in " +
                          devices.Path() + " are refused (Permission denied)");
}
