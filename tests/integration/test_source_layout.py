"""The source tree reads top-down: every include of a project header points
to the file's own folder or to one below it."""
import re

from conftest import SOURCE

LAYERS = ["run", "check", "actions", "mail", "base", "platform"]  # top to bottom
TEST_SUPPORT = "support"  # tests/support/: helpers only tests may include


def layer_of(path):
    parts = path.relative_to(SOURCE / "src").parts
    return -1 if len(parts) == 1 else LAYERS.index(parts[0])  # src/main.cpp: on top


def test_every_include_points_downward():
    upward = []
    files = [p for p in (SOURCE / "src").rglob("*") if p.suffix in (".cpp", ".h", ".in")]
    assert len(files) > 50
    for path in files:
        for included in re.findall(r'^#include "([a-z_]+)/', path.read_text(), re.M):
            if included == TEST_SUPPORT:
                assert path.stem.endswith("_test"), f"{path}: product file includes a test helper"
                continue
            assert included in LAYERS, f"{path}: include from unknown folder {included}"
            if LAYERS.index(included) < layer_of(path):
                upward.append(f"{path.relative_to(SOURCE)} includes from {included}/")
    assert upward == []


def test_no_test_helper_among_the_product_files():
    helpers = [p for p in (SOURCE / "src").rglob("*") if "for_tests" in p.name or p.suffix == ".py"]
    assert helpers == []
