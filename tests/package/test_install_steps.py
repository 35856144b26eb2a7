"""The install steps beyond copying files (cmake/InstallSteps.cmake), run as
`cmake --install` runs them: the link in bin and the first configuration."""
import os

import pytest

from conftest import SOURCE, run


def install(destdir, prefix, program_dir):
    run("cmake", f"-DCMAKE_INSTALL_PREFIX={prefix}", f"-DVELTRUM_PROGRAM_DIR={program_dir}",
        f"-DVELTRUM_EXAMPLE_CONF={SOURCE / 'packaging' / 'veltrum.conf'}",
        "-P", SOURCE / "cmake" / "InstallSteps.cmake", env=dict(os.environ, DESTDIR=str(destdir)))


@pytest.mark.parametrize("prefix, program_dir, folder, link", [
    ("/usr/local", "lib/veltrum", "/usr/local/lib/veltrum", "../lib/veltrum/veltrum"),
    ("/home/ops/.local", "lib/veltrum", "/home/ops/.local/lib/veltrum", "../lib/veltrum/veltrum"),
    # Across top-level folders the link is absolute, within one relative.
    ("/usr", "/opt/veltrum", "/opt/veltrum", "/opt/veltrum/veltrum"),
    ("/opt/tools", "/opt/veltrum", "/opt/veltrum", "../../veltrum/veltrum"),
])
def test_the_link_leads_to_the_program_folder(tmp_path, prefix, program_dir, folder, link):
    install(tmp_path, prefix, program_dir)
    command = tmp_path / prefix.lstrip("/") / "bin" / "veltrum"
    assert os.readlink(command) == link
    resolved = link if link.startswith("/") else os.path.normpath(os.path.join(prefix, "bin", link))
    assert resolved == folder + "/veltrum"
    conf = tmp_path / folder.lstrip("/") / "veltrum.conf"
    assert conf.stat().st_mode & 0o777 == 0o600
    assert conf.read_bytes() == (SOURCE / "packaging" / "veltrum.conf").read_bytes()


def test_installing_again_keeps_the_configuration_and_renews_the_link(tmp_path):
    install(tmp_path, "/usr/local", "lib/veltrum")
    conf = tmp_path / "usr/local/lib/veltrum/veltrum.conf"
    conf.write_bytes(b"[Global]\nMail_Password = secret\n")
    command = tmp_path / "usr/local/bin/veltrum"
    command.unlink()
    command.write_bytes(b"an old program in the way")
    install(tmp_path, "/usr/local", "lib/veltrum")
    assert conf.read_bytes() == b"[Global]\nMail_Password = secret\n"
    assert os.readlink(command) == "../lib/veltrum/veltrum"
