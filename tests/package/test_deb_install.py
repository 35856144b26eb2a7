"""The .deb installed and removed again. As root on a machine without
veltrum (CI), onto the machine itself: the command runs through the link in
/usr/bin. Otherwise into a scratch root, under fakeroot when not root; the
program is then started from its folder there.

Whatever happens, the installation is purged again and the files runs left
in /opt/veltrum (logs) are removed."""
import os
import pathlib
import shutil
import subprocess
import time

import pytest

from conftest import VERSION, run


def installed_on_machine():
    completed = run("dpkg-query", "-W", "-f=${Status}", "veltrum", check=False)
    return completed.returncode == 0 and b"installed" in completed.stdout


def machine_install_possible():
    if os.environ.get("VELTRUM_PACKAGE_ROOT") == "scratch":
        return False
    return os.geteuid() == 0 and not installed_on_machine() and not os.path.lexists(
        "/opt/veltrum")


class Installation:
    """dpkg on the machine (root "/") or on a scratch root."""

    def __init__(self, root):
        self.root = pathlib.Path(root)
        self.on_machine = str(self.root) == "/"
        self.folder = self.root / "opt/veltrum"
        self.conf = self.folder / "veltrum.conf"
        self.log = self.folder / "veltrum.log"
        self.link = self.root / "usr/bin/veltrum"
        if not self.on_machine:
            for folder in ("var/lib/dpkg/info", "var/lib/dpkg/updates", "var/lib/dpkg/triggers"):
                (self.root / folder).mkdir(parents=True, exist_ok=True)
            (self.root / "var/lib/dpkg/status").touch()

    def dpkg(self, *args):
        command = ["dpkg", "--log=/dev/null"]
        if not self.on_machine:
            # The scratch root's dpkg database knows none of the machine's packages.
            command = (["fakeroot"] if os.geteuid() != 0 else []) + command + [
                f"--root={self.root}", "--force-depends", "--force-script-chrootless"]
        return run(*command, *args, env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))

    def status(self):
        if self.on_machine:
            completed = run("dpkg-query", "-W", "-f=${Status}", "veltrum", check=False)
        else:
            completed = run("dpkg-query", f"--admindir={self.root}/var/lib/dpkg", "-W",
                            "-f=${Status}", "veltrum", check=False)
        return completed.stdout.decode()

    def command(self):
        """How a user starts it: the link on the machine; in a scratch root,
        where the link points to the machine's /opt, the program itself."""
        return self.link if self.on_machine else self.folder / "veltrum"

    def clean_up(self):
        if "installed" in self.status() or "config-files" in self.status():
            self.dpkg("--purge", "veltrum")
        if self.on_machine and self.folder.is_dir():
            for leftover in self.folder.glob("veltrum.log*"):
                leftover.unlink()
            self.folder.rmdir()


# One installation for the whole file (each dpkg run on the machine costs
# seconds of man-db's trigger); the removal test comes last.
@pytest.fixture(scope="module")
def installation(deb, tmp_path_factory):
    on_machine = machine_install_possible()
    target = Installation("/" if on_machine else tmp_path_factory.mktemp("root"))
    try:
        target.dpkg("--install", deb)
        yield target
    finally:
        target.clean_up()
    assert not os.path.lexists(target.folder) or not target.on_machine


def run_program(installation, *args):
    return subprocess.run([str(installation.command()), *args], cwd="/",
                          stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=60)


def test_installed_files(installation):
    assert "install ok installed" in installation.status()
    assert os.readlink(installation.link) == "/opt/veltrum/veltrum"
    assert installation.conf.stat().st_mode & 0o777 == 0o600
    assert (installation.folder / "veltrum").stat().st_mode & 0o777 == 0o755
    if installation.on_machine:
        assert installation.conf.stat().st_uid == 0


def test_the_command_prints_the_help(installation):
    completed = run_program(installation, "/?")
    assert completed.returncode == 1
    assert f"Veltrum V{VERSION} - " in completed.stdout.decode()


def test_a_run_logs_beside_the_program_and_the_example_sends_nothing(installation, tmp_path):
    old = tmp_path / "watched" / "job.lck"
    old.parent.mkdir()
    old.write_text("x")
    stamp = time.time() - 3600
    os.utime(old, (stamp, stamp))
    completed = run_program(installation, "/f", str(old), "/t", "-1", "/a", "mail", "/m")
    assert completed.returncode == 0
    log = installation.log.read_bytes().decode("utf-8")  # UTF-8 with LF on Linux
    assert "\r" not in log
    assert "[LOG] ---[Start]---\n" in log
    assert "Init-Mail_Port         :25\n" in log  # the example configuration was read
    assert "Init-Mail_Passw: Kein Passwort\n" in log
    assert "[ERR] Check-mail: SMTP Bedingung zum Mailversand wird nicht erfüllt\n" in log
    assert "E-Mail Nachricht wird erstellt" not in log


def test_removal_keeps_a_changed_configuration_and_purge_removes_it(installation):
    changed = installation.conf.read_bytes().replace(b"Recursive = 0", b"Recursive = 1")
    installation.conf.write_bytes(changed)
    installation.dpkg("--remove", "veltrum")
    assert "config-files" in installation.status()
    assert not os.path.lexists(installation.link)
    assert not (installation.folder / "veltrum").exists()
    assert installation.conf.read_bytes() == changed

    installation.dpkg("--purge", "veltrum")
    assert not installation.conf.exists()
    assert "installed" not in installation.status()
