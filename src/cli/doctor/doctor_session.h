// SPDX-License-Identifier: Apache-2.0
// The checks of ostrel-cli doctor that are about the desktop session: a
// display for the window, and a sound server for its sound alert. Only unix
// sockets and loopback addresses are ever connected to; a display or sound
// server on another host is reported as named, not tried.
#pragma once

#include "cli/doctor/doctor_checks.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>

// The environment the session checks read; unset variables are nullopt.
struct SSessionEnv {
    std::optional<std::string> display;        // DISPLAY
    std::optional<std::string> waylandDisplay; // WAYLAND_DISPLAY
    std::optional<std::string> runtimeDir;     // XDG_RUNTIME_DIR
    std::optional<std::string> pulseServer;    // PULSE_SERVER
    std::string strUser;                       // the user's name, for usermod
    uid_t nUid = 0;
};

// This process's session environment.
SSessionEnv ReadSessionEnv();

// Where a server named like DISPLAY ("[unix/][HOST]:N[.S]") or like one
// entry of PULSE_SERVER ("[{ID}]unix:PATH", "/PATH", "[tcp:]HOST[:PORT]")
// listens: a unix socket path (an X server also has the same name in the
// abstract namespace, tried first as Xlib does), a TCP host and port, or
// neither when the name is malformed.
struct SServerAddress {
    std::string strSocketPath;
    std::string strHost;
    uint16_t nPort = 0;
    bool IsValid() const { return !strSocketPath.empty() || !strHost.empty(); }
};
inline SServerAddress UnixSocketAddress(std::string path) {
    SServerAddress address;
    address.strSocketPath = std::move(path);
    return address;
}
SServerAddress ParseXDisplay(std::string_view name);
SServerAddress ParsePulseServer(std::string_view entry);
// The socket a Wayland compositor named by WAYLAND_DISPLAY listens on: the
// name itself when absolute, else under XDG_RUNTIME_DIR; empty when the name
// is relative and there is no runtime folder.
std::string WaylandSocketPath(const std::string& strName,
                              const std::optional<std::string>& runtimeDir);

// 0 when the server at `address` accepts a connection, else the errno
// (EADDRNOTAVAIL, untried, for a host other than a loopback address).
// `bAbstractToo` tries the path in the abstract namespace first.
int ConnectError(const SServerAddress& address, bool bAbstractToo = false);
// True when `host` names this machine's IPv4 loopback ("localhost", 127/8).
bool IsLoopbackHost(const std::string& host);

SDoctorCheck JudgeDisplay(const SSessionEnv& env);
// `strSoundDevices` is where ALSA's device files are (/dev/snd).
SDoctorCheck JudgeSound(const SSessionEnv& env, const std::string& strSoundDevices = "/dev/snd");
