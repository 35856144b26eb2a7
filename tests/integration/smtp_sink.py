#!/usr/bin/python3
"""A real SMTP server for the tests and the demo: aiosmtpd on a loopback
address, AUTH LOGIN accepted without TLS, every message saved exactly as it
arrived (the DATA bytes, dot-unstuffed). aiosmtpd's own limit of 1001 bytes
to a line stays: a longer line is refused, as real servers refuse it.

    smtp_sink.py --folder DIR [--host 127.1.0.1] [--password SECRET]
                 [--starttls CERT KEY | --tls CERT KEY] [--xoauth2 TOKEN [--echo-login]]

The chosen port goes to DIR/port (written whole, then renamed into place).
Message N is saved as DIR/NNN.eml, its envelope, login name and TLS version
(or null) as DIR/NNN.json.
With --password, only that password is accepted; any other gets 535.
With --only-plain the server offers AUTH PLAIN and not LOGIN.
With --starttls the server offers STARTTLS and wants it before anything
else (AUTH included); with --tls it speaks TLS from the first byte.
With --xoauth2 the server also offers AUTH XOAUTH2 and lets in only a login
text that carries that token; any other gets the error of the large mail
services: 334 with a base64 JSON error, and after the client's empty answer
535. DIR/logins.txt lists every XOAUTH2 attempt as JSON (the user, whether
it was let in, what the client answered to the 334). --echo-login makes the
535 quote the login text it refused, as a careless server might.
SIGTERM or SIGINT stops the server.
"""
import argparse
import asyncio
import base64
import binascii
import json
import os
import pathlib
import logging
import signal
import ssl

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Saver:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        stem = self.folder / f"{self.count:03d}"
        stem.with_suffix(".eml").write_bytes(envelope.original_content)
        login = session.auth_data.login if session.auth_data else None
        tls = server.transport.get_extra_info("ssl_object")
        # The password is not kept: with --password, being let in proves it.
        stem.with_suffix(".json").write_text(json.dumps({
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "login": login.decode("latin-1") if login else None,
            "tls": tls.version() if tls is not None else None,
        }))
        return "250 OK"


class TokenSaver(Saver):
    """Saver that also takes AUTH XOAUTH2 with one accepted token."""

    REFUSAL = {"status": "400", "schemes": "Bearer",
               "scope": "https://outlook.office365.com/.default"}

    def __init__(self, folder, token, echo):
        super().__init__(folder)
        self.token = token.encode("ascii")
        self.echo = echo
        self.logins = []

    def note(self, **attempt):
        self.logins.append(attempt)
        temporary = self.folder / "logins.tmp"
        temporary.write_text(json.dumps(self.logins))
        os.replace(temporary, self.folder / "logins.txt")

    async def auth_XOAUTH2(self, server, args):
        try:
            text = base64.b64decode(args[1] if len(args) == 2 else "", validate=True)
        except binascii.Error:
            text = b""
        parts = text.split(b"\x01")
        user = parts[0][5:] if parts[0].startswith(b"user=") else None
        if len(parts) == 4 and user and parts[1] == b"auth=Bearer " + self.token and \
                parts[2:] == [b"", b""]:
            self.note(user=user.decode("latin-1"), accepted=True)
            return AuthResult(success=True, auth_data=LoginPassword(user, b""))
        answer = await server.challenge_auth(json.dumps(self.REFUSAL))
        self.note(user=user.decode("latin-1") if user else None, accepted=False,
                  answer=answer.decode("latin-1") if isinstance(answer, bytes) else None)
        message = "535 5.7.8 Username and Password not accepted"
        if self.echo and len(args) == 2:
            message += " for " + args[1]
        return AuthResult(success=False, handled=False, message=message)


def make_authenticator(password, encoding):
    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = password is None or auth_data.password == password.encode(encoding)
        return AuthResult(success=ok, handled=False, auth_data=auth_data)
    return authenticate


def tls_context(pair):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(*pair)
    return context


async def serve(arguments):
    folder = pathlib.Path(arguments.folder)
    folder.mkdir(parents=True, exist_ok=True)
    if arguments.xoauth2:
        handler = TokenSaver(folder, arguments.xoauth2, arguments.echo_login)
    else:
        handler = Saver(folder)
    authenticator = make_authenticator(arguments.password, arguments.password_encoding)
    loop = asyncio.get_running_loop()
    options = {"auth_require_tls": False}
    if arguments.starttls:
        options = {"tls_context": tls_context(arguments.starttls), "require_starttls": True,
                   "auth_require_tls": True}
    if arguments.only_plain:
        options["auth_exclude_mechanism"] = ["LOGIN"]
    implicit = tls_context(arguments.tls) if arguments.tls else None
    server = await loop.create_server(
        lambda: SMTP(handler, authenticator=authenticator, hostname="sink.test",
                     **options),
        host=arguments.host, port=0, ssl=implicit)
    port = server.sockets[0].getsockname()[1]
    temporary = folder / "port.tmp"
    temporary.write_text(str(port))
    os.replace(temporary, folder / "port")
    stop = asyncio.Event()
    for signal_number in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(signal_number, stop.set)
    await stop.wait()
    server.close()
    await server.wait_closed()


def main():
    # aiosmtpd 1.4 logs a warning about its own use of a deprecated session field.
    logging.getLogger("mail.log").setLevel(logging.ERROR)
    parser = argparse.ArgumentParser()
    parser.add_argument("--folder", required=True)
    parser.add_argument("--host", default="127.1.0.1")
    parser.add_argument("--password")
    # The program sends the password's bytes as they are: UTF-8 on POSIX.
    parser.add_argument("--password-encoding", default="latin-1")
    parser.add_argument("--starttls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--xoauth2", metavar="TOKEN")
    parser.add_argument("--echo-login", action="store_true")
    parser.add_argument("--only-plain", action="store_true")
    asyncio.run(serve(parser.parse_args()))


if __name__ == "__main__":
    main()
