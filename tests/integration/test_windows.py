"""The Windows build: batch programs with the exec actions, the OEM console,
the command line as one text, the names of log and configuration, and many
runs sharing one log."""
import os
import shutil
import subprocess
import time

import pytest

import test_evaluation as evaluation
import test_log as logs
from conftest import BINARY, RUNNER, cp, native, windows_only

pytestmark = windows_only

FOUND = "Check:Angegebene Programm f\u00fcr Exec gefunden"


def old_file(path, age_seconds=7200):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(b"old")
    stamp = time.time() - age_seconds
    os.utime(path, (stamp, stamp))
    return path


def batch(folder, name, *lines):
    """A batch file; cmd.exe reads it in the OEM code page, so keep it 7-bit."""
    path = folder / name
    path.write_bytes(("@echo off\r\n" + "".join(line + "\r\n" for line in lines)).encode("ascii"))
    return path


def run_exec(veltrum, program, param="", action="execwait"):
    veltrum.write_conf(Exec=native(program), ExecParam=param)
    lock = old_file(veltrum.folder / "job.lck")
    result = veltrum.run("/f", native(lock), "/t", "-1", "/a", action, "/m")
    assert result.code == 0
    return result, veltrum.kinds_and_texts()


def exec_lines(entries):
    return [(kind, text) for kind, text in entries
            if text.startswith(("Output von Exec:", "Exitcode: ", "Exec konnte"))]


class TestBatchPrograms:
    def test_bat_output_and_exit_code(self, veltrum):
        program = batch(veltrum.folder, "job.bat", "echo first line", "echo [%~1]", "exit /b 3")
        _, entries = run_exec(veltrum, program, "two  words")
        assert ("LOG", FOUND) in entries
        assert exec_lines(entries) == [
            ("LOG", "Output von Exec:first line\r[two  words]\r\r\r"),
            ("LOG", "Exitcode: 3")]

    def test_cmd_with_upper_case_extension_and_empty_parameter(self, veltrum):
        program = batch(veltrum.folder, "JOB.CMD", "echo [%1] [%2]", "exit /b -1")
        _, entries = run_exec(veltrum, program, "")
        assert exec_lines(entries) == [("LOG", 'Output von Exec:[""] []\r\r\r'),
                                       ("LOG", "Exitcode: -1")]

    def test_output_larger_than_the_pipe_is_read_whole(self, veltrum):
        lines = [f"line {i:05} " + "x" * 90 for i in range(3000)]  # about 300 KB
        (veltrum.folder / "big.txt").write_bytes("".join(l + "\r\n" for l in lines).encode())
        program = batch(veltrum.folder, "big.bat", "type \"%~dp0big.txt\"")
        _, entries = run_exec(veltrum, program)
        (output,) = [t for _, t in exec_lines(entries) if t.startswith("Output")]
        assert output == "Output von Exec:" + "".join(l + "\r" for l in lines) + "\r\r"
        assert exec_lines(entries)[-1] == ("LOG", "Exitcode: 0")

    def test_exec_does_not_wait_and_reports_still_active(self, veltrum):
        flag = veltrum.folder / "go.flag"
        program = batch(veltrum.folder, "wait.bat", "echo started",
                        ":again", "if not exist \"%~1\" goto again", "echo done")
        veltrum.write_conf(Exec=native(program), ExecParam=native(flag))
        lock = old_file(veltrum.folder / "job.lck")
        process = subprocess.Popen(RUNNER + [str(veltrum.program), "/f", native(lock), "/t", "-1",
                                             "/a", "exec", "/m"], cwd=veltrum.folder,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE)
        try:
            deadline = time.time() + 60
            while not any(t.startswith("Exitcode: ") for _, t in veltrum.kinds_and_texts()):
                assert time.time() < deadline, "no exit code was logged"
                time.sleep(0.1)
            assert process.wait(timeout=60) == 0  # Veltrum ends, the program runs on
        finally:
            flag.write_bytes(b"")
            output, _ = process.communicate(timeout=60)
        assert exec_lines(veltrum.kinds_and_texts()) == [("LOG", "Exitcode: 259")]
        # The program wrote into Veltrum's own output, not into an unread pipe.
        assert output.count(b"started\r\n") == 1 and output.count(b"done\r\n") == 1

    def test_a_file_that_is_no_program_is_reported(self, veltrum):
        program = veltrum.folder / "fake.exe"
        program.write_bytes(b"this is no program")
        _, entries = run_exec(veltrum, program, "p")
        assert exec_lines(entries) == [
            ("ERR", 'Exec konnte nicht gestartet werden:"' + native(program) + '" "p"')]

    def test_other_extensions_are_refused(self, veltrum):
        program = batch(veltrum.folder, "job.ps1", "echo never")
        result, entries = run_exec(veltrum, program)
        refusal = ("Check:Angegebene Programm f\u00fcr Exec entspricht nicht der "
                   "Extension-Vorgabe:bat,cmd,exe,com")
        assert ("ERR", refusal) in entries
        assert refusal.encode("cp850") + b"\r\n" in result.stdout
        assert exec_lines(entries) == []


