"""Screenshots of the setup window under the bench's X display, kept in
BUILD/artifacts/wizard: mid-download, waiting for another job, the failure
message of 5007 and the cancel question, in English and as a Korean user. Each is checked for the
window's cut corners, the bar's fill and a drawn status line."""

import os
import subprocess
import time

import pytest

BUILD = os.environ["OV_BUILD_DIR"]
BENCH = os.environ["OV_BENCH_DIR"]
SOURCE = os.environ["OV_SOURCE_DIR"]
ARTIFACTS = os.path.join(BUILD, "artifacts", "wizard")
SCENES = os.path.join(BUILD, "tests", "wizard", "wizard_scenes.exe")


def bench_env():
    env = dict(os.environ)
    with open(os.path.join(BENCH, "env")) as lines:
        for line in lines:
            key, _, value = line.removeprefix("export ").strip().partition("=")
            env[key] = value
    return env


def pixel(png, x, y):
    out = subprocess.run(["convert", png, "-crop", f"1x1+{x}+{y}", "-depth", "8", "txt:-"],
                         check=True, capture_output=True, text=True).stdout
    rgb = out.splitlines()[1].split("(")[1].split(")")[0]
    return tuple(int(float(v)) for v in rgb.split(",")[:3])


def dark_pixels(png, left, top, width, height):
    """Pixels darker than mid grey in a rectangle: drawn text."""
    out = subprocess.run(["convert", png, "-crop", f"{width}x{height}+{left}+{top}", "-depth", "8",
                          "-colorspace", "Gray", "-threshold", "50%", "-format", "%[fx:mean]",
                          "info:"], check=True, capture_output=True, text=True).stdout
    return round((1 - float(out)) * width * height)


def settled_screenshot(display, png):
    """Saves a screenshot of the X display once two in a row are the same:
    Wine puts a window's paint on the display after the paint itself."""
    previous = None
    for _ in range(50):
        shot = subprocess.run(["import", "-window", "root", "-display", display, "-depth", "8",
                               "ppm:-"], check=True, capture_output=True).stdout
        if shot == previous:
            break
        previous = shot
    else:
        raise AssertionError("the display never settled")
    subprocess.run(["convert", "ppm:-", png], input=shot, check=True)


def shoot(scene, lang, tmp_path):
    os.makedirs(ARTIFACTS, exist_ok=True)
    ready, go = tmp_path / "ready", tmp_path / "go"
    env = bench_env()
    env["OV_LANG"] = lang
    proc = subprocess.Popen([os.path.join(SOURCE, "scripts", "wine-run"), BENCH, SCENES, scene,
                             str(ready), str(go)], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        deadline = time.time() + 60
        while not (ready.exists() and ready.stat().st_size > 0) and time.time() < deadline:
            time.sleep(0.1)
        assert ready.exists(), "the scene never stood"
        png = os.path.join(ARTIFACTS, f"{scene}-{lang}.png")
        settled_screenshot(env["DISPLAY"], png)
        go.touch()
        assert proc.wait(timeout=60) == 0
    finally:
        if proc.poll() is None:
            proc.kill()
    frames = [tuple(int(v) for v in line.split()) for line in ready.read_text().splitlines()]
    return png, frames


def check_wizard(png, frame):
    left, top, right, bottom = frame
    assert (right - left, bottom - top) == (300, 144)
    outline = pixel(png, left + 3, top)
    # The corner pixel is cut off: the desktop shows there, not the outline.
    assert pixel(png, left, top) != outline
    assert pixel(png, right - 1, bottom - 1) != outline
    assert pixel(png, left + 150, top) == outline


@pytest.mark.parametrize("lang", ["en", "ko"])
def test_mid_download(lang, tmp_path):
    png, (wizard,) = shoot("download", lang, tmp_path)
    check_wizard(png, wizard)
    left, top = wizard[:2]
    # The bar (client from (44, 75), 209 wide) is filled to 40 %: orange
    # up to about x = 83, the dark track after it.
    filled, track = pixel(png, left + 44 + 60, top + 80), pixel(png, left + 44 + 150, top + 80)
    assert filled[0] > 200 and filled[2] < 120
    assert track[0] < 120
    assert dark_pixels(png, left + 43, top + 95, 211, 16) > 40


@pytest.mark.parametrize("lang", ["en", "ko"])
def test_waiting_for_another_job(lang, tmp_path):
    png, (wizard,) = shoot("waiting", lang, tmp_path)
    check_wizard(png, wizard)
    left, top = wizard[:2]
    # Nothing downloaded yet: the dark track only, and the waiting line.
    assert pixel(png, left + 44 + 20, top + 80)[0] < 120
    assert dark_pixels(png, left + 43, top + 95, 211, 16) > 40


@pytest.mark.parametrize("lang", ["en", "ko"])
def test_failure_message(lang, tmp_path):
    png, (wizard, box) = shoot("failure", lang, tmp_path)
    check_wizard(png, wizard)
    left, top, right, bottom = box
    # Five lines in English, four in Korean: the box grows with its text.
    assert dark_pixels(png, left, top, right - left, bottom - top) > 200


@pytest.mark.parametrize("lang", ["en", "ko"])
def test_cancel_question(lang, tmp_path):
    png, (wizard, box) = shoot("cancel", lang, tmp_path)
    check_wizard(png, wizard)
    left, top, right, bottom = box
    assert dark_pixels(png, left, top, right - left, bottom - top) > 200
