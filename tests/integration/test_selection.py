"""File selection: the three kinds of file specification, the directory search
with its recursion, and the order in which files reach the evaluation."""
import os
import time

import pytest

from conftest import cp, native, posix_only, sep

FOUND = "M\u00f6gliche Datei gefunden:"
CHECKED = ". Wird gepr\u00fcft"


@pytest.fixture
def zone(tmp_path):
    folder = tmp_path / "zone"
    folder.mkdir()
    return folder


def touch(path, age_seconds=0):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(b"x")
    stamp = time.time() - age_seconds
    os.utime(path, (stamp, stamp))
    return path


def configure(veltrum, tmp_path, **keys):
    inbox = tmp_path / "inbox"
    inbox.mkdir(exist_ok=True)
    veltrum.write_conf(QuillboxDir=native(inbox), **keys)


def run(veltrum, file_arg, *extra, cwd=None):
    result = veltrum.run("/f", file_arg, "/t", "-60", "/a", "quillbox", *extra, cwd=cwd)
    assert result.code == 0
    return veltrum.texts()


def found(texts):
    """The paths handed to the evaluation, in order."""
    return [t[len(FOUND):-len(CHECKED)] for t in texts if t.startswith(FOUND)]


def search_lines(texts):
    return [t for t in texts if t.startswith(("Suche nach", "Einfache Suche", "Mehrfache Suche"))]


def test_single_file(veltrum, tmp_path, zone):
    configure(veltrum, tmp_path, Recursive="1")
    job = touch(zone / "job.lck")
    texts = run(veltrum, native(job))
    start = texts.index("Suche nach einzelner Datei erkannt")
    assert texts[start + 1:start + 4] == [
        "Check:Versuche ins Quillbox Verzeichnis zu schreiben",
        "Check:Testnachricht konnte angelegt werden.",
        "Pfad zur \u00fcberpr\u00fcfenden Datei:" + native(zone) + sep()]
    assert texts[start + 4].startswith("Jetzt ist es ")
    assert "FileDate von " + native(job) + " ist " in texts[start + 7]
    assert not found(texts)


def test_one_wildcard_entry_and_the_order_of_its_lines(veltrum, tmp_path, zone):
    configure(veltrum, tmp_path)
    for name in ["b.lck", "A.lck", "c.txt", "a2.LCK"]:
        touch(zone / name)
    texts = run(veltrum, native(zone) + sep() + "*.lck")
    assert search_lines(texts) == ["Einfache Suche nach Dateien mit Wildcards erkannt",
                                   "Suche nach:" + native(zone) + sep() + "*.lck"]
    paths = [native(zone / n) for n in ["A.lck", "a2.LCK", "b.lck"]]
    assert found(texts) == paths
    # Each find is followed by its own evaluation before the next is reported.
    for path in paths:
        at = texts.index(FOUND + path + CHECKED)
        assert texts[at + 1] == "Check:Versuche ins Quillbox Verzeichnis zu schreiben"
        following = texts[at + 1:at + 9]
        assert "FileDate von " + path + " ist " in "\n".join(following)


def test_question_mark_is_a_wildcard(veltrum, tmp_path, zone):
    configure(veltrum, tmp_path)
    for name in ["job.lck", "jab.lck", "joob.lck"]:
        touch(zone / name)
    texts = run(veltrum, native(zone) + sep() + "j?b.lck")
    assert "Einfache Suche nach Dateien mit Wildcards erkannt" in texts
    assert found(texts) == [native(zone / "jab.lck"), native(zone / "job.lck")]


def test_several_entries_are_searched_and_evaluated_one_after_the_other(veltrum, tmp_path):
    configure(veltrum, tmp_path)
    a, b = tmp_path / "a", tmp_path / "b"
    touch(a / "1.lck")
    touch(a / "2.lck")
    touch(b / "job.lok")
    touch(b / "j.lak")
    file_arg = native(a) + sep() + "*.lck|" + native(b) + sep() + "j*.l?k"
    texts = run(veltrum, file_arg)
    assert search_lines(texts) == [
        "Mehrfache Suche nach Dateien mit Wildcards erkannt",
        "Suche nach:" + native(a) + sep() + "*.lck",
        "Suche nach:" + native(b) + sep() + "j*.l?k"]
    assert found(texts) == [native(a / "1.lck"), native(a / "2.lck"), native(b / "j.lak"),
                            native(b / "job.lok")]
    # All files of the first entry are evaluated before the second is searched.
    second = texts.index("Suche nach:" + native(b) + sep() + "j*.l?k")
    dated = [i for i, t in enumerate(texts) if t.startswith("FileDate von " + native(a / "2.lck"))]
    assert dated and dated[0] < second


