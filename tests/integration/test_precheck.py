"""The pre-check of the chosen action, run once for every evaluated file."""
import os
import socket

import pytest

from conftest import native, posix_only, sep

CHECK_FAILED = ("ERR", "Abbruch wegen Check-Fehler")
SMTP = "Check-mail: SMTP Bedingung zum Mailversand wird nicht erf\u00fcllt"
FROM = "Check-mail: FROM Bedingung zum Mailversand wird nicht erf\u00fcllt"
TO = "Check-mail: TO Bedingung zum Mailversand wird nicht erf\u00fcllt"
NOT_CREATED = "Check: Testnachricht konnte nicht angelegt werden."
NOT_FOUND = "Check:Angegebene Programm f\u00fcr Exec kann nicht gefunden werden"
WRONG_KIND = ("Check:Angegebene Programm f\u00fcr Exec entspricht nicht der "
              "Extension-Vorgabe:bat,cmd,exe,com")


@pytest.fixture
def new_file(tmp_path):
    """A file that is not too old, so that no action follows the check."""
    path = tmp_path / "zone" / "job.lck"
    path.parent.mkdir()
    path.write_bytes(b"x")
    return path


def after_search(veltrum):
    """The log after the search line: the check and what follows it."""
    entries = veltrum.kinds_and_texts()
    start = next(i for i, (_, t) in enumerate(entries) if t.startswith("Suche nach"))
    return entries[start + 1:]


@pytest.mark.parametrize("smtp,sender,to,message", [
    ("mailserver", "a@b.c", "d@e.f", SMTP),
    ("mail.example", "a@b.c", "d@e.f", SMTP),
    ("10.0.0.1", "a@b.c", "d@e.f", SMTP),
    ("a.b.", "a@b.c", "d@e.f", SMTP),
    ("mx.example.org", "nobody", "d@e.f", SMTP.replace("SMTP", "FROM")),
    ("mx.example.org", "ab.cd", "d@e.f", FROM),
    ("mx.example.org", "a@b.c", "a@bcd", TO),
    ("mx.example.org", "a@b.c", "", TO),
    ("no-dots", "bad", "bad", SMTP),
])
def test_mail_conditions(veltrum, new_file, smtp, sender, to, message):
    veltrum.write_conf(Mail_SMTP=smtp, Mail_From=sender, Mail_To=to)
    result = veltrum.run("/f", native(new_file), "/t", "-60", "/a", "mail")
    assert after_search(veltrum) == [("ERR", message), CHECK_FAILED]
    assert result.stdout == b""  # mail pre-check failures stay off the console


def test_mail_conditions_that_pass(veltrum, new_file):
    veltrum.write_conf(Mail_SMTP="mx.example.org", Mail_From="a@bc.", Mail_To="x@y.z;u@v.w")
    veltrum.run("/f", native(new_file), "/t", "-60", "/a", "mail")
    entries = after_search(veltrum)
    assert entries[0] == ("LOG", "Pfad zur \u00fcberpr\u00fcfenden Datei:"
                          + native(new_file.parent) + sep())
    # The configuration line still shows the subject as it was read.
    assert "Init-Mail_Subject      :" in veltrum.texts()


def test_quillbox_test_file_is_written_and_removed(veltrum, tmp_path, new_file):
    inbox = tmp_path / "inbox"
    inbox.mkdir()
    (inbox / "veltrum_test.tmp").write_text("left over")
    veltrum.write_conf(QuillboxDir=native(inbox))
    veltrum.run("/f", native(new_file), "/t", "-60", "/a", "quillbox")
    assert after_search(veltrum)[:2] == [
        ("LOG", "Check:Versuche ins Quillbox Verzeichnis zu schreiben"),
        ("LOG", "Check:Testnachricht konnte angelegt werden.")]
    assert list(inbox.iterdir()) == []


