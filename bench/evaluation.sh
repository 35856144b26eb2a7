#!/usr/bin/env bash
# Evaluation: 5,000 matching files that are not too old, each evaluated in full
# with every log line, side by side with bench/log_writes.c doing the same
# number of log writes (the lines Veltrum wrote, counted in its log, of their
# average length) the way a log shared by concurrent runs needs them: open,
# exclusive lock, status (for the size limit), append, close. That is the
# floor of a run that logs every line; target: at most 1.2 times it. Median
# wall time of alternating runs. For comparison it also times the bare
# open-append-close writes.
#   bench/evaluation.sh     (VELTRUM_BIN: binary, default build/veltrum)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
PYTHONPATH="$here/lib" exec /usr/bin/python3 - <<'PY'
import glob, os
import benchlib as b

FILES = 5000
ROUNDS = 5

scratch = b.scratch_folder()
veltrum = b.install_veltrum(scratch)
spawn_time = b.compile_c("lib/spawn_time.c", scratch)
log_writes = b.compile_c("log_writes.c", scratch)
folder = os.path.join(scratch, "drop")
os.mkdir(folder)
for number in range(FILES):
    os.close(os.open(os.path.join(folder, f"job{number:05d}.lck"), os.O_WRONLY | os.O_CREAT, 0o644))
# The mail pre-check passes without touching the network; no file is old
# enough for the action.
b.write_configuration(scratch, {"Mail_SMTP": "smtp.example.com", "Mail_From": "veltrum@example.com",
                                "Mail_To": "ops@example.com"})
command = [veltrum, "/f", os.path.join(folder, "*.lck"), "/t", "-60", "/a", "mail"]

def log_bytes():
    data = b""
    for path in sorted(glob.glob(os.path.join(scratch, "veltrum.log*"))):
        with open(path, "rb") as log:
            data += log.read()
        os.remove(path)
    return data

# One run to count the lines and to warm the caches.
b.timed_runs(spawn_time, [command])
text = log_bytes()
lines = text.count(b"\n")  # LF ends each line
evaluated = text.count(b"FileDate von ")
if evaluated != FILES or b"Aktion wird ausgel" in text:
    raise SystemExit(f"expected {FILES} full evaluations, found {evaluated}")
length = round(len(text) / lines)
reference = [log_writes, os.path.join(scratch, "reference.log"), str(lines), str(length)]

locked = [log_writes, os.path.join(scratch, "locked.log"), str(lines), str(length), "locked"]
velt, ref, lock = b.timed_runs(spawn_time, [command, reference, locked], rounds=ROUNDS)
log_bytes()
vm = b.median([r.wall for r in velt])
rm = b.median([r.wall for r in ref])
lm = b.median([r.wall for r in lock])
print(f"{FILES} files, {lines} log lines per run ({lines / FILES:.1f} per file, "
      f"{length} bytes on average); {ROUNDS} alternating runs")
print(f"  veltrum     median {vm * 1000:8.1f} ms  {FILES / vm:9.0f} files/s")
print(f"  log writes  median {rm * 1000:8.1f} ms  {lines / rm:9.0f} lines/s")
print(f"  locked log writes (open, lock, status, write, close) median {lm * 1000:.1f} ms: "
      f"{lm / rm:.2f}x the bare writes; veltrum {vm / lm:.2f}x these")
b.summary("evaluation", f"{FILES / vm:.0f} files/s ({vm * 1000:.0f} ms for {FILES} files); "
          f"{lines} locked log writes {lm * 1000:.0f} ms", vm / lm, "<= 1.2x", vm / lm <= 1.2)
PY
