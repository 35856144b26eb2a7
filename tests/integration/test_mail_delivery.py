"""Mail delivered end to end to a real SMTP server (aiosmtpd) on loopback."""
import email
import email.policy

import pytest

from conftest import cp, native, posix_only
from smtp_peers import PROGRAM_HOST, SinkServer, mail_conf, old_files, parsed

PASSWORD = "Geheim-\xe4-42"
TO = "ops@example.com;CC:Lead <lead@example.com>;BCC:audit@example.com"


@pytest.fixture
def sink(tmp_path):
    servers = []

    def start(password=PASSWORD, options=()):
        servers.append(SinkServer(tmp_path / f"sink{len(servers)}", password, options=options))
        return servers[-1]

    yield start
    for server in servers:
        server.stop()


def run_mail(veltrum, folder):
    return veltrum.run("/f", native(folder / "*.lck"), "/t", "-60", "/a", "mail", "/m")


def body_of(message):
    """The text of a single-part message, decoded to the bytes it stands for."""
    return parsed(message).get_payload(decode=True)


def test_one_message_per_old_file_with_login(veltrum, tmp_path, sink):
    server = sink()
    mail_conf(veltrum, server.port, Mail_To=TO, Mail_Body="Prüfen Sie bitte:")
    folder = tmp_path / "watched"
    paths = old_files(folder, "a.lck", "b.lck", "c.lck")
    old_files(folder, "new.lck", age_seconds=0)
    result = run_mail(veltrum, folder)

    assert result.code == 0
    messages = server.messages()
    assert len(messages) == 3
    for path, message in zip(paths, messages):
        assert body_of(message) == (cp("Prüfen Sie bitte:") + b"\r\nDie Datei " +
                                    native(path).encode() + b"\r\n" +
                                    cp("hat das zulässige Alter überschritten!") + b"\r\n\r\n")
    parsed = [email.message_from_bytes(m, policy=email.policy.compat32) for m in messages]
    assert {p["Subject"] for p in parsed} == {"Alte Dateien"}
    assert [p["To"] for p in parsed] == ["<ops@example.com>"] * 3
    assert [p["Cc"] for p in parsed] == ["Lead <lead@example.com>"] * 3
    assert all(b"audit@example.com" not in m for m in messages)
    assert len({p["Message-ID"] for p in parsed}) == 3
    assert all(p["Date"] for p in parsed)
    for envelope in server.envelopes():
        assert envelope["mail_from"] == "waechter@example.com"
        assert envelope["rcpt_tos"] == ["ops@example.com", "lead@example.com",
                                        "audit@example.com"]
        assert envelope["login"] == "waechter"  # let in: the password matched, byte for byte

    sent = f"E-Mail wurde mit Status: 1 an {TO} über {PROGRAM_HOST} versendet"
    assert veltrum.texts().count(sent) == 3
    assert result.console().count(sent) == 3
    assert cp("Geheim") not in veltrum.log_bytes() + result.stdout


def test_wrong_password_is_reported_and_nothing_delivered(veltrum, tmp_path, sink):
    server = sink(password="anders")
    mail_conf(veltrum, server.port)
    folder = tmp_path / "watched"
    old_files(folder, "a.lck")
    result = run_mail(veltrum, folder)
    line = (f"E-Mail konnte nicht an ops@example.com über {PROGRAM_HOST} versendet werden. "
            "Status: -5,Servermeldung: 535 5.7.8 Authentication credentials invalid")
    assert ("ERR", line) in veltrum.kinds_and_texts()
    assert line in result.console()
    assert server.messages() == []


@pytest.mark.parametrize("password, delivered", [(PASSWORD, True), ("anders", False)])
def test_server_offering_only_plain_takes_the_login(veltrum, tmp_path, sink, password,
                                                    delivered):
    server = sink(password=password, options=("--only-plain",))
    mail_conf(veltrum, server.port)
    old_files(tmp_path / "watched", "a.lck")
    result = run_mail(veltrum, tmp_path / "watched")
    assert len(server.messages()) == (1 if delivered else 0)
    if delivered:
        assert server.envelopes()[0]["login"] == "waechter"
    else:
        line = (f"E-Mail konnte nicht an ops@example.com über {PROGRAM_HOST} versendet werden. "
                "Status: -5,Servermeldung: 535 5.7.8 Authentication credentials invalid")
        assert ("ERR", line) in veltrum.kinds_and_texts()
    assert cp("Geheim") not in veltrum.log_bytes() + result.stdout


