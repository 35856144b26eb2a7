"""The log: line format, moving aside above 1,000,000 bytes, and many runs
writing to one log at the same moment."""
import datetime
import os
import re
import subprocess
import time

import pytest

from conftest import LINE, LINE_END, RUNNER, posix_only

LIMIT = 1_000_000
ASIDE = re.compile(r"^veltrum\.log_(\d\d)(\d\d)(\d{4})_(\d\d)(\d\d)(\d\d)$")


def parse(data):
    """Every line of a log file; fails on a torn or malformed line."""
    assert data == b"" or data.endswith(LINE_END), f"file does not end in {LINE_END!r}"
    lines = []
    for raw in data.split(LINE_END)[:-1]:
        match = LINE.match(raw)
        assert match and b"\n" not in raw and b"\r" not in raw, f"torn line {raw[:200]!r}"
        lines.append((match.group(3), match.group(4)))
    return lines


def aside_files(veltrum):
    return sorted(p for p in veltrum.folder.iterdir() if ASIDE.match(p.name))


def filler(size):
    """Valid log lines of exactly `size` bytes."""
    prefix = b"01.01.2020 00:00:00 filler [LOG] "
    line = prefix + b"f" * 60 + LINE_END
    count, rest = divmod(size, len(line))
    head = prefix + b"g" * (rest + len(line) - len(prefix) - len(LINE_END)) + LINE_END
    data = head + line * (count - 1)
    assert len(data) == size
    return data


@posix_only
def test_line_format_user_and_time(veltrum):
    import pwd, os
    before = datetime.datetime.now().replace(microsecond=0)
    veltrum.run("/f", "x", "/t", "5", "/a", "mail")
    after = datetime.datetime.now()
    data = veltrum.log_bytes()
    assert not data.startswith(b"\xef\xbb\xbf")
    entries = veltrum.log()
    assert entries[0].text == b"---[Start]---"
    for entry in entries:
        assert entry.user.decode() == pwd.getpwuid(os.geteuid()).pw_name
        stamp = datetime.datetime.strptime(entry.stamp.decode(), "%d.%m.%Y %H:%M:%S")
        assert before <= stamp <= after
    assert data.startswith(entries[0].stamp + b" " + entries[0].user + b" [LOG] ---[Start]---" + LINE_END)
    assert b" [ERR] " in data  # the check of the unknown action fails


def test_a_log_above_the_limit_is_moved_aside_before_the_run_writes(veltrum):
    old = filler(LIMIT + 1)
    veltrum.log_path.write_bytes(old)
    before = datetime.datetime.now().replace(microsecond=0)
    veltrum.run("/?")
    after = datetime.datetime.now()
    moved = aside_files(veltrum)
    assert len(moved) == 1
    day, month, year, hour, minute, second = map(int, ASIDE.match(moved[0].name).groups())
    assert before <= datetime.datetime(year, month, day, hour, minute, second) <= after
    assert moved[0].read_bytes() == old
    assert veltrum.texts() == ["---[Start]---"]


def test_a_log_of_exactly_the_limit_takes_one_more_line_first(veltrum):
    old = filler(LIMIT)
    veltrum.log_path.write_bytes(old)
    veltrum.run()  # several lines
    moved = aside_files(veltrum)
    assert len(moved) == 1
    data = moved[0].read_bytes()
    assert data.startswith(old)
    assert [text for _, text in parse(data[len(old):])] == [b"---[Start]---"]
    assert veltrum.texts()[0] == "Parameter /f wurde nicht angegeben. Hilfe mit /?"


def run_concurrently(veltrum, runs, lines_per_run, width=100):
    """Starts `runs` real runs at once, each logging `lines_per_run` distinct
    "Parameter f:" lines; returns the expected texts per run."""
    expected = []
    processes = []
    for run in range(runs):
        values = [f"r{run:02}-{line:04}-" + "x" * width for line in range(lines_per_run)]
        expected.append([b"Parameter f:" + v.encode() for v in values])
        args = [a for v in values for a in ("/f", v)] + ["/t", "5", "/a", "none"]
        processes.append(subprocess.Popen(RUNNER + [str(veltrum.program)] + args,
                                          cwd=veltrum.folder, stdout=subprocess.DEVNULL,
                                          stderr=subprocess.PIPE))
    # Every run is waited for before anything is judged, so that none is left
    # running, and a failure tells what each run said and what the log holds.
    told = [(process.returncode, error) for process in processes
            for _, error in [process.communicate(timeout=600)]]
    troubled = [(run, code, error[:300]) for run, (code, error) in enumerate(told)
                if code != 0 or error != b""]
    assert not troubled, (troubled, sorted((p.name, p.stat().st_size)
                                           for p in veltrum.folder.iterdir()))
    return expected


