"""The mail action against servers and settings that misbehave: no crash, no
wait past the 15-second limits, the documented statuses and report lines."""
import select
import time

import pytest

from conftest import cp
from smtp_peers import PROGRAM_HOST, mail_conf, old_files, regular_dialog

OPEN_FAILED = "Öffnen der SMTP-Verbindung fehlgeschlagen mit der Meldung: "
NOT_SENT = ("E-Mail konnte nicht an ops@example.com über " + PROGRAM_HOST +
            " versendet werden. Status: {status},Servermeldung: {line}")
SENT = "E-Mail wurde mit Status: 1 an {to} über " + PROGRAM_HOST + " versendet"


def run_mail(veltrum, tmp_path, *names):
    folder = tmp_path / "watched"
    old_files(folder, *(names or ("alt.lck",)))
    started = time.monotonic()
    result = veltrum.run("/f", str(folder / "*.lck"), "/t", "-60", "/a", "mail", "/m",
                         timeout=120)
    assert result.code == 0
    return result, time.monotonic() - started


def reports(veltrum):
    return [(kind, text) for kind, text in veltrum.kinds_and_texts()
            if text.startswith(("E-Mail konnte", "E-Mail wurde", "Öffnen der SMTP"))]


def test_overlong_reply_is_cut_into_receives(veltrum, tmp_path, server):
    def script(peer, index):
        peer.send(b"220 " + b"x" * 6000 + b"\r\n")
        peer.line()
        peer.line()
        peer.send(b"221 bye\r\n")

    mail_conf(veltrum, server(script).port, Mail_User="")
    run_mail(veltrum, tmp_path)
    # The first receive took 4,999 bytes and counted as the greeting; the
    # rest arrived as a reply of its own, with a code outside the table.
    assert reports(veltrum) == [("ERR", NOT_SENT.format(status=-3, line="x" * 1005))]


def test_nul_bytes_end_the_reply_text(veltrum, tmp_path, server):
    def script(peer, index):
        peer.send(b"220 hi\r\n")
        peer.line()
        peer.send(b"\x00250 hidden\r\n")  # an empty reply: changes nothing
        time.sleep(0.3)
        peer.send(b"250 ok\r\n")
        peer.line()
        peer.send(b"250 sender\x00\r\n354 not seen\r\n")
        for reply in [b"250 rcpt\r\n", b"354 go\r\n"]:
            peer.line()
            peer.send(reply)
        peer.message()
        peer.send(b"250 queued\x00tail\r\n")
        peer.line()
        peer.send(b"221 bye\r\n")

    mail_conf(veltrum, server(script).port, Mail_User="")
    run_mail(veltrum, tmp_path)
    assert reports(veltrum) == [("LOG", SENT.format(to="ops@example.com"))]


def test_server_sending_the_dialog_in_circles(veltrum, tmp_path, server):
    def script(peer, index):
        peer.send(b"220 hi\r\n")
        while peer.line() != b"QUIT\r\n":
            peer.send(b"503 5.5.1 again\r\n")  # every 503 asks for MAIL FROM anew
        peer.send(b"221 bye\r\n")

    running = server(script)
    mail_conf(veltrum, running.port, Mail_User="")
    _, took = run_mail(veltrum, tmp_path)
    assert reports(veltrum) == [("ERR", NOT_SENT.format(status=-3, line="503 5.5.1 again"))]
    assert bytes(running.sessions[0]).count(b"MAIL FROM") == 17  # one recipient + 16 spare
    assert took < 10


def test_server_closing_before_the_greeting(veltrum, tmp_path, server):
    running = server(lambda peer, index: None)  # accepts and closes at once
    mail_conf(veltrum, running.port)
    result, _ = run_mail(veltrum, tmp_path, "a.lck", "b.lck")
    assert reports(veltrum) == [("ERR", OPEN_FAILED)] * 2
    assert result.console().count(OPEN_FAILED) == 2
    assert len(running.sessions) == 2  # the dead connection was not kept


@pytest.mark.parametrize("host, port", [
    ("mail.nowhere.invalid", "25"),
    (PROGRAM_HOST, ""),
    (PROGRAM_HOST, "0"),
    (PROGRAM_HOST, "70000"),
    (PROGRAM_HOST, "-25"),
])
def test_unreachable_server_or_impossible_port(veltrum, tmp_path, host, port):
    mail_conf(veltrum, port, Mail_SMTP=host)
    result, took = run_mail(veltrum, tmp_path)
    assert reports(veltrum) == [("ERR", OPEN_FAILED)]
    assert OPEN_FAILED in result.console()
    assert took < 14


def test_silent_servers_cost_bounded_time(veltrum, tmp_path, server):
    """The one slow test: three 15-second limits in a row."""
    def script(peer, index):
        if index == 0:  # never greets, never closes
            peer.until_closed(limit=40)
            return
        peer.send(b"220 hi\r\n")
        peer.line()
        # Endless continuation lines: they never move the dialog on.
        while b"QUIT" not in peer.record:
            peer.send(b"250-more to come\r\n")
            if select.select([peer.connection], [], [], 0.05)[0]:
                peer._more()
        peer.until_closed(limit=40)  # and QUIT gets no answer

    running = server(script)
    mail_conf(veltrum, running.port)
    result, took = run_mail(veltrum, tmp_path, "a.lck", "b.lck")
    assert reports(veltrum) == [
        ("ERR", OPEN_FAILED),
        ("ERR", NOT_SENT.format(status=-6, line="250-more to come")),
    ]
    assert 44 < took < 100  # bounded; generous for a loaded machine
    assert bytes(running.sessions[1]).startswith(b"Ehlo Mailwerk\r\nAUTH LOGIN\r\n")
    assert bytes(running.sessions[1]).endswith(b"QUIT\r\n")


def test_thousand_recipients_and_megabyte_texts(veltrum, tmp_path, server):
    received = []
    running = server(lambda peer, index: received.append(regular_dialog(peer)))
    recipients = [f"r{i}@example.com" for i in range(1000)]
    subject = "S" * 1_000_000
    body = "B" * 1_000_000  # one line: a setting cannot hold a line break
    to = ";".join(recipients)
    mail_conf(veltrum, running.port, Mail_To=to, Mail_Subject=subject, Mail_Body=body)
    result, _ = run_mail(veltrum, tmp_path)
    running.stop()  # the script hands the message over only after its last reply

    assert reports(veltrum) == [("LOG", SENT.format(to=to))]
    session = bytes(running.sessions[0])
    assert session.count(b"RCPT TO: <r") == 1000
    (message,) = received
    assert message.count(b"\r\nTo: <r") == 1000
    assert b"\r\nSubject: " + subject.encode() + b"\r\n" in message
    assert b"\r\n\r\n" + body.encode() + b"\r\nDie Datei " in message
    assert cp("Geheim") not in veltrum.log_bytes() + result.stdout
