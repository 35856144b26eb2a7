"""Age evaluation: the per-file tests, the figures of the comparison checked
against a computation of their own, the trigger and BreakIfLocated."""
import datetime
import math
import os
import time
import zoneinfo

import pytest

from conftest import native, posix_only, sep

TRIGGER = "Datei hat zul\u00e4ssige H\u00f6chstalter \u00fcberschritten. Aktion wird ausgel\u00f6st."
NOT_A_NUMBER = "Die angegebene Pr\u00fcfzeit in Minuten ist keine Zahl"
STOP = "Programmende nach erster zu meldenden Funstelle"
LIMIT_END = 2147471999  # 2038-01-18 23:59:59


def offset_now(zone=None):
    """Seconds of the local offset in force now, daylight saving included."""
    now = datetime.datetime.now(zoneinfo.ZoneInfo(zone)) if zone else datetime.datetime.now(
    ).astimezone()
    return int(now.utcoffset().total_seconds())


def date_value(epoch, offset):
    """A time stamp as the program's local seconds since 1970, -1 outside its range."""
    value = math.floor(epoch) + offset
    return value if 0 <= value <= LIMIT_END else -1


def wrap32(value):
    value &= 0xFFFFFFFF
    return value - (1 << 32) if value >= 1 << 31 else value


class Figures:
    def __init__(self, texts, path):
        def number(prefix):
            lines = [t for t in texts if t.startswith(prefix)]
            assert len(lines) == 1, (prefix, texts)
            return int(lines[0][len(prefix):])
        self.now = number("Jetzt ist es ")
        self.limit = number("H\u00f6chstalter der Datei ist:")
        self.file_date = number("FileDate von " + path + " ist ")
        self.check_line = next(t for t in texts if t.startswith("Pr\u00fcfzeit ist "))
        self.triggered = TRIGGER in texts


@pytest.fixture
def inbox(veltrum, tmp_path):
    folder = tmp_path / "inbox"
    folder.mkdir()
    veltrum.write_conf(QuillboxDir=native(folder))
    return folder


def old_file(path, epoch):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(b"x")
    os.utime(path, (epoch, epoch))
    return path


def evaluate(veltrum, path, minutes, *switches, env=None):
    veltrum.log_path.unlink(missing_ok=True)
    started = time.time()
    result = veltrum.run("/f", native(path), "/t", minutes, "/a", "quillbox", *switches, env=env)
    ended = time.time()
    assert result.code == 0
    return Figures(veltrum.texts(), native(path)), started, ended


@pytest.mark.parametrize("minutes,age,triggered", [
    ("-60", 7200, True),
    ("-60", 1800, False),
    ("0", 10, True),
    ("0", -3600, False),
    ("60", -1800, True),
    ("60", -7200, False),
    ("-1440", 2 * 86400, True),
])
def test_figures_match_an_independent_computation(veltrum, inbox, tmp_path, minutes, age,
                                                  triggered):
    now = math.floor(time.time())
    path = old_file(tmp_path / "zone" / "job.lck", now - age)
    figures, started, ended = evaluate(veltrum, path, minutes, "/m")
    offset = offset_now()
    expected_offset = -60 * int(minutes)
    assert figures.check_line == ("Pr\u00fcfzeit ist " + minutes
                                  + ". Berechnete Zeit zum Subtrahieren:" + str(expected_offset))
    assert figures.file_date == date_value(now - age, offset)
    assert figures.limit == figures.file_date + expected_offset
    assert date_value(started, offset) <= figures.now <= date_value(ended, offset)
    assert figures.triggered == triggered
    assert figures.triggered == (figures.now > figures.limit)
    drops = list(inbox.glob("*.msg"))
    assert len(drops) == (1 if triggered else 0)


@pytest.mark.parametrize("minutes", ["-35791394", "-35791395", "-99999999999", "4294967296"])
def test_offset_and_limit_wrap_in_thirty_two_bits(veltrum, inbox, tmp_path, minutes):
    path = old_file(tmp_path / "zone" / "job.lck", time.time() - 60)
    figures, _, _ = evaluate(veltrum, path, minutes, "/m")
    offset = wrap32(-60 * int(minutes))
    assert figures.check_line.endswith(":" + str(offset))
    assert figures.limit == wrap32(figures.file_date + offset)
    assert figures.triggered == (figures.now > figures.limit)


@pytest.mark.parametrize("epoch", [-86400 * 365, 2 ** 31 + 10 ** 6])
def test_stamps_outside_the_range_read_as_minus_one(veltrum, inbox, tmp_path, epoch):
    path = old_file(tmp_path / "zone" / "job.lck", epoch)
    figures, _, _ = evaluate(veltrum, path, "-60", "/m")
    assert figures.file_date == -1
    assert figures.limit == 3599
    assert figures.triggered


