#!/usr/bin/env bash
# CPU time Veltrum spends on one mail to a slow SMTP server (each reply comes
# 1 s after the command, so a dialog takes about 9 s), side by side with curl
# sending the same mail to the same server. The reply waits block on the
# socket, so Veltrum's CPU time should stay well below 50 ms.
#   bench/smtp_cpu.sh [path/to/veltrum]     (default: build/veltrum)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
binary="$(realpath "${1:-${VELTRUM_BIN:-$root/build/veltrum}}")"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

cp "$binary" "$scratch/veltrum"
touch -d '2 hours ago' "$scratch/old.lck"

PYTHONPATH="$root/bench/lib" /usr/bin/python3 - "$scratch" <<'PY'
import os, shutil, socket, sys, threading, time
import benchlib as b

scratch = sys.argv[1]
DELAY = 1.0

def answer(connection):
    """A willing server that thinks for a second before every reply."""
    def reply(text):
        time.sleep(DELAY)
        connection.sendall(text)
    pending = b""
    def line():
        nonlocal pending
        while b"\r\n" not in pending:
            chunk = connection.recv(65536)
            if not chunk:
                raise EOFError
            pending += chunk
        text, _, pending = pending.partition(b"\r\n")
        return text
    try:
        reply(b"220 slow.example ESMTP\r\n")
        stage = None
        while True:
            command = line()
            word = command.split(b" ")[0].upper()
            if stage == "user":
                stage = "password"
                reply(b"334 UGFzc3dvcmQ6\r\n")
            elif stage == "password":
                stage = None
                reply(b"235 2.7.0 Authentication successful\r\n")
            elif word == b"EHLO":
                reply(b"250-slow.example\r\n250 AUTH LOGIN\r\n")
            elif word == b"AUTH":
                stage = "user"
                reply(b"334 VXNlcm5hbWU6\r\n")
            elif word == b"DATA":
                reply(b"354 go ahead\r\n")
                while b"\r\n.\r\n" not in b"\r\n" + pending:
                    chunk = connection.recv(65536)
                    if not chunk:
                        raise EOFError
                    pending += chunk
                pending = (b"\r\n" + pending).partition(b"\r\n.\r\n")[2]
                reply(b"250 2.0.0 queued\r\n")
            elif word == b"QUIT":
                reply(b"221 2.0.0 bye\r\n")
                return
            else:
                reply(b"250 ok\r\n")
    except (EOFError, OSError):
        pass
    finally:
        connection.close()

listener = socket.socket()
listener.bind(("127.1.0.1", 0))
listener.listen(4)
port = listener.getsockname()[1]

def serve():
    while True:
        connection, _ = listener.accept()
        threading.Thread(target=answer, args=(connection,), daemon=True).start()

threading.Thread(target=serve, daemon=True).start()

b.write_configuration(scratch, {"Mail_SMTP": "127.1.1", "Mail_Port": str(port),
                                "Mail_User": "waechter", "Mail_Password": "geheim",
                                "Mail_From": "waechter@example.com", "Mail_To": "ops@example.com",
                                "Mail_Body": "Bitte nachsehen."})
with open(os.path.join(scratch, "message.txt"), "wb") as message:
    message.write(b"From: <waechter@example.com>\r\nTo: <ops@example.com>\r\n"
                  b"Subject: Veltrum - Benachrichtigung\r\n\r\nBitte nachsehen.\r\n")

def measure(command):
    return b.measure(command, scratch)

veltrum = [os.path.join(scratch, "veltrum"), "/f", os.path.join(scratch, "old.lck"),
           "/t", "-60", "/a", "mail", "/m"]
curl = shutil.which("curl")
reference = [curl, "-s", f"smtp://127.1.0.1:{port}", "--mail-from", "waechter@example.com",
             "--mail-rcpt", "ops@example.com", "--user", "waechter:geheim",
             "--login-options", "AUTH=LOGIN", "-T", os.path.join(scratch, "message.txt")]

print(f"{'run':>4} {'veltrum wall s':>15} {'veltrum cpu ms':>15} {'curl wall s':>12} "
      f"{'curl cpu ms':>12}")
worst = 0.0
worst_curl = float("nan")
for number in range(1, 3):
    vw, vc = measure(veltrum)
    rw, rc = measure(reference) if curl else (float("nan"), float("nan"))
    worst = max(worst, vc)
    worst_curl = rc if worst_curl != worst_curl else max(worst_curl, rc)
    print(f"{number:>4} {vw:>15.3f} {vc:>15.1f} {rw:>12.3f} {rc:>12.1f}")

with open(os.path.join(scratch, "veltrum.log"), "rb") as log:
    sent = log.read().count(b"E-Mail wurde mit Status: 1")
if sent != 2:
    raise SystemExit("the mail was not delivered each time")
verdict = "met" if worst < 50 else "MISSED"
print(f"RESULT mail CPU: veltrum {worst:.1f} ms (worst of 2, server answering after {DELAY:.0f} s), "
      f"curl {worst_curl:.1f} ms; ratio {worst / 50:.2f}x of the budget (target < 50 ms) {verdict}")
PY
