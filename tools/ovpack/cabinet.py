"""Packing, signing and unpacking a package with gcab and osslsigncode."""

import hashlib
import os
import re
import shutil
import ssl
import subprocess


class ToolError(Exception):
    """An outside tool failed or is missing; the text says which and why,
    output holds what the tool printed."""

    def __init__(self, text, output=""):
        Exception.__init__(self, text)
        self.output = output


def _run(args, cwd=None, input=None):
    try:
        done = subprocess.run(args, cwd=cwd, input=input,
                              stdin=None if input is not None else subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    except FileNotFoundError:
        raise ToolError("%s is not installed" % args[0])
    if done.returncode != 0:
        output = done.stdout.decode("utf-8", "replace").strip()
        raise ToolError("%s failed (exit %d): %s" % (args[0], done.returncode, output), output)
    return done.stdout.decode("utf-8", "replace")


def pack(files, out_path, stage, compress=True):
    """Packs files ({stored name with "\\": local path}) into a cabinet at
    out_path, in the given order, keeping each file's modification time.
    stage is an empty scratch folder."""
    names = []
    for stored, source in files.items():
        relative = stored.replace("\\", "/")
        target = os.path.join(stage, relative)
        os.makedirs(os.path.dirname(target) or stage, exist_ok=True)
        shutil.copy2(source, target)
        names.append(relative)
    if os.path.exists(out_path):
        os.remove(out_path)
    _run(["gcab", "-c"] + (["-z"] if compress else []) + [os.path.abspath(out_path)] + names,
         cwd=stage)


def sign(in_path, out_path, cert=None, key=None, pkcs12=None, pass_file=None, timestamp=None,
         authenticode_timestamp=None):
    """Authenticode-signs the cabinet in_path into out_path, with a PEM or
    DER certificate and key, or with a PKCS#12 file; pass_file holds the
    key's password; timestamp: an RFC 3161 time-stamping authority's URL,
    or authenticode_timestamp: one that answers with a countersignature."""
    args = ["osslsigncode", "sign"]
    args += ["-pkcs12", pkcs12] if pkcs12 else ["-certs", cert, "-key", key]
    if pass_file:
        args += ["-readpass", pass_file]
    if timestamp:
        args += ["-ts", timestamp]
    elif authenticode_timestamp:
        args += ["-t", authenticode_timestamp]
    args += ["-h", "sha256", "-in", in_path, "-out", out_path]
    if os.path.exists(out_path):
        os.remove(out_path)
    try:
        _run(args)
    except ToolError as error:
        raise ToolError("signing failed: " + _signing_problem(error.output, cert, key, pkcs12,
                                                              pass_file))



def signing_certificates(cert=None, pkcs12=None, pass_file=None):
    """[(subject, SHA-256 thumbprint in upper-case hex)] of the certificates
    that signing sends along in the package: those of the certificate file
    (PEM, one or more, or DER) or of the PKCS#12 file, signer first. These
    thumbprints are what publisher pinning (OV_TRUSTED_SIGNERS) lists."""
    if pkcs12:
        text = _run(["openssl", "pkcs12", "-in", pkcs12, "-nokeys", "-passin",
                     "file:" + pass_file if pass_file else "pass:"])
    else:
        with open(cert, "rb") as f:
            data = f.read()
        text = (data.decode("latin-1") if b"-----BEGIN CERTIFICATE-----" in data
                else ssl.DER_cert_to_PEM_cert(data))
    found = []
    for pem in re.findall(r"-----BEGIN CERTIFICATE-----.+?-----END CERTIFICATE-----", text, re.S):
        subject = _run(["openssl", "x509", "-noout", "-subject", "-nameopt", "RFC2253"],
                       input=pem.encode("ascii")).strip()
        thumbprint = hashlib.sha256(ssl.PEM_cert_to_DER_cert(pem)).hexdigest().upper()
        found.append((subject.split("=", 1)[1] if subject.startswith("subject=") else subject,
                      thumbprint))
    return found

def _signing_problem(output, cert, key, pkcs12, pass_file):
    """One line for what osslsigncode could not do, in place of its OpenSSL
    error stack."""
    no_password = "" if pass_file else " (give its password with --pass-file)"
    if "Failed to parse PKCS#12 file" in output:
        return "cannot open the PKCS#12 file %s: wrong password%s" % (pkcs12, no_password)
    if "Failed to decode private key file" in output:
        return "cannot read the key %s: wrong password%s" % (key, no_password)
    if "consistency of a private key" in output:
        return "the key %s does not belong to the certificate %s" % (key, cert)
    for line in output.splitlines():
        if line.startswith("Failed to read certificate file"):
            return "cannot read the certificate %s" % cert
    first = next((line for line in output.splitlines() if line.strip()), "no output")
    return "osslsigncode: " + first.strip()


def stored_names(path):
    """The file names the cabinet stores, in its order."""
    # Each line: name, size, date, time, attributes; only the name may
    # hold spaces.
    listing = _run(["gcab", "-l", os.path.abspath(path)])
    return [line.rsplit(" ", 4)[0] for line in listing.splitlines() if line.strip()]


def unpack(path, folder, names_outside):
    """Extracts every file of the cabinet into folder, sub-folders included;
    refuses a cabinet with a name that would land outside folder, as
    names_outside(names) judges them."""
    outside = names_outside(stored_names(path))
    if outside:
        raise ToolError("the cabinet stores %r, a name that leads outside its folder; "
                        "not unpacked" % outside[0])
    _run(["gcab", "-x", "-C", folder, os.path.abspath(path)])
