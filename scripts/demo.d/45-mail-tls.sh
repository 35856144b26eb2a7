#!/usr/bin/env bash
# The mail action over STARTTLS: aiosmtpd (tests/integration/smtp_sink.py)
# with a certificate of a private test CA, made here and now; the program
# trusts that CA through Mail_CAFile and checks the server's name.
set -euo pipefail

: "${VELTRUM_BIN:?VELTRUM_BIN must name the program}"
: "${DEMO_DIR:?DEMO_DIR must name a scratch folder}"
root="$(cd "$(dirname "$0")/../.." && pwd)"

here="$DEMO_DIR/45-mail-tls"
rm -rf "$here"
mkdir -p "$here/program" "$here/dropzone" "$here/server" "$here/pki"
cp "$VELTRUM_BIN" "$here/program/veltrum"

. "$(dirname "$0")/lib.sh"

step "1. A test CA and a server certificate for the name 127.1.1 (valid 30 days)"
/usr/bin/python3 - "$root/tests/integration" "$here/pki" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
from certificates import CertificateSet
CertificateSet(sys.argv[2])
PY
openssl x509 -in "$here/pki/server.crt" -noout -subject -issuer -ext subjectAltName

step "2. Starting the server: STARTTLS required before AUTH and mail"
/usr/bin/python3 "$root/tests/integration/smtp_sink.py" --folder "$here/server" \
  --host 127.1.0.1 --password geheim --starttls "$here/pki/server.crt" "$here/pki/server.key" \
  2>"$here/server/stderr.log" &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true' EXIT
wait_for "$here/server/port"
port="$(cat "$here/server/port")"
echo "server listens on port $port"

step "3. The configuration: Mail_Security=starttls, Mail_CAFile names the test CA"
printf '[Global]\r\nMail_SMTP=127.1.1\r\nMail_Port=%s\r\nMail_Security=starttls\r\nMail_CAFile=%s\r\nMail_User=waechter\r\nMail_Password=geheim\r\nMail_From=Waechter <waechter@example.com>\r\nMail_To=ops@example.com\r\nMail_Subject=Alte Dateien (TLS)\r\nMail_Body=Bitte nachsehen.\r\n' \
  "$port" "$here/pki/ca.pem" >"$here/program/veltrum.conf"
show <"$here/program/veltrum.conf" | sed 's/^Mail_Password=.*/Mail_Password=****** (hidden here)/'

step "4. One file last written three hours ago"
touch -d '3 hours ago' "$here/dropzone/export.lck"

step "5. veltrum /f \"$here/dropzone/*.lck\" /t -60 /a mail /m"
"$here/program/veltrum" /f "$here/dropzone/*.lck" /t -60 /a mail /m
echo "(exit code $?)"

step "6. The mail lines of the log:"
grep -a -E 'E-Mail|SMTP|Init-Mail_(Security|CAFile)' "$here/program/veltrum.log" | show
refuse_in_log "$here/program/veltrum.log" geheim

step "7. What the server received (the envelope names the TLS version it negotiated):"
show_received "$here/server"
grep -q '"tls": "TLSv1\.[23]"' "$here"/server/001.json

step "8. The same server without the test CA: the certificate is not trusted, nothing is sent"
sed -i '/^Mail_CAFile=/d' "$here/program/veltrum.conf"
"$here/program/veltrum" /f "$here/dropzone/*.lck" /t -60 /a mail /m || true
grep -a 'TLS-Fehler' "$here/program/veltrum.log" | show
[ "$(ls "$here"/server/*.eml | wc -l)" -eq 1 ]
