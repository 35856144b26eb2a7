#!/usr/bin/env bash
# Search: a recursive wildcard search over 200,000 files in 2,000 folders that
# matches no file, side by side with `find DIR -iname PATTERN` on the same warm
# tree. Median wall time of alternating runs; target: at most 1.3 times find.
# The tree is generated once into the cache folder and reused.
#   bench/search.sh     (VELTRUM_BIN: binary, default build/veltrum;
#                        VELTRUM_BENCH_CACHE: cache folder, default ~/.cache/veltrum-bench)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
PYTHONPATH="$here/lib" exec /usr/bin/python3 - <<'PY'
import os
import benchlib as b

ROUNDS = 9
PATTERN = "*.lck"
KINDS = [("Report_", ".TXT"), ("data-", ".log"), ("IMG", ".Jpg"), ("backup.", ".tar.gz")]

def name_of(folder, number):
    prefix, extension = KINDS[number % len(KINDS)]
    return f"{prefix}{folder:04d}_{number:03d}{extension}"

# 20 folders with 99 subfolders each: 2,000 folders of 100 files.
tree = b.generate_tree(b.cache_folder("search-200k"), 20, 99, 100, name_of)
scratch = b.scratch_folder()
veltrum = b.install_veltrum(scratch)
b.write_configuration(scratch, {"Recursive": "1", "Mail_SMTP": "127.0.0.1"})
spawn_time = b.compile_c("lib/spawn_time.c", scratch)
b.warm(tree)

commands = [[veltrum, "/f", os.path.join(tree, PATTERN), "/t", "-60", "/a", "mail"],
            ["find", tree, "-iname", PATTERN]]
b.timed_runs(spawn_time, commands, rounds=1)  # one more warming round each
velt, find = b.timed_runs(spawn_time, commands, rounds=ROUNDS)

with open(os.path.join(scratch, "veltrum.log"), "rb") as log:
    text = log.read()
if b"Gefunden" in text or b"gefunden:" in text or text.count(b"Suche nach:") != ROUNDS + 1:
    raise SystemExit("the search did not run as expected:\n" + text.decode("utf-8", errors="replace"))

vm = b.median([r.wall for r in velt])
fm = b.median([r.wall for r in find])
print(f"tree {tree}: 200,000 files in 2,000 folders; pattern {PATTERN}, no match; "
      f"{ROUNDS} alternating runs")
print(f"  veltrum  median {vm * 1000:8.1f} ms  (min {min(r.wall for r in velt) * 1000:.1f})")
print(f"  find     median {fm * 1000:8.1f} ms  (min {min(r.wall for r in find) * 1000:.1f})")
b.summary("search", f"veltrum {vm * 1000:.1f} ms, find -iname {fm * 1000:.1f} ms",
          vm / fm, "<= 1.3x", vm / fm <= 1.3)
PY
