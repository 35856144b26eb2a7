#!/usr/bin/env bash
# A monitoring engine's view: the action check with its result line and exit
# status, and the metrics file of MetricsDir as a real node_exporter serves
# it (Debian's prometheus-node-exporter, started here on a free loopback
# port with its textfile collector only, never the system service).
set -euo pipefail

: "${VELTRUM_BIN:?VELTRUM_BIN must name the program}"
: "${DEMO_DIR:?DEMO_DIR must name a scratch folder}"

here="$DEMO_DIR/50-monitoring"
rm -rf "$here"
mkdir -p "$here/program" "$here/in" "$here/metrics"
cp "$VELTRUM_BIN" "$here/program/veltrum"
printf '[Global]\nMetricsDir = %s\n' "$here/metrics" >"$here/program/veltrum.conf"

touch -d '10 minutes ago' "$here/in/fresh.lck"
touch -d '45 minutes ago' "$here/in/slow.lck"

run_check() {
  echo "\$ veltrum /f \"$here/in/*.lck\" /t -60 /w -30 /a check /m"
  status=0
  "$here/program/veltrum" /f "$here/in/*.lck" /t -60 /w -30 /a check /m 2>/dev/null || status=$?
  echo "exit status: $status"
  echo
}

echo "== 50-monitoring: one file over the warning limit of 30 minutes"
run_check
touch -d '3 hours ago' "$here/in/stuck.lck"
echo "== 50-monitoring: and one over the limit of 60 minutes"
run_check

echo "== 50-monitoring: $(ls "$here/metrics")"
cat "$here/metrics"/*.prom
echo

exporter=/usr/bin/prometheus-node-exporter
if [ ! -x "$exporter" ]; then
  echo "(no $exporter: scripts/bootstrap installs prometheus-node-exporter)"
  exit 0
fi
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$exporter" --web.listen-address="127.0.0.1:$port" --collector.disable-defaults \
  --collector.textfile --collector.textfile.directory="$here/metrics" >/dev/null 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
scraped=""
for _ in $(seq 100); do
  scraped=$(python3 -c "import urllib.request; print(urllib.request.urlopen('http://127.0.0.1:$port/metrics', timeout=5).read().decode())" 2>/dev/null) && break
  sleep 0.2
done
echo "== 50-monitoring: node_exporter on 127.0.0.1:$port serves"
grep -E '^(veltrum_|node_textfile_scrape_error)' <<<"$scraped"
