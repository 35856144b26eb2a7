"""The mail login with an access token (Mail_Auth xoauth2): the pre-check of
its settings and the token request against a real local HTTPS endpoint.

The token is asked once per run, before the first mail; when that fails, no
mail of the run opens an SMTP connection, and each reports status -8 with
the endpoint's error. Neither the client secret nor the token appears in the
log or on the console in any form.
"""
import base64
import os
import time
import urllib.parse

import pytest

from conftest import cp, native, posix_only
from smtp_peers import PROGRAM_HOST, SinkServer, mail_conf, old_files
from certificates import CertificateSet
from token_endpoint import ACCESS_TOKEN, CLIENT_ID, CLIENT_SECRET, SCOPE, TOKEN_PATH, TokenEndpoint

TO = "ops@example.com"
MAILBOX = "waechter@example.com"
CHECK_FAILED = ("ERR", "Abbruch wegen Check-Fehler")


@pytest.fixture(scope="module")
def pki(tmp_path_factory):
    return CertificateSet(tmp_path_factory.mktemp("pki"))


@pytest.fixture
def endpoint(pki):
    endpoints = []

    def start(behaviour="grant"):
        endpoints.append(TokenEndpoint(pki, behaviour))
        return endpoints[-1]

    yield start
    for running in endpoints:
        running.stop()


def token_conf(veltrum, smtp_port, url, ca_file, **overrides):
    keys = {
        "Mail_User": MAILBOX,
        "Mail_Password": CLIENT_SECRET,
        "Mail_Security": "starttls",
        "Mail_CAFile": native(ca_file) if ca_file else "",
        "Mail_Auth": "xoauth2",
        "Mail_OAuthTokenURL": url,
        "Mail_OAuthClientId": CLIENT_ID,
        "Mail_OAuthScope": SCOPE,
    }
    keys.update(overrides)
    mail_conf(veltrum, smtp_port, Mail_To=TO, **keys)


def run_mail(veltrum, folder):
    started = time.monotonic()
    result = veltrum.run("/f", native(folder / "*.lck"), "/t", "-60", "/a", "mail", "/m")
    return result, time.monotonic() - started


def secret_forms():
    """Every form of the secret and the token a report could leak."""
    login = f"user={MAILBOX}\x01auth=Bearer {ACCESS_TOKEN}\x01\x01".encode()
    return [cp(CLIENT_SECRET), CLIENT_SECRET.encode("utf-8"),
            urllib.parse.quote(CLIENT_SECRET, safe="").encode(),
            base64.b64encode(cp(CLIENT_SECRET)).rstrip(b"="),
            ACCESS_TOKEN.encode(), base64.b64encode(login).rstrip(b"=")]


def assert_nothing_secret(veltrum, result, folder):
    shown = [veltrum.log_bytes(), result.stdout, result.stderr]
    shown += [path.read_bytes() for path in folder.rglob("*") if path.is_file()]
    for form in secret_forms():
        assert all(form not in text for text in shown), form


@pytest.mark.parametrize("overrides,message", [
    ({"Mail_Auth": "oauth"},
     "Check-mail: Unbekannter Wert für Mail_Auth: oauth (erlaubt: login, xoauth2)"),
    ({"Mail_Security": ""},
     "Check-mail: Mail_Auth xoauth2 verlangt Mail_Security starttls oder tls"),
    ({"Mail_Security": "none"},
     "Check-mail: Mail_Auth xoauth2 verlangt Mail_Security starttls oder tls"),
    ({"Mail_OAuthTokenURL": "http://127.0.0.1:9/token"},
     "Check-mail: Mail_OAuthTokenURL muss eine https-Adresse sein: http://127.0.0.1:9/token"),
    ({"Mail_OAuthClientId": ""}, "Check-mail: Mail_OAuthClientId fehlt für xoauth2"),
    ({"Mail_Password": ""}, "Check-mail: Mail_Password (Client-Secret) fehlt für xoauth2"),
    ({"Mail_User": ""}, "Check-mail: Mail_User (Postfach) fehlt für xoauth2"),
])
def test_settings_that_do_not_fit_fail_the_precheck(veltrum, tmp_path, pki, endpoint, server,
                                                    overrides, message):
    token = endpoint()
    smtp = server(lambda peer, index: peer.send(b"220 unexpected\r\n"))
    token_conf(veltrum, smtp.port, token.url, pki.ca_file, **overrides)
    folder = tmp_path / "watched"
    old_files(folder, "a.lck")
    result, _ = run_mail(veltrum, folder)
    entries = veltrum.kinds_and_texts()
    at = entries.index(("ERR", message))
    assert entries[at + 1] == CHECK_FAILED
    assert token.requests == [] and smtp.sessions == []
    assert_nothing_secret(veltrum, result, folder)


