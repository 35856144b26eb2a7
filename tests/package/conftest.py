"""Shared pieces of the package tests: where the packages are, their version,
and how to run a command. The packages are those `make package` left in dist/.
"""
import os
import pathlib
import re
import subprocess

import pytest

SOURCE = pathlib.Path(os.environ.get("VELTRUM_SOURCE", pathlib.Path(__file__).parents[2]))
DIST = SOURCE / "dist"


def project_version():
    text = (SOURCE / "CMakeLists.txt").read_text()
    return re.search(r"project\(veltrum VERSION (\S+)", text).group(1)


VERSION = project_version()
DEB = DIST / f"veltrum_{VERSION}_amd64.deb"
ZIP = DIST / f"veltrum-{VERSION}-win64.zip"


def run(*command, check=True, **options):
    completed = subprocess.run([str(c) for c in command], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, timeout=options.pop("timeout", 300),
                               **options)
    if check and completed.returncode != 0:
        raise AssertionError(f"{command} ended with {completed.returncode}:\n"
                             f"{completed.stdout.decode(errors='replace')}"
                             f"{completed.stderr.decode(errors='replace')}")
    return completed


@pytest.fixture(scope="session")
def deb():
    assert DEB.is_file(), f"{DEB} is missing (make package builds it)"
    return DEB


@pytest.fixture(scope="session")
def zip_file():
    assert ZIP.is_file(), f"{ZIP} is missing (make package builds it)"
    return ZIP
