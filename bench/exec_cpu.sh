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
touch -d '2 hours ago' "$scratch/old.lck"

PYTHONPATH="$root/bench/lib" /usr/bin/python3 - "$scratch" "$sleep_program" <<'PY'
import os, sys
import benchlib as b

scratch, sleep_program = sys.argv[1], sys.argv[2]
b.write_configuration(scratch, {"Exec": sleep_program, "ExecParam": "2"})

def measure(command):
    return b.measure(command, scratch, must_succeed=False)

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
