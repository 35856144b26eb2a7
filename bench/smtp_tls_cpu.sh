#!/usr/bin/env bash
# CPU time Veltrum spends on one mail over STARTTLS to a real server (aiosmtpd
# with a certificate of a test CA made for the run, login required after
# STARTTLS), side by side with curl --ssl-reqd sending the same mail to the
# same server and trusting the same CA. The handshake, the loading of the
# system's trust store and the CA file are all in the figure; the target is
# the one of the plain mail: < 50 ms. Both run with the bare environment a
# scheduler gives (PATH only): an SSL_CERT_FILE in the caller's environment
# would make the program parse the whole system bundle (about 20 ms more).
#   bench/smtp_tls_cpu.sh [path/to/veltrum]     (default: build/veltrum)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
binary="$(realpath "${1:-${VELTRUM_BIN:-$root/build/veltrum}}")"
scratch="$(mktemp -d)"
server=""
trap '[ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$scratch"' EXIT

cp "$binary" "$scratch/veltrum"
touch -d '2 hours ago' "$scratch/old.lck"
/usr/bin/python3 - "$root/tests/integration" "$scratch/pki" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
from certificates import CertificateSet
CertificateSet(sys.argv[2])
PY
/usr/bin/python3 "$root/tests/integration/smtp_sink.py" --folder "$scratch/server" \
  --host 127.1.0.1 --password geheim --starttls "$scratch/pki/server.crt" \
  "$scratch/pki/server.key" 2>"$scratch/server.err" &
server=$!
for _ in $(seq 200); do
  [ -s "$scratch/server/port" ] && break
  sleep 0.05
done

PYTHONPATH="$root/bench/lib" /usr/bin/python3 - "$scratch" "$(cat "$scratch/server/port")" <<'PY'
import os, shutil, sys
import benchlib as b

scratch, port = sys.argv[1], int(sys.argv[2])
ca = os.path.join(scratch, "pki", "ca.pem")
b.write_configuration(scratch, {"Mail_SMTP": "127.1.1", "Mail_Port": str(port),
                                "Mail_Security": "starttls", "Mail_CAFile": ca,
                                "Mail_User": "waechter", "Mail_Password": "geheim",
                                "Mail_From": "waechter@example.com", "Mail_To": "ops@example.com",
                                "Mail_Body": "Bitte nachsehen."})
with open(os.path.join(scratch, "message.txt"), "wb") as message:
    message.write(b"From: <waechter@example.com>\r\nTo: <ops@example.com>\r\n"
                  b"Subject: Veltrum - Benachrichtigung\r\n\r\nBitte nachsehen.\r\n")

def measure(command):
    # A bare environment, as under a scheduler.
    return b.measure(command, scratch, env={"PATH": "/usr/bin:/bin"})

veltrum = [os.path.join(scratch, "veltrum"), "/f", os.path.join(scratch, "old.lck"),
           "/t", "-60", "/a", "mail", "/m"]
curl = shutil.which("curl")
reference = [curl, "-s", "--ssl-reqd", "--cacert", ca, f"smtp://127.1.0.1:{port}",
             "--mail-from", "waechter@example.com", "--mail-rcpt", "ops@example.com",
             "--user", "waechter:geheim", "--login-options", "AUTH=LOGIN",
             "-T", os.path.join(scratch, "message.txt")]

RUNS = 5
print(f"{'run':>4} {'veltrum wall s':>15} {'veltrum cpu ms':>15} {'curl wall s':>12} "
      f"{'curl cpu ms':>12}")
figures, curl_figures = [], []
for number in range(1, RUNS + 1):
    vw, vc = measure(veltrum)
    rw, rc = measure(reference) if curl else (float("nan"), float("nan"))
    figures.append(vc)
    curl_figures.append(rc)
    print(f"{number:>4} {vw:>15.3f} {vc:>15.1f} {rw:>12.3f} {rc:>12.1f}")

with open(os.path.join(scratch, "veltrum.log"), "rb") as log:
    sent = log.read().count("per TLS verschlüsselt versendet".encode())
if sent != RUNS:
    raise SystemExit("the mail was not delivered over TLS each time")
median = sorted(figures)[RUNS // 2]
curl_median = sorted(curl_figures)[RUNS // 2]
verdict = "met" if median < 50 else "MISSED"
print(f"RESULT mail over STARTTLS CPU: veltrum {median:.1f} ms (median of {RUNS}, worst "
      f"{max(figures):.1f}), curl {curl_median:.1f} ms; ratio {median / 50:.2f}x of the budget "
      f"(target < 50 ms) {verdict}")
PY
