#!/usr/bin/env bash
# A drop zone with files of different ages: which of them are too old, and
# what the log says about each. Self-contained: the action is "execwait"
# with a small script of its own, and the run happens in a scratch folder.
set -euo pipefail

: "${VELTRUM_BIN:?VELTRUM_BIN must name the program}"
: "${DEMO_DIR:?DEMO_DIR must name a scratch folder}"

here="$DEMO_DIR/20-check"
rm -rf "$here"
mkdir -p "$here/program" "$here/dropzone/late"
cp "$VELTRUM_BIN" "$here/program/veltrum"

cat >"$here/program/report.sh" <<'SCRIPT'
#!/bin/sh
echo "Alarm fuer: $1"
SCRIPT
chmod +x "$here/program/report.sh"

cat >"$here/program/veltrum.conf" <<CONF
; Veltrum demo
[Global]
Exec = $here/program/report.sh
ExecParam = Dropzone
Recursive = 1
BreakIfLocated = 0
CONF

# Last write times: two hours, ten minutes and three hours ago, and one in
# a subfolder from yesterday. A file that does not match the pattern.
touch -d '2 hours ago' "$here/dropzone/job-a.lck"
touch -d '10 minutes ago' "$here/dropzone/job-b.lck"
touch -d '3 hours ago' "$here/dropzone/job-c.LCK"
touch -d 'yesterday' "$here/dropzone/late/job-d.lck"
touch -d '5 hours ago' "$here/dropzone/readme.txt"

echo "== 20-check: drop zone"
(cd "$here/dropzone" && ls -l --time-style='+%H:%M %d.%m.' -R .)
echo
echo "== 20-check: veltrum /f \"$here/dropzone/*.lck\" /t -60 /a execwait /m"
(cd "$here" && "$here/program/veltrum" /f "$here/dropzone/*.lck" /t -60 /a execwait /m)
echo "exit code: $?"
echo
echo "== 20-check: the log (UTF-8; the CRs between the program's output lines left out)"
tr -d '\r' <"$here/program/veltrum.log" |
  grep -E 'Suche|gefunden:|Jetzt|Prüfzeit|Höchstalter|FileDate|überschritten|Output|Exitcode'
echo
echo "== 20-check: verdicts"
tr -d '\r' <"$here/program/veltrum.log" | awk '
  /gefunden:/ { sub(/.*gefunden:/, ""); sub(/\. Wird geprüft$/, ""); file = $0 }
  /Höchstalter der Datei ist:/ { sub(/.*ist:/, ""); limit = $0 }
  /Jetzt ist es / { sub(/.*Jetzt ist es /, ""); now = $0 }
  /FileDate von / {
    sub(/.* ist /, "");
    verdict = (now + 0 > limit + 0) ? "too old -> action" : "fine";
    printf "  %-55s age %5d min  %s\n", file, (now - $0) / 60, verdict
  }'
