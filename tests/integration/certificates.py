"""Certificates made at test time: a test CA, server certificates signed by
it (for the test host name, for another name, expired), and a second CA the
program is never told about. Every test certificate, here and in the TLS
peer of the Windows unit tests, is signed through `sign()`.

The program reaches the test servers as "127.1.1" (see smtp_peers.py); that
text is no address to a certificate check, so the server certificates carry
it as a DNS name, beside the IP address 127.1.0.1.
"""
import datetime
import ipaddress
import pathlib

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.hazmat.primitives.asymmetric.utils import decode_dss_signature
from cryptography.x509.oid import NameOID

from smtp_peers import LISTEN_HOST, PROGRAM_HOST

DAY = datetime.timedelta(days=1)
# r and s of a P-256 signature fill their 32 bytes from this value on.
FULL_WIDTH = 1 << 248


def new_key():
    return ec.generate_private_key(ec.SECP256R1())


def full_width(certificate):
    """Whether r and s of the certificate's ECDSA signature fill 32 bytes."""
    r, s = decode_dss_signature(certificate.signature)
    return r >= FULL_WIDTH and s >= FULL_WIDTH


def sign(builder, key, short=False):
    """The certificate of `builder`, signed by `key` with SHA-256.

    Signed again until r and s both fill their 32 bytes: Wine's certificate
    chain check refuses a valid ECDSA signature whose r or s is shorter (it
    loses their leading zero bytes; about 1 signature in 128), as "bad
    signature in the chain", so a test CA of the Windows runs would fail its
    tests at random. A signature is random, so each try has the same odds.
    `short` asks for the opposite on purpose: r or s shorter than 32 bytes.
    """
    for _ in range(5000):
        certificate = builder.sign(key, hashes.SHA256())
        if full_width(certificate) != short:
            return certificate
    raise RuntimeError("no signature of the wanted width in 5000 tries")


def _name(text):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, text)])


def _pem(certificate):
    return certificate.public_bytes(serialization.Encoding.PEM)


def _key_pem(key):
    return key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                             serialization.NoEncryption())


class Authority:
    def __init__(self, name):
        self.key = new_key()
        now = datetime.datetime.utcnow()
        builder = (
            x509.CertificateBuilder().subject_name(_name(name)).issuer_name(_name(name))
            .public_key(self.key.public_key()).serial_number(x509.random_serial_number())
            .not_valid_before(now - DAY).not_valid_after(now + 30 * DAY)
            .add_extension(x509.BasicConstraints(ca=True, path_length=None), critical=True)
            .add_extension(x509.KeyUsage(digital_signature=True, key_cert_sign=True,
                                         crl_sign=True, content_commitment=False,
                                         key_encipherment=False, data_encipherment=False,
                                         key_agreement=False, encipher_only=False,
                                         decipher_only=False), critical=True))
        self.certificate = sign(builder, self.key)

    def pem(self):
        return _pem(self.certificate)

    def issue(self, dns_names=(PROGRAM_HOST,), addresses=(LISTEN_HOST,), expired=False,
              padding=0, short_signature=False):
        """A server certificate and key, both PEM. `padding` bytes of an
        extension make it as large as wanted; `short_signature` gives it a
        signature that Wine refuses (see `sign()`)."""
        key = new_key()
        now = datetime.datetime.utcnow()
        start, end = (now - 30 * DAY, now - DAY) if expired else (now - DAY, now + 30 * DAY)
        names = [x509.DNSName(n) for n in dns_names]
        names += [x509.IPAddress(ipaddress.ip_address(a)) for a in addresses]
        builder = (
            x509.CertificateBuilder().subject_name(_name(dns_names[0] if dns_names else "server"))
            .issuer_name(self.certificate.subject).public_key(key.public_key())
            .serial_number(x509.random_serial_number()).not_valid_before(start)
            .not_valid_after(end)
            .add_extension(x509.SubjectAlternativeName(names), critical=False)
            .add_extension(x509.ExtendedKeyUsage([x509.oid.ExtendedKeyUsageOID.SERVER_AUTH]),
                           critical=False))
        if padding:
            builder = builder.add_extension(
                x509.UnrecognizedExtension(x509.ObjectIdentifier("1.3.6.1.4.1.55555.1"),
                                           b"\x04\x83" + padding.to_bytes(3, "big") +
                                           b"p" * padding), critical=False)
        return _pem(sign(builder, self.key, short=short_signature)), _key_pem(key)


class Forgery(Authority):
    """A root with the name and serial number of `real` (both public) but a
    key of its own: a client that finds its anchor by those two alone trusts
    what the forger signs."""

    def __init__(self, real):
        self.key = ec.generate_private_key(ec.SECP256R1())
        original = real.certificate
        now = datetime.datetime.utcnow()
        builder = (x509.CertificateBuilder().subject_name(original.subject)
                   .issuer_name(original.issuer).public_key(self.key.public_key())
                   .serial_number(original.serial_number)
                   .not_valid_before(now - DAY).not_valid_after(now + 30 * DAY))
        for extension in original.extensions:
            builder = builder.add_extension(extension.value, extension.critical)
        self.certificate = builder.sign(self.key, hashes.SHA256())


def self_signed(dns_names=(PROGRAM_HOST,), addresses=(LISTEN_HOST,)):
    """A server certificate that signs itself, as small installations make
    them; certificate and key, both PEM."""
    key = new_key()
    now = datetime.datetime.utcnow()
    names = [x509.DNSName(n) for n in dns_names]
    names += [x509.IPAddress(ipaddress.ip_address(a)) for a in addresses]
    builder = (
        x509.CertificateBuilder().subject_name(_name(dns_names[0])).issuer_name(_name(dns_names[0]))
        .public_key(key.public_key()).serial_number(x509.random_serial_number())
        .not_valid_before(now - DAY).not_valid_after(now + 30 * DAY)
        .add_extension(x509.SubjectAlternativeName(names), critical=False))
    return _pem(sign(builder, key)), _key_pem(key)


class CertificateSet:
    """Everything a TLS test needs, written to `folder`."""

    def __init__(self, folder):
        self.folder = pathlib.Path(folder)
        self.folder.mkdir(parents=True, exist_ok=True)
        self.ca = Authority("Veltrum Test CA")
        self.stranger = Authority("Unknown CA")
        self.ca_file = self.write("ca.pem", self.ca.pem())
        self.server = self.pair("server", self.ca.issue())

    def write(self, name, data):
        path = self.folder / name
        path.write_bytes(data)
        return path

    def pair(self, stem, issued):
        """Writes certificate and key; gives (certificate path, key path)."""
        certificate, key = issued
        return self.write(stem + ".crt", certificate), self.write(stem + ".key", key)