@posix_only
@pytest.mark.parametrize("zone", ["Europe/Berlin", "America/St_Johns", "Pacific/Chatham"])
def test_file_dates_and_clock_share_the_offset_in_force_now(veltrum, inbox, tmp_path, zone):
    stamp = 1700000000  # November: winter time in the north, summer time in Chatham
    path = old_file(tmp_path / "zone" / "job.lck", stamp)
    figures, started, ended = evaluate(veltrum, path, "-60", "/m", env={**os.environ, "TZ": zone})
    offset = offset_now(zone)
    assert figures.file_date == stamp + offset
    assert date_value(started, offset) <= figures.now <= date_value(ended, offset)


@posix_only  # Wine moves old access times; test_windows.py has its own
def test_switches_choose_the_stamp(veltrum, inbox, tmp_path):
    path = tmp_path / "zone" / "job.lck"
    path.parent.mkdir()
    path.write_bytes(b"x")
    accessed, modified = 1300000000, 1200000000
    os.utime(path, (accessed, modified))
    offset = offset_now()
    assert evaluate(veltrum, path, "-60", "/m")[0].file_date == modified + offset
    os.utime(path, (accessed, modified))
    assert evaluate(veltrum, path, "-60", "/z")[0].file_date == accessed + offset
    os.utime(path, (accessed, modified))
    created, started, _ = evaluate(veltrum, path, "-60")
    # The birth time of the file, or the last write where the file system keeps none.
    assert created.file_date in range(date_value(started, offset) - 120,
                                      date_value(started, offset) + 1) or \
        created.file_date == modified + offset
    assert created.file_date != accessed + offset


@pytest.mark.parametrize("minutes", ["60 minutes", "+5", "060", "1.5", " 60", "-", "--60"])
def test_minutes_that_are_no_number(veltrum, inbox, tmp_path, minutes):
    path = old_file(tmp_path / "zone" / "job.lck", time.time() - 7200)
    result = veltrum.run("/f", native(path), "/t", minutes, "/a", "quillbox")
    assert result.console().splitlines() == [NOT_A_NUMBER]
    entries = veltrum.kinds_and_texts()
    assert entries[-2:] == [("LOG", "Pfad zur \u00fcberpr\u00fcfenden Datei:"
                             + native(path.parent) + sep()), ("ERR", NOT_A_NUMBER)]
    assert not [t for _, t in entries if t.startswith("Jetzt ist es")]


def test_incomplete_options_refuse_every_file(veltrum, inbox, tmp_path):
    path = old_file(tmp_path / "zone" / "job.lck", time.time() - 7200)
    veltrum.run("/f", native(path), "/t", "-60")
    entries = veltrum.kinds_and_texts()
    assert entries[-2:] == [("LOG", "Suche nach einzelner Datei erkannt"),
                            ("ERR", "Abbruch wegen Parameterfehler")]


def test_missing_file_is_logged_without_error(veltrum, inbox, tmp_path):
    (tmp_path / "zone").mkdir()
    path = tmp_path / "zone" / "gone.lck"
    result = veltrum.run("/f", native(path), "/t", "-60", "/a", "quillbox")
    assert result.stdout == b""
    entries = veltrum.kinds_and_texts()
    assert entries[-1] == ("LOG", "Datei " + native(path) + " nicht vorhanden")
    assert not [t for k, t in entries if k == "ERR"]


def test_missing_folder_is_an_error_on_console_and_log(veltrum, inbox, tmp_path):
    path = tmp_path / "nowhere" / "job.lck"
    result = veltrum.run("/f", native(path), "/t", "-60", "/a", "quillbox")
    assert result.console().splitlines() == [
        "Ung\u00fcltiger Pfad zur angegebenen Datei. Hilfe mit /?"]
    entries = veltrum.kinds_and_texts()
    assert entries[-1] == ("ERR", "Ung\u00fcltiger Pfad zur angegebenen Datei")
    assert not [t for _, t in entries if "nicht vorhanden" in t]


@posix_only
def test_folder_below_a_file_is_an_invalid_path(veltrum, inbox, tmp_path):
    blocker = old_file(tmp_path / "plain", time.time())
    veltrum.run("/f", str(blocker) + "/job.lck", "/t", "-60", "/a", "quillbox")
    assert veltrum.kinds_and_texts()[-1] == ("ERR", "Ung\u00fcltiger Pfad zur angegebenen Datei")


def three_old_files(tmp_path):
    zone = tmp_path / "zone"
    for name in ["a.lck", "b.lck", "c.lck"]:
        old_file(zone / name, time.time() - 7200)
    return zone


def test_break_if_located_ends_after_the_first_action(veltrum, tmp_path):
    inbox = tmp_path / "inbox"
    inbox.mkdir()
    veltrum.write_conf(QuillboxDir=native(inbox), BreakIfLocated="1")
    zone = three_old_files(tmp_path)
    result = veltrum.run("/f", native(zone) + sep() + "*.lck|" + native(zone) + sep() + "*.lck",
                         "/t", "-60", "/a", "quillbox", "/m")
    assert result.code == 0
    texts = veltrum.texts()
    assert texts[-1] == STOP
    assert texts.count(TRIGGER) == 1
    assert sum(t.startswith("M\u00f6gliche Datei gefunden:") for t in texts) == 1
    assert len(list(inbox.glob("*.msg"))) == 1