def lines_of_one_run(veltrum, lines_per_run):
    run_concurrently(veltrum, 1, lines_per_run, width=0)
    count = len(veltrum.log())
    veltrum.log_path.unlink()
    return count


def check_every_line_once(files, expected, runs, per_run_count):
    seen = {}
    total = 0
    for path in files:
        by_run = {}
        for kind, text in parse(path.read_bytes()):
            if text.startswith((b"f" * 10, b"g" * 10)):  # the filler
                continue
            total += 1
            if text.startswith(b"Parameter f:r"):
                seen[text] = seen.get(text, 0) + 1
                by_run.setdefault(text[13:15], []).append(text)
        # Within one file every run's lines keep their order.
        for run_lines in by_run.values():
            assert run_lines == sorted(run_lines)
    wanted = [text for run in expected for text in run]
    assert len(seen) == len(wanted)
    assert all(seen.get(text) == 1 for text in wanted)
    assert total == runs * per_run_count


RUNS = 20


def test_concurrent_runs_lose_and_tear_no_line(veltrum):
    per_run = lines_of_one_run(veltrum, 500)
    expected = run_concurrently(veltrum, RUNS, 500, width=30)  # stays below the limit
    assert aside_files(veltrum) == []
    check_every_line_once([veltrum.log_path], expected, RUNS, per_run)
    texts = veltrum.texts()
    assert texts.count("---[Start]---") == RUNS


def aside_time(path):
    day, month, year, hour, minute, second = map(int, ASIDE.match(path.name).groups())
    return datetime.datetime(year, month, day, hour, minute, second)


def stamp_time(stamp):
    return datetime.datetime.strptime(stamp.decode(), "%d.%m.%Y %H:%M:%S")


def in_order_of_names(veltrum):
    """The logs moved aside in the order of the times in their names (the
    names sort only within one day: day-month-year), the log at the path last."""
    return sorted(aside_files(veltrum), key=aside_time) + [veltrum.log_path]


def check_order_of_contents(files):
    """Taken in the order of their names, the files hold every run's lines in
    the order the run wrote them: a log moved later never got a later name
    than a log moved earlier."""
    by_run = {}
    for path in files:
        for kind, text in parse(path.read_bytes()):
            if text.startswith(b"Parameter f:r"):
                by_run.setdefault(text[13:15], []).append(text)
    for run, texts in by_run.items():
        assert texts == sorted(texts), f"run {run}'s lines are out of order across the files"


def check_moved_only_above_the_limit(files):
    """Every file moved aside was above the limit, and a line went into a
    file that was already above it only when the name to move it to was
    taken: by the move just before, in the same second, and the line's time
    (read before its wait for the log) is not later than that second. The
    log was never moved twice, nor left to grow without cause. `files` is
    in the order of the names."""
    for index, path in enumerate(files):
        data = path.read_bytes()
        if index < len(files) - 1:
            assert len(data) > LIMIT, f"{path.name} was moved below the limit"
        size = 0
        for raw in data.split(LINE_END)[:-1]:
            stamp = LINE.match(raw).group(1)
            if size > LIMIT and not stamp.startswith(b"01.01.2020"):  # not the filler
                assert index > 0, f"{path.name} grew past the limit though no name was taken"
                taken = aside_time(files[index - 1])
                assert stamp_time(stamp) <= taken, f"{path.name} grew past the limit without cause"
            size += len(raw) + len(LINE_END)


@posix_only  # too long a command line for Windows; test_windows.py has its own
def test_concurrent_runs_across_the_limit_move_the_log_once_per_crossing(veltrum):
    per_run = lines_of_one_run(veltrum, 500)
    old = filler(LIMIT - 200_000)
    veltrum.log_path.write_bytes(old)
    expected = run_concurrently(veltrum, RUNS, 500, width=300)  # about 3.7 MB more
    files = in_order_of_names(veltrum)
    moved = files[:-1]
    total = sum(path.stat().st_size for path in files)
    # More than one move only when the crossings fall into different seconds.
    assert 1 <= len(moved) <= total // LIMIT
    # The old lines are in exactly one file, at its start: the first by name.
    assert [p for p in files if p.read_bytes().startswith(old[:1000])] == [moved[0]]
    assert moved[0].read_bytes().startswith(old)
    check_order_of_contents(files)
    check_moved_only_above_the_limit(files)
    check_every_line_once(files, expected, RUNS, per_run)


