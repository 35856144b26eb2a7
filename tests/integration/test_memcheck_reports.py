"""How the valgrind step reads a report: a misread report would let every
fault of the program pass unseen."""
from memcheck import findings, report_name

HEAD = "==7== Memcheck, a memory error detector\n==7== Command: /tmp/x/veltrum\n==7== \n"
LOG_FD = ("==7== Open file descriptor 3: /build/valgrind/t.7.log\n"
          "==7==    <inherited from parent>\n==7== \n")
SOCKET = ("==7== Open AF_INET socket 5: 127.0.0.1:5 <-> 127.0.0.1:6\n"
          "==7==    at 0x4C3BDC7: socket (syscall-template.S:120)\n==7== \n")


def report(errors, fds="", signal=False):
    text = HEAD
    if signal:
        text += "==7== Process terminating with default action of signal 15 (SIGTERM)\n"
    count = 4 + fds.count("Open AF_INET") + fds.count("/dev/null")
    text += f"==7== FILE DESCRIPTORS: {count} open (3 std) at exit.\n" + fds + LOG_FD
    text += f"==7== ERROR SUMMARY: {errors} errors from {errors} contexts (suppressed: 0 from 0)\n"
    return text


def test_errors_and_own_descriptors_are_faults_inherited_ones_are_not():
    assert findings(report(0)) == []
    assert findings(report(2)) == ["2 memcheck error(s)"]
    assert findings(report(0, SOCKET)) == ["1 descriptor(s) open at exit"]
    assert findings(report(1, SOCKET)) == ["1 memcheck error(s)", "1 descriptor(s) open at exit"]


def test_a_run_stopped_by_a_signal_may_leave_descriptors_open():
    assert findings(report(0, SOCKET, signal=True)) == []
    assert findings(report(3, SOCKET, signal=True)) == ["3 memcheck error(s)"]


def test_a_report_without_its_summary_is_unfinished():
    assert findings(HEAD) is None
    assert findings("") is None


def test_report_names_are_plain_file_names_and_unique_per_test():
    first = report_name("test_x.py::test_a[a/b c]")
    assert "/" not in first and "." not in first and " " not in first
    assert first != report_name("test_x.py::test_a[a_b_c]")
    assert len(report_name("test_x.py::test_" + "y" * 500)) < 120
