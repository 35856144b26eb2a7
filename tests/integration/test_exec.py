"""Starting the configured program: its one parameter, its output in the
log, its exit code, and programs that misbehave."""
import os
import subprocess
import time

import pytest

from conftest import ENCODING, LINE, LINE_END, MEMCHECK, LogEntry, cp, native, not_under_valgrind, posix_only

pytestmark = posix_only  # the programs are shell scripts


def old_file(path, age_seconds=7200):
    path.write_bytes(b"old")
    stamp = time.time() - age_seconds
    os.utime(path, (stamp, stamp))
    return path


def program(folder, body, name="program.sh"):
    """A shell script as the program to start."""
    path = folder / name
    path.write_bytes(b"#!/bin/sh\n" + cp(body))
    path.chmod(0o755)
    return path


def configure(veltrum, exec_path, param=""):
    veltrum.write_conf(Exec=native(exec_path), ExecParam=param)
    veltrum.log_path.unlink(missing_ok=True)


def run_action(veltrum, action="execwait", files=None, **options):
    lock = veltrum.folder / "job.lck"
    if files is None and not lock.exists():
        old_file(lock)
    result = veltrum.run("/f", files or native(lock), "/t", "-1", "/a", action, "/m", **options)
    assert result.code == 0
    return result


def every_entry(veltrum):
    """The log's entries, including those of a log moved aside for its size."""
    data = b""
    for aside in sorted(veltrum.folder.glob(veltrum.log_path.name + "_*")):
        data += aside.read_bytes()
    data += veltrum.log_bytes()
    entries = []
    for raw in data.split(LINE_END)[:-1]:
        match = LINE.match(raw)
        assert match, f"malformed log line {raw[:200]!r}"
        entries.append(LogEntry(*match.group(1, 2), match.group(3).decode(), match.group(4)))
    return entries


def outputs(veltrum):
    return [e.text[len(b"Output von Exec:"):] for e in every_entry(veltrum)
            if e.text.startswith(b"Output von Exec:")]


def exit_lines(veltrum):
    return [(e.kind, e.text.decode(ENCODING)) for e in every_entry(veltrum)
            if e.text.startswith(b"Exitcode: ")]


def run_program(veltrum, body, param="", action="execwait"):
    configure(veltrum, program(veltrum.folder, body), param)
    run_action(veltrum, action)
    return outputs(veltrum)


ARGUMENTS = 'echo "$#"; for a; do printf "[%s]\\n" "$a"; done\n'


@pytest.mark.parametrize("param", [
    "",
    "two  words",
    "a \"quoted\" b ; $(touch made-by-shell) `touch made-by-shell` | & > out * ~ \\ 'q' \u00e4",
])
def test_the_parameter_arrives_as_exactly_one_argument(veltrum, param):
    assert run_program(veltrum, ARGUMENTS, param) == [b"1\r[" + cp(param) + b"]\r\r\r"]
    assert exit_lines(veltrum) == [("LOG", "Exitcode: 0")]
    assert not (veltrum.folder / "made-by-shell").exists()
    assert not (veltrum.folder / "out").exists()


@pytest.mark.parametrize("printed", [
    r"one\r\ntwo\r\n", r"one\ntwo\n", r"one\rtwo\r", r"one\ntwo", r"one\r\ntwo",
])
def test_every_kind_of_line_end_gives_the_same_text(veltrum, printed):
    assert run_program(veltrum, f"printf '{printed}'\n") == [b"one\rtwo\r\r\r"]


def test_a_cr_lf_split_between_two_writes_is_one_line_end(veltrum):
    body = "printf 'one\\r'; sleep 0.3; printf '\\ntwo\\r'; sleep 0.3; printf '\\r\\n'\n"
    assert run_program(veltrum, body) == [b"one\rtwo\r\r\r\r"]


def test_no_output_gives_two_crs(veltrum):
    assert run_program(veltrum, "exit 0\n") == [b"\r\r"]
    texts = veltrum.kinds_and_texts()
    assert texts[-2:] == [("LOG", "Output von Exec:\r\r"), ("LOG", "Exitcode: 0")]


@pytest.mark.parametrize("body, code", [
    ("echo failing; exit 3\n", 3),
    ("exit 255\n", 255),
    ("echo before; kill -9 $$\n", 137),
    ("kill -TERM $$\n", 143),
])
def test_exit_codes_follow_the_output(veltrum, body, code):
    run_program(veltrum, body)
    entries = [(e.kind, e.text) for e in veltrum.log()]
    assert entries[-1] == ("LOG", b"Exitcode: %d" % code)
    assert entries[-2][0] == "LOG" and entries[-2][1].startswith(b"Output von Exec:")


def test_execwait_runs_the_program_once_per_old_file_one_after_the_other(veltrum):
    old_file(veltrum.folder / "a.lck")
    old_file(veltrum.folder / "b.lck")
    marker = veltrum.folder / "running"
    body = f'[ -e "{marker}" ] && echo overlap\ntouch "{marker}"; sleep 0.3; rm "{marker}"\n' \
           "echo done\n"
    configure(veltrum, program(veltrum.folder, body))
    run_action(veltrum, files=native(veltrum.folder) + "/*.lck")
    assert outputs(veltrum) == [b"done\r\r\r", b"done\r\r\r"]


