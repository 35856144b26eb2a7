"""The action check as a monitoring engine runs it (exit code, standard
output, the plugin grammar), and the metrics file of MetricsDir as
promtool and a real node_exporter read it."""
import os
import pathlib
import re
import shutil
import socket
import subprocess
import tempfile
import time
import urllib.request

import pytest

from conftest import ON_WINDOWS, SOURCE, Veltrum, native, posix_only

PROMTOOL = shutil.which("promtool")
EXPORTER = "/usr/bin/prometheus-node-exporter"
needs_promtool = pytest.mark.skipif(PROMTOOL is None, reason="promtool (Debian prometheus) missing")

# The Monitoring Plugins guidelines: 'label'=value[UOM];[warn];[crit];[min];[max],
# the value "U" when it cannot be determined.
PERF = r"[^ '=|]+=(-?[0-9.]+(us|ms|s|%|B|KB|MB|TB|c)?|U)(;[-0-9.:~@]*){0,4}"
STATUS = re.compile(r"^VELTRUM (OK|WARNING|CRITICAL|UNKNOWN) - [^|\n]+ \| " + PERF +
                    r"( " + PERF + r")*$")
WORDS = {0: "OK", 1: "WARNING", 2: "CRITICAL", 3: "UNKNOWN"}


def aged(path, minutes):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(b"x")
    stamp = time.time() - minutes * 60
    os.utime(path, (stamp, stamp))
    return path


def log_lines(veltrum):
    return [line.rstrip(b"\r").decode("utf-8", "replace")
            for line in veltrum.log_bytes().split(b"\n") if line]


def check(veltrum, *args):
    result = veltrum.run(*args, "/a", "check", "/m")
    lines = result.stdout.decode("utf-8" if not ON_WINDOWS else "cp850").splitlines()
    return result, lines


@pytest.fixture
def data(tmp_path):
    folder = tmp_path / "in"
    aged(folder / "fresh.lck", 5)
    aged(folder / "middle.lck", 45)
    return folder


@pytest.mark.parametrize("name, args, old_minutes, code, summary", [
    ("nothing old", ["/t", "-60", "/w", "-50"], None, 0, "0 von 2 Dateien älter als 50 Minuten"),
    ("over /w", ["/t", "-60", "/w", "-30"], None, 1, "1 von 2 Dateien älter als 30 Minuten"),
    ("over /t", ["/t", "-60", "/w", "-30"], 120, 2, "1 von 3 Dateien älter als 60 Minuten"),
    ("/t alone", ["/t", "-60"], 120, 2, "1 von 3 Dateien älter als 60 Minuten"),
    ("/w not below /t", ["/t", "-60", "/w", "-60"], None, 3, "Die Warnzeit /w muss"),
    ("/t no number", ["/t", "-6x"], None, 3, "Die angegebene Prüfzeit in Minuten ist keine"),
    ("/t not negative", ["/t", "60"], None, 3, "Die Prüfzeit /t muss"),
])
def test_states_and_exit_codes(veltrum, data, name, args, old_minutes, code, summary):
    if old_minutes:
        aged(data / "old.lck", old_minutes)
    # No configuration file: not an error for a check.
    result, lines = check(veltrum, "/f", native(data / "*.lck"), *args)
    assert result.code == code, (name, lines, result.stderr)
    assert STATUS.match(lines[0]), lines[0]
    assert lines[0].startswith(f"VELTRUM {WORDS[code]} - {summary}")
    # Standard output holds the result alone; the messages went to standard error.
    assert all(not line.startswith("Konfigurationsdatei") for line in lines)
    assert b"Konfigurationsdatei konnte nicht gefunden werden." in result.stderr


def test_missing_file_is_ok_missing_folder_unknown(veltrum, tmp_path):
    (tmp_path / "in").mkdir()
    cases = [(tmp_path / "in" / "job.lck", 0), (tmp_path / "gone" / "job.lck", 3),
             (tmp_path / "gone" / "*.lck", 3), (tmp_path / "in" / "*.lck", 0)]
    for path, code in cases:
        result, lines = check(veltrum, "/f", native(path), "/t", "-60")
        assert result.code == code, (path, lines)
        assert STATUS.match(lines[0]) and "oldest_age=U;;3600;0" in lines[0], lines[0]


