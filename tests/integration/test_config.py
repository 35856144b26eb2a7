"""The configuration file beside the program: its format, the settings it
fills and the "Init-" lines that report them."""
import os

import pytest

from conftest import ON_WINDOWS, cp, posix_only, sep

FULL = {
    "Mail_SMTP": "mx.example.org",
    "Mail_User": "watchdog",
    "Mail_Password": "s3cr3t-Pa55",
    "Mail_From": "watchdog@example.org",
    "Mail_To": "ops@example.org",
    "Mail_Subject": "Alte Datei",
    "Mail_Port": "25",
    "Mail_Body": "Bitte pr\u00fcfen",
    "Exec": "/opt/x/run.sh",
    "ExecParam": "eins zwei",
    "QuillboxDir": "/srv/quillbox/inbox",
    "Recursive": "1",
    "BreakIfLocated": "0",
}


def init_lines(veltrum):
    return [t for t in veltrum.texts() if t.startswith("Init-")]


def settings_of(veltrum, text):
    """Runs without options (the configuration is read all the same) and
    returns the Init lines."""
    veltrum.write_conf(text)
    result = veltrum.run()
    assert result.code == 0
    return init_lines(veltrum)


def value(lines, label):
    found = [line[len(label):] for line in lines if line.startswith(label)]
    assert len(found) == 1, (label, lines)
    return found[0]


def test_init_lines_byte_for_byte(veltrum):
    veltrum.write_conf(**FULL)
    veltrum.run()
    inits = [e.text for e in veltrum.log() if e.text.startswith(b"Init-")]
    assert inits == [
        b"Init-Mail_SMTP:mx.example.org",
        b"Init-Mail_User:watchdog",
        b"Init-Mail_Passw: ***gefunden***",
        b"Init-Mail_From         :watchdog@example.org",
        b"Init-Mail_To           :ops@example.org",
        b"Init-Mail_Subject      :Alte Datei",
        b"Init-Mail_Port         :25",
        cp("Init-Mail_Body         :Bitte pr\u00fcfen"),
        b"Init-Exec              :/opt/x/run.sh",
        b"Init-ExecParam         :eins zwei",
        b"Init-Recursive         :1",
        b"Init-strBreakIfLocated :0",
        b"Init-QuillboxDir:/srv/quillbox/inbox",
        cp("Init-Korrektur-QuillboxDir:/srv/quillbox/inbox" + sep()),
    ]
    # The padded labels put their colon in column 24.
    assert all(line.index(b":") == 23 for line in inits[3:12])
    # They follow the option lines and come before the search.
    texts = veltrum.texts()
    assert texts.index("Init-Mail_SMTP:mx.example.org") < texts.index(
        "Suche nach einzelner Datei erkannt")


def test_password_never_reaches_log_or_console(veltrum):
    veltrum.write_conf(**FULL)
    result = veltrum.run("/f", veltrum.folder / "x", "/t", "-60", "/a", "mail")
    assert b"s3cr3t" not in veltrum.log_bytes()
    assert b"s3cr3t" not in result.stdout + result.stderr
    veltrum.log_path.unlink()
    assert "Init-Mail_Passw: Kein Passwort" in settings_of(veltrum, "[Global]\r\nMail_Password=\r\n")


def test_missing_file_is_told_on_the_console_only(veltrum):
    result = veltrum.run()
    assert result.code == 0
    assert result.console().splitlines().count(
        "Konfigurationsdatei konnte nicht gefunden werden.") == 1
    texts = veltrum.texts()
    assert not [t for t in texts if t.startswith("Init-") or "Konfiguration" in t]
    # The run goes on with the search.
    assert texts[-2:] == ["Suche nach einzelner Datei erkannt", "Abbruch wegen Parameterfehler"]


def test_folder_in_place_of_the_file_counts_as_missing(veltrum):
    veltrum.conf_path.mkdir()
    result = veltrum.run()
    assert "Konfigurationsdatei konnte nicht gefunden werden." in result.console()
    assert not init_lines(veltrum)


@posix_only
def test_named_pipe_in_place_of_the_file_does_not_hang(veltrum):
    os.mkfifo(veltrum.conf_path)
    result = veltrum.run(timeout=20)
    assert "Konfigurationsdatei konnte nicht gefunden werden." in result.console()


def test_empty_file_and_file_without_global_give_defaults(veltrum):
    for text in ["", "; nur ein Kommentar\r\n[Andere]\r\nMail_SMTP=a.b.c\r\n",
                 "[ Global ]\r\nMail_SMTP=a.b.c\r\n", "Mail_SMTP=a.b.c\r\n[Global]\r\n"]:
        veltrum.log_path.unlink(missing_ok=True)
        lines = settings_of(veltrum, text)
        assert value(lines, "Init-Mail_SMTP:") == ""
        assert value(lines, "Init-Recursive         :") == "0"
        assert value(lines, "Init-strBreakIfLocated :") == "0"
        assert value(lines, "Init-QuillboxDir:") == ""
        assert value(lines, "Init-Korrektur-QuillboxDir:") == sep()


