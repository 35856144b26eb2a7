#!/usr/bin/env bash
# CPU time Veltrum spends while "execwait" waits for a program that sleeps
# 2 seconds, side by side with the same program run directly. The waiting
# blocks, so Veltrum's own share should stay well below 50 ms.
#   bench/exec_cpu.sh [path/to/veltrum]     (default: build/veltrum)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
binary="$(realpath "${1:-${VELTRUM_BIN:-$root/build/veltrum}}")"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

cp "$binary" "$scratch/veltrum"
sleep_program="$(command -v sleep)"
printf '[Global]\r\nExec=%s\r\nExecParam=2\r\n' "$sleep_program" >"$scratch/veltrum.conf"
touch -d '2 hours ago' "$scratch/old.lck"

/usr/bin/python3 - "$scratch" "$sleep_program" <<'PY'
import os, subprocess, sys, time

scratch, sleep_program = sys.argv[1], sys.argv[2]

def measure(command):
    """Wall time and user+system CPU of a process and the children it waited for."""
    start = time.monotonic()
    process = subprocess.Popen(command, cwd=scratch, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    wall = time.monotonic() - start
    return wall, (usage.ru_utime + usage.ru_stime) * 1000

veltrum = [os.path.join(scratch, "veltrum"), "/f", os.path.join(scratch, "old.lck"),
           "/t", "-1", "/a", "execwait", "/m"]
reference = [sleep_program, "2"]

rows = []
for _ in range(3):
    rows.append((measure(veltrum), measure(reference)))

with open(os.path.join(scratch, "veltrum.log"), "rb") as log:
    waited = log.read().count(b"Exitcode: 0\n")
assert waited == 3, "execwait did not run the program each time"

print(f"{'run':>4} {'veltrum wall s':>15} {'veltrum cpu ms':>15} {'sleep 2 wall s':>15} "
      f"{'sleep 2 cpu ms':>15} {'veltrum own ms':>15}")
for number, ((vw, vc), (rw, rc)) in enumerate(rows, 1):
    print(f"{number:>4} {vw:>15.3f} {vc:>15.1f} {rw:>15.3f} {rc:>15.1f} {vc - rc:>15.1f}")
own = max(vc - rc for (_, vc), (_, rc) in rows)
reference = max(rc for _, (_, rc) in rows)
verdict = "met" if own < 50 else "MISSED"
print(f"RESULT execwait CPU: veltrum itself {own:.1f} ms (worst of 3), sleep 2 {reference:.1f} ms; "
      f"ratio {own / 50:.2f}x of the budget (target < 50 ms) {verdict}")
PY