def test_a_background_child_holding_the_output_is_waited_for(veltrum):
    body = "(sleep 1; echo late) &\necho early\n"
    assert run_program(veltrum, body) == [b"early\rlate\r\r\r"]


def start_detached(veltrum, action="exec", stdout=subprocess.DEVNULL):
    """Runs the program without the harness's output pipe, which a started
    program would inherit and hold open."""
    lock = old_file(veltrum.folder / "job.lck")
    command = MEMCHECK + [str(veltrum.program), "/f", native(lock), "/t", "-1", "/a", action, "/m"]
    return subprocess.run(command, cwd=veltrum.folder, stdin=subprocess.DEVNULL, stdout=stdout,
                          stderr=subprocess.DEVNULL, timeout=60)


def wait_for(path, seconds=60):
    deadline = time.monotonic() + seconds
    while not path.exists() and time.monotonic() < deadline:
        time.sleep(0.05)
    return path.exists()


def test_exec_logs_259_and_ends_while_the_program_runs_on(veltrum):
    release = veltrum.folder / "release"
    finished = veltrum.folder / "finished"
    body = f'while [ ! -e "{release}" ]; do sleep 0.05; done\ntouch "{finished}"\n'
    configure(veltrum, program(veltrum.folder, body))
    assert start_detached(veltrum).returncode == 0
    assert exit_lines(veltrum) == [("LOG", "Exitcode: 259")]
    assert outputs(veltrum) == []
    release.touch()
    assert wait_for(finished), "the program did not run on after Veltrum had ended"


def test_exec_output_goes_to_veltrums_own_output_and_never_blocks(veltrum):
    finished = veltrum.folder / "finished"
    body = f"head -c 1048576 /dev/zero | tr '\\0' y\ntouch \"{finished}\"\n"
    configure(veltrum, program(veltrum.folder, body))
    with open(veltrum.folder / "stdout", "wb") as stdout:
        assert start_detached(veltrum, stdout=stdout).returncode == 0
    assert wait_for(finished)
    assert (veltrum.folder / "stdout").read_bytes().count(b"y") == 1048576


@not_under_valgrind("valgrind turns the spawn's vfork into a fork, so a failed exec in the child "
                    "is no longer reported to the parent")
@pytest.mark.parametrize("content", [b"just some text\n", b"#!/nonexistent/interpreter\n"])
def test_a_program_that_cannot_start_is_reported_with_its_command_line(veltrum, content):
    bad = veltrum.folder / "bad.sh"
    bad.write_bytes(content)
    bad.chmod(0o755)
    configure(veltrum, bad, "some param")
    old_file(veltrum.folder / "a.lck")
    old_file(veltrum.folder / "b.lck")
    run_action(veltrum, files=native(veltrum.folder) + "/*.lck")
    expected = ("ERR", f'Exec konnte nicht gestartet werden:"{native(bad)}" "some param"')
    texts = veltrum.kinds_and_texts()
    assert texts.count(expected) == 2
    assert not any(t.startswith(("Exitcode: ", "Output von Exec:")) for _, t in texts)


def test_fifty_megabytes_of_output_reach_the_log_whole(veltrum):
    line = cp("line of output 0123456789 \u00e4\u00f6\u00fc\n")
    size = 50 * 1024 * 1024
    body = f"yes 'line of output 0123456789 \u00e4\u00f6\u00fc' | head -c {size}\n"
    run_program(veltrum, body)
    data = (line * (size // len(line) + 1))[:size]
    assert outputs(veltrum) == [data.replace(b"\n", b"\r") + b"\r\r\r"]
    assert exit_lines(veltrum) == [("LOG", "Exitcode: 0")]


def test_a_ten_megabyte_line_without_a_break(veltrum):
    body = "head -c 10485760 /dev/zero | tr '\\0' x\n"
    assert run_program(veltrum, body) == [b"x" * 10485760 + b"\r\r\r"]


def test_binary_output_is_decoded_and_its_controls_shown(veltrum):
    body = "printf 'a\\000b\\000c\\n\\377\\376\\001\\033[0m\\n\\000'\n"
    # Only the CRs between the lines break the entry; the log stays UTF-8.
    assert run_program(veltrum, body) == [
        b"a\\x00b\\x00c\r" + "\u00ff\u00fe".encode() + b"\\x01\\x1b[0m\r\\x00\r\r\r"]


def test_a_program_path_with_blanks_quotes_and_shell_characters(veltrum):
    folder = veltrum.folder / 'my "odd" folder $(touch made-by-shell)'
    folder.mkdir()
    path = program(folder, ARGUMENTS, name="run me; `touch made-by-shell`.sh")
    configure(veltrum, path, "x")
    run_action(veltrum)
    assert outputs(veltrum) == [b"1\r[x]\r\r\r"]
    assert not (veltrum.folder / "made-by-shell").exists()
