#!/usr/bin/env bash
# The local actions: a drop file for the messenger, and a program whose
# output and exit code land in the log.
set -euo pipefail

: "${VELTRUM_BIN:?the program to show}"
: "${DEMO_DIR:?a scratch folder}"
here="$DEMO_DIR/actions"
rm -rf "$here"
mkdir -p "$here/inbox" "$here/data"
cp "$VELTRUM_BIN" "$here/veltrum"

# Log lines as UTF-8, with the CRs inside an entry shown as \r.
show_log() {
  grep -a -E "$1" "$here/veltrum.log" | sed -e 's/\r/\\r/g'
}

touch -d '2 hours ago' "$here/data/nightly-export.lck"

cat >"$here/report.sh" <<'SCRIPT'
#!/bin/sh
echo "report for: $1"
printf 'line ending in CR LF\r\n'
printf 'line ending in a lone CR\r'
printf 'last line without a line end'
exit 3
SCRIPT
chmod +x "$here/report.sh"

printf '[Global]\r\nQuillboxDir=%s\r\nExec=%s\r\nExecParam=%s\r\n' \
  "$here/inbox" "$here/report.sh" 'nightly export' >"$here/veltrum.conf"

echo "== quillbox: a drop file for a file older than 60 minutes"
echo "\$ veltrum /f $here/data/nightly-export.lck /t -60 /a quillbox /m"
(cd "$here" && ./veltrum /f "$here/data/nightly-export.lck" /t -60 /a quillbox /m)
show_log 'Quillbox Nachricht'
for drop in "$here"/inbox/*.msg; do
  echo "drop file: $(basename "$drop") ($(stat -c %s "$drop") bytes, Windows-1252, CR between lines):"
  od -c "$drop"
done

echo
echo "== execwait: the program's output and exit code in the log"
echo "\$ veltrum /f $here/data/nightly-export.lck /t -60 /a execwait /m"
(cd "$here" && ./veltrum /f "$here/data/nightly-export.lck" /t -60 /a execwait /m)
show_log 'Output von Exec:|Exitcode: '

echo
echo "== exec: started, not waited for (259 = still running)"
cat >"$here/slow.sh" <<'SCRIPT'
#!/bin/sh
sleep 1
SCRIPT
chmod +x "$here/slow.sh"
printf '[Global]\r\nExec=%s\r\n' "$here/slow.sh" >"$here/veltrum.conf"
: >"$here/veltrum.log"
(cd "$here" && ./veltrum /f "$here/data/nightly-export.lck" /t -60 /a exec /m)
show_log 'Exitcode: '
