"""A run from start to end: help, missing switches, the option walk, the
derived paths, and hostile command lines."""
import os
import shutil
import signal
import subprocess
import time

import pytest

from conftest import (BINARY, LINE_END, MEMCHECK, NL, ON_WINDOWS, RUNNER, needs_granted,
                      not_under_valgrind, posix_only)

HELP = [
    "",
    "",
    "Veltrum V2014.01.13.02 - watchdog for files that have grown too old",
    "",
    "Usage: Veltrum [/?][/f] <Dateiname> [/t] <Zeit in Minuten> [/a] mail|quillbox|exec|execwait"
    " [Optional:/m oder /z]",
    "",
    "[GER]",
    "/?  : Diesen Hilfetext anzeigen",
    "/f  : Dateiname mit vollständiger Pfadangabe",
    "/t  : Bedingung: Älter als x Minuten",
    "/a  : Durchzuführende Aktion",
    "/m  : Benutze letztes Modifikationsdatum, anstelle des Erstellungsdatum",
    "/z  : Benutze letztes Zugriffsdatum, anstelle des Erstellungsdatum",
    "",
    'Beispiel 1: Veltrum /f "C:\\Dropzone\\job.lck" /t -60 /a quillbox',
    "  Ist die angegebene Datei älter als 60 Minuten, benachrichtige per Quillbox.",
    "",
    'Beispiel 2: Veltrum /f "C:\\Dropzone\\*.lck" /t -60 /a mail',
    "  Prüft auf angegebene Wildcard-Bedingung zu suchender Dateien die Älter als 60 Minuten sind"
    " und benachrichtige per E-Mail.",
    "",
    "Verschiedene Pfade und Dateisuchen können beim Parameter /f mit Pipe zur Trennung benutzt"
    " werden:",
    'Beispiel: "C:\\Dropzone1\\*.lck|C:\\Dropzone2\\j*.l?k"',
    "",
    "Rekursives Absteigen in die angegebenen Pfade kann zusätzlich in der Conf-Datei über den"
    " Parameter 'Recursive' bestimmt werden.",
]

MISSING = "Parameter /{} wurde nicht angegeben. Hilfe mit /?"
NO_CONF = "Konfigurationsdatei konnte nicht gefunden werden."


def console_bytes(lines):
    encoding = "cp850" if ON_WINDOWS else "utf-8"
    return b"".join(line.encode(encoding) + LINE_END for line in lines)


def test_help_is_printed_byte_for_byte_and_ends_with_1(veltrum):
    veltrum.write_conf(Mail_SMTP="mail.example.org", Recursive="1")
    result = veltrum.run("/?")
    assert result.code == 1
    assert result.stdout == console_bytes(HELP)
    assert result.stderr == b""
    # Only the start marker: no help line is logged, the configuration is not read.
    assert veltrum.kinds_and_texts() == [("LOG", "---[Start]---")]


def test_help_wins_wherever_it_stands(veltrum):
    for args in (["/f", "/?", "/t", "5", "/a", "mail"], ["/f", "x", "/t", "5", "/a", "mail", "/?"]):
        result = veltrum.run(*args)
        assert result.code == 1
        assert result.stdout == console_bytes(HELP)
    # Without a configuration file the missing file would have been reported.
    assert NO_CONF not in result.console()
    assert veltrum.texts() == ["---[Start]---", "---[Start]---"]


def test_no_parameters_reports_the_three_switches_in_order_and_ends_with_0(veltrum):
    result = veltrum.run()
    assert result.code == 0
    console = result.console().split(NL)
    assert console[:4] == [MISSING.format("f"), MISSING.format("t"), MISSING.format("a"), NO_CONF]
    entries = veltrum.kinds_and_texts()
    assert entries[:4] == [("LOG", "---[Start]---")] + [("ERR", MISSING.format(s)) for s in "fta"]
    texts = [text for _, text in entries]
    assert not any(t.startswith(("Parameter", "Dateidatum-Modus:")) for t in texts[4:])
    assert entries[-1] == ("ERR", "Abbruch wegen Parameterfehler")
    assert texts.count("Abbruch wegen Parameterfehler") == 1


def test_one_missing_switch_skips_the_option_walk(veltrum):
    result = veltrum.run("/f", "datei.txt", "/t", "5")
    assert result.code == 0
    assert result.console().startswith(MISSING.format("a") + NL)
    texts = veltrum.texts()
    assert texts[:2] == ["---[Start]---", MISSING.format("a")]
    assert not any(t.startswith(("Parameter f:", "Parameter t:", "Dateidatum-Modus:"))
                   for t in texts)


