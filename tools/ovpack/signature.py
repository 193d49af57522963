"""The package's Authenticode signature, judged before anything else as the
installer judges it: an unsigned or altered package, or one whose signer
does not chain to a trusted root, ends the install with 5002
DLL_INVALID_SIGNCODE before it is unpacked.

osslsigncode does the verifying; this module turns its report into one
line. Without CA certificates only the presence and the integrity of the
signature can be told; the chain is then left to the players' Windows.
"""

import re
import subprocess

from cabinet import ToolError


class Judgement:
    def __init__(self, holds, account, signer=""):
        self.holds = holds      # True when the install would pass the check
        self.account = account  # one line: why it holds or fails
        self.signer = signer    # the signer's subject, when there is a signature


def _signer(report):
    match = re.search(r"Signer #0:\s*\n\s*Subject: (.*)", report)
    return match.group(1).strip() if match else ""


def _chain_error(report):
    match = re.search(r"^\s*Error: (.*)$", report, re.M)
    return match.group(1).strip() if match else "the chain does not verify"


def judge(path, ca=None):
    """Verifies the signature of the package at path, against the CA
    certificates in the file ca when given."""
    args = ["osslsigncode", "verify"] + (["-CAfile", ca] if ca else []) + ["-in", path]
    try:
        done = subprocess.run(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT)
    except FileNotFoundError:
        raise ToolError("osslsigncode is not installed")
    report = done.stdout.decode("utf-8", "replace")
    signer = _signer(report)
    if "MISMATCH" in report:
        return Judgement(False, "the package was changed after it was signed (its digest does "
                                "not match the signature)", signer)
    if "No signature found" in report or not signer:
        return Judgement(False, "the package is not signed")
    if not ca:
        return Judgement(True, "signed by %s; its chain was not checked (give --ca)" % signer,
                         signer)
    if done.returncode == 0 and "Signature verification: ok" in report:
        return Judgement(True, "trusted by %s (signer %s)" % (ca, signer), signer)
    return Judgement(False, "the signer %s does not chain to %s: %s"
                     % (signer, ca, _chain_error(report)), signer)
