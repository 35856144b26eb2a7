#!/usr/bin/env bash
# Memory: peak resident memory (wait4 ru_maxrss) of a run whose search finds
# 1,000,000 files (1,000 folders of 1,000 files, generated once into the cache
# folder), against the total bytes of the paths found. Target: at most twice
# those bytes plus 10 MB.
# The whole list of found paths is built before the first file is evaluated,
# so the peak is reached when the search ends. To keep the run short, every
# file is too old and BreakIfLocated=1 ends the run after the first action
# (a drop file into a scratch inbox) instead of evaluating a million files.
#   bench/memory.sh     (VELTRUM_BIN: binary, default build/veltrum;
#                        VELTRUM_BENCH_CACHE: cache folder, default ~/.cache/veltrum-bench)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
PYTHONPATH="$here/lib" exec /usr/bin/python3 - <<'PY'
import os
import benchlib as b

MB = 1024 * 1024

def name_of(folder, number):
    return f"entry-{folder:04d}-{number:04d}.dat"

# 20 folders with 49 subfolders each: 1,000 folders of 1,000 files.
tree = b.generate_tree(b.cache_folder("memory-1m"), 20, 49, 1000, name_of)
found = 0
path_bytes = 0
for folder, _, names in os.walk(tree):
    found += len(names)
    path_bytes += len(names) * (len(folder) + 1) + sum(len(name) for name in names)
if found != 1000000:
    raise SystemExit(f"the tree holds {found} files instead of 1,000,000")

scratch = b.scratch_folder()
veltrum = b.install_veltrum(scratch)
spawn_time = b.compile_c("lib/spawn_time.c", scratch)
inbox = os.path.join(scratch, "inbox") + "/"
os.mkdir(inbox)
b.write_configuration(scratch, {"Recursive": "1", "BreakIfLocated": "1", "QuillboxDir": inbox})
b.warm(tree)
command = [veltrum, "/f", os.path.join(tree, "*.dat"), "/t", "60", "/a", "quillbox"]
(run,), = b.timed_runs(spawn_time, [command])
with open(os.path.join(scratch, "veltrum.log"), "rb") as log:
    text = log.read()
if text.count(b"Datei gefunden:") != 1 or b"Programmende nach erster" not in text:
    raise SystemExit("the run did not end after the first file:\n" + text.decode("utf-8", errors="replace"))

peak = run.maxrss_kb * 1024
budget = 2 * path_bytes + 10 * MB
print(f"tree {tree}: {found} files found, paths {path_bytes / MB:.1f} MB in all "
      f"({path_bytes / found:.0f} bytes on average); run took {run.wall:.2f} s")
print(f"  peak resident memory {peak / MB:.1f} MB; budget {budget / MB:.1f} MB")
b.summary("memory", f"peak {peak / MB:.1f} MB for {found} paths of {path_bytes / MB:.1f} MB",
          peak / path_bytes, "<= 2x path bytes + 10 MB", peak <= budget)
PY
