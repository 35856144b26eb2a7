#!/usr/bin/env bash
# A mail sent with a token login (XOAUTH2), the way Microsoft 365 wants it
# from a program that runs unattended: a local HTTPS token endpoint hands out
# an access token for the application's own credentials, and an SMTP server
# with STARTTLS takes AUTH XOAUTH2 with only that token. Both use
# certificates of a test CA made here; Mail_CAFile names it.
set -euo pipefail

: "${VELTRUM_BIN:?VELTRUM_BIN must name the program}"
: "${DEMO_DIR:?DEMO_DIR must name a scratch folder}"
root="$(cd "$(dirname "$0")/../.." && pwd)"
tests="$root/tests/integration"

here="$DEMO_DIR/47-mail-token"
rm -rf "$here"
mkdir -p "$here/program" "$here/dropzone" "$here/server" "$here/endpoint"
cp "$VELTRUM_BIN" "$here/program/veltrum"

. "$(dirname "$0")/lib.sh"
value() { (cd "$tests" && /usr/bin/python3 -c "import token_endpoint as t; print(t.$1)"); }

step "1. A test CA, and the token endpoint on 127.0.0.1 with a certificate from it"
(cd "$tests" && exec /usr/bin/python3 token_endpoint.py --folder "$here/endpoint") &
endpoint=$!
server=""
trap 'kill $endpoint $server 2>/dev/null; wait $endpoint $server 2>/dev/null || true' EXIT
wait_for "$here/endpoint/url"
url="$(cat "$here/endpoint/url")"
echo "token endpoint: $url"

step "2. An SMTP server with STARTTLS that takes only the token the endpoint hands out"
/usr/bin/python3 "$tests/smtp_sink.py" --folder "$here/server" --host 127.1.0.1 \
  --starttls "$here/endpoint/pki/server.crt" "$here/endpoint/pki/server.key" \
  --xoauth2 "$(value ACCESS_TOKEN)" &
server=$!
wait_for "$here/server/port"
port="$(cat "$here/server/port")"
echo "SMTP server listens on 127.1.0.1 port $port"

step "3. The configuration (the client secret is Mail_Password):"
printf '[Global]\r\nMail_SMTP=127.1.1\r\nMail_Port=%s\r\nMail_Security=starttls\r\nMail_CAFile=%s\r\nMail_Auth=xoauth2\r\nMail_OAuthTokenURL=%s\r\nMail_OAuthClientId=%s\r\nMail_OAuthScope=%s\r\nMail_User=waechter@example.com\r\nMail_Password=%s\r\nMail_From=Waechter <waechter@example.com>\r\nMail_To=ops@example.com\r\nMail_Subject=Alte Dateien in der Dropzone\r\nMail_Body=Bitte nachsehen.\r\n' \
  "$port" "$here/endpoint/pki/ca.pem" "$url" "$(value CLIENT_ID)" "$(value SCOPE)" \
  "$(value CLIENT_SECRET)" >"$here/program/veltrum.conf"
show <"$here/program/veltrum.conf" | sed 's/^Mail_Password=.*/Mail_Password=****** (hidden here)/'

step "4. Two files last written three hours ago"
touch -d '3 hours ago' "$here/dropzone/export.lck" "$here/dropzone/import.lck"

step "5. veltrum /f \"$here/dropzone/*.lck\" /t -60 /a mail /m"
"$here/program/veltrum" /f "$here/dropzone/*.lck" /t -60 /a mail /m
echo "(exit code $?)"

step "6. The mail lines of the log: one token for both mails, neither it nor the secret shown"
grep -a -E 'E-Mail|Token|Init-Mail_(Auth|OAuth|Passw)' "$here/program/veltrum.log" | show
refuse_in_log "$here/program/veltrum.log" "$(value ACCESS_TOKEN)" "$(value CLIENT_SECRET)"

step "7. What the SMTP server saw: the logins and the messages"
cat "$here/server/logins.txt"; echo
show_received "$here/server" 12
count=$(ls "$here"/server/*.eml | wc -l)
echo "$count messages for 2 files that are too old"
[ "$count" -eq 2 ]