@pytest.mark.parametrize("where", ["missing", "below-a-file"])
def test_quillbox_folder_that_cannot_take_the_test_file(veltrum, tmp_path, new_file, where):
    blocker = tmp_path / "plain-file"
    blocker.write_bytes(b"x")
    inbox = tmp_path / "no-such-inbox" if where == "missing" else blocker / "inbox"
    veltrum.write_conf(QuillboxDir=native(inbox))
    result = veltrum.run("/f", native(new_file.parent) + sep() + "*.lck|"
                         + native(new_file.parent) + sep() + "job.*", "/t", "-60", "/a", "quillbox")
    assert result.console().splitlines() == [NOT_CREATED, NOT_CREATED]
    entries = [e for e in after_search(veltrum) if not e[1].startswith(("Suche nach:",
                                                                         "M\u00f6gliche"))]
    assert entries == [("LOG", "Check:Versuche ins Quillbox Verzeichnis zu schreiben"),
                       ("ERR", NOT_CREATED), CHECK_FAILED] * 2


def plant(kind, name, precious):
    """Puts an entry of `kind` at `name` that leads to the file `precious`."""
    if kind == "leftover":
        name.write_bytes(b"TEST - left by an earlier run\r\n")
    elif kind == "hard link":
        os.link(precious, name)
    elif kind == "symbolic link":
        os.symlink(precious, name)
    elif kind == "dangling link":
        os.symlink(precious.parent / "not-yet.txt", name)
    elif kind == "link to a folder":
        os.symlink(precious.parent, name)


@posix_only
@pytest.mark.parametrize("kind", ["leftover", "hard link", "symbolic link", "dangling link",
                                  "link to a folder"])
def test_what_holds_the_test_file_name_is_removed_never_written_through(veltrum, tmp_path,
                                                                       new_file, kind):
    inbox = tmp_path / "inbox"
    inbox.mkdir()
    precious = tmp_path / "elsewhere" / "precious.txt"
    precious.parent.mkdir()
    precious.write_bytes(b"keep me")
    plant(kind, inbox / "veltrum_test.tmp", precious)
    veltrum.write_conf(QuillboxDir=native(inbox))
    result = veltrum.run("/f", native(new_file), "/t", "-60", "/a", "quillbox")
    assert after_search(veltrum)[:2] == [
        ("LOG", "Check:Versuche ins Quillbox Verzeichnis zu schreiben"),
        ("LOG", "Check:Testnachricht konnte angelegt werden.")]
    assert result.stdout == b""
    assert sorted(p.name for p in precious.parent.iterdir()) == ["precious.txt"]
    assert precious.read_bytes() == b"keep me"
    assert list(inbox.iterdir()) == []


def block(kind, name):
    """Puts a `kind` of entry that is no file at `name`."""
    if kind == "fifo":
        os.mkfifo(name)  # nobody reads it: opening it to write would wait
    elif kind == "socket":
        with socket.socket(socket.AF_UNIX) as bound:
            bound.bind(str(name))
    else:
        name.mkdir()
        if kind == "folder with entries":
            (name / "inside.txt").write_bytes(b"x")


@pytest.mark.parametrize("kind", [
    pytest.param("fifo", marks=posix_only), pytest.param("socket", marks=posix_only),
    "empty folder", "folder with entries"])
def test_what_blocks_the_test_file_name_is_removed_unless_it_holds_entries(veltrum, tmp_path,
                                                                          new_file, kind):
    inbox = tmp_path / "inbox"
    inbox.mkdir()
    blocker = inbox / "veltrum_test.tmp"
    block(kind, blocker)
    veltrum.write_conf(QuillboxDir=native(inbox))
    result = veltrum.run("/f", native(new_file), "/t", "-60", "/a", "quillbox", timeout=20)
    if kind != "folder with entries":
        assert after_search(veltrum)[:2] == [
            ("LOG", "Check:Versuche ins Quillbox Verzeichnis zu schreiben"),
            ("LOG", "Check:Testnachricht konnte angelegt werden.")]
        assert list(inbox.iterdir()) == []
        return
    named = ("Check: Testnachricht konnte nicht angelegt werden, das Verzeichnis "
             + native(blocker) + " ist nicht leer.")
    assert result.console().splitlines() == [named]
    assert after_search(veltrum) == [
        ("LOG", "Check:Versuche ins Quillbox Verzeichnis zu schreiben"),
        ("ERR", named), CHECK_FAILED]
    assert (blocker / "inside.txt").read_bytes() == b"x"


