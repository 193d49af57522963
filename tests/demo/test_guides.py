"""The commands that the guides give, run as they stand there: a reader
pastes them into a shell in the repository's folder."""

import os
import re
import subprocess

BUILD = os.environ["OV_BUILD_DIR"]
SOURCE = os.environ["OV_SOURCE_DIR"]
PAGE_DIR = os.path.join(BUILD, "page-test")


def guide_command(guide, program):
    """The one indented command line of guide that starts program."""
    with open(os.path.join(SOURCE, "docs", guide), encoding="utf-8") as f:
        commands = re.findall(r"^    (%s .*)$" % re.escape(program), f.read(), re.M)
    assert len(commands) == 1, commands
    return commands[0]


def test_page_command_of_the_web_developers_guide_runs_the_page():
    command = guide_command("web-developers.md", "scripts/page")
    # The package server knows no such package: the page's install ends
    # with the size probe's failure, as the guide shows for a page without
    # a server, and the page reports it.
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY" and not k.startswith("WINE")}
    env.update(OV_PAGE_BUILD_DIR=BUILD, OV_PAGE_DIR=PAGE_DIR, OV_PAGE_FRESH="1")
    done = subprocess.run(["bash", "-c", command], cwd=SOURCE, env=env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
    output = done.stdout.decode("utf-8", "replace")
    assert done.returncode == 1, output
    lines = output.splitlines()
    assert "page: update control created" in lines, output
    assert any(re.match(r"page: GetActiveXObject\(\{0E5C1B2A-.*\): result 5006 "
                        r"DLL_CANT_GETFILESIZE$", line) for line in lines), output
    assert "FAIL: page: the sample control is not available: DLL_CANT_GETFILESIZE" in lines, output
