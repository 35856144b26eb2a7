"""The source tree reads top-down: every include of a project header points
to the file's own folder or to one below it, and every folder and file stays
small enough to read at a glance."""
import re

import pytest

from conftest import SOURCE

# Top to bottom; mail and platform are read one level deeper.
LAYERS = [
    "run",
    "check",
    "actions",
    "mail/smtp",
    "mail/message",
    "base",
    "platform/net",
    "platform/system",
    "platform/processes",
    "platform/files",
    "platform/core",
]
GROUPED = {"mail", "platform"}
TEST_SUPPORT = "support"  # tests/support/: helpers only tests may include
MAX_PRODUCT_FILES_PER_FOLDER = 40
MAX_PRODUCT_FILE_LINES = 400


def layer(parts):
    """The layer of a path below src/ given as its parts (file name included)."""
    depth = 2 if parts[0] in GROUPED else 1
    return "/".join(parts[:depth])


def rank(path):
    parts = path.relative_to(SOURCE / "src").parts
    return -1 if len(parts) == 1 else LAYERS.index(layer(parts))  # src/main.cpp: on top


def source_files():
    files = [p for p in (SOURCE / "src").rglob("*") if p.suffix in (".cpp", ".h", ".in")]
    assert len(files) > 50
    return files


def is_product(path):
    return path.is_file() and not path.stem.endswith("_test")


@pytest.mark.parametrize(
    "parts, expected",
    [
        (("run", "run_main.cpp"), "run"),
        (("mail", "smtp", "smtp_client.h"), "mail/smtp"),
        (("platform", "core", "clock.h"), "platform/core"),
        (("platform", "clock.h"), "platform/clock.h"),  # flat file in a grouped folder: no layer
    ],
)
def test_layer_reads_the_second_level_of_grouped_folders(parts, expected):
    assert layer(parts) == expected


def test_every_source_file_sits_in_a_known_layer():
    unknown = [str(p.relative_to(SOURCE)) for p in source_files()
               if len(p.relative_to(SOURCE / "src").parts) > 1
               and layer(p.relative_to(SOURCE / "src").parts) not in LAYERS]
    assert unknown == []


def test_every_include_points_downward():
    upward = []
    for path in source_files():
        for included in re.findall(r'^#include "([a-z_/]+)/[a-z_0-9]+\.h"', path.read_text(), re.M):
            if included == TEST_SUPPORT:
                assert path.stem.endswith("_test"), f"{path}: product file includes a test helper"
                continue
            assert included in LAYERS, f"{path}: include from unknown folder {included}"
            if LAYERS.index(included) < rank(path):
                upward.append(f"{path.relative_to(SOURCE)} includes from {included}/")
    assert upward == []


def test_no_test_helper_among_the_product_files():
    helpers = [p for p in (SOURCE / "src").rglob("*") if "for_tests" in p.name or p.suffix == ".py"]
    assert helpers == []


def test_no_product_folder_is_too_full():
    full = {}
    for folder in [SOURCE / "src", *(p for p in (SOURCE / "src").rglob("*") if p.is_dir())]:
        count = sum(1 for p in folder.iterdir() if is_product(p))
        if count > MAX_PRODUCT_FILES_PER_FOLDER:
            full[str(folder.relative_to(SOURCE))] = count
    assert full == {}


def test_no_product_file_is_too_long():
    long = {}
    for path in source_files():
        lines = path.read_text().count("\n")
        if is_product(path) and lines > MAX_PRODUCT_FILE_LINES:
            long[str(path.relative_to(SOURCE))] = lines
    assert long == {}