def test_init_lines_name_the_login_keys_but_never_the_secret(veltrum, tmp_path, pki, endpoint):
    token = endpoint()
    token_conf(veltrum, 25, token.url, pki.ca_file, Mail_Auth="XOAUTH2")
    veltrum.run("/f", native(tmp_path / "none.lck"), "/t", "-60", "/a", "mail")
    texts = veltrum.texts()
    for line in ["Init-Mail_Auth         :XOAUTH2", f"Init-Mail_OAuthTokenURL:{token.url}",
                 f"Init-Mail_OAuthClientId:{CLIENT_ID}", f"Init-Mail_OAuthScope   :{SCOPE}",
                 "Init-Mail_Passw: ***gefunden***"]:
        assert line in texts
    assert token.requests == []  # no file, no mail, no token


def failure_line(url, reason):
    return (f"E-Mail konnte nicht an {TO} über {PROGRAM_HOST} versendet werden. Status: -8,"
            f"Token-Anforderung an {url} fehlgeschlagen: {reason}")


AADSTS_SECRET = ("HTTP-Status 401, error: invalid_client, error_description: AADSTS7000215: "
                 "Invalid client secret provided. Ensure the secret being sent in the request "
                 "is the client secret value, not the client secret ID.")
TIMED_OUT = "keine vollständige Antwort innerhalb von 15 Sekunden"
TOO_LONG = "Antwort länger als 1048576 Bytes"


@pytest.mark.parametrize("behaviour,overrides,reason", [
    ("grant", {"Mail_Password": "falsches-Secret-42"}, AADSTS_SECRET),
    ("grant", {"Mail_OAuthClientId": "00000000-0000-0000-0000-000000000000"},
     "HTTP-Status 400, error: unauthorized_client, error_description: AADSTS700016: Application "
     "with identifier '00000000-0000-0000-0000-000000000000' was not found in the directory "
     "'Contoso'."),
    ("grant", {"Mail_OAuthScope": ""},
     "HTTP-Status 400, error: invalid_scope, error_description: AADSTS70011: The provided "
     "request must include a 'scope' input parameter."),
    ("no_token", {}, "Antwort ohne access_token"),
    ("not_object", {}, "JSON-Antwort ist kein Objekt"),
    ("not_string", {}, "access_token ist kein Text"),
    ("crlf_token", {}, "access_token enthält unzulässige Zeichen"),
    ("huge", {}, TOO_LONG),
    ("huge_stream", {}, TOO_LONG),
    ("quote_secret", {},
     "HTTP-Status 401, error: invalid_client, error_description: AADSTS7000215: Invalid client "
     "secret *** (***)"),
])
def test_token_failure_is_reported_once_per_mail_without_connection(
        veltrum, tmp_path, pki, endpoint, server, behaviour, overrides, reason):
    token = endpoint(behaviour)
    smtp = server(lambda peer, index: peer.send(b"220 unexpected\r\n"))
    token_conf(veltrum, smtp.port, token.url, pki.ca_file, **overrides)
    folder = tmp_path / "watched"
    old_files(folder, "a.lck", "b.lck", "c.lck")
    result, seconds = run_mail(veltrum, folder)

    line = failure_line(token.url, reason)
    assert veltrum.kinds_and_texts().count(("ERR", line)) == 3
    assert result.console().count(line) == 3
    assert len(token.requests) == 1  # asked once for the whole run
    assert smtp.sessions == []
    assert seconds < 20
    assert_nothing_secret(veltrum, result, folder)