def test_lookup_rules(veltrum):
    lines = settings_of(veltrum, (
        "Mail_User=before-the-group\r\n"
        "[global]\r\n"
        "MAIL_SMTP=x.y.z\r\n"
        "  Mail_Port   =   587   \r\n"
        'Exec="/opt/my tools/run.sh"\r\n'
        "Recursive=\r\n"
        "Mail_To=first@x.y\r\n"
        "mail_to=second@x.y\r\n"
        "Mail_Body = a=b ; [c] \"d\"\r\n"
        "; Mail_From=commented@x.y\r\n"
        "#Mail_Subject=hash\r\n"
        "[Other]\r\n"
        "Mail_User=other-group\r\n"))
    assert value(lines, "Init-Mail_SMTP:") == "x.y.z"
    assert value(lines, "Init-Mail_Port         :") == "587"
    assert value(lines, "Init-Exec              :") == '"/opt/my tools/run.sh"'
    assert value(lines, "Init-Recursive         :") == ""  # found and empty: no default
    assert value(lines, "Init-Mail_To           :") == "first@x.y"
    assert value(lines, "Init-Mail_Body         :") == 'a=b ; [c] "d"'
    assert value(lines, "Init-Mail_From         :") == ""
    assert value(lines, "Init-Mail_Subject      :") == ""
    assert value(lines, "Init-Mail_User:") == ""


@pytest.mark.parametrize("end", ["\r\n", "\n", "\r", "\r\n\r\n\n"])
def test_line_without_equals_and_every_kind_of_line_end(veltrum, end):
    lines = settings_of(veltrum, end.join(["[Global]", "Mail_To", "Mail_From=a@b.c",
                                           "QuillboxDir=/in" + sep(), ""]))
    assert value(lines, "Init-Mail_To           :") == ""
    assert value(lines, "Init-Mail_From         :") == "a@b.c"
    assert value(lines, "Init-QuillboxDir:") == "/in" + sep()
    assert not [line for line in lines if line.startswith("Init-Korrektur")]


def test_utf8_file_with_byte_order_mark(veltrum):
    veltrum.write_conf(b"\xef\xbb\xbf[Global]\r\nMail_Subject = Pr\xc3\xbcfung \xe2\x82\xac\xc5\x81\r\n"
                       b"Mail_Body=\xff\xfe\xc3\r\n")
    veltrum.run()
    inits = {e.text.split(b":")[0]: e.text for e in veltrum.log() if e.text.startswith(b"Init-")}
    # Windows keeps what Windows-1252 holds ("€"), not only Latin-1; POSIX keeps it all.
    assert inits[b"Init-Mail_Subject      "] == cp("Init-Mail_Subject      :Pr\u00fcfung \u20ac") + (
        b"?" if ON_WINDOWS else "\u0141".encode())
    body = inits[b"Init-Mail_Body         "].split(b":", 1)[1]
    assert body and set(body) == {ord("?")}


def test_without_byte_order_mark_a_windows_1252_file_keeps_its_umlauts(veltrum):
    # Taken as it is on Windows; on POSIX not valid UTF-8, so read as Windows-1252.
    veltrum.write_conf(b"[Global]\r\nMail_Subject=Pr\xfcfung \x80\r\n")
    veltrum.run()
    assert cp("Init-Mail_Subject      :Pr\u00fcfung \u20ac") in [e.text for e in veltrum.log()]


def test_quillbox_folder_gets_its_separator(veltrum):
    lines = settings_of(veltrum, "[Global]\r\nQuillboxDir = /srv/in box \r\n")
    assert value(lines, "Init-QuillboxDir:") == "/srv/in box"
    assert value(lines, "Init-Korrektur-QuillboxDir:") == "/srv/in box" + sep()
    assert lines[-1].startswith("Init-Korrektur-QuillboxDir:")


class TestBadFiles:
    def test_fifty_megabytes(self, veltrum):
        line = b"Filler=" + b"x" * 1017 + b"\r\n"  # 1 KiB per line
        veltrum.write_conf(b"[Global]\r\nMail_SMTP=a.b.c\r\n" + line * (50 * 1024)
                           + b"Exec=/last/one\r\n")
        lines = settings_of(veltrum, veltrum.conf_path.read_bytes())
        assert value(lines, "Init-Mail_SMTP:") == "a.b.c"
        assert value(lines, "Init-Exec              :") == "/last/one"

    def test_nul_bytes_end_lines(self, veltrum):
        lines = settings_of(veltrum, b"[Global]\r\nExec=/bin/a\x00/tmp/b\r\nMail_SMTP\x00=x\r\n"
                                     b"\x00\x00Mail_To=t@o.x\r\n")
        assert value(lines, "Init-Exec              :") == "/bin/a"
        assert value(lines, "Init-Mail_To           :") == "t@o.x"
        assert b"\x00" not in veltrum.log_bytes()

    def test_invalid_utf8_after_byte_order_mark(self, veltrum):
        lines = settings_of(veltrum, b"\xef\xbb\xbf[Global]\r\nMail_User=\xc3\r\nExec=\xe2\x82\r\n"
                                     b"Mail_To=\xf0\x9f\x98\x80@x.y\r\nMail_From=\x80\xbf\xfe\r\n")
        assert value(lines, "Init-Mail_User:") == "?"
        assert value(lines, "Init-Mail_To           :").endswith("@x.y")
        assert "?" in value(lines, "Init-Exec              :")
        assert set(value(lines, "Init-Mail_From         :")) == {"?"}

    def test_hundred_thousand_keys(self, veltrum):
        keys = b"".join(b"Key%d=%d\r\n" % (i, i) for i in range(100000))
        lines = settings_of(veltrum, b"[Global]\r\n" + keys + b"Mail_Port=2525\r\n")
        assert value(lines, "Init-Mail_Port         :") == "2525"
