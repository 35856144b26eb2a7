"""UTF-8 on POSIX: the log, the console, the configuration and the mail in one
encoding, whatever the file names and the configuration are written in; the
drop file in Windows-1252 for the messenger."""
import email
import email.policy
import os

import pytest

from conftest import posix_only
from smtp_peers import SinkServer, mail_conf, old_files

pytestmark = posix_only

MARK = b"\xef\xbb\xbf"
SUBJECT = "Alte Dateien € – „ “ ä"
TO = "Jürgen Müller <j@example.com>"

# name on disk (bytes), the name as shown, how the configuration is saved
CASES = [
    ("utf-8 name, utf-8 configuration", "Prüfbericht Müller €uro ß.lck".encode(),
     "Prüfbericht Müller €uro ß.lck", "utf-8"),
    ("utf-8 name, configuration with the mark", "Prüfung.lck".encode(), "Prüfung.lck",
     "utf-8-mark"),
    ("Latin-1 name, Windows-1252 configuration", b"Pr\xfcfung alt.lck", "Prüfung alt.lck",
     "cp1252"),
    ("undefined Windows-1252 byte", b"a\x81b.lck", "a\\x81b.lck", "utf-8"),
]


def write_conf(veltrum, port, inbox, saved_as):
    mail_conf(veltrum, port, Mail_Subject=SUBJECT, Mail_To=TO, QuillboxDir=str(inbox) + "/")
    text = veltrum.conf_path.read_bytes().decode("utf-8")
    data = MARK + text.encode() if saved_as == "utf-8-mark" else text.encode(
        "cp1252" if saved_as == "cp1252" else "utf-8")
    veltrum.conf_path.write_bytes(data)


@pytest.mark.parametrize("name, shown, saved_as", [c[1:] for c in CASES],
                         ids=[c[0] for c in CASES])
def test_one_encoding_on_posix(veltrum, tmp_path, name, shown, saved_as):
    server = SinkServer(tmp_path / "sink", "Geheim-\xe4-42")
    try:
        folder = tmp_path / "watched"
        inbox = tmp_path / "inbox"
        inbox.mkdir()
        old_files(folder, "placeholder")
        path = os.path.join(os.fsencode(folder), name)
        os.rename(os.path.join(os.fsencode(folder), b"placeholder"), path)
        write_conf(veltrum, server.port, inbox, saved_as)
        pattern = os.path.join(os.fsencode(folder), b"*.lck")
        mailed = veltrum.run("/f", pattern, "/t", "-60", "/a", "mail", "/m")
        dropped = veltrum.run("/f", pattern, "/t", "-60", "/a", "quillbox", "/m")
        messages = server.messages()
    finally:
        server.stop()
    shown_path = f"{folder}/{shown}"

    # The log: valid UTF-8, LF line ends, German texts and the name intact.
    log = veltrum.log_bytes()
    assert b"\r\n" not in log and log.endswith(b"\n")
    texts = log.decode("utf-8").split("\n")
    assert any(t.endswith(f"Mögliche Datei gefunden:{shown_path}. Wird geprüft") for t in texts)
    assert any(t.endswith(f"Init-Mail_Subject      :{SUBJECT}") for t in texts)
    assert any("Höchstalter der Datei ist:" in t for t in texts)

    # The console: UTF-8 with LF, the display name not converted twice.
    console = mailed.stdout.decode("utf-8")
    assert b"\r\n" not in mailed.stdout
    assert f"E-Mail wurde mit Status: 1 an {TO} über" in console

    # The mail, read as a mail program reads it.
    assert len(messages) == 1
    message = email.message_from_bytes(messages[0], policy=email.policy.default)
    assert message["Subject"] == SUBJECT
    assert message["To"].addresses[0].display_name == "Jürgen Müller"
    assert message.get_content_charset() == "utf-8"
    assert f"Die Datei {shown_path}\n" in message.get_content().replace("\r\n", "\n")

    # The drop file: Windows-1252 with CR LF, the name converted into it.
    assert dropped.code == 0
    (drop,) = inbox.glob("*.msg")
    assert drop.read_bytes() == (b"Veltrum - Benachrichtigung\rDie Datei " +
                                 shown_path.encode("cp1252", "replace") +
                                 b"\rhat das zul\xe4ssige Alter \xfcberschritten!\r\n")
