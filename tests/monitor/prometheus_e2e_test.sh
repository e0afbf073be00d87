#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# End to end with the real programs, all on loopback ports of their own:
# `ostrel-cli watch --textfile` writes into node_exporter's textfile folder,
# Prometheus scrapes node_exporter every second, and its HTTP query API must
# give back ostrel_target_up and ostrel_target_down as the passes found them.
# The textfile also passes `promtool check metrics` (Prometheus's naming
# rules). Exit 77 (skipped) when a program is missing.
# usage: prometheus_e2e_test.sh OSTREL_CLI
set -euo pipefail
cli=$1
for program in prometheus prometheus-node-exporter promtool python3; do
    command -v "$program" >/dev/null || { echo "SKIP: $program is not installed"; exit 77; }
done

scratch=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# A loopback port that nothing listens on (closed again at once).
free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
exporter_port=$(free_port)
prometheus_port=$(free_port)
refusing_port=$(free_port)
mkdir "$scratch/textfiles"

prometheus-node-exporter --web.listen-address="127.0.0.1:$exporter_port" \
    --collector.disable-defaults --collector.textfile \
    --collector.textfile.directory="$scratch/textfiles" >"$scratch/exporter.log" 2>&1 &
pids+=($!)
cat >"$scratch/prometheus.yml" <<YAML
global:
  scrape_interval: 1s
  evaluation_interval: 1s
scrape_configs:
  - job_name: ostrel
    static_configs:
      - targets: ["127.0.0.1:$exporter_port"]
YAML
prometheus --config.file="$scratch/prometheus.yml" --web.listen-address="127.0.0.1:$prometheus_port" \
    --storage.tsdb.path="$scratch/tsdb" >"$scratch/prometheus.log" 2>&1 &
pids+=($!)

# The targets: node_exporter's own port answers, the other refuses.
list=$scratch/sites.osl
"$cli" new "$list" >/dev/null
"$cli" add "$list" --tcp "$exporter_port" 127.0.0.1 >/dev/null
"$cli" add "$list" --tcp "$refusing_port" 127.0.0.1 >/dev/null
"$cli" set "$list" --period 1 >/dev/null
OSTREL_WATCH_MINUTE_MS=1000 "$cli" watch --alert-after 2 --textfile "$scratch/textfiles/ostrel.prom" \
    "$list" >"$scratch/watch.out" 2>"$scratch/watch.err" &
pids+=($!)

# Polls the query API (no proxy: loopback only) until both targets' values
# are there as wanted, for up to 40 s.
python3 - "$prometheus_port" "$exporter_port" "$refusing_port" <<'PY' || fail "Prometheus never gave the pass's values"
import json, sys, time, urllib.parse, urllib.request
api, answering, refusing = sys.argv[1:4]
opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
wanted = {"ostrel_target_up": {answering: "1", refusing: "0"},
          "ostrel_target_down": {answering: "0", refusing: "1"}}
got = {}
for _ in range(400):
    try:
        for metric in wanted:
            url = f"http://127.0.0.1:{api}/api/v1/query?" + urllib.parse.urlencode({"query": metric})
            result = json.load(opener.open(url, timeout=2))["data"]["result"]
            got[metric] = {r["metric"]["port"]: r["value"][1] for r in result
                           if r["metric"].get("address") == "127.0.0.1"}
        if got == wanted:
            print("Prometheus holds", got)
            sys.exit(0)
    except OSError:
        pass
    time.sleep(0.1)
print("wanted", wanted, "got", got, file=sys.stderr)
sys.exit(1)
PY
promtool check metrics <"$scratch/textfiles/ostrel.prom" || fail "promtool check metrics: $(cat "$scratch/textfiles/ostrel.prom")"
grep -qx "ostrel-cli: down: 1 of 2 targets" "$scratch/watch.err" || fail "no down line: $(cat "$scratch/watch.err")"
echo "PASS"
