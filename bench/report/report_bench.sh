#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# ostrel-cli report over a generated log of 10,000,000 records (1,000
# targets, about 580 MB) in a temporary folder, removed at the end. The file
# is read once first so that it sits in the page cache; then, in the same
# run, each of these is timed REPETITIONS times (the median is printed):
#   wc -l                      the floor: reading the file and finding lines
#   awk -F', ' '{n[$3]++; if ($2 == 0) f[$3]++}'   counting by hand
#   ostrel-cli report          the text report, to /dev/null
# and once each under /usr/bin/time -v for the peak resident size: the text
# report and the --html page, whose size is printed too.
# Goals: report within 3x of wc -l, at least 10x faster than awk, peak
# resident size under 64 MB, the page under 5 MB.
# The goals are judged on processor time; wall times are printed beside it.
# usage: report_bench.sh [-b BUILD_DIR] [-r REPETITIONS] [-n RECORDS]
set -euo pipefail

BUILD=build
REPS=5
RECORDS=10000000
while getopts "b:r:n:" opt; do
    case $opt in
    b) BUILD=$OPTARG ;;
    r) REPS=$OPTARG ;;
    n) RECORDS=$OPTARG ;;
    *) exit 2 ;;
    esac
done
CLI=$(realpath "${OSTREL_CLI:-$BUILD/src/cli/ostrel-cli}")
HERE=$(dirname "$(realpath "$0")")
[[ -x $CLI ]] || { echo "missing $CLI: cmake --build $BUILD --target ostrel-cli" >&2; exit 2; }

DIR=$(mktemp -d /tmp/ostrel-report-bench-XXXXXX)
trap 'rm -rf "$DIR"' EXIT
LOG=$DIR/check.log
python3 "$HERE/make_log.py" "$LOG" "$RECORDS" 1000
echo "log: $(wc -c <"$LOG") bytes, $RECORDS records"
cat "$LOG" >/dev/null

# "WALL CPU": medians in seconds of REPS runs (timed.py). The processor time
# (user and system) is what a busy machine does not inflate.
median() { python3 "$HERE/timed.py" "$REPS" "$@"; }

read -r WC WC_CPU <<<"$(median wc -l "$LOG")"
read -r REPORT REPORT_CPU <<<"$(median "$CLI" report "$LOG")"
# shellcheck disable=SC2016 # the awk program is awk's, not the shell's
read -r AWK AWK_CPU <<<"$(median awk -F', ' '{n[$3]++; if ($2 == 0) f[$3]++}' "$LOG")"
peak() { /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident/ {print $2}'; }
RSS_TEXT=$(peak "$CLI" report "$LOG")
RSS_HTML=$(peak "$CLI" report --html "$DIR/report.html" "$LOG")
PAGE=$(wc -c <"$DIR/report.html")
OUTAGES=$("$CLI" report --json "$LOG" | grep -o '"seconds":' | wc -l)

# The counts must agree with awk's: records and failures per address.
# shellcheck disable=SC2016
awk -F', ' '{n[$3]++; if ($2 == 0) f[$3]++} END {for (k in n) print k, n[k], f[k] + 0}' "$LOG" |
    sort >"$DIR/awk.txt"
"$CLI" report --csv "$LOG" | awk -F, '$1 == "target" {print "\"" $2 "\"", $8, $9}' |
    sort >"$DIR/report.txt"

ok=0
# "met" or "MISSED" for a bc condition; a miss makes the script fail (the
# verdicts are taken in command substitutions, so misses go through a file).
verdict() {
    if [[ $(echo "$1" | bc) == 1 ]]; then
        echo met
    else
        echo MISSED
        touch "$DIR/missed"
    fi
}
ratio() { echo "scale=2; $1 / $2" | bc; }
echo "wall (processor) seconds, medians of $REPS; awk is $(readlink -f "$(command -v awk)")"
echo "wc -l:             $WC ($WC_CPU)"
echo "awk count:         $AWK ($AWK_CPU)"
echo "ostrel-cli report: $REPORT ($REPORT_CPU)"
echo "report / wc -l:    $(ratio "$REPORT" "$WC") ($(ratio "$REPORT_CPU" "$WC_CPU")):" \
    "$(verdict "$REPORT_CPU <= 3 * $WC_CPU") (goal: at most 3)"
echo "awk / report:      $(ratio "$AWK" "$REPORT") ($(ratio "$AWK_CPU" "$REPORT_CPU")):" \
    "$(verdict "$AWK_CPU >= 10 * $REPORT_CPU") (goal: at least 10)"
echo "peak resident:     text $RSS_TEXT kB, html $RSS_HTML kB ($(verdict "$RSS_TEXT < 65536 && $RSS_HTML < 65536"))"
if cmp -s "$DIR/awk.txt" "$DIR/report.txt"; then
    echo "counts:            records and failures of all $(wc -l <"$DIR/report.txt") targets agree with awk's"
else
    echo "counts:            DIFFER from awk's"
    ok=1
fi
echo "page:              $PAGE bytes for $OUTAGES outages ($(verdict "$PAGE < 5000000"))"
[[ -e $DIR/missed ]] && ok=1
exit $ok
