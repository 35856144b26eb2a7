#!/usr/bin/env bash
# The action check: (1) the search bench's tree of 200,000 files in 2,000
# folders with "/a check" against `find DIR -iname PATTERN` (target: at most
# 1.3 times find, like the search); (2) 5,000 matching files evaluated in full
# with "/a check" against the same run with "/a mail", whose pre-check passes
# without the network (target: at most 1.1 times: the check adds only its
# summary). Median wall time of alternating runs.
#   bench/check.sh     (VELTRUM_BIN: binary, default build/veltrum;
#                       VELTRUM_BENCH_CACHE: cache folder, default ~/.cache/veltrum-bench)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
PYTHONPATH="$here/lib" exec /usr/bin/python3 - <<'PY'
import glob, os
import benchlib as b

KINDS = [("Report_", ".TXT"), ("data-", ".log"), ("IMG", ".Jpg"), ("backup.", ".tar.gz")]

def name_of(folder, number):  # the same tree as bench/search.sh
    prefix, extension = KINDS[number % len(KINDS)]
    return f"{prefix}{folder:04d}_{number:03d}{extension}"

def clear_logs(scratch):
    for path in glob.glob(os.path.join(scratch, "veltrum.log*")):
        os.remove(path)

def expect_status(runs, status, what):
    if any(r.status != status for r in runs):
        raise SystemExit(f"{what}: exit status {[r.status for r in runs]}, expected {status}")

tree = b.generate_tree(b.cache_folder("search-200k"), 20, 99, 100, name_of)
scratch = b.scratch_folder()
veltrum = b.install_veltrum(scratch)
spawn_time = b.compile_c("lib/spawn_time.c", scratch)
b.write_configuration(scratch, {"Recursive": "1", "Mail_SMTP": "smtp.example.com",
                                "Mail_From": "veltrum@example.com", "Mail_To": "ops@example.com"})
b.warm(tree)
commands = [[veltrum, "/f", os.path.join(tree, "*.lck"), "/t", "-60", "/a", "check"],
            ["find", tree, "-iname", "*.lck"]]
b.timed_runs(spawn_time, commands, rounds=1)
velt, find = b.timed_runs(spawn_time, commands, rounds=9)
expect_status(velt, 0, "check over the tree")
clear_logs(scratch)
vm, fm = b.median([r.wall for r in velt]), b.median([r.wall for r in find])
print(f"tree {tree}: 200,000 files, no match; check median {vm * 1000:.1f} ms, "
      f"find median {fm * 1000:.1f} ms")
b.summary("check search", f"veltrum /a check {vm * 1000:.1f} ms, find -iname {fm * 1000:.1f} ms",
          vm / fm, "<= 1.3x", vm / fm <= 1.3)

FILES = 5000
folder = os.path.join(scratch, "drop")
os.mkdir(folder)
for number in range(FILES):
    os.close(os.open(os.path.join(folder, f"job{number:05d}.lck"), os.O_WRONLY | os.O_CREAT, 0o644))
pattern = os.path.join(folder, "*.lck")
commands = [[veltrum, "/f", pattern, "/t", "-60", "/a", "check"],
            [veltrum, "/f", pattern, "/t", "-60", "/a", "mail"]]
b.timed_runs(spawn_time, commands, rounds=1)
clear_logs(scratch)
check, mail = b.timed_runs(spawn_time, commands, rounds=5)
expect_status(check, 0, "check of 5,000 files")
clear_logs(scratch)
cm, mm = b.median([r.wall for r in check]), b.median([r.wall for r in mail])
print(f"{FILES} files not too old: check median {cm * 1000:.1f} ms, mail median {mm * 1000:.1f} ms")
b.summary("check evaluation", f"/a check {cm * 1000:.0f} ms, /a mail {mm * 1000:.0f} ms for "
          f"{FILES} files", cm / mm, "<= 1.1x", cm / mm <= 1.1)
PY