class TestConsole:
    def test_umlauts_in_oem_bytes_in_a_file_and_ansi_in_the_log(self, veltrum, tmp_path):
        veltrum.write_conf(Exec=native(tmp_path / "missing.bat"))
        output = tmp_path / "console.txt"
        with open(output, "wb") as target:
            completed = subprocess.run(RUNNER + [str(veltrum.program), "/f", "x", "/t", "5",
                                                 "/a", "exec"], cwd=veltrum.folder,
                                       stdin=subprocess.DEVNULL, stdout=target, timeout=120)
        assert completed.returncode == 0
        # \x81 is the "\u00fc" of both CP437 and CP850; the log keeps Windows-1252.
        assert output.read_bytes() == (b"Check:Angegebene Programm f\x81r Exec kann nicht "
                                       b"gefunden werden\r\n")
        assert cp("Check:Angegebene Programm f\u00fcr Exec kann nicht gefunden werden") in \
            veltrum.log_bytes()

    def test_help_bytes(self, veltrum):
        result = veltrum.run("/?")
        assert result.code == 1
        lines = result.stdout.split(b"\r\n")
        assert b"/t  : Bedingung: \x8elter als x Minuten" in lines
        assert b"/f  : Dateiname mit vollst\x84ndiger Pfadangabe" in lines
        assert b"  Pr\x81ft auf angegebene Wildcard-Bedingung zu suchender Dateien die \x8elter " \
               b"als 60 Minuten sind und benachrichtige per E-Mail." in lines


def run_command_line(veltrum, tail):
    """Runs the program with exactly `tail` after its quoted path, as a
    scheduler hands a command line over (through a batch file)."""
    line = '@"' + native(veltrum.program) + '" ' + tail + "\r\n"
    script = veltrum.folder / "run.bat"
    script.write_bytes(line.encode("ascii"))
    veltrum.log_path.unlink(missing_ok=True)
    completed = subprocess.run(RUNNER + ["cmd.exe", "/c", native(script)], cwd=veltrum.folder,
                               stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, timeout=120)
    assert completed.returncode == 0
    return [t for t in veltrum.texts()
            if t.startswith(("Parameter f:", "Parameter t:", "Parameter a:", "Parameter m",
                             "Parameter z", "Dateidatum"))]


class TestCommandLine:
    def test_quoted_path_with_blanks_and_runs_of_blanks(self, veltrum, tmp_path):
        folder = tmp_path / "Meine Dateien"
        old_file(folder / "a.lck")
        inbox = tmp_path / "inbox"
        inbox.mkdir()
        veltrum.write_conf(QuillboxDir=native(inbox))
        pattern = native(folder) + "\\*.lck"
        assert run_command_line(veltrum, f'/f   "{pattern}"  /t -60   /a quillbox /m') == [
            "Parameter f:" + pattern, "Parameter t:-60", "Parameter a:quillbox", "Parameter m",
            "Dateidatum-Modus:modify"]
        assert len(list(inbox.glob("*.msg"))) == 1

    def test_quotes_inside_empty_and_unclosed(self, veltrum):
        # An empty parameter is left out, so /f takes "/t" as its value.
        assert run_command_line(veltrum, '/f "" /t 5 /a mail /f a"b /t "open end') == [
            "Parameter f:/t", "Parameter a:mail", "Parameter f:a\"b", "Parameter t:open end",
            "Dateidatum-Modus:create"]

    def test_a_quote_right_after_the_switch_hides_it(self, veltrum):
        assert run_command_line(veltrum, '/f"C:\\Meine Dateien\\a.txt" /t 5 /a mail') == []
        assert "Parameter /f wurde nicht angegeben. Hilfe mit /?" in veltrum.texts()

    def test_a_quoted_next_parameter_needs_no_blank(self, veltrum):
        assert run_command_line(veltrum, '/f "x y"/t 5 /a "mail"/m') == [
            "Parameter f:x y", "Parameter t:5", "Parameter a:mail", "Parameter m",
            "Dateidatum-Modus:modify"]


