#!/usr/bin/python3
"""TLS peers on loopback for the unit tests of the Windows TLS channel.

Started by the test (under Wine, as a host program) with a folder it can
reach: makes a test CA and server certificates there, listens on one port
per behaviour, writes "peers.txt" ("<name> <port>" lines) once every port
listens, and ends when the port named "stop" is connected to, or after
five minutes at the latest.

  tls_peer_for_tests.py FOLDER
"""

import datetime
import ipaddress
import os
import socket
import ssl
import sys
import threading
import time
import warnings

from cryptography import x509
from cryptography.hazmat.primitives import serialization
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

# The certificates are signed by the same helper as those of the integration
# tests (it keeps them verifiable under Wine).
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir,
                                "tests", "integration"))
from certificates import new_key, sign  # noqa: E402

NOW = datetime.datetime.now(datetime.timezone.utc)
DAY = datetime.timedelta(days=1)


def key():
    return new_key()


def name(common):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, common)])


def certificate(subject, subject_key, issuer, issuer_key, ca, names=(), addresses=(),
                not_before=NOW - DAY, not_after=NOW + 30 * DAY):
    builder = (x509.CertificateBuilder()
               .subject_name(name(subject)).issuer_name(name(issuer))
               .public_key(subject_key.public_key())
               .serial_number(x509.random_serial_number())
               .not_valid_before(not_before).not_valid_after(not_after)
               .add_extension(x509.BasicConstraints(ca=ca, path_length=None), critical=True)
               .add_extension(x509.SubjectKeyIdentifier.from_public_key(subject_key.public_key()),
                              critical=False))
    if ca:
        builder = builder.add_extension(
            x509.KeyUsage(digital_signature=True, content_commitment=False,
                          key_encipherment=False, data_encipherment=False,
                          key_agreement=False, key_cert_sign=True, crl_sign=True,
                          encipher_only=False, decipher_only=False), critical=True)
    else:
        alternatives = [x509.DNSName(n) for n in names]
        alternatives += [x509.IPAddress(ipaddress.ip_address(a)) for a in addresses]
        builder = builder.add_extension(x509.SubjectAlternativeName(alternatives), critical=False)
        builder = builder.add_extension(x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH]),
                                        critical=False)
    if issuer_key is not subject_key:
        builder = builder.add_extension(
            x509.AuthorityKeyIdentifier.from_issuer_public_key(issuer_key.public_key()),
            critical=False)
    return sign(builder, issuer_key)


def pem(*certificates):
    return b"".join(c.public_bytes(serialization.Encoding.PEM) for c in certificates)


def write(folder, file_name, data):
    with open(os.path.join(folder, file_name), "wb") as out:
        out.write(data)
    return os.path.join(folder, file_name)


def make_certificates(folder):
    """The trusted CA, a second CA nobody trusts, and server identities."""
    ca_key, other_key, middle_key = key(), key(), key()
    ca = certificate("Veltrum Test CA", ca_key, "Veltrum Test CA", ca_key, True)
    other = certificate("Untrusted Test CA", other_key, "Untrusted Test CA", other_key, True)
    middle = certificate("Veltrum Test Intermediate", middle_key, "Veltrum Test CA", ca_key, True)
    write(folder, "ca.pem", pem(ca))
    write(folder, "other-ca.pem", pem(other))
    write(folder, "two-cas.pem", b"Issuers we trust:\n" + pem(other) + b"\n" + pem(ca))

    def identity(label, issuer, issuer_key, chain=(), **kwargs):
        server_key = key()
        server = certificate(kwargs.pop("subject", "localhost"), server_key, issuer,
                             issuer_key or server_key, False, **kwargs)
        write(folder, label + "-key.pem", server_key.private_bytes(
            serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
            serialization.NoEncryption()))
        write(folder, label + ".pem", pem(server, *chain))
        return os.path.join(folder, label + ".pem"), os.path.join(folder, label + "-key.pem")

    local = dict(names=["localhost", "*.wild.test"], addresses=["127.0.0.1"])
    return {
        "good": identity("good", "Veltrum Test CA", ca_key, **local),
        "expired": identity("expired", "Veltrum Test CA", ca_key, not_before=NOW - 30 * DAY,
                            not_after=NOW - DAY, **local),
        "untrusted": identity("untrusted", "Untrusted Test CA", other_key, **local),
        "chain": identity("chain", "Veltrum Test Intermediate", middle_key, chain=[middle],
                          **local),
        "selfsigned": identity("selfsigned", "localhost", None, **local),
    }


def context(identity, maximum=None):
    server = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    server.load_cert_chain(*identity)
    if maximum is not None:
        server.minimum_version = ssl.TLSVersion.MINIMUM_SUPPORTED
        server.maximum_version = maximum
        server.set_ciphers("ALL:@SECLEVEL=0")
    return server


