#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# shellcheck disable=SC2317 # the functions run through the trap and by name
# Concurrent check benchmarks of ostrel-cli, each in network namespaces of
# its own (root only); nothing leaves loopback or those namespaces:
#   silent   check --jobs 1000 over 1,000 ICMP targets whose requests vanish
#            (routed to a second namespace that drops them): the pass should
#            end within 12 s, its rows in list order, every one "No";
#   distant  check --jobs 1000 over 1,000 namespace-local addresses answered
#            after 50 ms by echo_responder (replies paced at one per 20 us),
#            beside fping -r0 -i0 over the same hosts, on ICMP datagram and
#            raw sockets: within 1.5x of fping;
#   distant6 the same over 1,000 namespace-local IPv6 addresses
#            (fd00:88::1 on), beside fping -6: within 1.5x of fping;
#   tcp      check --jobs 64 beside --jobs 1 over 10,000 loopback TCP targets
#            (half listening, half refusing): at least 1.5x faster; beside
#            them plain_connects, the same connects by a plain loop;
#   watch    peak resident size of watch --jobs 1000 over 100,000 targets
#            after full passes, ended by SIGTERM: under 100 MB;
#   measured check --jobs 1000 --count 5 --interval 200 over the distant
#            benchmark's 1,000 hosts beside fping -C 5 -p 200 -i 0 over the
#            same, on datagram and raw sockets: within 1.5x of fping, every
#            host answering all five;
#   watchcount peak resident size of watch --count 5 --interval 100
#            --jobs 1000 over 10,000 ICMP targets after two passes: under
#            100 MB;
#   timewait (only when named) eight passes of check --jobs 64 over 10,000
#            listening targets in one namespace, which collects the passes'
#            TIME_WAIT connections, beside plain_connects with and without
#            IP_BIND_ADDRESS_NO_PORT: how a pass slows as they pile up.
# usage: concurrent_bench.sh [-b BUILD_DIR] [-r REPETITIONS] [BENCHMARK...]
# With no BENCHMARK, runs all but timewait. OSTREL_CLI overrides the ostrel-cli run.
# Prints each run, then a summary line per measure with its goal; exits 1
# when a goal is missed or a result is wrong.
set -euo pipefail

BUILD=build
REPS=5
while getopts "b:r:" opt; do
    case $opt in
    b) BUILD=$OPTARG ;;
    r) REPS=$OPTARG ;;
    *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
BENCHMARKS=("${@:-silent distant distant6 tcp watch measured watchcount}")
read -r -a BENCHMARKS <<<"${BENCHMARKS[*]}"

TOOLS=$(realpath "$BUILD/bench/concurrent")
CLI=$(realpath "${OSTREL_CLI:-$BUILD/src/cli/ostrel-cli}")
if [[ $(id -u) != 0 ]]; then
    echo "concurrent_bench.sh: run as root (the benchmarks make network namespaces)" >&2
    exit 2
fi
for tool in make_list echo_responder tcp_targets run_measured; do
    [[ -x $TOOLS/$tool ]] || {
        echo "missing $TOOLS/$tool: cmake --build $BUILD --target concurrent_bench" >&2
        exit 2
    }
done

WORK=$(mktemp -d /dev/shm/ostrel-concurrent.XXXXXX)
PREFIX=ostrel-bench-$$
NAMESPACES=()
PIDS=()
FAILED=0