@pytest.mark.parametrize("setting", ["01", "true", " 1x", "2"])
def test_break_if_located_needs_exactly_one(veltrum, tmp_path, setting):
    inbox = tmp_path / "inbox"
    inbox.mkdir()
    veltrum.write_conf(QuillboxDir=native(inbox), BreakIfLocated=setting)
    zone = three_old_files(tmp_path)
    veltrum.run("/f", native(zone) + sep() + "*.lck", "/t", "-60", "/a", "quillbox", "/m")
    texts = veltrum.texts()
    assert texts.count(TRIGGER) == 3
    assert STOP not in texts
    assert len(list(inbox.glob("*.msg"))) == 3


def test_break_if_located_waits_for_a_file_that_is_too_old(veltrum, tmp_path):
    inbox = tmp_path / "inbox"
    inbox.mkdir()
    veltrum.write_conf(QuillboxDir=native(inbox), BreakIfLocated="1")
    zone = tmp_path / "zone"
    old_file(zone / "a-new.lck", time.time())
    old_file(zone / "b-old.lck", time.time() - 7200)
    old_file(zone / "c-old.lck", time.time() - 7200)
    veltrum.run("/f", native(zone) + sep() + "*.lck", "/t", "-60", "/a", "quillbox", "/m")
    texts = veltrum.texts()
    assert texts[-1] == STOP
    assert sum(t.startswith("M\u00f6gliche Datei gefunden:") for t in texts) == 2
    assert len(list(inbox.glob("*.msg"))) == 1


@posix_only
def test_trigger_dispatches_to_the_program(veltrum, tmp_path):
    script = tmp_path / "tell.sh"
    script.write_text("#!/bin/sh\necho \"alt: $1\"\nexit 3\n")
    script.chmod(0o755)
    veltrum.write_conf(Exec=str(script), ExecParam="eins")
    path = old_file(tmp_path / "zone" / "job.lck", time.time() - 7200)
    veltrum.run("/f", str(path), "/t", "-60", "/a", "execwait", "/m")
    texts = veltrum.texts()
    at = texts.index(TRIGGER)
    assert texts[at + 1:] == ["Output von Exec:alt: eins\r\r\r", "Exitcode: 3"]


def fifo_watch(path):
    """A FIFO at path and a thread that waits to write into it: the thread's
    open returns only once something opened the FIFO for reading."""
    import threading
    os.mkfifo(path)
    opened = threading.Event()

    def writer():
        descriptor = os.open(path, os.O_WRONLY)
        opened.set()
        os.close(descriptor)
    thread = threading.Thread(target=writer, daemon=True)
    thread.start()

    def finish():
        was_opened = opened.is_set()
        os.close(os.open(path, os.O_RDONLY | os.O_NONBLOCK))  # releases the writer
        thread.join(5)
        return was_opened
    return finish


@posix_only
@pytest.mark.parametrize("kind", ["link to /dev/null", "link to a FIFO", "FIFO", "socket",
                                  "link to a folder"])
def test_only_a_regular_file_is_present_and_nothing_else_is_opened(veltrum, inbox, tmp_path,
                                                                   kind):
    import socket
    zone = tmp_path / "zone"
    zone.mkdir()
    path = zone / "evil.lck"
    finish = None
    listener = None
    if kind == "link to /dev/null":
        path.symlink_to("/dev/null")
    elif kind == "link to a FIFO":
        finish = fifo_watch(zone / "pipe")
        path.symlink_to(zone / "pipe")
    elif kind == "FIFO":
        finish = fifo_watch(path)
    elif kind == "socket":
        listener = socket.socket(socket.AF_UNIX)
        listener.bind(str(path))
    else:
        (zone / "folder").mkdir()
        path.symlink_to(zone / "folder")
    try:
        result = veltrum.run("/f", str(path), "/t", "-1", "/a", "quillbox", timeout=30)
    finally:
        opened = finish() if finish else False
        if listener:
            listener.close()
    assert result.code == 0
    assert veltrum.texts()[-1] == "Datei " + str(path) + " nicht vorhanden"
    assert not opened, "the run opened the FIFO"


@posix_only
def test_a_link_to_a_regular_file_is_present(veltrum, inbox, tmp_path):
    target = old_file(tmp_path / "zone" / "real.lck", time.time() - 7200)
    link = tmp_path / "zone" / "link.lck"
    link.symlink_to(target)
    veltrum.run("/f", str(link), "/t", "-60", "/a", "quillbox", "/m")
    assert TRIGGER in veltrum.texts()
