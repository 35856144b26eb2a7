"""Shared pieces of the benchmarks: the timing helper, generated trees kept in
a cache folder, and the one-line summaries."""
import os
import shutil
import statistics
import subprocess
import tempfile
import time

BENCH = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ROOT = os.path.dirname(BENCH)


def veltrum_binary():
    """The binary under test: $VELTRUM_BIN, else build/veltrum."""
    path = os.environ.get("VELTRUM_BIN") or os.path.join(ROOT, "build", "veltrum")
    if not os.access(path, os.X_OK):
        raise SystemExit(f"no Veltrum binary at {path}; run make build first")
    return os.path.realpath(path)


def cache_folder(name):
    """A folder under $VELTRUM_BENCH_CACHE (default ~/.cache/veltrum-bench)
    that survives between runs; generated trees are kept there."""
    base = os.environ.get("VELTRUM_BENCH_CACHE") or os.path.join(
        os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"), "veltrum-bench")
    path = os.path.join(base, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    return path


def scratch_folder():
    """A fresh folder, removed when the process ends."""
    path = tempfile.mkdtemp(prefix="veltrum-bench-")
    import atexit
    atexit.register(shutil.rmtree, path, True)
    return path


def compile_c(source, scratch):
    """Compiles bench/<source> with cc -O2 into the scratch folder."""
    output = os.path.join(scratch, os.path.splitext(os.path.basename(source))[0])
    subprocess.run(["cc", "-O2", "-Wall", "-Wextra", "-o", output, os.path.join(BENCH, source)],
                   check=True)
    return output


def install_veltrum(scratch, name="veltrum"):
    """Copies the binary into `scratch`; its log and configuration live beside it."""
    target = os.path.join(scratch, name)
    shutil.copy2(veltrum_binary(), target)
    return target


def write_configuration(scratch, settings):
    """Writes veltrum.conf beside the binary in `scratch`: a [Global] section
    with the `settings` (name to value, str or bytes) in order, CR LF lines."""
    lines = [b"[Global]"]
    for name, value in settings.items():
        lines.append(name.encode() + b"=" + (value if isinstance(value, bytes) else value.encode()))
    with open(os.path.join(scratch, "veltrum.conf"), "wb") as conf:
        conf.write(b"\r\n".join(lines) + b"\r\n")


def measure(command, cwd, env=None, must_succeed=True):
    """Wall time (s) and user+system CPU (ms) of a process and the children it
    waited for; with `must_succeed` a non-zero exit ends the bench."""
    start = time.monotonic()
    process = subprocess.Popen(command, cwd=cwd, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, env=env)
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    if must_succeed and process.returncode != 0:
        raise SystemExit(f"{command[0]} failed")
    return time.monotonic() - start, (usage.ru_utime + usage.ru_stime) * 1000


class Run:
    def __init__(self, fields):
        self.index = int(fields[0])
        self.wall = float(fields[1])
        self.cpu = float(fields[2]) + float(fields[3])
        self.maxrss_kb = int(fields[4])
        self.status = int(fields[5])


def timed_runs(spawn_time, commands, rounds=1, cwd=None):
    """Runs the commands alternately `rounds` times through the timing helper;
    returns one list of Run per command."""
    argv = [spawn_time, "-n", str(rounds)]
    if cwd:
        argv += ["-C", cwd]
    for command in commands:
        argv += ["--"] + list(command)
    output = subprocess.run(argv, check=True, stdout=subprocess.PIPE, text=True).stdout
    runs = [[] for _ in commands]
    for line in output.splitlines():
        run = Run(line.split())
        runs[run.index].append(run)
    return runs


def median(values):
    return statistics.median(values)


def summary(name, figures, ratio, target, met):
    """The one line per figure that `make bench` collects."""
    verdict = "met" if met else "MISSED"
    print(f"RESULT {name}: {figures}; ratio {ratio:.2f}x (target {target}) {verdict}", flush=True)


def generate_tree(path, folders_top, folders_below, files_per_folder, name_of):
    """Generates (once) a tree of folders_top folders with folders_below
    subfolders each, every folder holding files_per_folder empty files named by
    name_of(folder_number, file_number). A marker file records completion, so
    an interrupted generation starts again."""
    marker = path + ".complete"
    if os.path.exists(marker):
        return path
    if os.path.exists(path):
        shutil.rmtree(path)
    number = 0
    for top in range(folders_top):
        top_folder = os.path.join(path, f"t{top:02d}")
        for below in range(folders_below + 1):
            folder = top_folder if below == 0 else os.path.join(top_folder, f"s{below - 1:03d}")
            os.makedirs(folder)
            for file_number in range(files_per_folder):
                os.close(os.open(os.path.join(folder, name_of(number, file_number)),
                                 os.O_WRONLY | os.O_CREAT, 0o644))
            number += 1
    open(marker, "w").close()
    return path


def warm(path):
    """Reads every folder of the tree once, so that both sides meet a warm cache."""
    subprocess.run(["find", path, "-name", "x"], check=True, stdout=subprocess.DEVNULL)
