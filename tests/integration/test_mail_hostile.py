"""The mail action against servers and settings that misbehave: no crash, no
wait past the 15-second limits, the documented statuses and report lines."""
import quopri
import select
import time

import pytest

from conftest import ON_WINDOWS, cp
from smtp_peers import PROGRAM_HOST, keeping, mail_conf, old_files, parsed

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


def test_long_greeting_is_one_reply(veltrum, tmp_path, server):
    def script(peer, index):
        peer.send(b"220 " + b"x" * 6000 + b"\r\n")
        peer.line()
        peer.send(b"250 ok\r\n")
        for reply in [b"250 sender\r\n", b"250 rcpt\r\n", b"354 go\r\n"]:
            peer.line()
            peer.send(reply)
        peer.message()
        peer.send(b"250 queued\r\n")
        peer.line()
        peer.send(b"221 bye\r\n")

    mail_conf(veltrum, server(script).port, Mail_User="")
    run_mail(veltrum, tmp_path)
    # However many receives the line takes, it is one greeting.
    assert reports(veltrum) == [("LOG", SENT.format(to="ops@example.com"))]


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
    line = (OPEN_FAILED + f"Server {PROGRAM_HOST}, Port {running.port}: "
            "Verbindung vom Server ohne Meldung geschlossen")
    assert reports(veltrum) == [("ERR", line)] * 2
    assert result.console().count(line) == 2
    assert len(running.sessions) == 2  # the dead connection was not kept


# No server line came: the report says why, with the server and the port.
@pytest.mark.parametrize("host, port, reason", [
    ("mail.nowhere.invalid", "25", "Name nicht aufl"),
    (PROGRAM_HOST, "", "Verbindung fehlgeschlagen"),
    (PROGRAM_HOST, "0", "Verbindung fehlgeschlagen"),
    (PROGRAM_HOST, "70000", "Verbindung fehlgeschlagen"),
    (PROGRAM_HOST, "-25", "Verbindung fehlgeschlagen"),
])
def test_unreachable_server_or_impossible_port(veltrum, tmp_path, host, port, reason):
    mail_conf(veltrum, port, Mail_SMTP=host)
    result, took = run_mail(veltrum, tmp_path)
    ((kind, text),) = reports(veltrum)
    start = OPEN_FAILED + f"Server {host}, Port {int(port or 0)}: " + reason
    assert kind == "ERR" and text.startswith(start)
    assert OPEN_FAILED + f"Server {host}" in result.console()
    assert took < 14


def test_thousand_recipients_and_megabyte_texts(veltrum, tmp_path, server):
    received = []
    running = server(keeping(received))
    recipients = [f"r{i}@example.com" for i in range(1000)]
    # Folded at its blanks, the word too long for a line as encoded words. (A
    # megabyte of them would cost the test server's parser more than the
    # client waits for its answer.)
    subject = " ".join(f"Datei{i}" for i in range(12_000)) + " " + "S" * 2000 + " Ende"
    body = "B" * 1_000_000  # one line: a setting cannot hold a line break
    to = ";".join(recipients)
    mail_conf(veltrum, running.port, Mail_To=to, Mail_Subject=subject, Mail_Body=body)
    result, _ = run_mail(veltrum, tmp_path)
    running.stop()  # the script hands the message over only after its last reply

    assert reports(veltrum) == [("LOG", SENT.format(to=to))]
    session = bytes(running.sessions[0])
    assert session.count(b"RCPT TO: <r") == 1000
    (message,) = received
    header, _, content = message.partition(b"\r\n\r\n")
    assert header.count(b"\r\nTo: ") == 1  # one field, folded
    assert header.count(b" <r") == 1000
    assert parsed(message)["Subject"] == subject
    assert max(len(line) for line in header.split(b"\r\n")) <= 998
    assert max(len(line) for line in content.split(b"\r\n")) <= 76
    assert quopri.decodestring(content).startswith(body.encode() + b"\r\nDie Datei ")
    assert cp("Geheim") not in veltrum.log_bytes() + result.stdout


# The hostile set: every server below misbehaves in its own way at one stage
# of the dialog. All of them run at the same moment, each against its own
# installation, so that the whole set costs one 15-second limit of time.

SECRET = "Kw7!Zebra-\xdf-93"  # found nowhere else in a log or a console
STAGES = [  # the regular dialog: the client's command and the answer to it
    ("ehlo", b"250-hostile.example\r\n250 AUTH LOGIN\r\n"),
    ("auth", b"334 VXNlcm5hbWU6\r\n"),
    ("user", b"334 UGFzc3dvcmQ6\r\n"),
    ("password", b"235 2.7.0 Authentication successful\r\n"),
    ("mail", b"250 2.1.0 Ok\r\n"),
    ("rcpt", b"250 2.1.5 Ok\r\n"),
    ("data", b"354 End data with <CR><LF>.<CR><LF>\r\n"),
    ("message", b"250 2.0.0 Ok: queued\r\n"),
    ("quit", b"221 2.0.0 Bye\r\n"),
]