def test_bar_without_wildcard_is_one_file(veltrum, tmp_path):
    configure(veltrum, tmp_path)
    a = tmp_path / "a"
    touch(a / "x.txt")
    file_arg = native(a / "x.txt") + "|" + native(tmp_path / "b" / "y.txt")
    texts = run(veltrum, file_arg)
    assert "Suche nach einzelner Datei erkannt" in texts
    assert "Pfad zur \u00fcberpr\u00fcfenden Datei:" + native(a) + sep() in texts
    assert "Datei " + file_arg + " nicht vorhanden" in texts


def test_file_matched_twice_is_evaluated_twice(veltrum, tmp_path, zone):
    configure(veltrum, tmp_path)
    touch(zone / "job.lck")
    texts = run(veltrum, native(zone) + sep() + "*.lck|" + native(zone) + sep() + "job.*")
    assert found(texts) == [native(zone / "job.lck")] * 2
    assert sum(t.startswith("FileDate von " + native(zone / "job.lck")) for t in texts) == 2


def test_empty_entry_searches_the_working_folder_under_bare_names(veltrum, tmp_path, zone):
    configure(veltrum, tmp_path)
    touch(zone / "a.lck")
    work = tmp_path / "work"
    touch(work / "w.txt")
    (work / "sub").mkdir()
    texts = run(veltrum, native(zone) + sep() + "*.lck|", cwd=work)
    assert search_lines(texts)[-1] == "Suche nach:"
    assert found(texts) == [native(zone / "a.lck"), ".", "..", "sub", "w.txt"]
    for name in [".", "..", "sub"]:
        assert "Datei " + name + " nicht vorhanden" in texts
    assert "Pfad zur \u00fcberpr\u00fcfenden Datei:" in texts  # empty directory part
    assert any(t.startswith("FileDate von w.txt ist ") for t in texts)


def test_bare_pattern_is_searched_in_the_working_folder(veltrum, tmp_path):
    configure(veltrum, tmp_path)
    work = tmp_path / "work"
    touch(work / "here.lck")
    texts = run(veltrum, "*.lck", cwd=work)
    assert "Suche nach:*.lck" in texts
    assert found(texts) == ["here.lck"]


def test_entry_ending_in_separator_matches_everything(veltrum, tmp_path, zone):
    configure(veltrum, tmp_path)
    touch(zone / "f")
    (zone / "d").mkdir()
    texts = run(veltrum, native(tmp_path) + sep() + "*.none|" + native(zone) + sep())
    assert found(texts) == [native(zone) + sep() + n for n in [".", "..", "d", "f"]]


@pytest.mark.parametrize("pattern", ["*", "*.*"])
def test_star_patterns_report_folders_as_not_present(veltrum, tmp_path, zone, pattern):
    configure(veltrum, tmp_path)
    touch(zone / "noext")
    (zone / "dir.d").mkdir()
    texts = run(veltrum, native(zone) + sep() + pattern)
    names = [native(zone) + sep() + n for n in [".", "..", "dir.d", "noext"]]
    assert found(texts) == names
    for path in names[:3]:
        assert "Datei " + path + " nicht vorhanden" in texts
    assert "Datei " + names[3] + " nicht vorhanden" not in texts


def tree(zone):
    for path in ["top.lck", "a/a.lck", "a/deep/d.lck", "b/b.lck", "b/skip.txt"]:
        touch(zone / path)


@pytest.mark.parametrize("recursive,expected", [
    ("0", ["top.lck"]),
    ("yes", ["top.lck"]),
    ("1", ["top.lck", "a/a.lck", "a/deep/d.lck", "b/b.lck"]),
    (" 2abc", ["top.lck", "a/a.lck", "a/deep/d.lck", "b/b.lck"]),
    ("-1", ["a/a.lck", "a/deep/d.lck", "b/b.lck"]),
    ("$FFFFFFFF", ["a/a.lck", "a/deep/d.lck", "b/b.lck"]),  # low 32 bits: -1
])
def test_recursion(veltrum, tmp_path, zone, recursive, expected):
    configure(veltrum, tmp_path, Recursive=recursive)
    tree(zone)
    texts = run(veltrum, native(zone) + sep() + "*.lck")
    assert found(texts) == [native(zone / p) for p in expected]


