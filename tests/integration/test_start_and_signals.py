"""How a run starts and stops in an unusual process state: closed standard
descriptors, close signals ignored by the caller (nohup), and a storm of
close signals while a mail or a program is under way."""
import os
import signal
import subprocess
import threading
import time

import pytest

from conftest import MEMCHECK, posix_only
from smtp_peers import PROGRAM_HOST, SinkServer, mail_conf, old_files

pytestmark = posix_only

CLOSE_SIGNALS = (signal.SIGHUP, signal.SIGINT, signal.SIGTERM)
SENT = "E-Mail wurde mit Status: 1 an ops@example.com \u00fcber " + PROGRAM_HOST + " versendet"


def start(veltrum, *args, ignored=(), shell_redirect=""):
    """Starts the program (under valgrind when memcheck is on) without waiting,
    the close signals `ignored` ignored and the others at their default."""
    command = MEMCHECK + [str(veltrum.program)] + [str(a) for a in args]
    if shell_redirect:
        command = ["/bin/sh", "-c", 'exec "$@" ' + shell_redirect, "sh"] + command

    def dispositions():
        # Set, not inherited: the suite itself may run from a background job
        # or nohup, with SIGINT or SIGHUP ignored.
        for number in CLOSE_SIGNALS:
            signal.signal(number, signal.SIG_IGN if number in ignored else signal.SIG_DFL)
    return subprocess.Popen(command, cwd=veltrum.folder, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                            preexec_fn=dispositions)


def wait_for_log(veltrum, text, seconds=60):
    deadline = time.monotonic() + seconds
    while text not in veltrum.log_bytes():
        assert time.monotonic() < deadline, f"{text!r} never reached the log"
        time.sleep(0.02)


def program(folder, body):
    path = folder / "program.sh"
    path.write_bytes(b"#!/bin/sh\n" + body.encode())
    path.chmod(0o755)
    return path


@pytest.mark.parametrize("closed", ["<&- >&-", "<&- >&- 2>&-", ">&-"])
def test_closed_standard_descriptors_take_no_file_or_socket(veltrum, tmp_path, closed):
    sink = SinkServer(tmp_path / "sink", "Geheim-\xe4-42")
    try:
        mail_conf(veltrum, sink.port)
        folder = tmp_path / "watched"
        old_files(folder, "a.lck", "b.lck", "c.lck")
        run = start(veltrum, "/f", folder / "*.lck", "/t", "-60", "/a", "mail", "/m",
                    shell_redirect=closed)
        _, errors = run.communicate(timeout=120)
        messages = sink.messages()
    finally:
        sink.stop()
    assert run.returncode == 0
    assert errors == b""
    assert veltrum.texts().count(SENT) == 3
    assert len(messages) == 3
    # What the run shows on the console never went into the connection.
    assert all(b"versendet" not in m and b"Suche nach" not in m for m in messages)


@pytest.mark.parametrize("ignored", CLOSE_SIGNALS)
def test_a_close_signal_ignored_at_start_stays_ignored(veltrum, tmp_path, ignored):
    release = tmp_path / "release"
    body = (f'echo started\nwhile [ ! -e "{release}" ]; do sleep 0.05; done\n'
            'echo finished\nexit 3\n')
    veltrum.write_conf(Exec=str(program(tmp_path, body)), ExecParam="")
    old_files(tmp_path / "zone", "job.lck")
    run = start(veltrum, "/f", tmp_path / "zone" / "job.lck", "/t", "-1", "/a", "execwait", "/m",
                ignored=(ignored,))
    try:
        wait_for_log(veltrum, b"Aktion wird ausgel")
        time.sleep(0.2)
        run.send_signal(ignored)
        time.sleep(0.3)
        assert run.poll() is None, "the run ended on a signal its caller ignored"
    finally:
        release.touch()
    run.communicate(timeout=60)
    assert run.returncode == 0
    texts = veltrum.texts()
    assert texts[-2:] == ["Output von Exec:started\rfinished\r\r\r", "Exitcode: 3"]


def storm(pid, seconds=1.0):
    """Close signals, mixed, as fast as they can be sent, until the process
    is gone or the time is up."""
    deadline = time.monotonic() + seconds
    kinds = CLOSE_SIGNALS * 4
    sent = 0
    while time.monotonic() < deadline:
        try:
            os.kill(pid, kinds[sent % len(kinds)])
        except ProcessLookupError:
            break
        sent += 1
    return sent


def assert_stopped_by_a_close_signal(run, started):
    run.communicate(timeout=30)
    assert -run.returncode in CLOSE_SIGNALS, f"ended with {run.returncode}"
    assert time.monotonic() - started < 8


def test_a_signal_storm_during_a_mail_ends_the_run_once(veltrum, tmp_path, server):
    waiting, closed = threading.Event(), threading.Event()

    def slow(peer, index):
        peer.send(b"220 slow.example ESMTP\r\n")
        peer.line()  # EHLO, never answered
        waiting.set()
        peer.until_closed(60)
        closed.set()

    mail_conf(veltrum, server(slow).port)
    old_files(tmp_path / "watched", "a.lck")
    run = start(veltrum, "/f", tmp_path / "watched" / "a.lck", "/t", "-60", "/a", "mail", "/m")
    assert waiting.wait(60), "the run never reached the server"
    time.sleep(0.2)
    started = time.monotonic()
    storm(run.pid)
    assert_stopped_by_a_close_signal(run, started)
    assert closed.wait(10), "the connection stayed open after the run"
    veltrum.log()  # every line written is whole
    assert not any(t.startswith("E-Mail") and "versendet" in t for t in veltrum.texts())


@pytest.mark.parametrize("round_", range(4))
def test_a_signal_storm_during_execwait_ends_the_run_once(veltrum, tmp_path, round_):
    # The program floods its output, so the run is busy reading, allocating
    # and logging when the signals arrive.
    release = tmp_path / "release"
    body = (f'while [ ! -e "{release}" ]; do\n'
            '  echo "line of output line of output line of output"\ndone\n')
    veltrum.write_conf(Exec=str(program(tmp_path, body)), ExecParam="")
    old_files(tmp_path / "zone", "job.lck")
    run = start(veltrum, "/f", tmp_path / "zone" / "job.lck", "/t", "-1", "/a", "execwait", "/m")
    wait_for_log(veltrum, b"Aktion wird ausgel")
    time.sleep(0.2 + 0.1 * round_)
    started = time.monotonic()
    try:
        storm(run.pid)
        assert_stopped_by_a_close_signal(run, started)
    finally:
        release.touch()  # the program, left running, ends too
    veltrum.log()
