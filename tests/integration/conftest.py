"""Shared harness: every test drives the real binary, copied into a scratch
folder so that its log and configuration are that folder's veltrum.log and
veltrum.conf.

The binary comes from VELTRUM_BIN (default: build/veltrum). For the Windows
build VELTRUM_BIN names veltrum.exe and VELTRUM_RUNNER is "wine"; paths handed
to the program then go through `native()`.
"""
import functools
import os
import pathlib
import re
import shutil
import subprocess

import pytest

from memcheck import (ACTIVE, MEMCHECK, memcheck_each_run, not_under_valgrind,  # noqa: F401
                      pytest_configure, pytest_sessionfinish, pytest_terminal_summary)

SOURCE = pathlib.Path(os.environ.get("VELTRUM_SOURCE", pathlib.Path(__file__).parents[2]))
BINARY = pathlib.Path(os.environ.get("VELTRUM_BIN", SOURCE / "build" / "veltrum"))
RUNNER = os.environ.get("VELTRUM_RUNNER", "").split()
# With VELTRUM_VALGRIND set, every start through RUNNER (or MEMCHECK, for the
# starts that bypass RUNNER) runs under valgrind; see memcheck.py.
if ACTIVE:
    RUNNER = MEMCHECK
ON_WINDOWS = BINARY.suffix.lower() == ".exe"
# The program's own encoding and line end of the log and the console.
ENCODING = "cp1252" if ON_WINDOWS else "utf-8"
LINE_END = b"\r\n" if ON_WINDOWS else b"\n"
NL = LINE_END.decode()

LINE = re.compile(rb"^(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d) (.*?) \[(LOG|ERR)\] (.*)$", re.S)

posix_only = pytest.mark.skipif(ON_WINDOWS, reason="POSIX behaviour by design")
windows_only = pytest.mark.skipif(not ON_WINDOWS, reason="Windows behaviour by design")


@functools.lru_cache(maxsize=None)
def refusal(*probe):
    """Why this machine refuses `probe`, a command that needs what not every
    machine grants (a namespace, a mount), or "" when it does it."""
    if ON_WINDOWS or not shutil.which(probe[0]):
        return f"no {probe[0]} here"
    completed = subprocess.run(probe, stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
    if completed.returncode == 0:
        return ""
    told = completed.stderr.decode(errors="replace").strip().splitlines()
    return f"{' '.join(probe)} is refused here: " + (told[-1] if told else
                                                     f"exit code {completed.returncode}")


def needs_granted(*probe):
    """Skips the test, with the machine's reason, unless `probe` succeeds."""
    reason = refusal(*probe)
    if reason:
        pytest.skip(reason)


def cp(text):
    """A test's text as the bytes the program uses: Windows-1252 on Windows, UTF-8 on POSIX."""
    return text.encode(ENCODING) if isinstance(text, str) else text


def native(path):
    """A path as the program under test sees it."""
    path = str(path)
    if ON_WINDOWS and path.startswith("/"):
        return "Z:" + path.replace("/", "\\")
    return path


def sep():
    return "\\" if ON_WINDOWS else "/"


class Result:
    def __init__(self, completed):
        self.code = completed.returncode
        self.stdout = completed.stdout
        self.stderr = completed.stderr

    def console(self):
        """Standard output as text: UTF-8 on POSIX, the OEM code page on Windows."""
        return self.stdout.decode("cp850" if ON_WINDOWS else "utf-8", errors="replace")


class LogEntry:
    def __init__(self, stamp, user, kind, text):
        self.stamp, self.user, self.kind, self.text = stamp, user, kind, text

    def __repr__(self):
        return f"[{self.kind}] {self.text!r}"


class Veltrum:
    """One scratch installation: the program, its configuration and its log."""

    def __init__(self, folder):
        self.folder = pathlib.Path(folder)
        self.folder.mkdir(parents=True, exist_ok=True)
        self.program = self.folder / BINARY.name
        shutil.copy2(BINARY, self.program)
        stem = BINARY.name[:-4] if ON_WINDOWS else BINARY.name
        self.log_path = self.folder / (stem + ".log")
        self.conf_path = self.folder / (stem + ".conf")

    def write_conf(self, text=None, **keys):
        """Writes veltrum.conf: a raw text/bytes, or keys of the group Global."""
        if text is None:
            text = "[Global]\r\n" + "".join(f"{k}={v}\r\n" for k, v in keys.items())
        self.conf_path.write_bytes(cp(text))

    def run(self, *args, timeout=120, cwd=None, env=None, stdin=subprocess.DEVNULL):
        command = RUNNER + [str(self.program)] + [a if isinstance(a, bytes) else str(a)
                                                  for a in args]
        completed = subprocess.run(command, cwd=cwd or self.folder, env=env, timeout=timeout,
                                   stdin=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        return Result(completed)

    def log_bytes(self):
        return self.log_path.read_bytes() if self.log_path.exists() else b""

    def log(self):
        """The log's lines, parsed; the text stays bytes in the program's encoding."""
        data = self.log_bytes()
        assert data == b"" or data.endswith(LINE_END), f"log does not end in {LINE_END!r}"
        entries = []
        for raw in data.split(LINE_END)[:-1]:
            match = LINE.match(raw)
            assert match, f"malformed log line {raw!r}"
            entries.append(LogEntry(match.group(1), match.group(2), match.group(3).decode(),
                                    match.group(4)))
        return entries

    def texts(self):
        """The log's texts, decoded from the program's encoding."""
        return [e.text.decode(ENCODING) for e in self.log()]

    def kinds_and_texts(self):
        return [(e.kind, e.text.decode(ENCODING)) for e in self.log()]


@pytest.fixture
def veltrum(tmp_path):
    return Veltrum(tmp_path / "program")


@pytest.fixture
def server():
    """Starts scripted SMTP servers on loopback; stops them after the test."""
    from smtp_peers import ScriptedServer
    servers = []

    def start(script):
        servers.append(ScriptedServer(script))
        return servers[-1]

    yield start
    for running in servers:
        running.stop()
