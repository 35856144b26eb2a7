#!/usr/bin/env bash
# The mail action against a real SMTP server on this machine: a small aiosmtpd
# server (tests/integration/smtp_sink.py) accepts AUTH LOGIN and keeps every
# message exactly as it arrived. Two lock files are too old, one is fresh.
set -euo pipefail

: "${VELTRUM_BIN:?VELTRUM_BIN must name the program}"
: "${DEMO_DIR:?DEMO_DIR must name a scratch folder}"
root="$(cd "$(dirname "$0")/../.." && pwd)"

here="$DEMO_DIR/40-mail"
rm -rf "$here"
mkdir -p "$here/program" "$here/dropzone" "$here/server"
cp "$VELTRUM_BIN" "$here/program/veltrum"

. "$(dirname "$0")/lib.sh"

step "1. Starting an SMTP server on 127.1.0.1 (a loopback address), port chosen by the system"
/usr/bin/python3 "$root/tests/integration/smtp_sink.py" --folder "$here/server" \
  --host 127.1.0.1 --password geheim &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true' EXIT
wait_for "$here/server/port"
port="$(cat "$here/server/port")"
echo "server listens on port $port"

step "2. The configuration (the host is written 127.1.1, the short form of 127.1.0.1):"
printf '[Global]\r\nMail_SMTP=127.1.1\r\nMail_Port=%s\r\nMail_User=waechter\r\nMail_Password=geheim\r\nMail_From=Waechter <waechter@example.com>\r\nMail_To=ops@example.com;CC:Lead <lead@example.com>;BCC:audit@example.com\r\nMail_Subject=Alte Dateien in der Dropzone\r\nMail_Body=Bitte nachsehen.\r\n' \
  "$port" >"$here/program/veltrum.conf"
show <"$here/program/veltrum.conf" | sed 's/^Mail_Password=.*/Mail_Password=****** (hidden here)/'

step "3. Two files last written three hours ago, one just now"
touch -d '3 hours ago' "$here/dropzone/export.lck" "$here/dropzone/import.lck"
touch "$here/dropzone/fresh.lck"
ls -l --time-style=+%H:%M "$here/dropzone"

step "4. veltrum /f \"$here/dropzone/*.lck\" /t -60 /a mail /m"
"$here/program/veltrum" /f "$here/dropzone/*.lck" /t -60 /a mail /m
echo "(exit code $?)"

step "5. The mail lines of the log (the password appears nowhere):"
grep -a -E 'E-Mail|SMTP|Init-Mail_Passw' "$here/program/veltrum.log" | show
refuse_in_log "$here/program/veltrum.log" geheim

step "6. What the server received:"
show_received "$here/server"
count=$(ls "$here"/server/*.eml | wc -l)
echo "$count messages for 2 files that are too old"
[ "$count" -eq 2 ]