def test_missing_switch_is_unknown_with_messages_on_standard_error(veltrum):
    result, lines = check(veltrum, "/t", "-60")
    assert result.code == 3
    assert lines == [lines[0]] and "Parameter /f wurde nicht angegeben |" in lines[0]
    assert b"Parameter /f wurde nicht angegeben. Hilfe mit /?" in result.stderr


def test_break_if_located_does_not_shorten_a_check(veltrum, data):
    for name in ("a", "b", "c"):
        aged(data / f"{name}.lck", 120)
    veltrum.write_conf(BreakIfLocated="1")
    result, lines = check(veltrum, "/f", native(data / "*.lck"), "/t", "-60")
    assert result.code == 2
    assert "too_old=3;;;0 checked=5;;;0" in lines[0]
    assert len(lines) == 4 and lines[1].endswith("(2 h 0 min)")
    # Nothing is triggered, so no action's pre-check runs.
    assert not any("Check:" in line for line in log_lines(veltrum))


@posix_only
def test_unreadable_subfolder_is_named_and_warns():
    # Root reads every folder: the run is then made as nobody, in a folder
    # nobody can reach (pytest's own are private to root).
    base = pathlib.Path(tempfile.mkdtemp(prefix="veltrum-locked-"))
    try:
        base.chmod(0o777)
        veltrum = Veltrum(base / "program")
        data = base / "in"
        aged(data / "a.lck", 5)
        locked = data / "locked"
        locked.mkdir()
        veltrum.write_conf(Recursive="1")
        command = [str(veltrum.program), "/f", str(data / "*.lck"), "/t", "-60", "/a", "check"]
        if os.geteuid() == 0:
            subprocess.run(["chown", "-R", "65534:65534", str(base)], check=True)
            command = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] + command
        locked.chmod(0)
        done = subprocess.run(command, cwd=veltrum.folder, capture_output=True, timeout=60)
        lines = done.stdout.decode().splitlines()
        assert done.returncode == 1, (lines, done.stderr)
        assert f"1 Ordner nicht lesbar: {locked}/ |" in lines[0]
        assert lines[-1] == f"Ordner nicht lesbar: {locked}/"
    finally:
        locked.chmod(0o755)
        shutil.rmtree(base)


def test_names_cannot_break_the_result(veltrum, tmp_path):
    if ON_WINDOWS:
        pytest.skip("Windows names hold neither | nor line breaks")
    folder = tmp_path / "in"
    aged(folder / "a|b\nc.lck", 120)
    result, lines = check(veltrum, "/f", str(folder / "*.lck"), "/t", "-60")
    assert result.code == 2
    assert lines[1] == f"{folder}/a\\x7cb\\nc.lck (2 h 0 min)"
    assert lines[0].count("|") == 1 and STATUS.match(lines[0])


# Metrics ------------------------------------------------------------------

def metrics_files(folder):
    return sorted(folder.iterdir())


