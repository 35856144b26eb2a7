"""SMTP peers for the mail tests: a scripted server that records every byte,
and the real aiosmtpd server of smtp_sink.py.

Both listen on 127.1.0.1, a loopback address. The program is configured with
the host "127.1.1", the short form of the same address: the mail pre-check
wants exactly two dots in Mail_SMTP, which neither "127.0.0.1" nor
"localhost" has.
"""
import email
import email.policy
import os
import pathlib
import socket
import subprocess
import threading
import time

from conftest import ENCODING

LISTEN_HOST = "127.1.0.1"
PROGRAM_HOST = "127.1.1"
SINK_SCRIPT = pathlib.Path(__file__).with_name("smtp_sink.py")


def parsed(message):
    """The message as a mail program reads it (Python's `email` package with
    its current policy), after checking that the parser found no defect in
    it: not in the message, not in a part, not in a header field."""
    parsed_message = email.message_from_bytes(message, policy=email.policy.default)
    for part in parsed_message.walk():
        assert not part.defects, (part.defects, message[:2000])
        for name, value in part.items():
            assert not getattr(value, "defects", ()), (name, value.defects, message[:2000])
    return parsed_message


def unstuffed(data):
    """The message of a DATA text: the ending "." line removed, doubled dots undone."""
    lines = data[:-len(b".\r\n")].split(b"\r\n")
    return b"\r\n".join(line[1:] if line.startswith(b".") else line for line in lines)


class PeerGone(Exception):
    """The client closed the connection while the script expected more."""


class Peer:
    """One accepted connection as the script sees it."""

    def __init__(self, connection, record):
        self.connection = connection
        self.connection.settimeout(60)
        self.record = record  # every byte received on this connection
        self.pending = b""

    def send(self, data):
        self.connection.sendall(data)

    def _more(self):
        chunk = self.connection.recv(65536)
        if not chunk:
            raise PeerGone()
        self.record.extend(chunk)
        self.pending += chunk

    def line(self):
        """The next command line from the client, CR LF included."""
        while b"\r\n" not in self.pending:
            self._more()
        line, _, self.pending = self.pending.partition(b"\r\n")
        return line + b"\r\n"

    def message(self):
        """The DATA text up to and including the ending CR LF "." CR LF."""
        while b"\r\n.\r\n" not in self.pending:
            self._more()
        text, _, self.pending = self.pending.partition(b"\r\n.\r\n")
        return text + b"\r\n.\r\n"

    def until_closed(self, limit=60):
        """Reads (and records) until the client closes or `limit` seconds pass."""
        self.connection.settimeout(limit)
        try:
            while True:
                self._more()
        except (PeerGone, OSError):
            pass

    def close(self):
        self.connection.close()


class ScriptedServer:
    """Accepts connections on loopback and runs `script(peer, index)` for
    each, one at a time. `sessions[i]` holds the bytes the client sent on
    connection i."""

    def __init__(self, script):
        self.script = script
        self.sessions = []
        self.errors = []
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.bind((LISTEN_HOST, 0))
        self.listener.listen(8)
        self.port = self.listener.getsockname()[1]
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        index = 0
        while True:
            try:
                connection, _ = self.listener.accept()
            except OSError:
                return
            record = bytearray()
            self.sessions.append(record)
            peer = Peer(connection, record)
            try:
                self.script(peer, index)
            except (PeerGone, ConnectionError):
                # The client went away: closed, or reset because it closed
                # with bytes of ours unread. What it sent is in the record.
                pass
            except Exception as error:  # reported by stop()
                self.errors.append(error)
            finally:
                peer.close()
            index += 1

    def stop(self):
        try:
            self.listener.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.listener.close()
        self.thread.join(5)
        assert not self.errors, self.errors


