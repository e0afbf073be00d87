// SPDX-License-Identifier: Apache-2.0
// deny_inet_sockets: runs a program in which IPv4 and IPv6 sockets cannot be
// created, so that the end-to-end tests can see how ostrel starts without
// them.
//   deny_inet_sockets PROGRAM ARGS...
// A seccomp filter makes socket(2) with domain AF_INET or AF_INET6 fail with
// EAFNOSUPPORT; every other call, AF_UNIX sockets (the X connection) among
// them, goes through. The filter is inherited across exec, so it holds for
// PROGRAM, which is looked up in PATH as a shell would.
// Exits 77 on a machine other than x86-64 (the filter reads x86-64 system
// call numbers), 2 on a usage error, 1 when the filter cannot be installed,
// 127 when PROGRAM cannot be run.
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {
#if defined(__x86_64__)
// The fields of struct seccomp_data the filter reads. args[0] is 64 bits
// wide; the domain is an int, its low half on a little-endian machine.
constexpr unsigned kArchOffset = offsetof(seccomp_data, arch);
constexpr unsigned kNrOffset = offsetof(seccomp_data, nr);
constexpr unsigned kDomainOffset = offsetof(seccomp_data, args[0]);

bool InstallFilter() {
    sock_filter filter[] = {
        // Calls made through another ABI (32-bit int 0x80) are let through:
        // the programs under test are 64-bit.
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kArchOffset),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 0, 5),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kNrOffset),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_socket, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kDomainOffset),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AF_INET, 2, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AF_INET6, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (EAFNOSUPPORT & SECCOMP_RET_DATA)),
    };
    const sock_fprog program = {sizeof filter / sizeof filter[0], filter};
    // Without privileges a filter may only be installed by a process that
    // promised not to gain any through exec.
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        std::perror("deny_inet_sockets: prctl(PR_SET_NO_NEW_PRIVS)");
        return false;
    }
    if (prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program, 0, 0) != 0) {
        std::perror("deny_inet_sockets: prctl(PR_SET_SECCOMP)");
        return false;
    }
    return true;
}
#endif
} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: deny_inet_sockets PROGRAM ARGS...\n");
        return 2;
    }
#if defined(__x86_64__)
    if (!InstallFilter())
        return 1;
    execvp(argv[1], argv + 1);
    std::fprintf(stderr, "deny_inet_sockets: cannot run %s: %s\n", argv[1], std::strerror(errno));
    return 127;
#else
    std::fprintf(stderr, "deny_inet_sockets: the socket filter is written for x86-64 only\n");
    return 77; // ctest's SKIP_RETURN_CODE
#endif
}