def test_recursion_without_configuration_file(veltrum, zone):
    tree(zone)
    texts = run(veltrum, native(zone) + sep() + "*.lck")
    assert found(texts) == [native(zone / "top.lck")]


def test_missing_folder_yields_nothing_and_no_evaluation(veltrum, tmp_path):
    configure(veltrum, tmp_path, Recursive="1")
    texts = run(veltrum, native(tmp_path / "missing") + sep() + "*.lck|"
                + native(tmp_path / "w*") + sep() + "x.lck")
    assert texts[-1] == "Suche nach:" + native(tmp_path / "w*") + sep() + "x.lck"
    assert not found(texts)
    assert not [t for t in texts if t.startswith("Check:")]


@posix_only
def test_link_loop_ends_and_linked_files_count(veltrum, tmp_path, zone):
    configure(veltrum, tmp_path, Recursive="1")
    touch(zone / "sub" / "real.lck")
    os.symlink(zone, zone / "sub" / "loop")
    os.symlink(zone / "sub" / "real.lck", zone / "link.lck")
    # Loops of every shape, and links to nowhere.
    os.symlink("self.lck", zone / "self.lck")
    os.symlink("y", zone / "sub" / "x")
    os.symlink("x", zone / "sub" / "y")
    os.symlink("../../..", zone / "sub" / "up")
    os.symlink("missing", zone / "dangling.lck")
    result = veltrum.run("/f", native(zone) + sep() + "*.lck", "/t", "-60", "/a", "quillbox",
                         timeout=30)
    assert result.code == 0
    texts = veltrum.texts()
    assert found(texts) == [native(zone / n) for n in
                            ["dangling.lck", "link.lck", "self.lck", "sub/real.lck"]]
    assert any(t.startswith("FileDate von " + native(zone / "link.lck")) for t in texts)
    for name in ["dangling.lck", "self.lck"]:
        assert "Datei " + native(zone / name) + " nicht vorhanden" in texts


class TestOddInput:
    @posix_only  # Windows names hold no CR or LF
    def test_names_with_blanks_umlauts_cr_lf_and_invalid_utf8(self, veltrum, tmp_path, zone):
        configure(veltrum, tmp_path)
        # Each name on disk and as the log shows it: decoded, its controls made visible.
        shown = {b"with blank.lck": "with blank.lck", b"\xe4rger.lck": "\u00e4rger.lck",
                 b"cr\r.lck": "cr\\r.lck", b"lf\n.lck": "lf\\n.lck", b"\xff\xfe.lck": "\u00ff\u00fe.lck",
                 b"half\xc3(.lck": "half\u00c3(.lck", b"\x01\x1b[31m.lck": "\\x01\\x1b[31m.lck",
                 b"\r\n.lck": "\\r\\n.lck"}
        names = list(shown)
        for name in names:
            touch(zone / os.fsdecode(name), age_seconds=7200)
        result = veltrum.run("/f", native(zone) + sep() + "*.lck", "/t", "-60", "/a", "quillbox",
                             "/m")
        assert result.code == 0
        log = veltrum.log_bytes()
        for name in names:
            path = cp(native(zone)) + cp(sep()) + shown[name].encode()
            assert cp(FOUND) + path + cp(CHECKED) in log
            assert b"FileDate von " + path + b" ist " in log
        assert len(list((tmp_path / "inbox").iterdir())) == len(names)

    @posix_only  # Windows names hold no "*" or "?"
    def test_folders_named_with_wildcard_characters_are_searched(self, veltrum, tmp_path, zone):
        configure(veltrum, tmp_path, Recursive="1")
        touch(zone / "we?rd" / "a.lck", age_seconds=7200)
        touch(zone / "st*r" / "b.lck", age_seconds=7200)
        texts = run(veltrum, str(zone) + "/*.lck", "/m")
        paths = [str(zone / "st*r" / "b.lck"), str(zone / "we?rd" / "a.lck")]
        assert found(texts) == paths
        assert not [t for t in texts if t.startswith("Ung\u00fcltiger Pfad")]
        assert len(list((tmp_path / "inbox").iterdir())) == 2

    @posix_only  # a Windows command line holds at most 32,767 characters
    def test_thousand_entries(self, veltrum, tmp_path, zone):
        configure(veltrum, tmp_path)
        touch(zone / "one.lck")
        file_arg = "|".join([native(zone) + sep() + "*.none"] * 1000 + [native(zone) + sep() + "*.lck"])
        texts = run(veltrum, file_arg)
        assert len([t for t in texts if t.startswith("Suche nach:")]) == 1001
        assert found(texts) == [native(zone / "one.lck")]

    @posix_only  # Windows paths end at 260 characters
    def test_tree_thousand_folders_deep(self, veltrum, tmp_path, zone):
        configure(veltrum, tmp_path, Recursive="1")
        deep = zone
        for _ in range(1000):
            deep = deep / "d"
            deep.mkdir()  # one level at a time: pathlib's own recursion is too shallow
        touch(deep / "bottom.lck")
        try:
            result = veltrum.run("/f", native(zone) + sep() + "*.lck", "/t", "-60", "/a",
                                 "quillbox", timeout=60)
            assert result.code == 0
            assert found(veltrum.texts()) == [native(deep / "bottom.lck")]
        finally:
            # Python's own tree removal (pytest's too) gives up at this depth.
            (deep / "bottom.lck").unlink()
            while deep != zone:
                deep.rmdir()
                deep = deep.parent

    @posix_only
    def test_files_vanishing_between_search_and_evaluation(self, veltrum, tmp_path, zone):
        script = tmp_path / "remove.sh"
        script.write_text("#!/bin/sh\nrm -f \"$1\"/*.lck\n")
        script.chmod(0o755)
        veltrum.write_conf(Exec=str(script), ExecParam=str(zone))
        for name in ["a.lck", "b.lck", "c.lck"]:
            touch(zone / name, age_seconds=7200)
        result = veltrum.run("/f", str(zone) + "/*.lck", "/t", "-60", "/a", "execwait", "/m")
        assert result.code == 0
        texts = veltrum.texts()
        assert found(texts) == [str(zone / n) for n in ["a.lck", "b.lck", "c.lck"]]
        assert "Datei " + str(zone / "b.lck") + " nicht vorhanden" in texts
        assert "Datei " + str(zone / "c.lck") + " nicht vorhanden" in texts
        assert sum(t.startswith("Exitcode: ") for t in texts) == 1