def test_html_body_arrives_as_two_alternatives(veltrum, tmp_path, sink):
    server = sink()
    mail_conf(veltrum, server.port, Mail_Body="Klartext<html><b>fett</b>")
    folder = tmp_path / "watched"
    (path,) = old_files(folder, "a.lck")
    run_mail(veltrum, folder)
    (message,) = server.messages()
    whole = email.message_from_bytes(message, policy=email.policy.compat32)
    assert whole.get_content_type() == "multipart/mixed"
    (alternative,) = whole.get_payload()
    plain, html = alternative.get_payload()
    assert (plain.get_content_type(), plain.get_payload()) == ("text/plain", "Klartext")
    assert html.get_content_type() == "text/html"
    assert html.get_payload(decode=True).startswith(
        f"<html><b>fett</b>\r\nDie Datei {native(path)}\r\n".encode())


@posix_only
def test_file_names_cannot_end_the_message_or_add_commands(veltrum, tmp_path, sink):
    server = sink()
    mail_conf(veltrum, server.port, Mail_Subject="Alt")
    folder = tmp_path / "watched"
    evil = "x\r\n.\r\nMAIL FROM: <evil@example.com>\r\n.lck"
    bare = "y\n.\nRCPT TO: <evil@example.com>\n.lck"
    paths = old_files(folder, evil, bare)
    run_mail(veltrum, folder)

    messages = server.messages()
    assert len(messages) == 2
    envelopes = server.envelopes()
    assert all(e["rcpt_tos"] == ["ops@example.com"] for e in envelopes)
    assert all(e["mail_from"] == "waechter@example.com" for e in envelopes)
    for path, message in zip(sorted(paths), messages):
        # The name's line breaks are shown as "\r" and "\n", never sent as such.
        name = str(path).replace("\r", "\\r").replace("\n", "\\n").encode()
        assert b"Die Datei " + name + b"\r\n" + cp("hat das zulässige") in body_of(message)


@posix_only
def test_file_name_cannot_add_a_part_to_an_html_mail(veltrum, tmp_path, sink):
    import datetime
    server = sink()
    mail_conf(veltrum, server.port, Mail_Body="Klartext<html><b>Alarm</b>")
    folder = tmp_path / "watched"
    # The boundaries a writer of the folder could guess from the time.
    now = datetime.datetime.now()
    stamps = [(now + datetime.timedelta(seconds=s)).strftime("%d%m%Y%H%M%S") for s in range(2)]

    def forged(prefix):
        return "".join(f"\r\n--{prefix}{stamp}\r\n\r\n"
                       f"<a href='https:evil.example'>Login<br>" for stamp in stamps)

    # In a folder name and in a file name.
    old_files(folder / ("d" + forged("Mailwerk_")), "f.lck")
    old_files(folder, "f" + forged("Mailwerk_Alt_") + "\n\x01.lck")
    mail_conf(veltrum, server.port, Mail_Body="Klartext<html><b>Alarm</b>", Recursive="1")
    run_mail(veltrum, folder)

    messages = server.messages()
    assert len(messages) == 2
    for message in messages:
        leaves = [part for part in parsed(message).walk() if not part.is_multipart()]
        assert [part.get_content_type() for part in leaves] == ["text/plain", "text/html"]
        plain, html = (part.get_content() for part in leaves)
        assert "href='https" not in html and "&lt;a href=&#39;https:evil" in html
        assert plain == "Klartext" and "\\r\\n--Mailwerk_" in html
    assert any("\\n\\x01.lck" in parsed(m).get_body(("html",)).get_content() for m in messages)