def test_option_walk_logs_values_and_the_overridden_date_switch(veltrum):
    result = veltrum.run("/f", "C:\\x.txt", "/t", "5", "/a", "mail", "/z", "/m")
    assert result.code == 0
    assert veltrum.kinds_and_texts()[:8] == [
        ("LOG", "---[Start]---"),
        ("LOG", "Parameter f:C:\\x.txt"),
        ("LOG", "Parameter t:5"),
        ("LOG", "Parameter a:mail"),
        ("LOG", "Parameter z"),
        ("ERR", "Parameter /z wurde auch angegeben und jetzt übersteuert"),
        ("LOG", "Parameter m"),
        ("LOG", "Dateidatum-Modus:modify"),
    ]


def test_switches_in_capitals_count_as_present_but_take_no_value(veltrum):
    result = veltrum.run("/F", "datei", "/T", "5", "/A", "mail", "/Z")
    assert MISSING.format("f") not in result.console()
    texts = veltrum.texts()
    assert texts[:2] == ["---[Start]---", "Dateidatum-Modus:create"]
    assert not any(t.startswith("Parameter") for t in texts)


def test_values_with_blanks_empty_parameters_and_a_value_switch_at_the_end(veltrum):
    result = veltrum.run("", "/f", "C:\\Meine Dateien\\a.txt", "", "/a", "exec", "/z", "/t")
    assert result.code == 0
    assert veltrum.texts()[:6] == [
        "---[Start]---",
        "Parameter f:C:\\Meine Dateien\\a.txt",
        "Parameter a:exec",
        "Parameter z",
        "Parameter t:/t",
        "Dateidatum-Modus:access",
    ]


def test_a_value_that_looks_like_a_switch_is_taken_as_the_value(veltrum):
    veltrum.run("/f", "/t", "5", "/a", "mail", "/t", "-1")
    assert veltrum.texts()[:5] == ["---[Start]---", "Parameter f:/t", "Parameter a:mail",
                                   "Parameter t:-1", "Dateidatum-Modus:create"]


def copy_program(veltrum, name):
    program = veltrum.folder / name
    shutil.copy2(BINARY, program)
    return program


def run_program(program, *args):
    return subprocess.run(RUNNER + [str(program)] + list(args), cwd=program.parent,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)


def test_log_and_configuration_are_named_after_the_program(veltrum):
    program = copy_program(veltrum, "veltrum.exe.bak.exe")
    (veltrum.folder / "veltrum.conf.bak.conf").write_bytes(b"[Global]\r\nRecursive=7\r\n")
    assert run_program(program, "/f", "x").returncode == 0
    log = (veltrum.folder / "veltrum.log.bak.log").read_bytes()
    assert b" [LOG] ---[Start]---" + LINE_END in log
    assert b"Init-Recursive         :7" in log