def close(peer):
    peer.close()


def reset(peer):
    """An abortive close: the next send of the client meets a reset."""
    import socket
    import struct
    peer.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    peer.close()


def silent(peer):
    peer.until_closed(limit=60)


def answer_quit(peer):
    """Says nothing more until QUIT, and answers that. A client that closes
    with bytes of ours unread resets the connection: that is fine here."""
    try:
        while peer.line() != b"QUIT\r\n":
            pass
        peer.send(b"221 bye\r\n")
    except ConnectionResetError:
        pass


def close_at_quit(peer):
    while peer.line() != b"QUIT\r\n":
        pass
    peer.close()


def send(data):
    def behave(peer):
        peer.send(data)
        answer_quit(peer)
    return behave


def endless(chunk):
    """Sends `chunk` again and again until the client goes away."""
    def behave(peer):
        try:
            while True:
                peer.send(chunk)
                time.sleep(0.002)  # endless, but without taking a whole core
        except OSError:
            pass
    return behave


def endless_until_quit(chunk):
    """Sends `chunk` again and again until QUIT comes, and never answers it."""
    def behave(peer):
        while b"QUIT" not in peer.record:
            peer.send(chunk)
            if select.select([peer.connection], [], [], 0.05)[0]:
                peer._more()
        peer.until_closed(limit=60)
    return behave


def drip(data):
    """One byte per second."""
    def behave(peer):
        try:
            for byte in data:
                peer.send(bytes([byte]))
                time.sleep(1)
        except OSError:
            return
        peer.until_closed(limit=60)
    return behave


def echo_secret(peer):
    """Answers the password with the line it got and its decoded form, as
    servers do that quote a command they refuse."""
    import base64
    line = peer.line()
    peer.send(b"535 5.7.8 Refused " + line[:-2] + b" (" + base64.b64decode(line) + b")\r\n")
    answer_quit(peer)


def after(stage, behave):
    """Plays the regular dialog up to the client's command of `stage` (read,
    not answered), then behaves."""
    def script(peer, index):
        if stage == "greeting":
            return behave(peer)
        peer.send(b"220 hostile.example ESMTP\r\n")
        for name, answer in STAGES:
            if name == "message":
                peer.message()
            else:
                peer.line()
            if name == stage:
                return behave(peer)
            peer.send(answer)
    return script


def mid_message(behave):
    """Reads the first bytes of the message, then behaves."""
    def script(peer, index):
        after("data", lambda p: None)(peer, index)  # stops before answering DATA
        peer.send(b"354 go\r\n")
        peer._more()
        behave(peer)
    return script


OPEN = "open"  # the connection failed: the "Öffnen der SMTP" line
SENT_REPORT = "sent"
# Seconds a run may take: no wait at all, one and two 15-second limits
# (more under Wine, where thirty programs start at once).
SLACK = 30 if ON_WINDOWS else 0
QUICK, ONE_LIMIT, TWO_LIMITS = (0, 10 + SLACK), (14.5, 27 + SLACK), (29.5, 42 + SLACK)

