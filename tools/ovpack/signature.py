"""The package's Authenticode signature, judged before anything else as the
installer judges it: an unsigned or altered package, or one whose signer
does not chain to a trusted root at the time it was signed, ends the
install with 5002 DLL_INVALID_SIGNCODE before it is unpacked.

osslsigncode does the verifying; this module turns its report into one
line. Like the installer, it judges the signer's chain at the time that a
trusted time stamp names, or else now: a package without a time stamp stops
installing when its signing certificate expires. Without CA certificates
only the presence and the integrity of the signature can be told; the chain
is then left to the players' Windows.
"""

import calendar
import os
import re
import subprocess
import tempfile
import time

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
    if match:
        return match.group(1).strip()
    match = re.search(r"Verify error: (.*)$", report, re.M)
    if match:
        return match.group(1).strip()
    if "Unsupported Signer's certificate purpose" in report:
        return "the certificate is not for code signing"
    return "the chain does not verify"


def _utc(text):
    """osslsigncode's "Dec  9 16:31:17 2026 GMT" as "2026-12-09 16:31:17 UTC"."""
    moment = time.strptime(" ".join(text.split()), "%b %d %H:%M:%S %Y GMT")
    return time.strftime("%Y-%m-%d %H:%M:%S UTC", time.gmtime(calendar.timegm(moment)))


def _time_stamp(report):
    """(time, authority's subject or "") of the time stamp, or None."""
    match = re.search(r"^\s*Timestamp time: (.*)$", report, re.M)
    if not match:
        return None
    authority = re.search(r"Timestamp verified using:.*?Signer #0:\s*\n\s*Subject: (.*?)\s*$",
                          report, re.S | re.M)
    return _utc(match.group(1)), authority.group(1) if authority else ""


def _expiry(report):
    match = re.search(r"Signer #0:.*?notAfter : (.*?)\s*$", report, re.S | re.M)
    return _utc(match.group(1)) if match else "an unknown date"


def _dating(report, signer):
    """Which time the signer is judged at, in the words of ovpack's line."""
    stamp = _time_stamp(report)
    if stamp:
        return "signed at %s by %s, time stamp by %s" % (stamp[0], signer,
                                                         stamp[1] or "an authority not checked")
    return ("signed by %s, not time-stamped: stops installing when the certificate expires "
            "on %s" % (signer, _expiry(report)))


# Link signatures whose digests can be made to collide: the installer
# refuses a chain with any of them below its root.
_WEAK_LINKS = ("md2WithRSAEncryption", "md4WithRSAEncryption", "md5WithRSAEncryption")


def _weak_link(path):
    """The weak algorithm that signs a certificate of the signature other
    than a self-signed root, or ""."""
    with tempfile.TemporaryDirectory() as folder:
        signature = os.path.join(folder, "signature.der")
        subprocess.run(["osslsigncode", "extract-signature", "-in", path, "-out", signature],
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        if not os.path.exists(signature):
            return ""
        text = subprocess.run(["openssl", "pkcs7", "-inform", "DER", "-in", signature,
                               "-print_certs", "-text", "-noout"], stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
    for certificate in text.decode("utf-8", "replace").split("Certificate:")[1:]:
        algorithm = re.search(r"Signature Algorithm: (\S+)", certificate)
        issuer = re.search(r"Issuer: (.*)", certificate)
        subject = re.search(r"Subject: (.*)", certificate)
        if algorithm and algorithm.group(1) in _WEAK_LINKS and not (
                issuer and subject and issuer.group(1).strip() == subject.group(1).strip()):
            return algorithm.group(1)
    return ""


def judge(path, ca=None):
    """Verifies the signature of the package at path, against the CA
    certificates in the file ca when given (for the signer and for the
    time-stamping authority alike)."""
    # Revocation is judged apart (revocation.py): a distribution point that
    # cannot be reached must not fail the chain.
    args = ["osslsigncode", "verify", "-ignore-crl"] + \
        (["-CAfile", ca, "-TSA-CAfile", ca] if ca else []) + ["-in", path]
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
    dating = _dating(report, signer)
    if not ca:
        return Judgement(True, "%s; its chain was not checked (give --ca)" % dating, signer)
    weak = _weak_link(path)
    if done.returncode == 0 and "Signature verification: ok" in report and not weak:
        return Judgement(True, "%s; trusted by %s" % (dating, ca), signer)
    stamp = _time_stamp(report)
    when = " at the time stamped (%s)" % stamp[0] if stamp else ""
    reason = "a link of its chain is signed with %s" % weak if weak else _chain_error(report)
    return Judgement(False, "the signer %s does not chain to %s%s: %s"
                     % (signer, ca, when, reason), signer)
