#!/usr/bin/env bash
# Start-up: `veltrum /?` (start marker in the log, help on the console, exit
# code 1) side by side with /bin/true, alternating, median wall time over many
# runs. Target: at most 3 times /bin/true.
#   bench/startup.sh     (VELTRUM_BIN: binary, default build/veltrum)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
PYTHONPATH="$here/lib" exec /usr/bin/python3 - <<'PY'
import os
import benchlib as b

ROUNDS = 300

scratch = b.scratch_folder()
veltrum = b.install_veltrum(scratch)
spawn_time = b.compile_c("lib/spawn_time.c", scratch)
commands = [[veltrum, "/?"], ["/bin/true"]]
b.timed_runs(spawn_time, commands, rounds=20, cwd=scratch)  # warm the page cache
velt, true = b.timed_runs(spawn_time, commands, rounds=ROUNDS, cwd=scratch)
if any(r.status != 1 for r in velt):
    raise SystemExit("veltrum /? did not end with exit code 1")
vm = b.median([r.wall for r in velt])
tm = b.median([r.wall for r in true])
print(f"{ROUNDS} alternating runs")
print(f"  veltrum /?  median {vm * 1000:6.2f} ms  (peak memory {velt[0].maxrss_kb} kB)")
print(f"  /bin/true   median {tm * 1000:6.2f} ms  (peak memory {true[0].maxrss_kb} kB)")
b.summary("start-up", f"veltrum /? {vm * 1000:.2f} ms, /bin/true {tm * 1000:.2f} ms",
          vm / tm, "<= 3x", vm / tm <= 3)
PY
