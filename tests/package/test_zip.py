"""The Windows zip: its files and their line ends and encoding, a program
that needs no DLL beyond those of Windows, and the program's help under Wine."""
import os
import pathlib
import re
import subprocess
import zipfile

import pytest

from conftest import SOURCE, VERSION, run

FOLDER = f"veltrum-{VERSION}-win64"

# DLLs that every Windows carries (the TLS and token-login work may add some
# of the later ones).
WINDOWS_DLLS = {"kernel32.dll", "msvcrt.dll", "ws2_32.dll", "winmm.dll", "user32.dll",
                "advapi32.dll", "shell32.dll", "ole32.dll", "secur32.dll", "crypt32.dll",
                "bcrypt.dll", "ncrypt.dll", "ntdll.dll", "winhttp.dll", "wldap32.dll",
                "iphlpapi.dll", "normaliz.dll", "userenv.dll"}


@pytest.fixture(scope="module")
def unpacked(zip_file, tmp_path_factory):
    target = tmp_path_factory.mktemp("zip")
    run("unzip", "-q", zip_file, "-d", target)
    return target / FOLDER


def test_the_zip_holds_one_folder_with_the_program_and_its_texts(zip_file):
    names = sorted(zipfile.ZipFile(zip_file).namelist())
    assert names == [f"{FOLDER}/", f"{FOLDER}/LICENSES.txt", f"{FOLDER}/README.txt",
                     f"{FOLDER}/veltrum.conf", f"{FOLDER}/veltrum.exe"]


@pytest.mark.parametrize("name", ["veltrum.conf", "README.txt", "LICENSES.txt"])
def test_texts_have_cr_lf_line_ends(unpacked, name):
    data = (unpacked / name).read_bytes()
    assert data.endswith(b"\r\n")
    assert data.count(b"\n") == data.count(b"\r\n") == data.count(b"\r")


def test_the_configuration_is_the_example_in_windows_1252(unpacked):
    data = (unpacked / "veltrum.conf").read_bytes()
    assert not data.startswith(b"\xef\xbb\xbf")  # a mark would switch the reader to UTF-8
    example = (SOURCE / "packaging" / "veltrum.conf").read_text(encoding="utf-8")
    assert data.decode("cp1252") == example.replace("\n", "\r\n")


def test_the_licences_name_the_project_and_everything_linked_in(unpacked):
    text = (unpacked / "LICENSES.txt").read_bytes().decode("utf-8")
    for needle in ("Apache License", "PCRE2 LICENCE", "Niels Lohmann", "MinGW-w64",
                   "GCC RUNTIME LIBRARY EXCEPTION", "requirements of the license of GCC."):
        assert needle in text, needle


def test_the_program_imports_only_dlls_of_windows(unpacked):
    dump = run("x86_64-w64-mingw32-objdump", "-p", unpacked / "veltrum.exe").stdout.decode()
    imported = {name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)}
    assert "kernel32.dll" in imported
    assert imported <= WINDOWS_DLLS, f"not part of Windows: {imported - WINDOWS_DLLS}"


def test_the_program_prints_its_help_under_wine(unpacked, tmp_path):
    env = dict(os.environ, WINEDEBUG="-all", WINEARCH="win64",
               WINEPREFIX=str(SOURCE / "build-win" / "wineprefix"),
               WINEDLLOVERRIDES="mscoree,mshtml=")
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    # Output into files: Wine's services may keep inherited pipes open.
    out, err = tmp_path / "out", tmp_path / "err"
    with open(out, "wb") as stdout, open(err, "wb") as stderr:
        code = subprocess.run(["wine", str(unpacked / "veltrum.exe"), "/?"], cwd=unpacked,
                              stdin=subprocess.DEVNULL, stdout=stdout, stderr=stderr,
                              env=env, timeout=300).returncode
    assert code == 1, err.read_bytes()
    assert f"Veltrum V{VERSION} - ".encode() in out.read_bytes()
    assert (unpacked / "veltrum.log").read_bytes().endswith(b"[LOG] ---[Start]---\r\n")
