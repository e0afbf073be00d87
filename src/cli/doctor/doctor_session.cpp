// SPDX-License-Identifier: Apache-2.0
#include "cli/doctor/doctor_session.h"

#include "check/file_descriptor.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace {
constexpr int kConnectTimeoutMs = 2000;
constexpr uint16_t kPulsePort = 4713;
constexpr const char* kXSocketDir = "/tmp/.X11-unix";

std::optional<std::string> Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

SServerAddress TcpAddress(std::string host, uint16_t nPort) {
    SServerAddress address;
    address.strHost = std::move(host);
    address.nPort = nPort;
    return address;
}

std::optional<uint16_t> ReadPort(std::string_view text, int nOffset) {
    int nValue = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), nValue);
    if (ec != std::errc() || end != text.data() + text.size() || nValue < 0 ||
        nValue + nOffset > 65535)
        return std::nullopt;
    return static_cast<uint16_t>(nValue + nOffset);
}

// "HOST[:PORT]" or "[V6HOST][:PORT]".
SServerAddress HostAndPort(std::string_view text, uint16_t nDefaultPort) {
    std::string_view host = text, port;
    if (text.starts_with('[')) {
        const size_t nClose = text.find(']');
        if (nClose == std::string_view::npos)
            return {};
        host = text.substr(1, nClose - 1);
        if (nClose + 1 < text.size()) {
            if (text[nClose + 1] != ':')
                return {};
            port = text.substr(nClose + 2);
        }
    } else if (const size_t nColon = text.find(':');
               nColon != std::string_view::npos && text.find(':', nColon + 1) == text.npos) {
        host = text.substr(0, nColon);
        port = text.substr(nColon + 1);
    }
    std::optional<uint16_t> nPort = port.empty() ? nDefaultPort : ReadPort(port, 0);
    if (host.empty() || !nPort)
        return {};
    return TcpAddress(std::string(host), *nPort);
}

int ConnectUnix(const std::string& path, bool bAbstract) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const size_t nOffset = bAbstract ? 1 : 0;
    if (path.size() + nOffset >= sizeof address.sun_path)
        return ENAMETOOLONG;
    std::memcpy(address.sun_path + nOffset, path.data(), path.size());
    const socklen_t nLength = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + nOffset +
                                                     path.size() + (bAbstract ? 0 : 1));
    CFileDescriptor fd(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.IsOpen())
        return errno;
    if (connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), nLength) == 0)
        return 0;
    // A full backlog: a server listens there, only busy.
    return errno == EAGAIN ? 0 : errno;
}

int ConnectLoopback(const std::string& host, uint16_t nPort) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(nPort);
    if (host == "localhost")
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    else if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1)
        return EADDRNOTAVAIL;
    CFileDescriptor fd(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.IsOpen())
        return errno;
    if (connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return 0;
    if (errno != EINPROGRESS)
        return errno;
    pollfd wait{fd.Get(), POLLOUT, 0};
    if (poll(&wait, 1, kConnectTimeoutMs) != 1)
        return ETIMEDOUT;
    int nError = 0;
    socklen_t nSize = sizeof nError;
    getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &nError, &nSize);
    return nError;
}

std::string Where(const SServerAddress& address) {
    return address.strSocketPath.empty()
               ? address.strHost + " port " + std::to_string(address.nPort)
               : address.strSocketPath;
}

std::string Joined(const std::vector<std::string>& parts, const char* separator) {
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : separator) + part;
    return text;
}

// The names in `dir` that `wanted` accepts, in no particular order.
std::vector<std::string> Names(const std::string& dir,
                               const std::function<bool(const std::string&)>& wanted) {
    std::vector<std::string> names;
    DIR* pDir = opendir(dir.c_str());
    for (dirent* entry; pDir && (entry = readdir(pDir));)
        if (wanted(entry->d_name))
            names.push_back(entry->d_name);
    if (pDir)
        closedir(pDir);
    return names;
}

// The command that points the session at a display that answers here, if any.
std::optional<std::string> LiveDisplayFix(const SSessionEnv& env) {
    for (const std::string& name : Names(kXSocketDir, [](const std::string& n) {
             return n.size() > 1 && n[0] == 'X' && n.find_first_not_of("0123456789", 1) == n.npos;
         }))
        if (ConnectError(ParseXDisplay(":" + name.substr(1)), true) == 0)
            return "export DISPLAY=:" + name.substr(1) + "  # an X server answers there";
    if (!env.runtimeDir)
        return std::nullopt;
    for (const std::string& name : Names(*env.runtimeDir, [](const std::string& n) {
             return n.starts_with("wayland-") && !n.ends_with(".lock");
         }))
        if (ConnectError(UnixSocketAddress(*env.runtimeDir + "/" + name)) == 0)
            return "export WAYLAND_DISPLAY=" + ShellWord(name) +
                   "  # a Wayland compositor answers there";
    return std::nullopt;
}