@posix_only
def test_a_log_held_locked_by_a_stuck_writer_does_not_stop_the_run(veltrum):
    import fcntl
    import time
    veltrum.log_path.write_bytes(b"")
    with open(veltrum.log_path, "ab") as held:
        fcntl.flock(held, fcntl.LOCK_EX)
        started = time.monotonic()
        result = veltrum.run("/?")
        waited = time.monotonic() - started
    # The line is given up after a bounded wait and reported; the help still comes.
    assert result.code == 1
    assert result.stderr == b"Kann keine Logdatei erstellen\n"
    assert 3 < waited < 30
    assert veltrum.log_bytes() == b""


class TestLogFolderFaults:
    """A log that stops taking lines in the middle of a run: every line that
    could be written is there and whole, every other one is told on
    standard error, and the run goes on to its end."""

    FAILURE = b"Kann keine Logdatei erstellen\n"

    @pytest.fixture
    def disk(self, tmp_path):
        """A small file system of the test's own (room for the program with its
        debug information), or a skip."""
        folder = tmp_path / "disk"
        folder.mkdir()
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64m", "tmpfs", str(folder)],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        if mounted.returncode != 0:
            pytest.skip("cannot mount a tmpfs here (needs root in a privileged machine): "
                        + mounted.stderr.decode(errors="replace").strip())
        yield folder
        subprocess.run(["umount", "-l", str(folder)], check=True)

    @staticmethod
    def installed(disk):
        from conftest import Veltrum
        return Veltrum(disk / "program")

    @staticmethod
    def fill(disk, leave):
        """Fills the disk up to `leave` bytes (whole pages)."""
        filler = disk / "filler"
        # Unbuffered: a buffered file would keep the part of the last block
        # that found no room and fail once more when closed.
        with open(filler, "wb", buffering=0) as out:
            try:
                while out.write(b"\0" * 65536):
                    pass
            except OSError:
                pass
        os.truncate(filler, filler.stat().st_size - leave)
        return filler

    @staticmethod
    def many_lines(veltrum, count=200):
        values = [a for i in range(count) for a in ("/f", f"value-{i:04}-" + "v" * 40)]
        return veltrum.run(*values, "/t", "5", "/a", "none")

    @posix_only
    def test_a_full_disk_leaves_no_torn_line_and_every_loss_is_told(self, disk):
        veltrum = self.installed(disk)
        filler = self.fill(disk, 4096)
        result = self.many_lines(veltrum)
        assert result.code == 0
        kept = veltrum.log()  # fails on a torn line
        assert kept and kept[0].text == b"---[Start]---"
        lost = result.stderr.count(self.FAILURE)
        assert lost > 0 and result.stderr == self.FAILURE * lost
        # Once there is room again, the next run's lines follow whole.
        filler.unlink()
        reference = self.many_lines(veltrum)
        assert reference.stderr == b""
        entries = veltrum.log()
        assert len(kept) + lost == len(entries) - len(kept)
        assert entries[len(kept)].text == b"---[Start]---"

    @posix_only
    def test_a_log_folder_made_read_only_mid_run(self, disk, tmp_path):
        veltrum = self.installed(disk)
        watched = tmp_path / "watched"
        watched.mkdir()
        for name in ["a.lck", "b.lck"]:
            path = watched / name
            path.write_bytes(b"x")
            os.utime(path, (time.time() - 7200,) * 2)
        program = tmp_path / "freeze.sh"
        program.write_text(f"#!/bin/sh\nmount -o remount,ro {disk}\n")
        program.chmod(0o755)
        veltrum.write_conf(Exec=str(program))
        args = ("/f", str(watched / "*.lck"), "/t", "-60", "/a", "execwait", "/m")
        try:
            result = veltrum.run(*args, timeout=60)
        finally:
            subprocess.run(["mount", "-o", "remount,rw", str(disk)], check=True)
        assert result.code == 0
        before = veltrum.texts()
        assert not [t for t in before if t.startswith("Output von Exec:")]
        lost = result.stderr.count(self.FAILURE)
        assert lost > 0 and result.stderr == self.FAILURE * lost
        # The same run with a folder that stays writable: the lines kept are
        # its first lines, and the lines told as lost are the rest.
        veltrum.log_path.unlink()
        program.write_text("#!/bin/sh\n:\n")
        assert veltrum.run(*args, timeout=60).stderr == b""
        reference = veltrum.texts()
        assert len(before) + lost == len(reference)
        figures = re.compile(r"\d")
        assert [figures.sub("", t) for t in before] == \
            [figures.sub("", t) for t in reference[:len(before)]]
