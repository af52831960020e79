#!/usr/bin/env bash
# The Prometheus text end to end: promtool accepts every file the command
# writes (a run, a --repeat series, a failed run, a saved run with a hostile
# CPU model converted by `report`), and a real Prometheus server, scraping a
# real node_exporter whose textfile collector reads the last of them, answers
# a query for the score with the value the command wrote and gives the CPU
# model back exactly as it was.
#
#   prometheus_e2e.sh TRUVELLO_COMMAND
#
# Exit 77 (skipped) only when the Debian packages prometheus and
# prometheus-node-exporter are not installed (bash tools/deps.sh installs them).
set -euo pipefail
truvello=$1
for tool in prometheus promtool prometheus-node-exporter python3; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIPPED: $tool is not installed (packages prometheus, prometheus-node-exporter: bash tools/deps.sh)"
    exit 77
  fi
done

work=$(mktemp -d)
pids=()
cleanup() {
  # Both servers are stopped and waited for, whatever happened.
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/textfile" "$work/data"

check() {  # FILE: promtool must accept it
  if ! promtool check metrics <"$1"; then
    echo "FAIL: promtool refused $1:" >&2
    cat "$1" >&2
    exit 1
  fi
  echo "promtool accepts $(basename "$1") ($(grep -vc '^#' "$1") samples)"
}

short=(--single --warmup 0.2 --measure 1 --quiet)
"$truvello" "${short[@]}" --export-json "$work/run.json" --export-prometheus "$work/run.prom" >/dev/null
check "$work/run.prom"
"$truvello" "${short[@]}" --repeat 2 --export-prometheus "$work/series.prom" >/dev/null
check "$work/series.prom"
grep -q '^truvello_series_interval_low_ops_per_second{' "$work/series.prom" || { echo "FAIL: no interval" >&2; exit 1; }
status=0
"$truvello" --single --measure 0 --quiet --export-prometheus "$work/failed.prom" >/dev/null 2>&1 || status=$?
[ "$status" -eq 2 ] || { echo "FAIL: a failed run exited with $status, not 2" >&2; exit 1; }
check "$work/failed.prom"
grep -q '^truvello_run_failed{benchmark="single",.*} 1$' "$work/failed.prom" || { echo "FAIL: not failed" >&2; exit 1; }
if grep -q '^truvello_score' "$work/failed.prom"; then echo "FAIL: a failed run has a score" >&2; exit 1; fi

# The saved run with a CPU model no label could hold unescaped.
model='Evil "CPU" \ 4.0GHz
second line'
MODEL=$model python3 - "$work/run.json" "$work/hostile.json" <<'PY'
import json, os, sys
doc = json.load(open(sys.argv[1]))
doc["machine"]["cpu_model"] = os.environ["MODEL"]
json.dump(doc, open(sys.argv[2], "w"))
PY
"$truvello" report "$work/hostile.json" --export-prometheus "$work/textfile/truvello.prom" >/dev/null
check "$work/textfile/truvello.prom"
score=$(sed -n 's/^truvello_score_ops_per_second{benchmark="single",[^}]*} //p' "$work/textfile/truvello.prom")
[ -n "$score" ] || { echo "FAIL: no single score in the file" >&2; exit 1; }

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
exporter_port=$(free_port)
prometheus_port=$(free_port)
prometheus-node-exporter --web.listen-address="127.0.0.1:$exporter_port" --collector.disable-defaults \
  --collector.textfile --collector.textfile.directory="$work/textfile" >"$work/exporter.log" 2>&1 &
pids+=($!)
cat >"$work/prometheus.yml" <<YML
global:
  scrape_interval: 1s
  evaluation_interval: 1s
scrape_configs:
  - job_name: truvello
    static_configs:
      - targets: ["127.0.0.1:$exporter_port"]
YML
prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/data" \
  --web.listen-address="127.0.0.1:$prometheus_port" >"$work/prometheus.log" 2>&1 &
pids+=($!)

# Asks until the scraped score equals the one written; 30 s at most.
if ! MODEL=$model python3 - "$prometheus_port" "$score" <<'PY'; then
import json, os, sys, time, urllib.parse, urllib.request
port, expected = sys.argv[1], float(sys.argv[2])
def query(q):
    url = f"http://127.0.0.1:{port}/api/v1/query?" + urllib.parse.urlencode({"query": q})
    with urllib.request.urlopen(url, timeout=2) as answer:
        return json.load(answer)["data"]["result"]
deadline = time.monotonic() + 30
while time.monotonic() < deadline:
    try:
        result = query('truvello_score_ops_per_second{benchmark="single"}')
        if result and float(result[0]["value"][1]) == expected:
            info = query("truvello_machine_info")
            model = info[0]["metric"]["cpu_model"]
            if model != os.environ["MODEL"]:
                sys.exit(f"FAIL: cpu_model came back as {model!r}")
            print(f"Prometheus answered truvello_score_ops_per_second = {result[0]['value'][1]}"
                  f" (written: {sys.argv[2]}); cpu_model came back unchanged")
            sys.exit(0)
    except OSError:
        pass  # not listening yet
    time.sleep(0.25)
sys.exit(f"FAIL: Prometheus did not answer {expected} within 30 s")
PY
  echo "--- node_exporter:" >&2; tail -5 "$work/exporter.log" >&2
  echo "--- prometheus:" >&2; tail -5 "$work/prometheus.log" >&2
  exit 1
fi