cleanup() {
    local pid ns
    for pid in "${PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    for ns in "${NAMESPACES[@]}"; do
        ip netns delete "$ns" 2>/dev/null || true
    done
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# new_namespace ROLE: a namespace with loopback up; its name in NS.
new_namespace() {
    NS=$PREFIX-$1
    ip netns add "$NS"
    NAMESPACES+=("$NS")
    ip netns exec "$NS" ip link set lo up
}

delete_namespace() {
    ip netns delete "$1"
    local kept=() ns
    for ns in "${NAMESPACES[@]}"; do
        [[ $ns == "$1" ]] || kept+=("$ns")
    done
    NAMESPACES=("${kept[@]}")
}

# start_in NAMESPACE OUTFILE COMMAND...: runs COMMAND in the background, its
# standard output to OUTFILE and its standard error to OUTFILE.err.
start_in() {
    local ns=$1 out=$2
    shift 2
    ip netns exec "$ns" "$@" >"$out" 2>"$out.err" &
    PIDS+=($!)
}

stop_last() {
    local pid=${PIDS[-1]}
    kill "$pid" 2>/dev/null || true
    wait "$pid" || true
    unset 'PIDS[-1]'
}

# start_tcp_targets NAMESPACE: 50 listening and 50 refusing ports on
# 127.0.0.1 there, served by tcp_targets in the background; their numbers in
# PORTS, listening and refusing alternately.
start_tcp_targets() {
    rm -f "$WORK/ports"
    start_in "$1" "$WORK/ports" "$TOOLS/tcp_targets" 50
    for _ in $(seq 50); do
        [[ -s $WORK/ports ]] && break
        sleep 0.1
    done
    read -r -a PORTS <"$WORK/ports"
}

# measure NAMESPACE OUTFILE [run_measured options] -- COMMAND...: runs COMMAND
# in the namespace under run_measured; sets WALL, CPU (user and system
# seconds), MAXRSS_KB, LINES, STATUS. The command's standard error goes to
# OUTFILE.err, with run_measured's lines.
measure() {
    local ns=$1 out=$2
    shift 2
    ip netns exec "$ns" "$TOOLS/run_measured" --out "$out" "$@" 2>"$out.err" || true
    local line word
    line=$(grep '^wall_s=' "$out.err" | tail -n 1)
    declare -A field
    for word in $line; do field[${word%%=*}]=${word#*=}; done
    WALL=${field[wall_s]}
    CPU=$(awk -v u="${field[user_s]}" -v s="${field[sys_s]}" 'BEGIN {printf "%.3f", u + s}')
    MAXRSS_KB=${field[maxrss_kb]}
    LINES=${field[lines]}
    STATUS=${field[status]}
}

# stats VALUE...: "median M (min A, max B)" of the values.
stats() {
    printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1}
        END {m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
             printf "median %.3f (min %.3f, max %.3f, %d runs)", m, v[1], v[NR], NR}'
}

median() {
    printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1}
        END {print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}

# goal WHAT MEASURED OPERATOR LIMIT UNIT: prints the verdict; a miss fails.
goal() {
    local met
    met=$(awk -v m="$2" -v l="$4" -v op="$3" 'BEGIN {print (op == "<=" ? m <= l : m >= l)}')
    printf '%-58s %10.3f %-2s goal: %s %s %-2s %s\n' "$1" "$2" "$5" "$3" "$4" "$5" \
        "$([[ $met == 1 ]] && echo met || echo MISSED)"
    [[ $met == 1 ]] || FAILED=1
}

wrong() {
    echo "WRONG: $*"
    FAILED=1
}

# check_rows FILE COUNT EXPECT: the text output of check holds COUNT rows
# numbered 1..COUNT in order, each saying Yes or No as EXPECT says: Yes, No,
# or odd-yes (odd rows Yes, even rows No). Prints what is wrong.
check_rows() {
    awk -v n="$2" -v expect="$3" '
        { ++rows
          if ($1 != rows) { printf "row %d printed as %s\n", rows, $1; bad = 1; exit }
          want = expect == "odd-yes" ? (rows % 2 ? "Yes" : "No") : expect
          if ($4 != want) { printf "row %d says %s, expected %s\n", rows, $4, want; bad = 1; exit } }
        END { if (!bad && rows != n) printf "%d rows, expected %d\n", rows, n }' "$1"
}

set_socket_kind() { # NAMESPACE datagram|raw
    local groups="1 0"
    [[ $2 == datagram ]] && groups="0 2147483647"
    ip netns exec "$1" sh -c "echo '$groups' > /proc/sys/net/ipv4/ping_group_range"
}

snmp() { # NAMESPACE GROUP FIELD
    # shellcheck disable=SC2016 # awk's own fields
    ip netns exec "$1" awk -v g="$2:" -v f="$3" \
        '$1 == g { if (!h) { for (i = 2; i <= NF; ++i) c[$i] = i; h = 1 } else print $(c[f]) }' \
        /proc/net/snmp
}

# 1. Silent targets: the probing namespace routes 10.77.0.0/16 through a veth
# pair to a gateway in a second namespace, which neither forwards nor answers
# (ip_forward is off there, and it drops without an ICMP error). The gateway
# answers ARP for itself, so no neighbour resolution fails a probe early.
bench_silent() {
    echo "== silent: check --jobs 1000 over 1,000 ICMP targets that never answer"
    new_namespace silent
    local probe=$NS
    new_namespace sink
    local sink=$NS
    ip link add sv0 netns "$probe" type veth peer name sv1 netns "$sink"
    ip netns exec "$probe" sh -c 'ip addr add 10.99.0.1/30 dev sv0 && ip link set sv0 up &&
        ip route add 10.77.0.0/16 via 10.99.0.2'
    ip netns exec "$sink" sh -c 'ip addr add 10.99.0.2/30 dev sv1 && ip link set sv1 up &&
        sysctl -qw net.ipv4.ip_forward=0'
    "$TOOLS/make_list" "$WORK/silent.osl" icmp 10.77.1.0 1000 >/dev/null
    local kind rep
    for kind in datagram raw; do
        set_socket_kind "$probe" "$kind"
        local walls=()
        for ((rep = 1; rep <= (REPS + 1) / 2; ++rep)); do
            local dropped_before dropped
            dropped_before=$(snmp "$sink" Ip InAddrErrors)
            measure "$probe" "$WORK/silent.out" -- "$CLI" check --jobs 1000 "$WORK/silent.osl"
            dropped=$(($(snmp "$sink" Ip InAddrErrors) - dropped_before))
            local shortest
            shortest=$(awk 'NR == 1 || $5 < m {m = $5} END {print m}' "$WORK/silent.out")
            echo "silent $kind run $rep: wall $WALL s, processor $CPU s, exit $STATUS," \
                "$LINES rows, shortest probe $shortest ms, $dropped requests dropped by the" \
                "gateway, peak RSS $MAXRSS_KB kB"
            local problem
            problem=$(check_rows "$WORK/silent.out" 1000 No)
            [[ -z $problem ]] || wrong "silent $kind: $problem"
            awk -v m="$shortest" 'BEGIN {exit !(m >= 10000)}' ||
                wrong "silent $kind: a probe ended after $shortest ms, before its deadline"
            [[ $dropped == 1000 ]] || wrong "silent $kind: $dropped requests reached the gateway"
            awk -v w="$WALL" 'BEGIN {exit !(w >= 10)}' ||
                wrong "silent $kind: ended before the 10 s deadline"
            walls+=("$WALL")
        done
        echo "silent $kind wall: $(stats "${walls[@]}") s"
        goal "silent, 1,000 targets, --jobs 1000, $kind socket (median)" \
            "$(median "${walls[@]}")" "<=" 12 s
    done
    [[ $(snmp "$sink" Icmp OutMsgs) == 0 ]] || wrong "silent: the gateway sent ICMP"
    delete_namespace "$probe"
    delete_namespace "$sink"
}

# 2. Distant hosts: 10.88.0.0/22 (IPv4) or fd00:88::/118 (IPv6) is local to
# the namespace, the kernel's echo replies are off, and echo_responder
# answers every request after 50 ms, at most one reply per 20 us: all at
# once, or at one per 5 or 10 us, they overflow the receive buffer of fping's
# one raw socket on this machine. The IPv6 hosts are a local route, not 1,000
# addresses on lo: with those, every request's source address selection
# searched them all (sendto 50 us instead of 10 us, in every tool).
# start_distant_hosts ROLE 4|6: the namespace (in NS), its 1,000 hosts in
# $WORK/ROLE.osl and $WORK/ROLE.hosts, and their responder.
start_distant_hosts() {
    command -v fping >/dev/null || apt-get install -y -qq fping >/dev/null
    new_namespace "$1"
    if [[ $2 == 4 ]]; then
        ip netns exec "$NS" sh -c 'sysctl -qw net.ipv4.icmp_echo_ignore_all=1 &&
            ip route add local 10.88.0.0/22 dev lo'
        "$TOOLS/make_list" "$WORK/$1.osl" icmp 10.88.0.1 1000 >"$WORK/$1.hosts"
    else
        ip netns exec "$NS" sh -c 'sysctl -qw net.ipv6.icmp.echo_ignore_all=1 &&
            ip -6 route add local fd00:88::/118 dev lo'
        "$TOOLS/make_list" "$WORK/$1.osl" icmp fd00:88::1 1000 >"$WORK/$1.hosts"
    fi
    start_in "$NS" "$WORK/responder" "$TOOLS/echo_responder" 50 20
    sleep 0.5
}

# distant_hosts NAME 4|6: the distant benchmark over IPv4 or IPv6 hosts.
distant_hosts() {
    local name=$1 fping=(fping)
    [[ $2 == 6 ]] && fping+=(-6)
    fping+=(-r0 -i0)
    echo "== $name: check --jobs 1000 beside ${fping[*]}, 1,000 hosts answering after 50 ms"
    start_distant_hosts "$name" "$2"
    local ns=$NS kind rep
    for kind in datagram raw; do
        set_socket_kind "$ns" "$kind"
        local ostrel=() fpings=()
        for ((rep = 1; rep <= REPS; ++rep)); do
            measure "$ns" "$WORK/distant.out" -- "$CLI" check --jobs 1000 "$WORK/$name.osl"
            local problem
            problem=$(check_rows "$WORK/distant.out" 1000 Yes)
            [[ -z $problem && $STATUS == 0 ]] || wrong "$name $kind: exit $STATUS; $problem"
            ostrel+=("$WALL")
            local ostrel_wall=$WALL ostrel_cpu=$CPU
            measure "$ns" "$WORK/fping.out" -- "${fping[@]}" -q -s -f "$WORK/$name.hosts"
            local alive
            alive=$(awk '$2 == "alive" {print $1}' "$WORK/fping.out.err")
            [[ $alive == 1000 ]] || wrong "$name: fping found $alive alive"
            fpings+=("$WALL")
            echo "$name $kind run $rep: ostrel $ostrel_wall s (processor $ostrel_cpu s)," \
                "fping $WALL s (processor $CPU s, $alive alive)"
        done
        echo "$name $kind ostrel-cli check --jobs 1000: $(stats "${ostrel[@]}") s"
        echo "$name $kind ${fping[*]} (raw):        $(stats "${fpings[@]}") s"
        goal "$name, ostrel ($kind) / fping, medians" \
            "$(awk -v a="$(median "${ostrel[@]}")" -v b="$(median "${fpings[@]}")" \
                'BEGIN {print a / b}')" "<=" 1.5 x
    done
    stop_last
    cat "$WORK/responder.err"
    delete_namespace "$ns"
}

bench_distant() { distant_hosts distant 4; }
bench_distant6() { distant_hosts distant6 6; }

# One repetition of the TCP benchmark, in a fresh namespace so that no run
# meets the TIME_WAIT connections of an earlier one: --jobs 1 and --jobs 64,
# in the order given, then the plain loop's limit on one thread and on two;
# sets WALL_1, WALL_64, PLAIN_1 and PLAIN_2.
tcp_repetition() {
    new_namespace tcp
    local ns=$NS jobs
    start_tcp_targets "$ns"
    "$TOOLS/make_list" "$WORK/tcp.osl" tcp 127.0.0.1 10000 "${PORTS[@]}" >/dev/null
    for jobs in "$@"; do
        measure "$ns" "$WORK/tcp.out" -- "$CLI" check --jobs "$jobs" "$WORK/tcp.osl"
        local problem
        problem=$(check_rows "$WORK/tcp.out" 10000 odd-yes)
        [[ -z $problem ]] || wrong "tcp --jobs $jobs: $problem"
        printf -v "WALL_$jobs" %s "$WALL"
        printf -v "CPU_$jobs" %s "$CPU"
    done
    local threads
    for threads in 1 2; do
        printf -v "PLAIN_$threads" %s "$(ip netns exec "$ns" "$TOOLS/plain_connects" "$threads" 64 \
            10000 "${PORTS[@]}" | sed 's/.* in \([0-9.]*\) s.*/\1/')"
    done
    stop_last
    delete_namespace "$ns"
}

bench_tcp() {
    echo "== tcp: check --jobs 64 beside --jobs 1, 10,000 loopback TCP targets"
    local one=() many=() plain1=() plain2=() rep
    for ((rep = 1; rep <= REPS; ++rep)); do
        if ((rep % 2)); then tcp_repetition 1 64; else tcp_repetition 64 1; fi
        echo "tcp run $rep: --jobs 1 $WALL_1 s (processor $CPU_1 s)," \
            "--jobs 64 $WALL_64 s (processor $CPU_64 s); plain loop, 64 in flight, one thread" \
            "$PLAIN_1 s, two threads $PLAIN_2 s"
        one+=("$WALL_1")
        many+=("$WALL_64")
        plain1+=("$PLAIN_1")
        plain2+=("$PLAIN_2")
    done
    echo "tcp --jobs 1:  $(stats "${one[@]}") s"
    echo "tcp --jobs 64: $(stats "${many[@]}") s"
    echo "tcp plain loop, one thread:  $(stats "${plain1[@]}") s"
    echo "tcp plain loop, two threads: $(stats "${plain2[@]}") s"
    goal "tcp, 10,000 targets, --jobs 1 / --jobs 64, medians" \
        "$(awk -v a="$(median "${one[@]}")" -v b="$(median "${many[@]}")" \
            'BEGIN {print a / b}')" ">=" 1.5 x
}

# Passes in one namespace over targets that all accept: 5,000 (or more)
# TIME_WAIT connections stay behind per pass for 60 s, beyond the 28,232
# ports of ip_local_port_range after six passes.
bench_timewait() {
    echo "== timewait: 8 passes of 10,000 accepted connections in one namespace each"
    local run kind
    for kind in ostrel plain plain-no-port; do
        new_namespace "timewait-$kind"
        local ns=$NS listening=() i walls=()
        start_tcp_targets "$ns"
        for ((i = 0; i < ${#PORTS[@]}; i += 2)); do listening+=("${PORTS[i]}"); done
        "$TOOLS/make_list" "$WORK/accept.osl" tcp 127.0.0.1 10000 "${listening[@]}" >/dev/null
        for run in $(seq 8); do
            case $kind in
            ostrel)
                measure "$ns" "$WORK/accept.out" -- "$CLI" check --jobs 64 "$WORK/accept.osl"
                [[ $(grep -c ' Yes ' "$WORK/accept.out") == 10000 ]] ||
                    wrong "timewait: pass $run did not connect to every target"
                ;;
            plain)
                WALL=$(ip netns exec "$ns" "$TOOLS/plain_connects" 1 64 10000 "${listening[@]}" |
                    sed 's/.* in \([0-9.]*\) s.*/\1/')
                ;;
            plain-no-port)
                WALL=$(ip netns exec "$ns" "$TOOLS/plain_connects" --bind-no-port 1 64 10000 \
                    "${listening[@]}" | sed 's/.* in \([0-9.]*\) s.*/\1/')
                ;;
            esac
            walls+=("$WALL s")
        done
        local joined
        joined=$(printf '%s, ' "${walls[@]}")
        echo "timewait $kind: ${joined%, };" \
            "$(ip netns exec "$ns" ss -tan state time-wait | tail -n +2 | wc -l) in TIME_WAIT"
        stop_last
        delete_namespace "$ns"
    done
}

# watch over 100,000 targets until PASSES passes have printed their rows,
# then SIGTERM; the period is one minute of 2 s, counted from the end of a
# pass. Prints each pass's duration; sets MAXRSS_KB and the rest as measure.
watch_passes() { # NAMESPACE LIST PASSES [watch option...]
    local ns=$1 list=$2 passes=$3
    shift 3
    "$CLI" set "$list" --period 1 >/dev/null
    OSTREL_WATCH_MINUTE_MS=2000 measure "$ns" "$WORK/watch.out" --lap-lines 100000 \
        --term-after-lines $((100000 * passes)) -- "$CLI" watch --jobs 1000 "$@" "$list"
    local laps
    laps=$(awk -F'[= ]' '/^lap=/ { d = n ? $4 - prev - 2 : $4
        out = out (n++ ? ", " : "") sprintf("%.2f s", d); prev = $4 }
        END { print out }' "$WORK/watch.out.err")
    local label
    label=$(basename "$list" .osl)
    [[ $# == 0 ]] || label+=" with $1"
    echo "watch $label: passes of $laps; wall $WALL s, $LINES lines, exit $STATUS," \
        "peak RSS $MAXRSS_KB kB"
    ((LINES >= 100000 * passes)) || wrong "watch: $LINES lines, expected $((100000 * passes))"
    [[ $STATUS == 0 ]] || wrong "watch: exit status $STATUS after SIGTERM"
    MAXRSS_MB=$(awk -v k="$MAXRSS_KB" 'BEGIN {printf "%.1f", k / 1024}')
}

bench_watch() {
    echo "== watch: peak resident size of watch --jobs 1000, 100,000 targets, 3 passes"
    new_namespace watch
    local ns=$NS refusing=() i
    start_tcp_targets "$ns"
    for ((i = 1; i < ${#PORTS[@]}; i += 2)); do refusing+=("${PORTS[i]}"); done
    "$TOOLS/make_list" "$WORK/refused.osl" tcp 127.0.0.1 100000 "${refusing[@]}" >/dev/null
    watch_passes "$ns" "$WORK/refused.osl" 3
    goal "watch, 100,000 refused TCP targets, peak RSS" "$MAXRSS_MB" "<=" 100 MB
    watch_passes "$ns" "$WORK/refused.osl" 3 --textfile "$WORK/watch.prom"
    goal "watch --textfile, 100,000 refused TCP targets, peak RSS" "$MAXRSS_MB" "<=" 100 MB
    # The kernel answers echoes to the namespace's own addresses.
    ip netns exec "$ns" ip route add local 10.100.0.0/15 dev lo
    set_socket_kind "$ns" datagram
    "$TOOLS/make_list" "$WORK/echo.osl" icmp 10.100.0.1 100000 >/dev/null
    watch_passes "$ns" "$WORK/echo.osl" 3 --textfile "$WORK/watch.prom"
    goal "watch --textfile, 100,000 ICMP targets (datagram), peak RSS" "$MAXRSS_MB" "<=" 100 MB
    stop_last
    delete_namespace "$ns"
}

# 6. Several echoes per host, measured: the distant benchmark's hosts, five
# echoes each 200 ms apart, beside fping's -C 5 -p 200 (with -i 0, so that
# fping's own pacing between any two requests does not hold it back).
bench_measured() {
    echo "== measured: check --jobs 1000 --count 5 --interval 200 beside fping -C 5 -p 200"
    start_distant_hosts measured 4
    local ns=$NS kind rep
    for kind in datagram raw; do
        set_socket_kind "$ns" "$kind"
        local ostrel=() fping=() rtts=()
        for ((rep = 1; rep <= REPS; ++rep)); do
            measure "$ns" "$WORK/measured.out" -- "$CLI" check --jobs 1000 --count 5 \
                --interval 200 "$WORK/measured.osl"
            local problem full
            problem=$(check_rows "$WORK/measured.out" 1000 Yes)
            full=$(grep -c ' 5/5 received ' "$WORK/measured.out" || true)
            [[ -z $problem && $STATUS == 0 && $full == 1000 ]] ||
                wrong "measured $kind: exit $STATUS, $full hosts 5/5; $problem"
            ostrel+=("$WALL")
            rtts+=("$(awk '{print $8}' "$WORK/measured.out" | sort -g | awk '{v[NR] = $1}
                END {print v[int((NR + 1) / 2)]}')")
            local ostrel_wall=$WALL ostrel_cpu=$CPU
            measure "$ns" "$WORK/fping.out" -- fping -C 5 -p 200 -i 0 -q -f "$WORK/measured.hosts"
            local answered
            answered=$(awk 'NF == 7 && $0 !~ / - / {++n} END {print n + 0}' "$WORK/fping.out.err")
            [[ $answered == 1000 ]] || wrong "measured: fping got all five from $answered hosts"
            fping+=("$WALL")
            echo "measured $kind run $rep: ostrel $ostrel_wall s (processor $ostrel_cpu s)," \
                "fping $WALL s (processor $CPU s, $answered hosts 5/5)"
        done
        echo "measured $kind ostrel-cli check --count 5 --interval 200: $(stats "${ostrel[@]}") s"
        echo "measured $kind fping -C 5 -p 200 -i 0:                  $(stats "${fping[@]}") s"
        echo "measured $kind ostrel median round trip of the hosts' averages: $(stats "${rtts[@]}") ms"
        goal "measured, ostrel ($kind) / fping, medians" \
            "$(awk -v a="$(median "${ostrel[@]}")" -v b="$(median "${fping[@]}")" \
                'BEGIN {print a / b}')" "<=" 1.5 x
    done
    stop_last
    delete_namespace "$ns"
}

# 7. watch measuring 10,000 echo targets (the namespace's own addresses,
# answered by its kernel), five echoes each 100 ms apart, two passes.
bench_watchcount() {
    echo "== watchcount: peak resident size of watch --count 5 --jobs 1000, 10,000 targets"
    new_namespace watchcount
    local ns=$NS
    ip netns exec "$ns" ip route add local 10.100.0.0/15 dev lo
    set_socket_kind "$ns" datagram
    "$TOOLS/make_list" "$WORK/count.osl" icmp 10.100.0.1 10000 >/dev/null
    "$CLI" set "$WORK/count.osl" --period 1 >/dev/null
    OSTREL_WATCH_MINUTE_MS=2000 measure "$ns" "$WORK/watchcount.out" --lap-lines 10000 \
        --term-after-lines 20000 -- "$CLI" watch --jobs 1000 --count 5 --interval 100 \
        --textfile "$WORK/count.prom" "$WORK/count.osl"
    local full
    full=$(grep -c ' 5/5 received ' "$WORK/watchcount.out" || true)
    echo "watchcount: wall $WALL s, $LINES lines ($full with 5/5), exit $STATUS," \
        "peak RSS $MAXRSS_KB kB"
    ((LINES >= 20000 && full >= 20000)) || wrong "watchcount: $LINES lines, $full with 5/5"
    [[ $STATUS == 0 ]] || wrong "watchcount: exit status $STATUS after SIGTERM"
    goal "watch --count 5, 10,000 ICMP targets (datagram), peak RSS" \
        "$(awk -v k="$MAXRSS_KB" 'BEGIN {printf "%.1f", k / 1024}')" "<=" 100 MB
    delete_namespace "$ns"
}

echo "ostrel-cli: $CLI; $(nproc) processors; $(date -u '+%Y-%m-%d %H:%M UTC'); load $(cut -d' ' -f1-3 /proc/loadavg)"
for benchmark in "${BENCHMARKS[@]}"; do
    case $benchmark in
    silent | distant | distant6 | tcp | watch | measured | watchcount | timewait) "bench_$benchmark" ;;
    *)
        echo "unknown benchmark $benchmark (silent, distant, distant6, tcp, watch, measured," \
            "watchcount, timewait)" >&2
        exit 2
        ;;
    esac
done
exit $FAILED