class TestNames:
    def install(self, tmp_path, name):
        folder = tmp_path / "installed"
        folder.mkdir(exist_ok=True)
        shutil.copy2(BINARY, folder / name)
        return folder

    def run(self, folder, name):
        completed = subprocess.run(RUNNER + [str(folder / name), "/f", "x", "/t", "5", "/a",
                                             "none"], cwd=folder, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
        assert completed.returncode == 0
        assert completed.stderr == b""

    def test_capital_name_gets_its_whole_name_with_log_and_conf(self, tmp_path):
        folder = self.install(tmp_path, "VELTRUM.EXE")
        (folder / "VELTRUM.EXE.conf").write_bytes(b"[Global]\r\nBreakIfLocated=1\r\n")
        self.run(folder, "VELTRUM.EXE")
        log = (folder / "VELTRUM.EXE.log").read_bytes()
        assert b" [LOG] ---[Start]---\r\n" in log
        assert b"Init-strBreakIfLocated :1\r\n" in log
        assert sorted(p.name for p in folder.iterdir()) == [
            "VELTRUM.EXE", "VELTRUM.EXE.conf", "VELTRUM.EXE.log"]

    def test_every_exe_of_the_name_is_replaced(self, tmp_path):
        folder = self.install(tmp_path, "veltrum.exe.bak.exe")
        (folder / "veltrum.conf.bak.conf").write_bytes(b"[Global]\r\nBreakIfLocated=1\r\n")
        self.run(folder, "veltrum.exe.bak.exe")
        assert b"Init-strBreakIfLocated :1\r\n" in (folder / "veltrum.log.bak.log").read_bytes()

    def test_standard_name(self, veltrum):
        veltrum.run("/?")
        assert veltrum.log_path.name == "veltrum.log"
        assert veltrum.texts() == ["---[Start]---"]


def test_names_with_blanks_and_umlauts_are_ansi_bytes(veltrum, tmp_path):
    inbox = tmp_path / "inbox"
    inbox.mkdir()
    veltrum.write_conf(QuillboxDir=native(inbox))
    zone = tmp_path / "Zone \u00c4"
    for name in ["with blank.lck", "\u00e4rger.lck", "Stra\u00dfe.LCK"]:
        old_file(zone / name)
    result = veltrum.run("/f", native(zone) + "\\*.lck", "/t", "-60", "/a", "quillbox", "/m")
    assert result.code == 0
    log = veltrum.log_bytes()
    for name in ["with blank.lck", "\u00e4rger.lck", "Stra\u00dfe.LCK"]:
        path = cp(native(zone / name))
        assert cp("M\u00f6gliche Datei gefunden:") + path + cp(". Wird gepr\u00fcft") in log
        assert b"FileDate von " + path + b" ist " in log
    drops = sorted(inbox.glob("*.msg"))
    assert len(drops) == 3
    assert any(cp("Die Datei " + native(zone / "\u00e4rger.lck") + "\r") in d.read_bytes()
               for d in drops)


def test_unwritable_log_is_told_on_standard_error_without_a_window(veltrum):
    veltrum.log_path.mkdir()
    started = time.time()
    result = veltrum.run("/f", "x", "/t", "5", "/a", "none", timeout=60)
    assert result.code == 0
    lines = result.stderr.split(b"\r\n")
    assert lines[0] == b"Kann keine Logdatei erstellen"
    assert len([line for line in lines if line]) >= 5  # one per line of the log
    assert time.time() - started < 30  # a folder is no sharing violation: no waiting


def test_stamp_switches(veltrum, tmp_path):
    inbox = tmp_path / "inbox"
    inbox.mkdir()
    veltrum.write_conf(QuillboxDir=native(inbox))
    path = old_file(tmp_path / "zone" / "job.lck")
    # Wine reads the head of every file it opens; under relatime that moves
    # every access time older than the file's change time (which setting the
    # stamps makes "now"), so the one set here lies an hour ahead.
    accessed, modified = int(time.time()) + 3600, 1200000000
    offset = evaluation.offset_now()
    os.utime(path, (accessed, modified))
    figures, _, _ = evaluation.evaluate(veltrum, path, "-60", "/m")
    assert figures.file_date == modified + offset
    os.utime(path, (accessed, modified))
    figures, _, _ = evaluation.evaluate(veltrum, path, "-60", "/z")
    assert figures.file_date == accessed + offset


def test_concurrent_runs_across_the_limit_move_the_log_once(veltrum):
    # The same as on POSIX with shorter values: a Windows command line holds
    # at most 32,767 characters.
    per_run = logs.lines_of_one_run(veltrum, 500)
    old = logs.filler(logs.LIMIT - 300_000)
    veltrum.log_path.write_bytes(old)
    runs = 16
    expected = logs.run_concurrently(veltrum, runs, 500, width=30)  # about 700 KB more
    files = logs.in_order_of_names(veltrum)
    assert len(files) == 2  # one crossing, one move
    assert files[0].read_bytes().startswith(old)
    logs.check_order_of_contents(files)
    logs.check_moved_only_above_the_limit(files)
    logs.check_every_line_once(files, expected, runs, per_run)


ARGV_PRINTER = r"""
#include <stdio.h>
int main(int argc, char** argv) {
  printf("%d", argc);
  for (int i = 1; i < argc; ++i) printf("<%s>", argv[i]);
  printf("\n");
  return 0;
}
"""


@pytest.fixture(scope="module")
def argv_printer(tmp_path_factory):
    """A console program that prints its argument count and each argument in
    angle brackets, built with the C runtime whose splitting it shows."""
    folder = tmp_path_factory.mktemp("argv")
    (folder / "argv.c").write_text(ARGV_PRINTER)
    subprocess.run(["x86_64-w64-mingw32-gcc", "-O1", "-o", str(folder / "argv.exe"),
                    str(folder / "argv.c")], check=True, timeout=120)
    return folder / "argv.exe"


@pytest.mark.parametrize("param", [
    "D:\\Dropzone\\",
    "\\\\server\\share\\\\",
    'say "hi" now',
    'a\\\\"b',
    'a\\"b',
    '"quoted"',
    "a\\b\\\\c d",
    "two  blanks",
    "",
])
def test_the_program_gets_exec_param_as_its_one_argument(veltrum, argv_printer, param):
    _, entries = run_exec(veltrum, argv_printer, param)
    assert exec_lines(entries) == [("LOG", "Output von Exec:2<" + param + ">\r\r\r"),
                                   ("LOG", "Exitcode: 0")]


@pytest.mark.parametrize("param,first,unquoted", [
    ("D:\\Dropzone\\", '"D:\\Dropzone\\"', "D:\\Dropzone\\"),
    ("two  blanks", '"two  blanks"', "two  blanks"),
    ("", '""', ""),
])
def test_a_batch_file_gets_exec_param_between_plain_quotes(veltrum, param, first, unquoted):
    program = batch(veltrum.folder, "show.cmd", "echo 1=[%1] 2=[%2] plain=[%~1]")
    _, entries = run_exec(veltrum, program, param)
    assert exec_lines(entries) == [
        ("LOG", f"Output von Exec:1=[{first}] 2=[] plain=[{unquoted}]\r\r\r"),
        ("LOG", "Exitcode: 0")]


def plant(kind, name, precious):
    """Puts an entry of `kind` at `name` that leads to `precious` (Wine shows
    a POSIX link to a file as a plain file and one to a folder as a reparse
    point; it creates no Windows links itself)."""
    if kind == "leftover":
        name.write_bytes(b"TEST - left by an earlier run\r\n")
    elif kind == "hard link":
        os.link(precious, name)
    elif kind == "link to a file":
        os.symlink(precious, name)
    elif kind == "dangling link":
        os.symlink(precious.parent / "not-yet.txt", name)
    elif kind == "link to a folder":
        os.symlink(precious.parent, name)


@pytest.mark.parametrize("kind", ["leftover", "hard link", "link to a file", "dangling link",
                                  "link to a folder"])
def test_what_holds_the_test_file_name_is_never_written_through(veltrum, tmp_path, kind):
    inbox = tmp_path / "inbox"
    inbox.mkdir()
    precious = tmp_path / "elsewhere" / "precious.txt"
    precious.parent.mkdir()
    precious.write_bytes(b"keep me")
    test_file = inbox / "veltrum_test.tmp"
    plant(kind, test_file, precious)
    veltrum.write_conf(QuillboxDir=native(inbox))
    young = tmp_path / "zone" / "job.lck"
    young.parent.mkdir()
    young.write_bytes(b"x")
    veltrum.run("/f", native(young), "/t", "-60", "/a", "quillbox")

    assert sorted(p.name for p in precious.parent.iterdir()) == ["precious.txt"]
    assert precious.read_bytes() == b"keep me"
    texts = veltrum.kinds_and_texts()
    if kind in ("leftover", "hard link"):
        assert ("LOG", "Check:Testnachricht konnte angelegt werden.") in texts
    # Either the name itself was removed and the check passed, or the entry
    # could not be told from its target and stays, the check failing.
    if ("LOG", "Check:Testnachricht konnte angelegt werden.") in texts:
        assert not os.path.lexists(test_file)
    else:
        assert ("ERR", "Check: Testnachricht konnte nicht angelegt werden.") in texts
        assert os.path.lexists(test_file)


def test_a_drop_file_never_follows_a_planted_link(veltrum, tmp_path):
    inbox = tmp_path / "inbox"
    inbox.mkdir()
    precious = tmp_path / "elsewhere" / "precious.txt"
    precious.parent.mkdir()
    precious.write_bytes(b"keep me")
    now = int(time.time())
    planted = []
    for second in range(now - 1, now + 30):
        for counter in range(2):
            name = inbox / (time.strftime("%Y%m%d_%H%M%S", time.localtime(second))
                            + f"{counter}.msg")
            if counter == 0:
                os.link(precious, name)
            else:
                os.symlink(precious.parent / f"new-{second}.txt", name)
            planted.append(name)
    veltrum.write_conf(QuillboxDir=native(inbox))
    lock = old_file(tmp_path / "zone" / "job.lck")
    veltrum.run("/f", native(lock), "/t", "-1", "/a", "quillbox", "/m")

    assert sorted(p.name for p in precious.parent.iterdir()) == ["precious.txt"]
    assert precious.read_bytes() == b"keep me"
    new = [p for p in inbox.iterdir() if p not in planted]
    assert len(new) == 1 and new[0].name.endswith("2.msg")
    assert new[0].read_bytes().startswith(b"Veltrum - Benachrichtigung\r")


def test_a_name_outside_the_code_page_is_never_taken_for_another_file(veltrum, tmp_path):
    inbox = tmp_path / "inbox"
    inbox.mkdir()
    veltrum.write_conf(QuillboxDir=native(inbox))
    zone = tmp_path / "zone"
    old_file(zone / "\u03a9mega.lck")
    old_file(zone / "Omega.lck")
    veltrum.run("/f", native(zone) + "\\*.lck", "/t", "-60", "/a", "quillbox", "/m")

    found = [t.split(":", 1)[1] for t in veltrum.texts() if t.startswith("M\u00f6gliche Datei")]
    omega = native(zone / "Omega.lck") + ". Wird gepr\u00fcft"
    assert found.count(omega) == 1 and len(found) == 2
    (other,) = [f for f in found if f != omega]
    drops = [d.read_bytes() for d in inbox.glob("*.msg")]
    assert sum(cp("Die Datei " + native(zone / "Omega.lck") + "\r") in d for d in drops) == 1
    # The other name is its short name, which leads to it, or it is not present.
    other_path = other[:-len(". Wird gepr\u00fcft")]
    if "~" in other_path:
        assert len(drops) == 2
    else:
        assert len(drops) == 1
        assert "Datei " + other_path + " nicht vorhanden" in veltrum.texts()


SWAPPER = r"""
import os, sys, time
zone, secret, stop = sys.argv[1:4]
folders = sorted(os.path.join(zone, n) for n in os.listdir(zone))
open(os.path.join(zone, "..", "swapping"), "w").close()
while not os.path.exists(stop):
    for folder in folders:
        os.rename(folder, folder + ".away")
        os.symlink(secret, folder)
        time.sleep(0.0005)
        os.unlink(folder)
        os.rename(folder + ".away", folder)
"""


def test_a_folder_swapped_for_a_link_during_the_search_is_not_followed(veltrum, tmp_path):
    """A second process keeps swapping the subfolders of the tree for links to
    a folder outside it while the search walks the tree."""
    zone = tmp_path / "zone"
    for number in range(20):
        (zone / f"d{number:02}" / "inner").mkdir(parents=True)
        (zone / f"d{number:02}" / "x.lck").write_bytes(b"x")
        (zone / f"d{number:02}" / "inner" / "y.lck").write_bytes(b"x")
    # Its folder "inner" is met when a folder is swapped after it was listed.
    secret = tmp_path / "secret"
    (secret / "inner").mkdir(parents=True)
    (secret / "secret.lck").write_bytes(b"x")
    (secret / "inner" / "secret.lck").write_bytes(b"x")
    veltrum.write_conf(Recursive="1")
    stop = tmp_path / "stop"
    swapper = subprocess.Popen(["/usr/bin/python3", "-c", SWAPPER, str(zone), str(secret),
                                str(stop)])
    found = []
    try:
        while not (tmp_path / "swapping").exists():
            assert swapper.poll() is None, "the swapping process ended early"
            time.sleep(0.01)
        for _ in range(4):
            veltrum.log_path.unlink(missing_ok=True)
            assert veltrum.run("/f", native(zone) + "\\*.lck", "/t", "-60", "/a", "none").code == 0
            found += [t for t in veltrum.texts() if t.startswith("M\u00f6gliche Datei")]
    finally:
        stop.touch()
        swapper.wait(30)
    assert swapper.returncode == 0
    assert not [t for t in found if "secret" in t]
    assert any("x.lck" in t for t in found), "the search never entered a folder"


def replace_sub(tmp_path, case):
    """What the program run for the first old file does to the tree."""
    zone, sub = tmp_path / "zone", tmp_path / "zone" / "sub"
    if case == "nothing, the file a link":
        return
    sub.rename(zone / "sub.away")
    if case == "folder for another folder":
        shutil.copytree(tmp_path / "secret", sub)
    else:
        os.symlink(tmp_path / ("secret2" if case == "folder above for a link" else "secret"), sub)


@pytest.mark.parametrize("case", ["folder for a link", "folder above for a link",
                                  "folder for another folder", "nothing, the file a link"])
def test_a_found_file_is_tested_in_the_folder_its_listing_read(veltrum, tmp_path, case):
    """Wine cannot make Windows links; a POSIX link swapped in for a folder is
    what it shows instead. Each "sub" holds a young x.lck, "secret" an old one."""
    zone = tmp_path / "zone"
    old_file(zone / "a.lck")
    deeper = case == "folder above for a link"
    listed = zone / "sub" / "deep" / "x.lck" if deeper else zone / "sub" / "x.lck"
    old_file(listed, age_seconds=0)
    old_file(tmp_path / "secret" / "x.lck")
    old_file(tmp_path / "secret2" / "deep" / "x.lck")
    if case == "nothing, the file a link":
        listed.unlink()
        os.symlink(tmp_path / "secret" / "x.lck", listed)
    # The program tells the test it runs, and waits until the tree is changed.
    program = batch(tmp_path, "swap.bat", 'echo ran > "%~1\\go.flag"',
                    ':again', 'if not exist "%~1\\done.flag" goto again', "echo ran")
    veltrum.write_conf(Exec=native(program), ExecParam=native(tmp_path), Recursive="1")
    process = subprocess.Popen(RUNNER + [str(veltrum.program), "/f", native(zone) + "\\*.lck",
                                         "/t", "-60", "/a", "execwait", "/m"],
                               cwd=veltrum.folder, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 120
        while not (tmp_path / "go.flag").exists():
            assert process.poll() is None and time.monotonic() < deadline, "the program never ran"
            time.sleep(0.05)
        replace_sub(tmp_path, case)
        (tmp_path / "done.flag").write_bytes(b"")
        assert process.wait(120) == 0
    finally:
        process.kill()
    texts = veltrum.texts()
    actions = sum(t.startswith("Exitcode: ") for t in texts)
    dated = [t for t in texts if t.startswith("FileDate von " + native(listed))]
    if case == "nothing, the file a link":  # a link to a file is followed on purpose
        assert actions == 2 and len(dated) == 1
    else:
        assert "Datei " + native(listed) + " nicht vorhanden" in texts
        assert actions == 1 and dated == []