CHURN = r'''
import os, shutil, sys, time
root, stop, lifetime = sys.argv[1], sys.argv[2], float(sys.argv[3])
count = 0
while not os.path.exists(stop):
    fresh = os.path.join(root, "c%d" % count)
    for sub in ("a", "a/b", "a/b/c"):
        os.makedirs(os.path.join(fresh, sub), exist_ok=True)
        for i in range(5):
            open(os.path.join(fresh, sub, "f%d.lck" % i), "w").close()
    old = os.path.join(root, "c%d" % (count - 1))
    if count % 2:
        shutil.rmtree(old, ignore_errors=True)  # a whole folder goes
    elif os.path.exists(old):
        os.rename(old, os.path.join(root, "moved%d" % count))  # or moves away
        shutil.rmtree(os.path.join(root, "moved%d" % (count - 2)), ignore_errors=True)
    count += 1
    # Each folder lives for a few of these: long enough for a search that
    # listed it to meet it mostly, short enough that some vanish under it.
    time.sleep(lifetime)
    if count == 5:
        open(os.path.join(root, "..", "churning"), "w").close()
'''


@posix_only
def test_files_and_folders_vanishing_during_a_recursive_search(veltrum, tmp_path, zone):
    """A second process creates, moves and deletes folders in the tree while
    the search walks it: the run ends normally, the files that stay are all
    found and evaluated once, and what vanished is reported as not there."""
    import subprocess
    configure(veltrum, tmp_path, Recursive="1")
    stable = [zone / f"s{d:02}" / f"f{f:02}.lck" for d in range(20) for f in range(20)]
    for path in stable:
        touch(path)
    churn = zone / "m-churn"
    churn.mkdir()
    stop = tmp_path / "stop"
    # Under valgrind every step of the search is many times slower: the
    # folders must live longer for it to meet them at all.
    from memcheck import FOLDER as under_valgrind
    lifetime = "0.05" if under_valgrind else "0.005"
    churner = subprocess.Popen(["/usr/bin/python3", "-c", CHURN, str(churn), str(stop), lifetime])
    try:
        while not (zone / "churning").exists():
            assert churner.poll() is None, "the churning process ended early"
            time.sleep(0.01)
        result = veltrum.run("/f", str(zone) + "/*.lck", "/t", "-60", "/a", "quillbox",
                             timeout=120)
    finally:
        stop.touch()
        churner.wait(30)
    assert churner.returncode == 0
    assert result.code == 0
    texts = veltrum.texts()  # fails on a torn line
    paths = found(texts)
    assert sorted(p for p in paths if "/s" in p) == sorted(str(p) for p in stable)
    assert len(set(paths)) == len(paths)
    assert any("/m-churn/" in p for p in paths), "the search never met the churn"
    # Each find ends in its date, or in a clear word that it is gone.
    starts = [i for i, t in enumerate(texts) if t.startswith(FOUND)] + [len(texts)]
    for path, begin, end in zip(paths, starts, starts[1:]):
        outcomes = ["FileDate von " + path + " ist "]
        if "/s" not in path:
            outcomes += ["Datei " + path + " nicht vorhanden",
                         "Ung\u00fcltiger Pfad zur angegebenen Datei"]
        assert any(t.startswith(tuple(outcomes)) for t in texts[begin:end]), path


