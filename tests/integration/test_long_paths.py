"""Long paths and names the program's 8-bit texts cannot hold.

Wine takes Linux paths of up to 4,096 bytes, so the Windows cases go to about
1,000 characters; Windows itself takes about 32,767 with the "\\\\?\\" form.
Wine shares need a server: the "\\\\?\\UNC\\" form is unit-tested only."""
import os
import time

import pytest

from conftest import ON_WINDOWS, Veltrum, native, posix_only, sep, windows_only
from test_windows import argv_printer  # noqa: F401  (a fixture)

FOUND = "M\u00f6gliche Datei gefunden:"


def old_file(path):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(b"old")
    stamp = time.time() - 7200
    os.utime(path, (stamp, stamp))
    return path


def deep_folder(top, length, part="ordner_mit_langem_namen"):
    """A folder below `top` whose path, as the program sees it, has at least
    `length` characters."""
    folder, number = top, 0
    while len(native(folder)) < length:
        folder = folder / f"{part}_{number:02}"
        number += 1
    folder.mkdir(parents=True)
    return folder


def drops(inbox):
    return [p.read_bytes() for p in inbox.glob("*.msg")]


@posix_only
def test_a_path_of_about_4000_bytes_is_searched_evaluated_and_acted_on(veltrum, tmp_path):
    inbox = tmp_path / "inbox"
    inbox.mkdir()
    veltrum.write_conf(QuillboxDir=str(inbox), Recursive="1")
    folder = tmp_path / "top"
    while len(str(folder)) < 3780:
        folder = folder / ("d" * 200)
    folder = folder / ("e" * (3980 - len(str(folder))))
    lock = old_file(folder / "tief.lck")
    assert len(str(lock)) == 3990  # PATH_MAX is 4,096 with the closing zero
    veltrum.run("/f", str(tmp_path / "top") + "/*.lck", "/t", "-60", "/a", "quillbox", "/m")
    texts = veltrum.texts()
    assert FOUND + str(lock) + ". Wird gepr\u00fcft" in texts
    assert [d for d in drops(inbox) if ("Die Datei " + str(lock)).encode() in d]


@pytest.fixture
def deep_lock(tmp_path):
    """An old file 330+ characters deep, and a folder above it."""
    top = tmp_path / "share"
    lock = old_file(deep_folder(top, 330) / "tief.lck")
    return top, lock


def file_value(how, top, lock):
    if how == "wildcard":
        return native(lock.parent) + "\\*.lck"
    if how == "recursion":
        return native(top) + "\\*.lck"
    if how == "name":
        return native(lock)
    return "\\\\?\\" + native(lock)  # its "?" is no wildcard


@windows_only
@pytest.mark.parametrize("how,action", [
    ("wildcard", "quillbox"), ("recursion", "quillbox"), ("name", "quillbox"),
    ("\\\\?\\ form", "quillbox"), ("name", "execwait"), ("recursion", "exec"),
])
def test_a_deep_file_is_found_and_acted_on(veltrum, tmp_path, deep_lock, argv_printer, how,
                                           action):
    top, lock = deep_lock
    inbox = deep_folder(tmp_path / "inbox", 300)
    program = deep_folder(tmp_path / "programs", 300) / "argv.exe"
    program.write_bytes(argv_printer.read_bytes())
    veltrum.write_conf(QuillboxDir=native(inbox), Exec=native(program), ExecParam="p",
                       Recursive="1" if how == "recursion" else "0")
    value = file_value(how, top, lock)
    assert veltrum.run("/f", value, "/t", "-60", "/a", action, "/m").code == 0
    texts = veltrum.texts()
    single = "Suche nach einzelner Datei erkannt" in texts
    assert single == (how in ("name", "\\\\?\\ form"))
    path = value if single else native(lock)
    assert any(t.startswith("FileDate von " + path + " ist ") for t in texts)
    assert "Datei hat zul\u00e4ssige H\u00f6chstalter \u00fcberschritten. Aktion wird " \
           "ausgel\u00f6st." in texts
    if action == "quillbox":
        (drop,) = drops(inbox)
        assert ("Die Datei " + path + "\r").encode("cp1252") in drop
    elif action == "execwait":
        assert "Output von Exec:2<p>\r\r\r" in texts
    else:
        assert "Exitcode: 259" in texts or "Exitcode: 0" in texts


@windows_only
@pytest.mark.parametrize("where", ["300+ characters deep", "a folder named \u03a9"])
def test_the_program_finds_its_configuration_and_writes_its_log(tmp_path, where):
    if where.startswith("300"):
        folder = deep_folder(tmp_path, 300)
    else:
        folder = tmp_path / "\u03a9 Programme"
        folder.mkdir()
    veltrum = Veltrum(folder)
    assert len(native(veltrum.program)) > 300 or "\u03a9" in str(veltrum.program)
    veltrum.write_conf(Recursive="1", BreakIfLocated="1")
    result = veltrum.run("/f", native(tmp_path / "none.lck"), "/t", "5", "/a", "quillbox")
    assert result.code == 0
    assert b"Kann keine Logdatei" not in result.stderr
    texts = veltrum.texts()
    assert "Init-Recursive         :1" in texts
    assert "Init-strBreakIfLocated :1" in texts
    assert sorted(p.name for p in folder.iterdir() if p.is_file()) == [
        "veltrum.conf", "veltrum.exe", "veltrum.log"]


@windows_only
@pytest.mark.parametrize("name,reaches", [
    ("\u03a9mega.lck", "\u03a9mega.lck"),  # by its 8.3 name where the volume keeps one
    ("\u03a9*.lck", None),                   # a pattern has no 8.3 name: nothing matches
    ("\u03a9none.lck", None),                # no such file: not present, never Omega.lck
])
def test_a_name_outside_the_code_page_never_names_another_file(veltrum, tmp_path, name, reaches):
    inbox = tmp_path / "inbox"
    inbox.mkdir()
    veltrum.write_conf(QuillboxDir=native(inbox))
    zone = tmp_path / "zone"
    old_file(zone / "\u03a9mega.lck")
    old_file(zone / "Omega.lck")
    veltrum.run("/f", native(zone) + "\\" + name, "/t", "-60", "/a", "quillbox", "/m")
    texts = veltrum.texts()
    assert not [t for t in texts if "Omega.lck" in t]
    assert "?" not in [t for t in texts if t.startswith("Parameter f:")][0]
    dropped = drops(inbox)
    assert not [d for d in dropped if b"Omega.lck" in d]
    if reaches and "~" in [t for t in texts if t.startswith("Parameter f:")][0]:
        assert len(dropped) == 1  # the 8.3 name led to the file itself
        os.unlink(zone / reaches)
        veltrum.log_path.unlink()
        veltrum.run("/f", native(zone) + "\\" + name, "/t", "-60", "/a", "quillbox", "/m")
        assert [t for t in veltrum.texts() if t.endswith(" nicht vorhanden")]
    else:
        assert dropped == []