@pytest.mark.parametrize("behaviour", ["silent", "trickle"])
def test_endpoint_that_does_not_finish_is_given_up_after_fifteen_seconds(
        veltrum, tmp_path, pki, endpoint, server, behaviour):
    token = endpoint(behaviour)
    smtp = server(lambda peer, index: peer.send(b"220 unexpected\r\n"))
    token_conf(veltrum, smtp.port, token.url, pki.ca_file)
    folder = tmp_path / "watched"
    old_files(folder, "a.lck", "b.lck")
    result, seconds = run_mail(veltrum, folder)

    line = failure_line(token.url, TIMED_OUT)
    assert veltrum.kinds_and_texts().count(("ERR", line)) == 2
    # Asked once for the whole run, and given up after the 15 s bound: the
    # upper limit only tells a bounded wait from none on a loaded machine.
    assert len(token.requests) == 1 and smtp.sessions == []
    assert 14 < seconds < 60
    assert_nothing_secret(veltrum, result, folder)


def test_form_fields_as_the_endpoint_received_them(veltrum, tmp_path, pki, endpoint, server):
    token = endpoint("no_token")
    token_conf(veltrum, 9, token.url, pki.ca_file)
    folder = tmp_path / "watched"
    old_files(folder, "a.lck")
    run_mail(veltrum, folder)
    [(path, headers, form, raw)] = token.requests
    assert path == TOKEN_PATH
    assert headers["Content-Type"] == "application/x-www-form-urlencoded"
    assert form == {"grant_type": ["client_credentials"], "client_id": [CLIENT_ID],
                    "client_secret": [CLIENT_SECRET], "scope": [SCOPE]}
    assert "+" not in raw and "&%" not in raw  # every reserved byte escaped


UNUSABLE_CA_FILE = "Check-mail: Zertifikatsdatei aus Mail_CAFile ist nicht verwendbar"


@pytest.mark.parametrize("ca_file,expected", [
    (None, "Zertifikat nicht vertrauenswürdig"),  # trusted by nothing
    ("other", "Zertifikat nicht vertrauenswürdig"),  # trusted by another CA only
    ("missing", UNUSABLE_CA_FILE),
    ("empty", UNUSABLE_CA_FILE),
    ("folder", UNUSABLE_CA_FILE),
])
def test_endpoint_certificate_is_verified(veltrum, tmp_path, pki, endpoint, ca_file, expected):
    token = endpoint()
    files = {None: None, "other": pki.write("stranger.pem", pki.stranger.pem()),
             "missing": tmp_path / "missing.pem", "empty": tmp_path / "empty.pem",
             "folder": tmp_path}
    (tmp_path / "empty.pem").write_bytes(b"")
    token_conf(veltrum, 9, token.url, files[ca_file])
    folder = tmp_path / "watched"
    old_files(folder, "a.lck")
    result, _ = run_mail(veltrum, folder)
    if expected == UNUSABLE_CA_FILE:
        prefix = expected  # the pre-check, before any connection
    else:
        prefix = failure_line(token.url, expected)
    lines = [t for k, t in veltrum.kinds_and_texts() if k == "ERR" and t.startswith(prefix)]
    assert len(lines) == 1
    # The form, and so the secret, never left. (WinHTTP sends the request's
    # head before its certificate can be looked at; the form is held back.)
    assert [form for _, _, form, _ in token.requests] in ([], [{}])
    assert_nothing_secret(veltrum, result, folder)


def test_endpoint_that_cannot_be_reached(veltrum, tmp_path, pki):
    closed = f"https://127.0.0.1:9{TOKEN_PATH}"
    token_conf(veltrum, 9, closed, pki.ca_file)
    folder = tmp_path / "watched"
    old_files(folder, "a.lck")
    run_mail(veltrum, folder)
    prefix = failure_line(closed, "Verbindung fehlgeschlagen")
    assert [t for k, t in veltrum.kinds_and_texts() if t.startswith(prefix)]


# -- the whole way: token, TLS and the real server ----------------------------