@posix_only
@pytest.mark.parametrize("pattern,expected", [
    ("Ä*.lck".encode(), ["Ärger.lck", "ärger.lck"]),
    ("ä*.LCK".encode(), ["Ärger.lck", "ärger.lck"]),
    (b"?.lck", ["ㄅ.lck", "ß.lck"]),
    ("Ω*".encode(), ["Ωmega.lck"]),
    # A pattern in Windows-1252 bytes finds the names in those bytes only.
    ("Ä*.lck".encode("cp1252"), ["ärger-alt.lck"]),
])
def test_wildcards_compare_utf8_names_by_characters(veltrum, tmp_path, zone, pattern, expected):
    configure(veltrum, tmp_path)
    names = ["Ärger.lck", "ärger.lck", "ㄅ.lck", "ß.lck", "Ωmega.lck", "ωmega.lck"]
    for name in names:
        touch(zone / name)
    touch(zone / os.fsdecode("ärger-alt.lck".encode("cp1252")))
    veltrum.run(b"/f", os.fsencode(zone) + b"/" + pattern, "/t", "-60", "/a", "quillbox")
    prefix = cp(FOUND) + os.fsencode(zone) + b"/"
    got = [e.text[len(prefix):-len(cp(CHECKED))] for e in veltrum.log()
           if e.text.startswith(prefix)]
    assert sorted(got) == sorted(n if isinstance(n, bytes) else n.encode() for n in expected)


SWAP = r'''
import os, sys, time
root, outside, stop = sys.argv[1], sys.argv[2], sys.argv[3]
names = sorted(n for n in os.listdir(root) if n.startswith("w"))
rounds = 0
while not os.path.exists(stop):
    # Every folder becomes a link to the outside for a moment, then a folder again.
    for name in names:
        folder = os.path.join(root, name)
        os.rename(folder, folder + ".away")
        os.symlink(outside, folder)
    time.sleep(0.001)
    for name in names:
        folder = os.path.join(root, name)
        os.unlink(folder)
        os.rename(folder + ".away", folder)
    time.sleep(0.001)
    rounds += 1
    if rounds == 3:
        open(os.path.join(root, "..", "swapping"), "w").close()
'''


@posix_only
def test_a_folder_swapped_for_a_link_during_the_search_is_never_followed(veltrum, tmp_path, zone):
    import subprocess
    configure(veltrum, tmp_path, Recursive="1")
    outside = tmp_path / "outside"
    touch(outside / "secret.lck")
    touch(outside / "deeper" / "secret.lck")
    for number in range(60):
        for file in range(20):  # a search that takes a while, few files to evaluate
            touch(zone / f"w{number:02}" / (f"own{file:02}.txt" if file else "own.lck"))
    stop = tmp_path / "stop"
    swapper = subprocess.Popen(["/usr/bin/python3", "-c", SWAP, str(zone), str(outside), str(stop)])
    try:
        while not (tmp_path / "swapping").exists():
            assert swapper.poll() is None, "the swapping process ended early"
            time.sleep(0.01)
        paths = []
        for _ in range(30):
            veltrum.log_path.unlink(missing_ok=True)
            paths += found(run(veltrum, str(zone) + "/*.lck"))
    finally:
        stop.touch()
        swapper.wait(30)
    assert swapper.returncode == 0
    assert any("/own" in p for p in paths), "the search never met the folders"
    assert not [p for p in paths if "secret" in p]
