"""The drop file for the messenger: its name, its bytes, and that it never
replaces a file that is already there."""
import os
import re
import time

import pytest

from conftest import native, not_under_valgrind, posix_only, sep

NAME = re.compile(r"^(\d{8})_(\d{6})(\d+)\.msg$")


def old_file(path, age_seconds=7200):
    path.write_bytes(b"old")
    stamp = time.time() - age_seconds
    os.utime(path, (stamp, stamp))
    return path


def drop_content(current_file):
    """The drop file's bytes: Windows-1252 on every platform, the messenger's format."""
    name = current_file.encode("cp1252") if isinstance(current_file, str) else current_file
    return (b"Veltrum - Benachrichtigung\rDie Datei " + name +
            b"\rhat das zul\xe4ssige Alter \xfcberschritten!\r\n")


def make_folders(veltrum, tmp_path):
    inbox = tmp_path / "inbox"
    data = tmp_path / "data"
    inbox.mkdir()
    data.mkdir()
    veltrum.write_conf(QuillboxDir=native(inbox))
    return inbox, data


def run_quillbox(veltrum, files):
    result = veltrum.run("/f", files, "/t", "-1", "/a", "quillbox", "/m")
    assert result.code == 0
    return result


def drop_files(inbox):
    return sorted(p.name for p in inbox.iterdir() if p.name.endswith(".msg"))


def name_for(stamp, counter):
    return time.strftime("%Y%m%d_%H%M%S", time.localtime(stamp)) + f"{counter}.msg"


def test_name_from_date_time_and_counter_with_the_exact_bytes(veltrum, tmp_path):
    inbox, data = make_folders(veltrum, tmp_path)
    lock = old_file(data / "job.lck")
    before = int(time.time())
    run_quillbox(veltrum, native(lock))
    after = int(time.time())

    names = drop_files(inbox)
    assert len(names) == 1
    assert names[0] in {name_for(second, 0) for second in range(before, after + 1)}
    assert (inbox / names[0]).read_bytes() == drop_content(native(lock))
    assert os.listdir(inbox) == names, "the pre-check's test file is left behind"
    texts = veltrum.kinds_and_texts()
    start = texts.index(("LOG", "Quillbox Nachricht wird erstellt"))
    assert texts[start:] == [("LOG", "Quillbox Nachricht wird erstellt"),
                             ("LOG", "Erstelle Quillbox Nachricht:" + names[0])]


def test_every_drop_file_of_a_run_takes_the_next_counter(veltrum, tmp_path):
    inbox, data = make_folders(veltrum, tmp_path)
    first = old_file(data / "a.lck")
    second = old_file(data / "b.lck")
    run_quillbox(veltrum, native(data) + sep() + "*.lck")

    names = drop_files(inbox)
    assert sorted(NAME.match(n).group(3) for n in names) == ["0", "1"]
    contents = {(inbox / n).read_bytes() for n in names}
    assert contents == {drop_content(native(first)), drop_content(native(second))}
    written = [t.split(":", 1)[1] for t in veltrum.texts()
               if t.startswith("Erstelle Quillbox Nachricht:")]
    assert sorted(written) == names


def run_among_taken_names(veltrum, inbox, lock, counters, content=lambda name: b"kept"):
    """Takes the names of `counters` counters for every second from just
    before now to a few seconds on, then runs the action for `lock`. A loaded
    machine may start the run after those seconds: its drop file, named in a
    free second, is then taken away and all is done again from then on, so
    that the run meets the taken names however slow the machine is. Gives
    the taken names with their contents."""
    taken = {}
    for _ in range(5):
        now = int(time.time())
        for second in range(now - 1, now + 5):
            for counter in range(counters):
                name = name_for(second, counter)
                if name not in taken:
                    taken[name] = content(name)
                    (inbox / name).write_bytes(taken[name])
        run_quillbox(veltrum, native(lock))
        late = [n for n in drop_files(inbox) if n not in taken and n[:15] + "0.msg" not in taken]
        if not late:
            return taken
        for name in late:
            (inbox / name).unlink()
    pytest.fail("five runs in a row started after the names taken for them")


def test_an_existing_file_of_the_same_name_is_never_overwritten(veltrum, tmp_path):
    inbox, data = make_folders(veltrum, tmp_path)
    lock = old_file(data / "job.lck")
    taken = run_among_taken_names(veltrum, inbox, lock, 5, lambda name: b"earlier " + name.encode())

    for name, content in taken.items():
        assert (inbox / name).read_bytes() == content
    new = [n for n in drop_files(inbox) if n not in taken]
    assert len(new) == 1
    assert NAME.match(new[0]).group(3) == "5"
    assert (inbox / new[0]).read_bytes() == drop_content(native(lock))
    assert veltrum.texts()[-1] == "Erstelle Quillbox Nachricht:" + new[0]


@not_under_valgrind("the names are taken for the next five seconds only, and a run under valgrind "
                    "on a loaded machine can start later than that")
def test_a_thousand_names_taken_leave_one_unforeseeable_name(veltrum, tmp_path):
    inbox, data = make_folders(veltrum, tmp_path)
    lock = old_file(data / "job.lck")
    # Names of each second until they reach five seconds past the clock (a
    # loaded machine may start the run late); hard links, one call each.
    kept = tmp_path / "kept"
    kept.write_bytes(b"kept")
    second = int(time.time()) - 1
    while second < time.time() + 5:
        for counter in range(1000):
            os.link(kept, os.path.join(inbox, name_for(second, counter)))
        second += 1
    planted = set(drop_files(inbox))
    run_quillbox(veltrum, native(lock))

    (made,) = set(drop_files(inbox)) - planted
    assert re.match(r"^\d{8}_\d{6}_[0-9a-f]{16}\.msg$", made), made
    assert (inbox / made).read_bytes() == drop_content(native(lock))
    assert veltrum.kinds_and_texts()[-1] == ("LOG", "Erstelle Quillbox Nachricht:" + made)
    assert all((inbox / name).read_bytes() == b"kept" for name in planted)


@posix_only
def test_a_path_with_umlauts_is_written_as_its_bytes(veltrum, tmp_path):
    inbox, data = make_folders(veltrum, tmp_path)
    name = b"Pr\xfcfung \xe4\xf6\xfc\xdf.lck"
    path = os.fsencode(data) + b"/" + name
    with open(path, "wb") as handle:
        handle.write(b"old")
    stamp = time.time() - 7200
    os.utime(path, (stamp, stamp))
    run_quillbox(veltrum, path)

    names = drop_files(inbox)
    assert len(names) == 1
    assert (inbox / names[0]).read_bytes() == drop_content(path)