def serve(textfile_dir):
    """node_exporter with only its textfile collector, on a free loopback port."""
    for _ in range(5):
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        exporter = subprocess.Popen(
            [EXPORTER, f"--web.listen-address=127.0.0.1:{port}", "--collector.disable-defaults",
             "--collector.textfile", f"--collector.textfile.directory={textfile_dir}"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 30
        while exporter.poll() is None and time.monotonic() < deadline:
            try:
                with urllib.request.urlopen(f"http://127.0.0.1:{port}/metrics", timeout=5) as r:
                    return exporter, r.read().decode()
            except OSError:
                time.sleep(0.1)
        exporter.kill()
        exporter.wait()
    pytest.fail("node_exporter did not start")


@posix_only
@needs_promtool
@pytest.mark.skipif(not os.path.exists(EXPORTER), reason="prometheus-node-exporter missing")
def test_metrics_read_by_promtool_and_served_by_node_exporter(veltrum, data, tmp_path):
    metrics = tmp_path / "metrics"
    metrics.mkdir()
    aged(data / "old.lck", 120)
    veltrum.write_conf(MetricsDir=str(metrics), BreakIfLocated="1")
    old_umask = os.umask(0o077)
    try:
        assert check(veltrum, "/f", str(data / "*.lck"), "/t", "-60")[0].code == 2
        assert check(veltrum, "/f", str(data / "*.lck"), "/t", "-90")[0].code == 2
        # Another action, ended early by BreakIfLocated, still writes its file.
        veltrum.write_conf(MetricsDir=str(metrics), BreakIfLocated="1", Exec="/bin/true")
        assert veltrum.run("/f", str(data / "*.lck"), "/t", "-1", "/a", "exec", "/m").code == 0
    finally:
        os.umask(old_umask)
    files = metrics_files(metrics)
    assert [f.suffix for f in files] == [".prom"] * 3, files  # nothing temporary stays
    for path in files:
        assert path.stat().st_mode & 0o777 == 0o644
        assert path.read_bytes().endswith(b"\n") and b"\r" not in path.read_bytes()
        checked = subprocess.run([PROMTOOL, "check", "metrics"], stdin=path.open("rb"),
                                 capture_output=True, timeout=60)
        assert checked.returncode == 0, checked.stdout + checked.stderr
    exporter, scraped = serve(metrics)
    try:
        assert "node_textfile_scrape_error 0" in scraped
        pattern = str(data / "*.lck")
        assert (f'veltrum_files_too_old{{action="check",date="modify",minutes="-60",spec="{pattern}"}} 1'
                in scraped), scraped
        assert f'veltrum_files_checked{{action="check",date="modify",minutes="-90",spec="{pattern}"}} 3' in scraped
        # The exec job ended after its first action: one file compared.
        assert f'veltrum_files_checked{{action="exec",date="modify",minutes="-1",spec="{pattern}"}} 1' in scraped
    finally:
        exporter.kill()
        exporter.wait()


def test_unwritable_metrics_dir_is_one_err_line_and_the_action_happens(veltrum, tmp_path):
    inbox = tmp_path / "inbox"
    inbox.mkdir()
    not_a_folder = tmp_path / "metrics-file"
    not_a_folder.write_bytes(b"")
    lock = aged(tmp_path / "in" / "job.lck", 120)
    veltrum.write_conf(MetricsDir=native(not_a_folder), QuillboxDir=native(inbox))
    result = veltrum.run("/f", native(lock), "/t", "-60", "/a", "quillbox", "/m")
    assert result.code == 0
    assert len(list(inbox.glob("*.msg"))) == 1
    errors = [line for line in log_lines(veltrum) if "[ERR]" in line]
    assert len(errors) == 1 and "MetricsDir:" in errors[0], errors


def test_metrics_file_on_windows_and_posix(veltrum, data, tmp_path):
    metrics = tmp_path / "metrics"
    metrics.mkdir()
    veltrum.write_conf(MetricsDir=native(metrics))
    result, _ = check(veltrum, "/f", native(data / "*.lck"), "/t", "-60")
    assert result.code == 0
    [path] = metrics_files(metrics)
    assert re.fullmatch(r"veltrum_[0-9a-f]{16}\.prom", path.name)
    text = path.read_bytes().decode("utf-8")
    assert "veltrum_files_checked{" in text and "} 2\n" in text
    assert text.count("# TYPE") == 7 and text.count(" gauge\n") == 7


# Documentation ------------------------------------------------------------

@posix_only
@needs_promtool
def test_readme_alert_rules_pass_promtool(tmp_path):
    readme = (SOURCE / "README.md").read_text(encoding="utf-8")
    blocks = re.findall(r"```yaml\n(groups:.*?)```", readme, re.S)
    assert blocks, "README holds no Prometheus rules"
    for number, block in enumerate(blocks):
        rules = tmp_path / f"rules{number}.yml"
        rules.write_text(block, encoding="utf-8")
        checked = subprocess.run([PROMTOOL, "check", "rules", str(rules)], capture_output=True,
                                 timeout=60)
        assert checked.returncode == 0, checked.stdout + checked.stderr
