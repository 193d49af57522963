"""Configuring a build: one that names no publisher stops, with a message
that says how to name them, unless it is built without pins on purpose."""

import os
import subprocess
import tempfile

SOURCE = os.environ["OV_SOURCE_DIR"]
TOOLCHAIN = os.path.join(SOURCE, "cmake", "toolchain-x86_64-w64-mingw32.cmake")


def configure(*options):
    with tempfile.TemporaryDirectory(prefix="ov-configure-") as build:
        done = subprocess.run(["cmake", "-S", SOURCE, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                               "-DBUILD_TESTING=OFF", "-DCMAKE_TOOLCHAIN_FILE=" + TOOLCHAIN,
                               "-DOV_SHIPPED_BUILD_DIR=" + os.path.join(build, "shipped")]
                              + list(options),
                              stdin=subprocess.DEVNULL, capture_output=True, text=True)
    return done.returncode, done.stdout + done.stderr


def test_a_build_without_pinned_publishers_stops_with_how_to_pin():
    status, output = configure()
    assert status != 0, output
    text = " ".join(output.split())
    assert "OV_TRUSTED_SIGNERS is empty: this build would install packages signed by anyone " \
           "whose code-signing certificate Windows trusts." in text, output
    assert "-DOV_TRUSTED_SIGNERS=<SHA-256 thumbprint of your signing certificate or your " \
           "private CA>" in text, output
    assert "-DOV_ALLOW_ANY_PUBLISHER=ON builds without pins" in text, output


def test_a_build_without_pins_on_purpose_goes_on():
    status, output = configure("-DOV_ALLOW_ANY_PUBLISHER=ON")
    assert status == 0, output
    assert "Build files have been written" in output, output