HOSTILE = {
    # early close, at every stage of the dialog
    "close-at-greeting": (after("greeting", close), [OPEN], QUICK),
    "close-at-ehlo": (after("ehlo", close), [-6], QUICK),
    "close-at-auth": (after("auth", close), [-6], QUICK),
    "close-at-user": (after("user", close), [-6], QUICK),
    "close-at-password": (after("password", close), [-6], QUICK),
    "close-at-mail": (after("mail", close), [-6], QUICK),
    "close-at-rcpt": (after("rcpt", close), [-6], QUICK),
    "close-at-data": (after("data", close), [-6], QUICK),
    "reset-in-message": (mid_message(reset), [-6], QUICK),
    "close-after-message": (after("message", close), [-6], QUICK),
    "close-at-quit": (after("quit", close), [SENT_REPORT], QUICK),
    # silent after the message: its "." got no answer; QUIT is not answered either
    "silent-after-message": (after("message", close_at_quit), [-6], ONE_LIMIT),
    # silent: no greeting; continuation lines that never end the reply, and
    # QUIT gets no answer
    "silent-greeting": (after("greeting", silent), [OPEN], ONE_LIMIT),
    "endless-continuation-after-ehlo": (after("ehlo", endless_until_quit(b"250-more to come\r\n")),
                                        [-3], ONE_LIMIT),
    # a server that stops reading: the message stalls for one limit, its
    # answer is waited for during another; QUIT cannot go out any more
    "never-reads-the-message": (mid_message(lambda peer: time.sleep(45)), [-6], TWO_LIMITS),
    # long replies
    "megabyte-greeting": (after("greeting", send(b"220 " + b"g" * 1_000_000)), [OPEN], QUICK),
    "megabyte-line-after-ehlo": (after("ehlo", send(b"250-" + b"x" * 1_000_000 + b"\r\n")),
                                 [-3], QUICK),
    # NUL bytes
    "nul-greeting": (after("greeting", send(b"\0220 hi\r\n")), [OPEN], QUICK),
    "nul-flood-after-ehlo": (after("ehlo", endless(b"\0" * 4096)), [-3], QUICK),
    "nul-drip-after-ehlo": (after("ehlo", drip(b"\0" * 40)), [-6], TWO_LIMITS),
    # endless output
    "endless-continuation-after-auth": (after("auth", endless(b"334-more\r\n")), [-3], QUICK),
    "endless-235-after-password": (after("password", endless(b"235-ok\r\n")), [-3], QUICK),
    "endless-greeting-bytes": (after("greeting", endless(b"220 " + b"x" * 1000)), [OPEN], QUICK),
    "endless-bytes-after-mail": (after("mail", endless(b"y" * 1000)), [-3], QUICK),
    # garbage codes
    "garbage-greeting": (after("greeting", send(b"\xff\xfe\xfd garbage\r\n")), [OPEN], QUICK),
    "letters-after-ehlo": (after("ehlo", send(b"abc def\r\n")), [-3], QUICK),
    "short-code-after-rcpt": (after("rcpt", send(b"25\r\n")), [-3], QUICK),
    "negative-code-after-data": (after("data", send(b"-54 no\r\n")), [-3], QUICK),
    # a slow drip of one byte per second: a greeting that is not whole within
    # the limit fails each open; a slow but whole reply moves the dialog on,
    # and then the server falls silent (and does not answer QUIT)
    "drip-greeting": (after("greeting", drip(b"220-" + b"s" * 20 + b"\r\n220 slow\r\n")),
                      [OPEN, OPEN], TWO_LIMITS),
    "drip-after-ehlo": (after("ehlo", drip(b"250 slow\r\n")), [-6], (37, 52 + SLACK)),
    # the password quoted back in a refusal
    "echo-of-password": (after("user", lambda peer: (peer.send(STAGES[2][1]),
                                                    echo_secret(peer))), [-5], QUICK),
}


# A message far larger than the socket buffers, so that the reset meets the
# client while it still sends.
SETTINGS = {"reset-in-message": {"Mail_Body": "B" * 4_000_000},
            "never-reads-the-message": {"Mail_Body": "B" * 8_000_000}}


@pytest.fixture(scope="module")
def hostile_runs(tmp_path_factory):
    """Runs every hostile server against its own installation, all at once."""
    from conftest import Veltrum
    from smtp_peers import ScriptedServer, mail_runs_at_once

    runs = {}
    for name, (script, reports_expected, _) in HOSTILE.items():
        root = tmp_path_factory.mktemp(name)
        veltrum = Veltrum(root / "program")
        running = ScriptedServer(script)
        mail_conf(veltrum, running.port, Mail_Password=SECRET, **SETTINGS.get(name, {}))
        folder = root / "watched"
        old_files(folder, *[f"{i}.lck" for i in range(len(reports_expected))])
        runs[name] = {"veltrum": veltrum, "server": running, "folder": folder}

    mail_runs_at_once(runs)
    yield runs
    for entry in runs.values():
        entry["server"].stop()


def test_endless_continuation_is_given_up(hostile_runs):
    entry = hostile_runs["endless-continuation-after-ehlo"]
    assert reports(entry["veltrum"])[0][1].endswith("Servermeldung: 250-more to come")
    session = bytes(entry["server"].sessions[0])
    # A reply that never ends is no reply: nothing but QUIT follows EHLO.
    assert session == b"Ehlo Mailwerk\r\nQUIT\r\n"


def secret_forms():
    import base64
    plain = cp(SECRET)
    return {"plain": plain, "utf-8": SECRET.encode(), "base64": base64.b64encode(plain)}