def program(tmp_path, name, content, mode):
    path = tmp_path / name
    if content is None:
        path.mkdir()
    else:
        path.write_bytes(content)
        path.chmod(mode)
    return path


@posix_only
@pytest.mark.parametrize("name,content,mode,failure", [
    ("missing.sh", None, None, NOT_FOUND),
    ("empty.sh", b"", 0o755, NOT_FOUND),
    ("folder.exe", None, 0o755, NOT_FOUND),
    ("plain.exe", b"#!/bin/sh\n", 0o644, WRONG_KIND),
    ("run.sh", b"#!/bin/sh\nexit 0\n", 0o755, None),
    ("no-extension", b"#!/bin/sh\nexit 0\n", 0o700, None),
])
def test_program_check(veltrum, tmp_path, new_file, name, content, mode, failure):
    path = tmp_path / name
    if name != "missing.sh":
        program(tmp_path, name, content, mode)
    veltrum.write_conf(Exec=str(path))
    result = veltrum.run("/f", native(new_file), "/t", "-60", "/a", "exec")
    entries = after_search(veltrum)
    assert entries[0] == ("LOG", "Check:Exec soll als Aktion durchgef\u00fchrt werden")
    if failure == NOT_FOUND:
        assert entries[1:] == [("ERR", NOT_FOUND), CHECK_FAILED]
    elif failure == WRONG_KIND:
        assert entries[1:] == [("LOG", "Check:Angegebene Programm f\u00fcr Exec gefunden"),
                               ("ERR", WRONG_KIND), CHECK_FAILED]
    else:
        assert entries[1:3] == [
            ("LOG", "Check:Angegebene Programm f\u00fcr Exec gefunden"),
            ("LOG", "Check:Angegebene Programm f\u00fcr Exec entspricht Extension-Vorgabe")]
        assert entries[3][1].startswith("Pfad zur ")
    assert result.console().splitlines() == ([failure] if failure else [])


@pytest.mark.parametrize("action", ["Mail", "EXEC", "sms", "exec "])
def test_unknown_action(veltrum, new_file, action):
    veltrum.write_conf()
    result = veltrum.run("/f", native(new_file), "/t", "-60", "/a", action)
    message = "Check:Unbekannte Aktion soll ausgef\u00fchrt werden:" + action + " . Hilfe mit /?"
    assert result.console().splitlines() == [message]
    assert after_search(veltrum) == [("ERR", message), CHECK_FAILED]


def test_check_runs_once_per_evaluated_file(veltrum, tmp_path):
    veltrum.write_conf()
    zone = tmp_path / "zone"
    zone.mkdir()
    for name in ["a.lck", "b.lck", "c.lck"]:
        (zone / name).write_bytes(b"x")
    result = veltrum.run("/f", native(zone) + sep() + "*.lck", "/t", "-60", "/a", "bogus")
    assert len(result.console().splitlines()) == 3
    assert veltrum.texts().count("Abbruch wegen Check-Fehler") == 3


def test_no_check_when_a_wildcard_finds_nothing(veltrum, tmp_path):
    veltrum.write_conf()
    (tmp_path / "zone").mkdir()
    result = veltrum.run("/f", native(tmp_path / "zone") + sep() + "*.lck", "/t", "-60",
                         "/a", "bogus")
    assert result.stdout == b""
    assert not [t for t in veltrum.texts() if t.startswith("Check")]


def test_single_file_is_checked_once_even_when_missing(veltrum, tmp_path):
    veltrum.write_conf()
    result = veltrum.run("/f", native(tmp_path / "nowhere" / "x.lck"), "/t", "-60", "/a", "bogus")
    assert len(result.console().splitlines()) == 1
    assert veltrum.texts()[-1] == "Abbruch wegen Check-Fehler"