@posix_only
@pytest.mark.parametrize("link_kind", ["absolute", "relative", "chain"])
def test_started_through_a_link_the_program_keeps_to_its_own_folder(veltrum, tmp_path, link_kind):
    # As installed: /usr/bin/veltrum links to /opt/veltrum/veltrum.
    veltrum.write_conf(Recursive="5")
    bin_folder = tmp_path / "bin"
    bin_folder.mkdir()
    link = bin_folder / "veltrum"
    if link_kind == "absolute":
        link.symlink_to(veltrum.program)
    elif link_kind == "relative":
        link.symlink_to(os.path.relpath(veltrum.program, bin_folder))
    else:
        (bin_folder / "second").symlink_to(veltrum.program)
        link.symlink_to("second")
    completed = subprocess.run(RUNNER + [str(link), "/f", "x"], cwd=tmp_path,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    assert completed.returncode == 0
    assert b"Init-Recursive         :5" in veltrum.log_bytes()
    assert sorted(p.name for p in bin_folder.iterdir()) == sorted(
        ["veltrum"] + (["second"] if link_kind == "chain" else []))


@posix_only
@not_under_valgrind("valgrind reads /proc")
def test_without_proc_a_start_through_a_link_still_finds_the_program_folder(veltrum, tmp_path):
    needs_granted("unshare", "--mount", "sh", "-c", "mount -t tmpfs none /proc")
    veltrum.write_conf(Recursive="6")
    link = tmp_path / "veltrum"
    link.symlink_to(veltrum.program)
    # A private mount namespace with an empty /proc: the path the program was
    # started by is all it has.
    completed = subprocess.run(
        ["unshare", "--mount", "sh", "-c", 'mount -t tmpfs none /proc && exec "$0" /f x',
         str(link)], cwd=tmp_path, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    assert completed.returncode == 0, completed.stderr
    assert b"Init-Recursive         :6" in veltrum.log_bytes()
    assert not (tmp_path / "veltrum.log").exists()


def test_a_name_without_lower_case_exe_never_logs_into_the_program(veltrum):
    program = copy_program(veltrum, "VELTRUM.EXE")
    before = program.read_bytes()
    result = run_program(program, "/?")
    assert result.returncode == 1
    assert program.read_bytes() == before
    assert (veltrum.folder / "VELTRUM.EXE.log").read_bytes().endswith(b"[LOG] ---[Start]---" + LINE_END)


def test_unwritable_log_is_reported_on_standard_error_and_the_run_goes_on(veltrum):
    veltrum.log_path.mkdir()  # nothing can be written where the log belongs
    result = veltrum.run()
    assert result.code == 0
    # One report per line that could not be written, nothing else on standard error.
    reports = result.stderr.replace(b"\r\n", b"\n").split(b"\n")
    assert reports[-1] == b"" and len(reports) > 4
    assert set(reports[:-1]) == {b"Kann keine Logdatei erstellen"}
    assert result.console().startswith(MISSING.format("f") + NL)
    assert veltrum.run("/?").code == 1


@posix_only
def test_log_in_a_folder_without_write_permission(veltrum):
    if os.geteuid() == 0:
        import pytest
        pytest.skip("permissions do not bind the superuser")
    veltrum.folder.chmod(0o555)
    try:
        result = veltrum.run("/f", "x", "/t", "1", "/a", "mail")
    finally:
        veltrum.folder.chmod(0o755)
    assert result.code == 0
    assert b"Kann keine Logdatei erstellen" in result.stderr


@posix_only  # a Windows command line holds at most 32,767 characters
def test_thousands_of_parameters(veltrum):
    args = []
    for i in range(3000):
        args += ["/f", f"v{i}"]
    result = veltrum.run(*args, "/t", "5", "/a", "mail", *(["stray"] * 2000))
    assert result.code == 0
    texts = veltrum.texts()
    assert texts[1:3001] == [f"Parameter f:v{i}" for i in range(3000)]
    assert "Dateidatum-Modus:create" in texts


@posix_only  # a Windows command line holds at most 32,767 characters
def test_a_parameter_of_100000_bytes(veltrum):
    value = "p" * 100_000
    result = veltrum.run("/f", value, "/t", "5", "/a", "mail")
    assert result.code == 0
    assert "Parameter f:" + value in veltrum.texts()


@posix_only
def test_bytes_above_127_and_invalid_utf8_reach_the_log_decoded(veltrum):
    value = b"\xff\xfe\xc3(\xe4\x80"
    result = veltrum.run(b"/f", value, b"/t", b"\x9f\x81", b"/a", "mäil".encode())
    assert result.code == 0
    entries = veltrum.log()
    # Each byte that is not part of valid UTF-8 is read as Windows-1252.
    assert [e.text.decode() for e in entries[1:4]] == [
        "Parameter f:\u00ff\u00fe\u00c3(\u00e4\u20ac", "Parameter t:\u0178\\x81",
        "Parameter a:m\u00e4il"]
    # A value that is no known action is refused later; the run still ends with 0.
    assert result.stderr == b""


@posix_only
def test_a_stop_signal_ends_the_run_by_that_signal(veltrum, tmp_path):
    # The run waits on a slow program; the stop must not wait for it.
    veltrum.write_conf(Exec="/bin/sleep", ExecParam="30")
    old = tmp_path / "old.lck"
    old.write_text("x")
    os.utime(old, (time.time() - 7200, time.time() - 7200))
    process = subprocess.Popen(MEMCHECK + [str(veltrum.program), "/f", str(old), "/t", "-1", "/a",
                                "execwait", "/m"], cwd=veltrum.folder,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.time() + 20
    while time.time() < deadline and b"Aktion wird ausgel" not in veltrum.log_bytes():
        time.sleep(0.05)
    assert b"Aktion wird ausgel" in veltrum.log_bytes()
    time.sleep(0.2)
    started = time.time()
    process.send_signal(signal.SIGTERM)
    process.wait(timeout=10)
    assert process.returncode == -signal.SIGTERM
    assert time.time() - started < 5
    veltrum.log()  # every line written is complete


@posix_only
def test_a_closed_standard_output_or_error_does_not_end_the_run(veltrum):
    read_end, write_end = os.pipe()
    os.close(read_end)  # nobody reads what the run shows
    try:
        completed = subprocess.run(MEMCHECK + [str(veltrum.program)], cwd=veltrum.folder, stdout=write_end,
                                   stderr=write_end, timeout=60)
    finally:
        os.close(write_end)
    assert completed.returncode == 0
    assert veltrum.texts()[-1] == "Abbruch wegen Parameterfehler"