@pytest.mark.parametrize("name", HOSTILE)
def test_hostile_server(hostile_runs, name):
    _, expected, bound = HOSTILE[name]
    entry = hostile_runs[name]
    veltrum, completed = entry["veltrum"], entry["completed"]
    assert completed.returncode == 0  # no crash: a signal gives a negative code
    assert bound[0] < entry["took"] < bound[1]
    got = []
    for kind, text in reports(veltrum):
        if text.startswith("Öffnen der SMTP"):
            got.append(OPEN)
            assert kind == "ERR"
        elif text.startswith("E-Mail wurde"):
            got.append(SENT_REPORT)
            assert kind == "LOG"
        else:
            got.append(int(text.split("Status: ")[1].split(",")[0]))
            assert kind == "ERR"
    assert got == expected
    # The password reaches the server, and nothing else.
    written = veltrum.log_bytes() + completed.stdout + completed.stderr
    for form, secret in secret_forms().items():
        assert secret not in written, f"the password in {form} form"


def quoting_password(peer):
    """Asks for the password after the user name, then refuses it, quoting
    the base64 line it got and the plain."""
    import base64
    peer.send(STAGES[2][1])
    line = peer.line()
    peer.send(b"535 5.7.8 " + line[:-2] + b" / " + base64.b64decode(line) + b" refused\r\n")
    answer_quit(peer)


@pytest.mark.parametrize("password,stage,behave,logged", [
    # A one-letter password: the refusal stays exact, what was sent is masked.
    ("p", "rcpt", send(b"452 4.5.3 Too many recipients\r\n"), "452 4.5.3 Too many recipients"),
    ("p", "user", quoting_password, "535 5.7.8 *** / p refused"),
    # An ordinary word is no more masked than a letter: masking shows where it stood.
    ("mail", "rcpt", send(b"550 mail box unavailable\r\n"), "550 mail box unavailable"),
    # Eight characters and more: the plain password too, wherever it stands.
    ("Kennwort-42", "user", quoting_password, "535 5.7.8 *** / *** refused"),
    ("Kennwort-42", "rcpt", send(b"550 Kennwort-42 S2VubndvcnQtNDI= S2VubndvcnQtNDI\r\n"),
     "550 *** *** ***"),
])
def test_the_password_mask_leaves_the_server_line_exact(veltrum, tmp_path, server, password,
                                                        stage, behave, logged):
    mail_conf(veltrum, server(after(stage, behave)).port, Mail_Password=password)
    result, _ = run_mail(veltrum, tmp_path)
    (kind, text), = reports(veltrum)
    assert text.endswith("Servermeldung: " + logged)
    assert text in result.console()


# Runs a command in a private user, mount and network namespace whose only
# name server is a stub on loopback that reads every query and never answers.
SILENT_RESOLVER = r'''
import fcntl, os, socket, struct, subprocess, sys, threading
folder, command = sys.argv[1], sys.argv[2:]
probe = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
fcntl.ioctl(probe, 0x8914, struct.pack("16sH14s", b"lo", 0x1 | 0x40, b""))  # loopback up
stub = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
stub.bind(("127.0.0.1", 53))
queries = []
threading.Thread(target=lambda: [queries.append(stub.recv(4096)) for _ in iter(int, 1)],
                 daemon=True).start()
conf = os.path.join(folder, "resolv.conf")
with open(conf, "w") as out:
    out.write("nameserver 127.0.0.1\noptions timeout:30 attempts:3\n")
subprocess.run(["mount", "--bind", conf, "/etc/resolv.conf"], check=True)
code = subprocess.run(command).returncode
print(len(queries))
sys.exit(code)
'''


def test_a_resolver_that_never_answers_fails_the_open_within_the_limit(veltrum, tmp_path):
    from conftest import needs_granted
    # What the stub's namespace does, tried first: not every machine grants it.
    needs_granted("unshare", "-rmn", "mount", "--bind", "/etc/resolv.conf", "/etc/resolv.conf")
    import subprocess
    from conftest import RUNNER
    mail_conf(veltrum, 25, Mail_SMTP="smtp.veltrum.test")
    folder = tmp_path / "watched"
    old_files(folder, "alt.lck")
    started = time.monotonic()
    completed = subprocess.run(
        ["unshare", "-rmn", "/usr/bin/python3", "-c", SILENT_RESOLVER, str(tmp_path)] + RUNNER +
        [str(veltrum.program), "/f", str(folder / "*.lck"), "/t", "-60", "/a", "mail", "/m"],
        cwd=veltrum.folder, stdin=subprocess.DEVNULL, capture_output=True, timeout=300)
    took = time.monotonic() - started
    assert completed.returncode == 0, completed.stderr
    assert int(completed.stdout.splitlines()[-1]) > 0, "the stub got no query"
    assert 14 < took < 30
    assert reports(veltrum) == [("ERR", OPEN_FAILED + "Server smtp.veltrum.test, Port 25: "
                                 "keine Antwort innerhalb von 15 Sekunden")]
