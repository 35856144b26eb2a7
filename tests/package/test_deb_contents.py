"""The .deb as built: its files with their modes and owners, its metadata,
and lintian's verdict."""
import re

import pytest

from conftest import VERSION, run

EXPECTED_FILES = {
    # path: (mode, kind) -- kind "-" file, "d" folder, "l" link
    "./opt/veltrum/": ("drwxr-xr-x", "d"),
    "./opt/veltrum/veltrum": ("-rwxr-xr-x", "-"),
    "./opt/veltrum/veltrum.conf": ("-rw-------", "-"),
    "./usr/bin/veltrum": ("lrwxrwxrwx", "l"),
    "./usr/share/man/man1/veltrum.1.gz": ("-rw-r--r--", "-"),
    "./usr/share/doc/veltrum/README.md": ("-rw-r--r--", "-"),
    "./usr/share/doc/veltrum/copyright": ("-rw-r--r--", "-"),
    "./usr/share/doc/veltrum/changelog.gz": ("-rw-r--r--", "-"),
    "./usr/share/doc/veltrum/examples/veltrum.service": ("-rw-r--r--", "-"),
    "./usr/share/doc/veltrum/examples/veltrum.timer": ("-rw-r--r--", "-"),
    "./usr/share/doc/veltrum/examples/veltrum.conf.example": ("-rw-r--r--", "-"),
    "./usr/share/lintian/overrides/veltrum": ("-rw-r--r--", "-"),
}


def contents(deb):
    """path -> (mode, owner, link target) from dpkg-deb -c."""
    entries = {}
    for line in run("dpkg-deb", "-c", deb).stdout.decode().splitlines():
        fields = line.split(None, 5)
        path, _, target = fields[5].partition(" -> ")
        entries[path] = (fields[0], fields[1], target)
    return entries


def field(deb, name):
    return run("dpkg-deb", "-f", deb, name).stdout.decode().strip()


def test_every_file_is_there_with_its_mode_and_owned_by_root(deb):
    entries = contents(deb)
    files = {p for p, (mode, _, _) in entries.items() if not mode.startswith("d")}
    assert files == {p for p, (_, kind) in EXPECTED_FILES.items() if kind != "d"}
    for path, (mode, _) in EXPECTED_FILES.items():
        assert entries[path][0] == mode, path
    assert {owner for _, owner, _ in entries.values()} == {"root/root"}


def test_the_command_links_to_the_program_in_its_own_folder(deb):
    # Absolute: the link leaves /usr for /opt.
    assert contents(deb)["./usr/bin/veltrum"][2] == "/opt/veltrum/veltrum"


@pytest.mark.parametrize("name, expected", [
    ("Package", "veltrum"),
    ("Version", VERSION),
    ("Architecture", "amd64"),
    ("Section", "utils"),
    ("Priority", "optional"),
])
def test_control_fields(deb, name, expected):
    assert field(deb, name) == expected


def test_dependencies_come_from_the_binary(deb):
    depends = [d.strip().split()[0] for d in field(deb, "Depends").split(",")]
    assert "libc6" in depends and "libpcre2-8-0" in depends
    # Loaded at run time for TLS and the token request, named all the same.
    assert "libssl3" in depends and "libcurl4" in depends
    # The C++ runtime is linked in; a dependency on it would mean it is not.
    assert not [d for d in depends if d.startswith(("libstdc++", "libgcc"))]


def test_the_configuration_is_a_conffile(deb, tmp_path):
    run("dpkg-deb", "-e", deb, tmp_path / "control")
    assert (tmp_path / "control" / "conffiles").read_text().split() == [
        "/opt/veltrum/veltrum.conf"]


def test_the_program_is_stripped_and_hardened(deb, tmp_path):
    run("dpkg-deb", "-x", deb, tmp_path)
    program = tmp_path / "opt/veltrum/veltrum"
    sections = run("readelf", "-S", "-W", program).stdout.decode()
    assert ".symtab" not in sections and ".debug_info" not in sections
    dynamic = run("readelf", "-d", "-W", program).stdout.decode()
    assert re.search(r"\(BIND_NOW\)|FLAGS.*\bNOW\b", dynamic)
    assert b"__stack_chk_fail" in program.read_bytes()


def test_lintian_finds_no_error_and_no_warning(deb):
    completed = run("lintian", "--fail-on", "error,warning", deb, check=False)
    report = [line for line in completed.stdout.decode().splitlines()
              if re.match(r"^[EW]: ", line)]
    assert completed.returncode == 0 and report == [], "\n".join(report)