SENT_TLS = f"E-Mail wurde mit Status: 1 an {TO} über {PROGRAM_HOST} per TLS verschlüsselt versendet"


@pytest.fixture
def token_sink(tmp_path, pki):
    sinks = []

    def start(token=ACCESS_TOKEN, mode="starttls", echo=False):
        options = ["--xoauth2", token] + (["--echo-login"] if echo else [])
        sinks.append(SinkServer(tmp_path / f"sink{len(sinks)}", **{mode: pki.server},
                                options=options))
        return sinks[-1]

    yield start
    for sink in sinks:
        sink.stop()


@pytest.mark.parametrize("mode", ["starttls", "tls"])
def test_mails_delivered_with_one_token_for_the_run(veltrum, tmp_path, pki, endpoint, token_sink,
                                                    mode):
    token = endpoint()
    sink = token_sink(mode=mode)
    token_conf(veltrum, sink.port, token.url, pki.ca_file, Mail_Security=mode)
    folder = tmp_path / "watched"
    old_files(folder, "a.lck", "b.lck", "c.lck")
    result, _ = run_mail(veltrum, folder)

    assert len(token.requests) == 1
    assert veltrum.texts().count(f"Token von {token.url} erhalten") == 1
    assert veltrum.texts().count(SENT_TLS) == 3
    assert result.console().count(SENT_TLS) == 3
    assert len(sink.messages()) == 3
    assert [e["login"] for e in sink.envelopes()] == [MAILBOX] * 3
    assert sink.logins() == [{"user": MAILBOX, "accepted": True}] * 3
    assert_nothing_secret(veltrum, result, folder)


@pytest.mark.parametrize("echo", [False, True])
def test_token_refused_by_the_server(veltrum, tmp_path, pki, endpoint, token_sink, echo):
    token = endpoint()
    sink = token_sink(token="another-token", echo=echo)
    token_conf(veltrum, sink.port, token.url, pki.ca_file)
    folder = tmp_path / "watched"
    old_files(folder, "a.lck", "b.lck")
    result, _ = run_mail(veltrum, folder)

    refused = "535 5.7.8 Username and Password not accepted" + (" for ***" if echo else "")
    line = (f"E-Mail konnte nicht an {TO} über {PROGRAM_HOST} versendet werden. Status: -5,"
            f"Servermeldung: {refused},XOAUTH2-Status: 400")
    assert veltrum.kinds_and_texts().count(("ERR", line)) == 2
    assert result.console().count(line) == 2
    assert len(token.requests) == 1
    assert sink.messages() == []
    # Each login was refused with the JSON error and answered with the empty line.
    assert sink.logins() == [{"user": MAILBOX, "accepted": False, "answer": ""}] * 2
    assert_nothing_secret(veltrum, result, folder)


def test_token_failure_opens_no_connection_to_the_real_server(veltrum, tmp_path, pki, endpoint,
                                                              token_sink):
    token = endpoint("no_token")
    sink = token_sink()
    token_conf(veltrum, sink.port, token.url, pki.ca_file)
    folder = tmp_path / "watched"
    old_files(folder, "a.lck")
    result, _ = run_mail(veltrum, folder)
    assert ("ERR", failure_line(token.url, "Antwort ohne access_token")) in \
        veltrum.kinds_and_texts()
    assert sink.messages() == [] and sink.logins() == []


@posix_only  # Windows takes the system's proxy settings, not the environment
def test_request_goes_through_the_proxy_of_https_proxy(veltrum, tmp_path, pki, endpoint):
    token = endpoint()
    token_conf(veltrum, 9, token.url, pki.ca_file)
    folder = tmp_path / "watched"
    old_files(folder, "a.lck")
    environment = dict(os.environ, https_proxy="http://127.0.0.1:9", no_proxy="")
    veltrum.run("/f", native(folder / "*.lck"), "/t", "-60", "/a", "mail", "/m", env=environment)
    prefix = failure_line(token.url, "Verbindung fehlgeschlagen")
    assert [t for _, t in veltrum.kinds_and_texts() if t.startswith(prefix)]
    assert token.requests == []