// What DISPLAY names: a finding, and whether it passes.
std::pair<bool, std::string> XDisplayFinding(const std::string& display) {
    const SServerAddress address = ParseXDisplay(display);
    const std::string shown = "DISPLAY " + display;
    if (!address.IsValid())
        return {false, "DISPLAY \"" + display + "\" is not an X display name"};
    if (!address.strHost.empty() && !IsLoopbackHost(address.strHost))
        return {true, shown + " names an X server on another host (not tried)"};
    const int nError = ConnectError(address, true);
    if (nError == 0)
        return {true, "an X server answers at " + shown + " (" + Where(address) + ")"};
    return {false, "no X server answers at " + shown + " (" + Where(address) + ": " +
                       ErrorText(nError) + ")"};
}

std::pair<bool, std::string> WaylandFinding(const SSessionEnv& env) {
    const std::string path = WaylandSocketPath(*env.waylandDisplay, env.runtimeDir);
    if (path.empty())
        return {false, "WAYLAND_DISPLAY " + *env.waylandDisplay +
                           " is a relative name and XDG_RUNTIME_DIR is not set"};
    const int nError = ConnectError(UnixSocketAddress(path));
    if (nError == 0)
        return {true, "a Wayland compositor answers at " + path};
    return {false, "no Wayland compositor answers at " + path + " (" + ErrorText(nError) + ")"};
}

// The PulseAudio servers libpulse would try, in its order.
std::vector<std::pair<std::string, SServerAddress>> PulseServers(const SSessionEnv& env) {
    std::vector<std::pair<std::string, SServerAddress>> servers;
    if (env.pulseServer) {
        const std::string& list = *env.pulseServer;
        for (size_t nAt = list.find_first_not_of(" \t"); nAt != std::string::npos;) {
            const size_t nEnd = std::min(list.find_first_of(" \t", nAt), list.size());
            const std::string entry = list.substr(nAt, nEnd - nAt);
            servers.push_back({entry, ParsePulseServer(entry)});
            nAt = list.find_first_not_of(" \t", nEnd);
        }
        return servers;
    }
    if (env.runtimeDir)
        servers.push_back({{}, UnixSocketAddress(*env.runtimeDir + "/pulse/native")});
    servers.push_back({{}, UnixSocketAddress("/run/pulse/native")}); // a system-wide server
    return servers;
}

