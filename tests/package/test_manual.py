"""The manual page and the example configuration against the program's
source: both lint clean, every configuration key is described with its
default, and every [ERR] message is in the manual's DIAGNOSTICS."""
import os
import re

import pytest

from conftest import SOURCE, run

MANUAL = SOURCE / "packaging" / "veltrum.1"
EXAMPLE = SOURCE / "packaging" / "veltrum.conf"


def source_files():
    for path in sorted((SOURCE / "src").rglob("*.cpp")):
        if not path.name.endswith("_test.cpp") and "platform" not in path.parts:
            yield path


def configuration_keys():
    """(key, default) of every key the program reads."""
    keys = []
    for path in source_files():
        keys += re.findall(r'readKey\("(\w+)",\s*"([^"]*)"\)', path.read_text())
    assert len(keys) >= 13
    return keys


def error_texts():
    """The fixed texts of every ERR line the program writes: the string
    literals of each writeLog(ERR, ...), report(ERR, ...) and reportFailure(...)
    statement, and of the statement that built a message it logs."""
    texts = set()
    for path in source_files():
        code = path.read_text()
        for statement in re.findall(
                r"(?:writeLog\(ERR,|report\(ERR,|reportFailure\()(.*?)\);", code, re.S):
            literals = re.findall(r'"((?:[^"\\]|\\.)*)"', statement)
            name = statement.strip()
            if not literals and re.fullmatch(r"\w+", name):
                # A message built before: the literals it was built from.
                built = re.search(rf"\b{name}\s*=\s*(.*?);", code, re.S)
                literals = re.findall(r'"((?:[^"\\]|\\.)*)"', built.group(1)) if built else []
            for literal in literals:
                literal = literal.replace('\\"', '"').strip()
                if len(literal) >= 4:
                    texts.add(literal)
    assert len(texts) >= 15
    return sorted(texts)


def manual_text():
    """The page's source with the escapes that the messages use undone."""
    text = MANUAL.read_text(encoding="utf-8")
    for escape, plain in (("\\-", "-"), ("\\%", ""), ("\\(dq", '"'), ("\\e", "\\")):
        text = text.replace(escape, plain)
    return text


def diagnostics():
    text = manual_text()
    return text[text.index(".SH DIAGNOSTICS"):text.index(".SH SEE ALSO")]


def test_mandoc_lint_reports_nothing():
    completed = run("mandoc", "-Tlint", "-W", "all", MANUAL, check=False)
    assert completed.returncode == 0 and completed.stdout + completed.stderr == b""


def test_man_reports_no_warning():
    env = dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8")
    completed = run("man", "--warnings", "-E", "UTF-8", "-l", MANUAL, env=env)
    assert completed.stderr == b""
    page = completed.stdout.decode("utf-8")
    assert "Prüfzeit in Minuten ist keine Zahl" in page  # German text kept whole


@pytest.mark.parametrize("text", error_texts())
def test_every_error_message_is_explained(text):
    # Fixed pieces of a message: "Parameter " + name + " wurde ..." gives
    # pieces of their own, each found in the page.
    assert text in diagnostics(), f"DIAGNOSTICS lacks {text!r}"


@pytest.mark.parametrize("key, default", configuration_keys())
def test_every_key_is_in_the_manual_with_its_default(key, default):
    text = manual_text()
    entry = re.search(rf"^\.TP\n\.B {key}\n(.*?)(?=^\.TP|^\.PP|^\.SH)", text, re.S | re.M)
    assert entry, f"no entry for {key}"
    assert f"Default: {default or 'empty'}" in entry.group(1)


@pytest.mark.parametrize("key, default", configuration_keys())
def test_every_key_is_in_the_example_with_a_comment_and_its_default(key, default):
    text = EXAMPLE.read_text(encoding="ascii")
    match = re.search(rf"((?:^;.*\n)+)^{key} =(.*)$", text, re.M)
    assert match, f"no commented line for {key}"
    comment, value = match.group(1), match.group(2).strip()
    assert f"; {key}:" in comment
    assert f"Default: {default or 'empty'}" in " ".join(comment.split()).replace("; ", "")
    # Safe as shipped: nothing that would make an action reach anywhere.
    if key in ("Mail_SMTP", "Mail_From", "Mail_To", "Exec", "QuillboxDir", "Mail_Password"):
        assert value == ""