def echo(connection):
    """Echoes every byte until the client ends; "bye" ends it from here
    with the closing alert."""
    seen = b""
    while True:
        data = connection.recv(65536)
        if not data:
            return
        connection.sendall(data)
        seen = (seen + data)[-4:]
        if seen.endswith(b"bye\n"):
            connection.unwrap()
            return


def serve_tls(tls):
    def handle(raw):
        with tls.wrap_socket(raw, server_side=True) as connection:
            echo(connection)
    return handle


def record_ending(tls, folder):
    """Echoes like serve_tls and writes to "ending.txt" how the client
    ended: "close_notify" with the closing alert, "eof" without it."""
    # Python ignores an end without the alert unless told otherwise.
    tls.options &= ~getattr(ssl, "OP_IGNORE_UNEXPECTED_EOF", 0)

    def handle(raw):
        with tls.wrap_socket(raw, server_side=True, suppress_ragged_eofs=False) as connection:
            try:
                echo(connection)
                ending = b"close_notify"
            except (ssl.SSLError, OSError):
                ending = b"eof"
            write(folder, "ending.txt", ending)
    return handle


def record_server_name(tls, folder):
    """Writes the server name the client asked for to "server-name.txt"
    ("-" for none) during each handshake."""
    def remember(connection, server_name, context):
        write(folder, "server-name.txt", (server_name or "-").encode())
    tls.sni_callback = remember
    return serve_tls(tls)


def close_without_alert(tls):
    """Sends a line after the handshake and closes without the closing
    alert."""
    def handle(raw):
        connection = tls.wrap_socket(raw, server_side=True)
        connection.sendall(b"hello\n")
        time.sleep(0.2)
        connection.close()
    return handle


def cut_record(tls):
    """Sends half a record after the handshake, then closes."""
    def handle(raw):
        incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
        engine = tls.wrap_bio(incoming, outgoing, server_side=True)
        while True:
            try:
                engine.do_handshake()
                break
            except ssl.SSLWantReadError:
                raw.sendall(outgoing.read())
                data = raw.recv(65536)
                if not data:
                    return
                incoming.write(data)
        raw.sendall(outgoing.read())
        engine.write(b"x" * 1000)
        record = outgoing.read()
        raw.sendall(record[:len(record) // 2])
        time.sleep(0.2)
    return handle


def silent(raw):
    time.sleep(30)


def garbage(raw):
    raw.sendall(b"220 mail.example ESMTP ready, but no TLS here\r\n" * 20)
    time.sleep(30)


def close_after_hello(raw):
    raw.recv(65536)


def trickle(tls):
    """Answers the client's hello one byte every 200 ms."""
    def handle(raw):
        incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
        engine = tls.wrap_bio(incoming, outgoing, server_side=True)
        incoming.write(raw.recv(65536))
        try:
            engine.do_handshake()
        except ssl.SSLWantReadError:
            pass
        for byte in outgoing.read():
            raw.sendall(bytes([byte]))
            time.sleep(0.2)
    return handle


def listen(handler):
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.bind(("127.0.0.1", 0))
    server.listen(8)

    def accept_loop():
        while True:
            raw, _ = server.accept()

            def run(raw=raw):
                try:
                    handler(raw)
                except (OSError, ssl.SSLError):
                    pass
                finally:
                    raw.close()
            threading.Thread(target=run, daemon=True).start()
    threading.Thread(target=accept_loop, daemon=True).start()
    return server.getsockname()[1]


def main():
    warnings.simplefilter("ignore", DeprecationWarning)
    folder = sys.argv[1]
    identities = make_certificates(folder)
    stop = threading.Event()
    handlers = {label: serve_tls(context(identity)) for label, identity in identities.items()}
    handlers["tls11"] = serve_tls(context(identities["good"], ssl.TLSVersion.TLSv1_1))
    handlers["tls12"] = serve_tls(context(identities["good"], ssl.TLSVersion.TLSv1_2))
    handlers["ending"] = record_ending(context(identities["good"]), folder)
    handlers["server-name"] = record_server_name(context(identities["good"]), folder)
    handlers["no-alert"] = close_without_alert(context(identities["good"]))
    handlers["cut-record"] = cut_record(context(identities["good"]))
    handlers["silent"] = silent
    handlers["garbage"] = garbage
    handlers["closes"] = close_after_hello
    handlers["trickle"] = trickle(context(identities["good"]))
    handlers["stop"] = lambda raw: stop.set()
    lines = "".join("%s %d\n" % (label, listen(h)) for label, h in handlers.items())
    write(folder, "peers.tmp", lines.encode())
    os.replace(os.path.join(folder, "peers.tmp"), os.path.join(folder, "peers.txt"))
    stop.wait(300)


if __name__ == "__main__":
    main()