def regular_dialog(peer, with_user=True, after_message=b"250 2.0.0 Ok: queued\r\n",
                   quit_reply=b"221 2.0.0 Bye\r\n", greeting=b"220 test.example ESMTP\r\n"):
    """The full dialog of a willing server; returns the DATA text."""
    if greeting is not None:
        peer.send(greeting)
    peer.line()
    if with_user:
        peer.send(b"250-test.example\r\n250-AUTH LOGIN\r\n250 8BITMIME\r\n")
        peer.line()
        peer.send(b"334 VXNlcm5hbWU6\r\n")
        peer.line()
        peer.send(b"334 UGFzc3dvcmQ6\r\n")
        peer.line()
        peer.send(b"235 2.7.0 Authentication successful\r\n")
    else:
        peer.send(b"250 test.example\r\n")
    while True:
        line = peer.line()
        if line == b"DATA\r\n":
            break
        peer.send(b"250 2.1.5 Ok\r\n")
    peer.send(b"354 End data with <CR><LF>.<CR><LF>\r\n")
    text = peer.message()
    parsed(unstuffed(text))
    peer.send(after_message)
    if quit_reply is not None:
        peer.line()
        peer.send(quit_reply)
    return text


class SinkServer:
    """The real aiosmtpd server of smtp_sink.py in its own process."""

    def __init__(self, folder, password=None, starttls=None, tls=None, options=()):
        self.folder = pathlib.Path(folder)
        command = ["/usr/bin/python3", str(SINK_SCRIPT), "--folder", str(self.folder),
                   "--host", LISTEN_HOST]
        if password is not None:
            command += ["--password", password, "--password-encoding", ENCODING]
        for option, pair in (("--starttls", starttls), ("--tls", tls)):
            if pair is not None:
                command += [option, str(pair[0]), str(pair[1])]
        self.process = subprocess.Popen(command + list(options))
        port_file = self.folder / "port"
        deadline = time.monotonic() + 20
        while not port_file.exists():
            assert self.process.poll() is None, "smtp_sink.py ended early"
            assert time.monotonic() < deadline, "smtp_sink.py did not start"
            time.sleep(0.05)
        self.port = int(port_file.read_text())

    def messages(self):
        """The messages received, each checked to parse without defects."""
        messages = [path.read_bytes() for path in sorted(self.folder.glob("*.eml"))]
        for message in messages:
            parsed(message)
        return messages

    def logins(self):
        """The XOAUTH2 attempts (with --xoauth2), in order."""
        import json
        path = self.folder / "logins.txt"
        return json.loads(path.read_text()) if path.exists() else []

    def envelopes(self):
        import json
        return [json.loads(path.read_text()) for path in sorted(self.folder.glob("*.json"))]

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


def mail_conf(veltrum, port, **overrides):
    """Writes a mail configuration for the scripted or real server."""
    keys = {
        "Mail_SMTP": PROGRAM_HOST,
        "Mail_Port": str(port),
        "Mail_User": "waechter",
        "Mail_Password": "Geheim-\xe4-42",
        "Mail_From": "Waechter <waechter@example.com>",
        "Mail_To": "ops@example.com",
        "Mail_Subject": "Alte Dateien",
        "Mail_Body": "Bitte nachsehen.",
    }
    keys.update(overrides)
    veltrum.write_conf(**keys)


def old_files(folder, *names, age_seconds=3 * 3600):
    """Creates files whose last write lies `age_seconds` in the past."""
    folder = pathlib.Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    stamp = time.time() - age_seconds
    paths = []
    for name in names:
        path = folder / name
        path.write_bytes(b"x")
        os.utime(path, (stamp, stamp))
        paths.append(path)
    return paths


def keeping(received):
    """The script of a willing server that keeps each DATA text in
    `received` before it answers QUIT: the text is there once the run ends."""
    def script(peer, index):
        received.append(regular_dialog(peer, quit_reply=None))
        peer.line()
        peer.send(b"221 2.0.0 Bye\r\n")
    return script


def mail_runs_at_once(runs):
    """Starts a mail run over `folder`/*.lck for every entry of `runs` (a dict
    with "veltrum" and "folder") at the same time and waits for them all; each
    entry gets the finished process as "completed" and its wall time as
    "took"."""
    from conftest import RUNNER, native

    def run(entry):
        started = time.monotonic()
        entry["completed"] = subprocess.run(
            RUNNER + [str(entry["veltrum"].program), "/f", native(entry["folder"] / "*.lck"),
                      "/t", "-60", "/a", "mail", "/m"],
            cwd=entry["veltrum"].folder, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
            stderr=subprocess.PIPE, timeout=120)
        entry["took"] = time.monotonic() - started

    threads = [threading.Thread(target=run, args=(entry,)) for entry in runs.values()]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