// The ALSA playback devices in `dir`: how many, and how many of those open
// (a device in use, EBUSY, counts as one that opens).
std::pair<int, int> PlaybackDevices(const std::string& dir, int& nLastError) {
    int nFound = 0, nOpen = 0;
    for (const std::string& name : Names(
             dir, [](const std::string& n) { return n.starts_with("pcmC") && n.ends_with("p"); })) {
        ++nFound;
        CFileDescriptor fd(open((dir + "/" + name).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        if (fd.IsOpen() || errno == EBUSY)
            ++nOpen;
        else
            nLastError = errno;
    }
    return {nFound, nOpen};
}

// Why no PulseAudio server answered beyond the servers tried, and the fixes.
void ExplainNoSound(const SSessionEnv& env, const std::string& strDevices, SDoctorCheck& check) {
    std::vector<std::string> more;
    if (!env.runtimeDir && !env.pulseServer) {
        more.push_back("XDG_RUNTIME_DIR is not set");
        const std::string runtime = "/run/user/" + std::to_string(env.nUid);
        if (ConnectError(UnixSocketAddress(runtime + "/pulse/native")) == 0)
            check.fixes.push_back("export XDG_RUNTIME_DIR=" + runtime +
                                  "  # this user's PulseAudio server answers there");
    }
    bool bPipeWire =
        env.runtimeDir && ConnectError(UnixSocketAddress(*env.runtimeDir + "/pipewire-0")) == 0;
    if (bPipeWire)
        more.push_back("PipeWire answers at " + *env.runtimeDir +
                       "/pipewire-0, but without its PulseAudio service");
    int nError = 0;
    auto [nFound, nOpen] = PlaybackDevices(strDevices, nError);
    if (nFound == 0)
        more.push_back("no ALSA playback device in " + strDevices);
    else if (nOpen == 0)
        more.push_back("the ALSA playback devices in " + strDevices + " are refused (" +
                       ErrorText(nError) + ")");
    else
        more.push_back(std::to_string(nOpen) + " ALSA playback device(s) in " + strDevices +
                       " open");
    check.strFinding += "; " + Joined(more, "; ");
    if (!check.fixes.empty())
        return;
    if (nFound > 0 && nOpen == 0 && (nError == EACCES || nError == EPERM))
        check.fixes.push_back("sudo usermod -aG audio " + ShellWord(env.strUser) +
                              "  # then log in again");
    check.fixes.push_back(bPipeWire ? "sudo apt install pipewire-pulse  # PipeWire's PulseAudio "
                                      "service; then log in again"
                                    : "sudo apt install pipewire-pulse wireplumber  # a sound "
                                      "server for the session; then log in again");
}
} // namespace

SSessionEnv ReadSessionEnv() {
    SSessionEnv env{Env("DISPLAY"),
                    Env("WAYLAND_DISPLAY"),
                    Env("XDG_RUNTIME_DIR"),
                    Env("PULSE_SERVER"),
                    "$USER",
                    getuid()};
    if (const passwd* pw = getpwuid(env.nUid))
        env.strUser = pw->pw_name;
    return env;
}

SServerAddress ParseXDisplay(std::string_view name) {
    const size_t nColon = name.rfind(':');
    if (nColon == std::string_view::npos)
        return {};
    std::string_view host = name.substr(0, nColon), number = name.substr(nColon + 1);
    number = number.substr(0, number.find('.')); // the screen does not matter
    std::optional<uint16_t> nPort = ReadPort(number, 6000);
    if (number.empty() || !nPort)
        return {};
    if (host.starts_with('/')) // a socket path, as launchd gives
        return UnixSocketAddress(std::string(host));
    std::string_view protocol;
    if (const size_t nSlash = host.find('/'); nSlash != std::string_view::npos) {
        protocol = host.substr(0, nSlash);
        host = host.substr(nSlash + 1);
    }
    if (protocol == "unix" || (protocol.empty() && (host.empty() || host == "unix")))
        return UnixSocketAddress(std::string(kXSocketDir) + "/X" + std::string(number));
    if ((protocol.empty() || protocol == "tcp" || protocol == "inet") && !host.empty())
        return TcpAddress(std::string(host), *nPort);
    return {};
}

SServerAddress ParsePulseServer(std::string_view entry) {
    if (entry.starts_with('{')) {
        const size_t nClose = entry.find('}');
        if (nClose == std::string_view::npos)
            return {};
        entry.remove_prefix(nClose + 1);
    }
    if (entry.starts_with("unix:"))
        entry.remove_prefix(5);
    if (entry.starts_with('/'))
        return UnixSocketAddress(std::string(entry));
    for (std::string_view prefix : {"tcp:", "tcp4:", "tcp6:"})
        if (entry.starts_with(prefix)) {
            entry.remove_prefix(prefix.size());
            break;
        }
    return HostAndPort(entry, kPulsePort);
}

std::string WaylandSocketPath(const std::string& strName,
                              const std::optional<std::string>& runtimeDir) {
    if (strName.starts_with('/'))
        return strName;
    return runtimeDir ? *runtimeDir + "/" + strName : std::string();
}

int ConnectError(const SServerAddress& address, bool bAbstractToo) {
    if (!address.strSocketPath.empty()) {
        if (bAbstractToo && ConnectUnix(address.strSocketPath, true) == 0)
            return 0;
        return ConnectUnix(address.strSocketPath, false);
    }
    if (!IsLoopbackHost(address.strHost))
        return EADDRNOTAVAIL;
    return ConnectLoopback(address.strHost, address.nPort);
}

bool IsLoopbackHost(const std::string& host) {
    in_addr address{};
    return host == "localhost" || (inet_pton(AF_INET, host.c_str(), &address) == 1 &&
                                   (ntohl(address.s_addr) >> 24) == 127);
}

SDoctorCheck JudgeDisplay(const SSessionEnv& env) {
    SDoctorCheck check{"display", false, {}, {}};
    std::vector<std::string> parts;
    for (auto [bOk, text] :
         {env.display ? XDisplayFinding(*env.display) : std::pair<bool, std::string>(),
          env.waylandDisplay ? WaylandFinding(env) : std::pair<bool, std::string>()}) {
        check.bOk = check.bOk || bOk;
        if (!text.empty())
            parts.push_back(text);
    }
    if (parts.empty())
        parts.push_back("neither DISPLAY nor WAYLAND_DISPLAY is set");
    check.strFinding = (check.bOk ? "yes, " : "no: ") + Joined(parts, "; ");
    if (!check.bOk)
        check.fixes.push_back(LiveDisplayFix(env).value_or(
            "xvfb-run ostrel  # a virtual X server (package xvfb), or start ostrel from a "
            "desktop session"));
    return check;
}

SDoctorCheck JudgeSound(const SSessionEnv& env, const std::string& strSoundDevices) {
    SDoctorCheck check{"sound", false, {}, {}};
    std::vector<std::string> tried;
    for (const auto& [entry, address] : PulseServers(env)) {
        if (!address.IsValid()) {
            tried.push_back("PULSE_SERVER entry \"" + entry + "\" is not a server address");
            continue;
        }
        const bool bRemote = !address.strHost.empty() && !IsLoopbackHost(address.strHost);
        const int nError = bRemote ? 0 : ConnectError(address);
        if (nError == 0) {
            check.bOk = true;
            check.strFinding = bRemote ? "yes, PULSE_SERVER names a PulseAudio server on another "
                                         "host (" +
                                             Where(address) + ", not tried)"
                                       : "yes, a PulseAudio server answers at " + Where(address);
            return check;
        }
        tried.push_back(Where(address) + ": " + ErrorText(nError));
    }
    check.strFinding = "no: no PulseAudio server answers (Qt's sound alert plays through one, "
                       "and PipeWire's pipewire-pulse is one): " +
                       Joined(tried, ", ");
    ExplainNoSound(env, strSoundDevices, check);
    return check;
}
