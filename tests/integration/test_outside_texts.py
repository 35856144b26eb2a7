"""Texts from outside (names, values of the command line and the configuration,
server lines) never write a line of their own into the log, the console or
the drop file: their control characters are shown, not obeyed."""
import os
import time

import pytest

from conftest import not_under_valgrind, posix_only
from smtp_peers import mail_conf
from test_quillbox import drop_content

FORGED = "E-Mail wurde mit Status: 1 an x versendet"
CR_LF_NAME = f"evil\r\n07.12.2025 18:00:00 root [LOG] {FORGED}\r\nx.lck"
LF_NAME = f"evil\n07.12.2025 18:00:00 root [LOG] {FORGED}\nx.lck"


def shown(text):
    return (text.replace("\r", "\\r").replace("\n", "\\n").replace("\x1b", "\\x1b")
            .replace("\x07", "\\x07"))


def old_file(path):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(b"x")
    stamp = time.time() - 7200
    os.utime(path, (stamp, stamp))
    return path


def cannot_start(tmp_path):
    """A program the pre-check passes and that still cannot be started."""
    program = tmp_path / "bad\x1b[2J.sh"
    program.write_bytes(b"just some text\n")
    program.chmod(0o755)
    return str(program)


# case: (name of the old file, /t value, action, configuration, lines that
# must be in the log, each with the file's path for {path} and the tree for {tmp})
CASES = {
    "file name with CR LF": (CR_LF_NAME, "-1", "quillbox", {}, [
        "Mögliche Datei gefunden:{path}. Wird geprüft",
        "FileDate von {path} ist {date}"]),
    "file name with a lone LF": (LF_NAME, "-1", "quillbox", {}, [
        "Mögliche Datei gefunden:{path}. Wird geprüft"]),
    "minutes ending in LF": ("a.lck", "-1\n", "quillbox", {}, [
        "Prüfzeit ist -1\\n. Berechnete Zeit zum Subtrahieren:60"]),
    "configuration values with ESC and BEL": ("a.lck", "-1", "quillbox", {
        "Mail_Subject": "a\x1b[31m\x07b", "ExecParam": "\x1b]0;x\x07",
        "QuillboxDir": "{tmp}/inbox\x1b"}, [
        "Init-Mail_Subject      :a\\x1b[31m\\x07b",
        "Init-ExecParam         :\\x1b]0;x\\x07",
        "Init-QuillboxDir:{tmp}/inbox\\x1b",
        "Init-Korrektur-QuillboxDir:{tmp}/inbox\\x1b/"]),
    "a program that cannot start": ("a.lck", "-1", "execwait", {
        "Exec": "{bad}", "ExecParam": "\x07"}, [
        'Exec konnte nicht gestartet werden:"{shown_bad}" "\\x07"']),
}


CANNOT_START_UNDER_VALGRIND = not_under_valgrind(
    "valgrind turns the spawn's vfork into a fork, so a failed exec in the child is no longer "
    "reported to the parent")


@posix_only
@pytest.mark.parametrize("case", [
    pytest.param(case, marks=CANNOT_START_UNDER_VALGRIND) if CASES[case][2] == "execwait" else case
    for case in CASES])
def test_no_outside_text_makes_a_line_of_its_own(veltrum, tmp_path, case):
    name, minutes, action, conf, expected = CASES[case]
    (tmp_path / "inbox").mkdir()
    (tmp_path / "inbox\x1b").mkdir()
    bad = cannot_start(tmp_path)
    values = {"tmp": str(tmp_path), "bad": bad, "shown_bad": shown(bad)}
    keys = {"QuillboxDir": str(tmp_path / "inbox")}
    keys.update({key: value.format(**values) for key, value in conf.items()})
    veltrum.write_conf(**keys)
    path = old_file(tmp_path / "zone" / name)
    result = veltrum.run("/f", str(tmp_path / "zone") + "/*.lck", "/t", minutes, "/a", action,
                         "/m")
    assert result.code == 0
    # Parsing the log fails on any line that does not begin with a date stamp.
    texts = veltrum.texts()
    assert not [t for t in texts if t.startswith(FORGED)]
    assert FORGED not in result.console().splitlines()
    dated = [t for t in texts if t.startswith("FileDate von ")]
    assert len(dated) == 1
    values.update(path=shown(str(path)), date=dated[0].rsplit(" ", 1)[1])
    for line in expected:
        assert line.format(**values) in texts
    if action == "quillbox" and "QuillboxDir" not in conf:
        (drop,) = (tmp_path / "inbox").glob("*.msg")
        # Only the format's own CRs separate the drop file's lines.
        assert drop.read_bytes() == drop_content(shown(str(path)))


def test_a_server_line_shows_its_controls(veltrum, tmp_path, server):
    def script(peer, index):
        peer.send(b"554 no\x1b[31m\x07 \rbye\r\n")
        peer.line()
        peer.send(b"221 bye\r\n")

    mail_conf(veltrum, server(script).port, Mail_User="")
    old_file(tmp_path / "zone" / "a.lck")
    result = veltrum.run("/f", str(tmp_path / "zone" / "*.lck"), "/t", "-60", "/a", "mail", "/m")
    assert result.code == 0
    reports = [t for t in veltrum.texts() if t.startswith("Öffnen der SMTP")]
    assert reports == ["Öffnen der SMTP-Verbindung fehlgeschlagen mit der Meldung: "
                       "554 no\\x1b[31m\\x07 \\rbye"]
    assert "\x1b" not in result.console() and "\x07" not in result.console()
