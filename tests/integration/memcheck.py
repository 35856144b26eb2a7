"""Runs every start of the binary under valgrind's memcheck when
VELTRUM_VALGRIND names a folder for its reports.

Each test gets its own valgrind command (MEMCHECK, a list the harness puts in
front of the program) whose reports go to <folder>/<test>.<pid>.log, so that
nothing valgrind says reaches the output the tests compare. After each test
its finished reports are read: any error (invalid access, uninitialised
value, bad free, a definite leak, a descriptor left open) fails that test.
At the end of the session every report in the folder is read once more, which
also catches runs that ended after their test, and the session fails if any
shows an error or if no run was checked at all. A report without its summary
(a run killed by SIGKILL, or still going) is listed, but fails nothing.

Programs that Veltrum starts are not traced.
"""
import hashlib
import os
import pathlib
import re
import shutil

import pytest

FOLDER = os.environ.get("VELTRUM_VALGRIND", "")
ACTIVE = bool(FOLDER)

# The valgrind command of the running test; empty when memcheck is off.
MEMCHECK = []

OPTIONS = [
    "--tool=memcheck",
    "--leak-check=full",
    "--show-leak-kinds=definite",
    "--errors-for-leak-kinds=definite",
    "--track-fds=yes",
    "--child-silent-after-fork=yes",
    "--num-callers=30",
]

# More options for one session, say --track-origins=yes to find where an
# uninitialised value came from (it doubles the start-up time).
EXTRA_OPTIONS = os.environ.get("VELTRUM_VALGRIND_OPTIONS", "").split()

SUMMARY = re.compile(r"ERROR SUMMARY: (\d+) errors")
OPEN_FDS = re.compile(r"FILE DESCRIPTORS: (\d+) open(?: \((\d+) std\))? at exit")
STOPPED = re.compile(r"Process terminating with default action of signal")
# Descriptors that were open when the program started are not its own.
INHERITED = re.compile(r"^==\d+== Open .*descriptor (\d+):.*\n==\d+==    <inherited from parent>",
                       re.M)


def not_under_valgrind(reason):
    """Skips a test that cannot hold while the program runs under valgrind."""
    return pytest.mark.skipif(ACTIVE, reason="not under valgrind: " + reason)


def report_name(nodeid):
    safe = re.sub(r"[^A-Za-z0-9_-]+", "_", nodeid.split("::", 1)[-1])[:100]
    return safe + "-" + hashlib.sha1(nodeid.encode()).hexdigest()[:8]


def findings(text):
    """What one report holds against the program: a list of problems, or None
    while the report is unfinished (the run is still going or was killed)."""
    summary = SUMMARY.search(text)
    if not summary:
        return None
    problems = []
    if int(summary.group(1)):
        problems.append(f"{summary.group(1)} memcheck error(s)")
    opened = OPEN_FDS.search(text)
    # A run stopped by a signal ends in the middle of its work, with what it
    # had open; only a run that ended by itself must have closed everything.
    if opened and not STOPPED.search(text):
        inherited = set(INHERITED.findall(text))
        own = int(opened.group(1)) - len(inherited | {"0", "1", "2"})
        if own > 0:
            problems.append(f"{own} descriptor(s) open at exit")
    return problems


def read_reports(folder, prefix="*"):
    """(path, problems, text) for every report of the tests matching prefix."""
    for path in sorted(pathlib.Path(folder).glob(prefix + ".*.log")):
        text = path.read_text(errors="replace")
        yield path, findings(text), text


def pytest_configure(config):
    if not ACTIVE:
        return
    if not shutil.which("valgrind"):
        pytest.exit("VELTRUM_VALGRIND is set, but valgrind is not installed", returncode=2)
    if os.environ.get("VELTRUM_RUNNER"):
        pytest.exit("valgrind runs the native build only, not under VELTRUM_RUNNER", returncode=2)
    pathlib.Path(FOLDER).mkdir(parents=True, exist_ok=True)


@pytest.fixture(autouse=True)
def memcheck_each_run(request):
    if not ACTIVE:
        yield
        return
    name = report_name(request.node.nodeid)
    (pathlib.Path(FOLDER) / (name + ".test")).write_text(request.node.nodeid)
    MEMCHECK[:] = ["valgrind"] + OPTIONS + EXTRA_OPTIONS + [f"--log-file={FOLDER}/{name}.%p.log"]
    try:
        yield
    finally:
        MEMCHECK[:] = []
    failed = [(path, problems, text) for path, problems, text in read_reports(FOLDER, name)
              if problems]
    if failed:
        pytest.fail("valgrind found faults in this test's runs:\n" +
                    "\n".join(f"--- {path.name}: {', '.join(problems)}\n{text}"
                              for path, problems, text in failed), pytrace=False)


def session_findings():
    """Every report in the folder: (test, report, problems) for the faulty and
    the unfinished ones, and the number of finished reports."""
    folder = pathlib.Path(FOLDER)
    listed, finished = [], 0
    for path, problems, _ in read_reports(folder):
        finished += problems is not None
        if problems is None or problems:
            test_file = folder / (path.name.split(".")[0] + ".test")
            test = test_file.read_text() if test_file.exists() else "?"
            listed.append((test, path.name, problems))
    return listed, finished


def pytest_sessionfinish(session):
    # Under xdist only the controlling process, after every worker, reads all.
    if not ACTIVE or hasattr(session.config, "workerinput"):
        return
    listed, finished = session_findings()
    session.config._memcheck = (listed, finished)
    # No finished report at all means valgrind never ran, or its reports are
    # no longer understood: then nothing was checked.
    if finished == 0 or any(problems for _, _, problems in listed):
        session.exitstatus = 1


def pytest_terminal_summary(terminalreporter, config):
    if not hasattr(config, "_memcheck"):
        return
    listed, finished = config._memcheck
    write = terminalreporter.write_line
    write(f"valgrind memcheck: {finished} runs of the program checked, reports in {FOLDER}")
    if finished == 0:
        write("valgrind memcheck: FAILED, no run of the program was checked")
    for test, report, problems in listed:
        state = ", ".join(problems) if problems is not None else "unfinished (killed or still running)"
        write(f"valgrind memcheck: {test}: {report}: {state}")
