"""The message as the recipient's mail program shows it: every message sent
to a real SMTP server (aiosmtpd, with its default limit of 1001 bytes to a
line) is parsed with Python's `email` package, and subject, addresses and
body must read as configured."""
import pytest

from conftest import ON_WINDOWS, native, posix_only
from smtp_peers import PROGRAM_HOST, SinkServer, mail_conf, old_files, parsed

SENT = "E-Mail wurde mit Status: 1 an {to} über " + PROGRAM_HOST + " versendet"
TOO_OLD = "hat das zulässige Alter überschritten!"


@pytest.fixture
def sink(tmp_path):
    server = SinkServer(tmp_path / "sink", "Geheim-\xe4-42")
    yield server
    server.stop()


def run_mail(veltrum, tmp_path, *names):
    folder = tmp_path / "watched"
    paths = old_files(folder, *names)
    result = veltrum.run("/f", native(folder / "*.lck"), "/t", "-60", "/a", "mail", "/m")
    assert result.code == 0
    return result, paths


def text_lines(part):
    """The decoded text of a part, its line ends made "\\n", without the line
    ends at its end."""
    return part.get_content().replace("\r\n", "\n").replace("\r", "\n").rstrip("\n")


def addresses(message, field):
    return [(a.display_name, a.addr_spec) for a in message[field].addresses]


@pytest.mark.parametrize("subject, body", [
    ("Wächter: alte Dateien", "Bitte prüfen, Kosten 5 €."),
    (" ".join(["Grüße €"] * 20), "Ä" * 40 + " " + "L" * 1500 + " Ende"),
    ("Alte Dateien (3)", "Zeile mit = und ?= und _"),
], ids=["umlauts-and-euro", "long-subject-and-1500-byte-line", "ascii-subject"])
def test_subject_and_body_read_as_configured(veltrum, tmp_path, sink, subject, body):
    mail_conf(veltrum, sink.port, Mail_Subject=subject, Mail_Body=body)
    _, (path,) = run_mail(veltrum, tmp_path, "a.lck")

    (raw,) = sink.messages()
    message = parsed(raw)
    assert message["Subject"] == subject
    assert message.get_content_type() == "text/plain"
    expected = body + f"\nDie Datei {native(path)}\n{TOO_OLD}"
    assert text_lines(message) == expected
    header, _, content = raw.partition(b"\r\n\r\n")
    assert all(byte < 128 for byte in header)
    assert all(len(line) <= 76 for line in content.split(b"\r\n"))
    charset = "utf-8" if not ON_WINDOWS else "windows-1252" if "€" in body else "iso-8859-1"
    assert message.get_content_charset() == charset


def test_names_and_recipients_in_one_to_and_one_cc_field(veltrum, tmp_path, sink):
    to = ("Jürgen Groß <jg@example.com>;ops@example.com;CC:Bauer, Anna <ab@example.com>;"
          "BCC:Geheim <audit@example.com>;cc: Kassenwart € <kw@example.com>")
    mail_conf(veltrum, sink.port, Mail_From="Wächter <waechter@example.com>", Mail_To=to)
    result, _ = run_mail(veltrum, tmp_path, "a.lck")

    (raw,) = sink.messages()
    message = parsed(raw)
    assert addresses(message, "From") == [("Wächter", "waechter@example.com")]
    assert addresses(message, "To") == [("Jürgen Groß", "jg@example.com"),
                                        ("", "ops@example.com")]
    assert addresses(message, "Cc") == [("Bauer, Anna", "ab@example.com"),
                                        ("Kassenwart €", "kw@example.com")]
    assert raw.count(b"\r\nTo: ") == 1 and raw.count(b"\r\nCc: ") == 1
    assert b"audit@" not in raw and b"Geheim" not in raw
    (envelope,) = sink.envelopes()
    assert envelope["rcpt_tos"] == ["jg@example.com", "ops@example.com", "ab@example.com",
                                    "audit@example.com", "kw@example.com"]
    assert SENT.format(to=to) in veltrum.texts()


def test_many_recipients_are_folded_into_short_lines(veltrum, tmp_path, sink):
    recipients = [f"Empfänger {i} <r{i}@example.com>" for i in range(40)]
    mail_conf(veltrum, sink.port, Mail_To=";".join(recipients))
    run_mail(veltrum, tmp_path, "a.lck")

    (raw,) = sink.messages()
    assert addresses(parsed(raw), "To") == [(f"Empfänger {i}", f"r{i}@example.com")
                                            for i in range(40)]
    header = raw.partition(b"\r\n\r\n")[0]
    assert max(len(line) for line in header.split(b"\r\n")) <= 78


@posix_only  # "<", ">" and '"' cannot stand in a Windows file name ("/" in none)
def test_markup_in_a_file_name_stays_text(veltrum, tmp_path, sink):
    name = '<html><a href="https:evil.example?a=1&b=2">Klick hier.lck'
    mail_conf(veltrum, sink.port, Mail_Body="Bitte nachsehen.")
    _, (path,) = run_mail(veltrum, tmp_path, name)

    (raw,) = sink.messages()
    message = parsed(raw)
    assert message.get_content_type() == "text/plain" and not message.is_multipart()
    assert text_lines(message) == f"Bitte nachsehen.\nDie Datei {path}\n{TOO_OLD}"


@posix_only  # "<", ">" and '"' cannot stand in a Windows file name
def test_configured_html_carries_the_file_name_escaped(veltrum, tmp_path, sink):
    name = 'x<html><b onclick="alert(1)">&.lck'
    mail_conf(veltrum, sink.port, Mail_Body="Klartext für alle<html><p>Größe</p>")
    _, (path,) = run_mail(veltrum, tmp_path, name)

    (raw,) = sink.messages()
    message = parsed(raw)
    assert message.get_content_type() == "multipart/mixed"
    (alternative,) = message.iter_parts()
    plain, html = alternative.iter_parts()
    assert text_lines(plain) == "Klartext für alle"
    escaped = str(path).replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
    escaped = escaped.replace('"', "&quot;")
    assert text_lines(html) == f"<html><p>Größe</p>\nDie Datei {escaped}\n{TOO_OLD}"
