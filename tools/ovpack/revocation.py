"""Whether the package's signer or its time-stamping authority has been
revoked, as the installer asks it: by the revocation lists (CRLs) that
their certificates name as distribution points, and by lists the operator
gives (--crl). A revoked certificate ends the install with 5002 whatever the
time stamp says. When no list can be had, or none that its issuer signed,
the status is unknown: the package installs, unless the engine was built
with OV_REQUIRE_REVOCATION=ON.

osslsigncode does the judging against the lists that pass openssl's check
of their signature by a CA of --ca; fetching and that check are this
module's, so a list that cannot be fetched or trusted counts as none.
"""

import os
import re
import subprocess
import tempfile
import urllib.request

# Each distribution point gets this long to answer.
FETCH_SECONDS = 5

# The roles, as osslsigncode names their CRL checks.
_ROLES = {"Signature": "the signer", "Timestamp Server Signature": "the time-stamping authority"}


class Status:
    def __init__(self, revoked, account):
        self.revoked = revoked  # True when a trusted list names a certificate
        self.account = account  # one line: what was learned, and from which lists


def _verify(path, ca, crl_file):
    args = ["osslsigncode", "verify", "-CAfile", ca, "-TSA-CAfile", ca, "-ignore-cdp"]
    if crl_file:
        args += ["-CRLfile", crl_file, "-TSA-CRLfile", crl_file]
    done = subprocess.run(args + ["-in", path], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT)
    return done.stdout.decode("utf-8", "replace")


def _as_pem(data):
    """A list given in DER or PEM as PEM text, or None when it is neither."""
    form = "PEM" if data.lstrip().startswith(b"-----BEGIN") else "DER"
    done = subprocess.run(["openssl", "crl", "-inform", form, "-outform", "PEM"], input=data,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return done.stdout.decode("ascii", "replace") if done.returncode == 0 else None


def _signed_by_ca(pem, ca):
    done = subprocess.run(["openssl", "crl", "-noout", "-CAfile", ca], input=pem.encode("ascii"),
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    return done.returncode == 0 and b"verify OK" in done.stdout


def _fetch(url):
    """The list at url (through the proxy the environment names), or None."""
    try:
        with urllib.request.urlopen(url, timeout=FETCH_SECONDS) as answer:
            return answer.read()
    except (OSError, ValueError):
        return None


def _gather(report, ca, crl_files):
    """(trusted lists as PEM texts, sources of those, notes on the others)."""
    sources = list(crl_files)
    sources += sorted(set(re.findall(r"^Ignored (?:TSA's )?CRL distribution point: (\S+)$",
                                     report, re.M)))
    lists, used, notes = [], [], []
    for source in sources:
        if source in crl_files:
            with open(source, "rb") as f:
                data = f.read()
        else:
            data = _fetch(source)
        if data is None:
            notes.append("%s did not answer" % source)
            continue
        pem = _as_pem(data)
        if pem is None:
            notes.append("%s is not a revocation list" % source)
        elif not _signed_by_ca(pem, ca):
            notes.append("%s is not signed by its issuer" % source)
        else:
            lists.append(pem)
            used.append(source)
    return lists, used, notes


def _outcomes(report):
    """{role: error or ""} of each CRL check that osslsigncode reports."""
    outcomes, error = {}, ""
    for line in report.splitlines():
        if line.startswith("Certificate Revocation List verified using:"):
            error = ""
        match = re.match(r"^\s*Error: (.*)$", line)
        if match:
            error = match.group(1).strip()
        match = re.match(r"^(Timestamp Server Signature|Signature) CRL verification: (\w+)", line)
        if match:
            outcomes[_ROLES[match.group(1)]] = "" if match.group(2) == "ok" else error or "failed"
    return outcomes


def check(path, ca, crl_files=()):
    """The revocation status of the signer and the time-stamping authority
    of the package at path, both of which chain to ca."""
    report = _verify(path, ca, None)
    stamped = "Timestamp verified using:" in report
    lists, used, notes = _gather(report, ca, list(crl_files))
    roles = ["the signer"] + (["the time-stamping authority"] if stamped else [])
    outcomes = {}
    if lists:
        with tempfile.TemporaryDirectory() as folder:
            combined = os.path.join(folder, "lists.pem")
            with open(combined, "w") as f:
                f.write("".join(lists))
            outcomes = _outcomes(_verify(path, ca, combined))
    revoked = [role for role in roles if outcomes.get(role) == "certificate revoked"]
    known = [role for role in roles if outcomes.get(role) == ""]
    unknown = [role for role in roles if role not in revoked and role not in known]
    learned = "lists from %s" % ", ".join(used) if used else "no list"
    if notes:
        learned += "; " + "; ".join(notes)
    if revoked:
        return Status(True, "%s has been revoked (%s)" % (" and ".join(revoked), learned))
    if unknown:
        return Status(False, "unknown for %s (%s): installs unless the engine is built with "
                             "OV_REQUIRE_REVOCATION=ON" % (" and ".join(unknown), learned))
    return Status(False, "not revoked (%s)" % learned)
