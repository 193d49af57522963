"""Signed cabinet packages for the tests, built at test time.

What the engine downloads is an Authenticode-signed Microsoft cabinet. This
module makes the pieces from scratch with the tools of the test machine:

    pki = make_pki(folder)                  # test CA + signers (openssl)
    build_package({"setup.inf": "/tmp/setup.inf",
                   "bin\\x.dll": "/tmp/x.dll"},
                  "/tmp/pkg.cab", signer=pki.signer)

build_package(files, out_path, sign=True, signer=None, compress=True)
    files maps the name stored in the cabinet (sub-folders with "\\" or "/")
    to the local file that holds its data. gcab builds the cabinet (MSZIP
    unless compress=False); osslsigncode signs it with signer (a Signer;
    default: the trusted signer of the package root's PKI, see
    default_signer()). Returns out_path.

write_cabinet(entries, out_path)
    A small cabinet writer of our own for what gcab cannot be told: exact
    stored names (absolute, "C:...", "..\\..."), MS-DOS dates and times,
    and attribute words (0x0100 and the like). Entries are CabEntry; the
    data is stored uncompressed in one folder (or declared with a method no
    reader knows, for a damaged cabinet).

sign_file(in_path, out_path, signer)
    Authenticode-signs any cabinet or PE file.

trust_ca_in_prefix(pki, bench_dir)
    Makes the test CA a trusted root of the bench's Wine prefix. Windows
    keeps the machine's root store in the registry: one key per certificate
    under HKLM\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates,
    named by the certificate's SHA-1 thumbprint in upper-case hex, whose
    REG_BINARY value "Blob" is the store's serialised form of the
    certificate: a list of properties, each (property id, 1, byte length,
    bytes) in little-endian 32-bit words; property 32 holds the DER
    certificate. Wine's crypt32 reads that key when a program opens the
    "Root" system store, so a "wine reg import" of such a .reg file is all
    it takes (checked by signature_test's root-store case).

The package root (make_packages.py ROOT BUILD_DIR) keeps its PKI in
ROOT/ca; default_signer() finds it through the OV_PKG_ROOT environment
variable that package-server tests receive.
"""

import collections
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

# Packing is the operators' package tool's own, so tests build cabinets the
# way published packages are built.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "ovpack"))
import cabinet  # noqa: E402

Signer = collections.namedtuple("Signer", "cert key")
Pki = collections.namedtuple("Pki", "folder ca signer untrusted expired tsa web selfsigned md5 untrusted_tsa "
                                    "revoked revoked_tsa unrevoked offline stalled forged")

# Where the test CA publishes its revocation list: a host of the portal's
# own domains, which the package server answers (through the tests' HTTP
# proxy) from the package root. The PKI's folder is ROOT/<name>, so the
# list ROOT/<name>/ca.crl is served as CRL_HOST/<name>/ca.crl.
CRL_HOST = "http://crl.ovelin.net"

# The test CA's clock is set back: its root and its time-stamping authority
# were valid years before the expired signer's validity, so signatures that
# a time stamp dates inside that validity still chain.
CA_START = "20190101000000Z"
EXPIRED_START, EXPIRED_END = "20200101000000Z", "20210101000000Z"
# A time inside the expired signer's validity, as seconds since 1970.
EXPIRED_SIGNING_TIME = 1593561600  # 2020-07-01 00:00:00 UTC

CabEntry = collections.namedtuple("CabEntry", "name data date time attribs")

# The attribute word of a file stored as gcab and most packers do.
ATTRIB_ARCHIVE = 0x20
# Bit 8 of the attribute word: the stored time is already UTC.
ATTRIB_TIME_IS_UTC = 0x0100

_CA_CONFIG = """\
[ca]
default_ca = test_ca
[test_ca]
database = {db}/index.txt
new_certs_dir = {db}
serial = {db}/serial
default_md = sha256
policy = any
unique_subject = no
copy_extensions = none
default_crl_days = 3650
[any]
commonName = supplied
[root]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[code_signing]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
authorityKeyIdentifier = keyid
[time_stamping]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = critical, timeStamping
[web_server]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
[self_signed]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
"""


def _ten_years_on():
    return time.strftime("%Y%m%d%H%M%SZ", time.gmtime(time.time() + 3650 * 86400))


def _run(args, cwd=None):
    # The tests' HTTP proxy leads to the package server; the time-stamping
    # authority is reached straight.
    env = {k: v for k, v in os.environ.items() if k.lower() != "http_proxy"}
    subprocess.run(args, cwd=cwd, check=True, stdin=subprocess.DEVNULL, env=env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


class _CertificateAuthority:
    """One self-signed root and the openssl ca database that issues from it."""

    def __init__(self, folder, name):
        self.folder = folder
        self.db = os.path.join(folder, name + ".db")
        self.config = os.path.join(folder, name + ".cnf")
        self.cert = os.path.join(folder, name + ".pem")
        self.key = os.path.join(folder, name + ".key")
        os.makedirs(self.db, exist_ok=True)
        open(os.path.join(self.db, "index.txt"), "w").close()
        with open(os.path.join(self.db, "serial"), "w") as f:
            f.write("1000\n")
        with open(self.config, "w") as f:
            f.write(_CA_CONFIG.format(db=self.db))
        csr = os.path.join(folder, name + ".csr")
        _run(["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", self.key,
              "-out", csr, "-subj", "/CN=Ovelin Test Root " + name])
        _run(["openssl", "ca", "-batch", "-notext", "-selfsign", "-config", self.config,
              "-keyfile", self.key, "-in", csr, "-out", self.cert, "-extensions", "root",
              "-startdate", CA_START, "-enddate", _ten_years_on()])
        os.remove(csr)

    def issue(self, name, start="", end="", extensions="code_signing", digest="sha256",
              crl_url=None):
        """A certificate for signing code (or as extensions names), signed by
        the CA with digest; start/end: YYYYMMDDHHMMSSZ, or from the CA's start
        to ten years from now; crl_url: the CRL distribution point it names."""
        key = os.path.join(self.folder, name + ".key")
        csr = os.path.join(self.folder, name + ".csr")
        cert = os.path.join(self.folder, name + ".pem")
        _run(["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
              "-out", csr, "-subj", "/CN=Ovelin Test Signer " + name])
        profile = ["-extensions", extensions]
        if crl_url:
            # The profile's extensions and the distribution point, as a
            # section of a file of the certificate's own.
            section = _CA_CONFIG.split("[%s]\n" % extensions, 1)[1].split("\n[", 1)[0]
            extfile = os.path.join(self.folder, name + ".ext")
            with open(extfile, "w") as f:
                f.write("[cdp]\n%s\ncrlDistributionPoints = URI:%s\n" % (section.strip(), crl_url))
            profile = ["-extfile", extfile, "-extensions", "cdp"]
        _run(["openssl", "ca", "-batch", "-notext", "-config", self.config,
              "-cert", self.cert, "-keyfile", self.key, "-in", csr, "-out", cert,
              "-md", digest, "-startdate", start or CA_START, "-enddate", end or _ten_years_on()]
             + profile)
        os.remove(csr)
        if crl_url:
            os.remove(extfile)
        return Signer(cert, key)

    def revoke(self, signer):
        _run(["openssl", "ca", "-config", self.config, "-cert", self.cert, "-keyfile", self.key,
              "-revoke", signer.cert])

    def write_crl(self, path):
        """The CA's revocation list, DER as distribution points serve it."""
        pem = path + ".pem"
        _run(["openssl", "ca", "-gencrl", "-config", self.config, "-cert", self.cert,
              "-keyfile", self.key, "-md", "sha256", "-out", pem])
        _run(["openssl", "crl", "-in", pem, "-outform", "DER", "-out", path])
        os.remove(pem)


def _self_signed(folder, name):
    """A code-signing certificate that signs itself, under no CA."""
    key = os.path.join(folder, name + ".key")
    cert = os.path.join(folder, name + ".pem")
    _run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
          "-out", cert, "-days", "3650", "-subj", "/CN=Ovelin Test Signer " + name,
          "-config", os.path.join(folder, "ca.cnf"), "-extensions", "self_signed"])
    return Signer(cert, key)


def make_pki(folder):
    """A fresh test PKI in folder: the trusted CA with a valid and an expired
    signer, a time-stamping authority and a web server's certificate (no
    code signing); a second CA, never trusted, with its own signer; and a
    signer that signs itself, one whose certificate the CA signed with MD5,
    and a time-stamping authority under the untrusted CA.

    Signers that name a CRL distribution point (the others name none):
    revoked and revoked_tsa (a time-stamping authority), which the CA's
    list ca.crl names; unrevoked, which that list leaves out; offline, whose
    point answers 404; stalled, whose point never answers; and forged,
    whose point serves forged.crl, the CA's list with its signature
    broken (it names no one)."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    ca = _CertificateAuthority(folder, "ca")
    stranger = _CertificateAuthority(folder, "stranger")
    base = os.path.basename(folder)
    crl = "%s/%s/ca.crl" % (CRL_HOST, base)
    pki = Pki(folder=folder,
              ca=ca.cert,
              signer=ca.issue("signer"),
              untrusted=stranger.issue("untrusted"),
              expired=ca.issue("expired", EXPIRED_START, EXPIRED_END),
              tsa=ca.issue("tsa", extensions="time_stamping"),
              web=ca.issue("web", extensions="web_server"),
              selfsigned=_self_signed(folder, "selfsigned"),
              md5=ca.issue("md5", digest="md5"),
              untrusted_tsa=stranger.issue("untrusted_tsa", extensions="time_stamping"),
              revoked=ca.issue("revoked", crl_url=crl),
              revoked_tsa=ca.issue("revoked_tsa", extensions="time_stamping", crl_url=crl),
              unrevoked=ca.issue("unrevoked", crl_url=crl),
              offline=ca.issue("offline", crl_url="%s/status/404/%s/ca.crl" % (CRL_HOST, base)),
              stalled=ca.issue("stalled", crl_url="%s/stall/1/status/%s/ca.crl" % (CRL_HOST, base)),
              forged=ca.issue("forged", crl_url="%s/%s/forged.crl" % (CRL_HOST, base)))
    ca.write_crl(os.path.join(folder, "forged.crl"))
    with open(os.path.join(folder, "forged.crl"), "r+b") as f:
        f.seek(-1, os.SEEK_END)
        last = f.read(1)[0]
        f.seek(-1, os.SEEK_END)
        f.write(bytes([last ^ 0xFF]))
    ca.revoke(pki.revoked)
    ca.revoke(pki.revoked_tsa)
    ca.write_crl(os.path.join(folder, "ca.crl"))
    return pki


def load_pki(folder):
    """The PKI that make_pki wrote into folder."""
    def signer(name):
        return Signer(os.path.join(folder, name + ".pem"), os.path.join(folder, name + ".key"))
    return Pki(folder=folder, ca=os.path.join(folder, "ca.pem"),
               **{name: signer(name) for name in Pki._fields[2:]})


def default_signer():
    """The trusted signer of the package root named by OV_PKG_ROOT."""
    return load_pki(os.path.join(os.environ["OV_PKG_ROOT"], "ca")).signer


def sign_file(in_path, out_path, signer, timestamp_url=None, stamped_at=None, tsa=None,
              countersign_url=None):
    """Authenticode-signs in_path (a cabinet or a PE file) into out_path.
    timestamp_url: an RFC 3161 authority to time-stamp the signature (see
    timestamp_server); or stamped_at (seconds since 1970): a time stamp of
    that time by the authority tsa (a Signer), made by osslsigncode itself;
    or countersign_url: an authority that answers Authenticode requests."""
    if os.path.exists(out_path):
        os.remove(out_path)
    stamp = []
    if countersign_url:
        stamp = ["-t", countersign_url]
    elif timestamp_url:
        stamp = ["-ts", timestamp_url]
    elif stamped_at is not None:
        stamp = ["-TSA-certs", tsa.cert, "-TSA-key", tsa.key, "-TSA-time", str(stamped_at)]
    _run(["osslsigncode", "sign", "-certs", signer.cert, "-key", signer.key,
          "-h", "sha256"] + stamp + ["-in", in_path, "-out", out_path])
    return out_path


def build_cabinet(files, out_path, compress=True):
    """Packs files ({stored name: local path}) into an unsigned cabinet with gcab."""
    with tempfile.TemporaryDirectory() as stage:
        cabinet.pack(files, out_path, stage, compress=compress)
    return out_path


def build_package(files, out_path, sign=True, signer=None, compress=True):
    """A package as the engine downloads it: files packed by gcab, then signed."""
    if not sign:
        return build_cabinet(files, out_path, compress)
    unsigned = out_path + ".unsigned"
    build_cabinet(files, unsigned, compress)
    try:
        return sign_file(unsigned, out_path, signer or default_signer())
    finally:
        os.remove(unsigned)


def dos_date(year, month, day):
    return ((year - 1980) << 9) | (month << 5) | day


def dos_time(hour, minute, second):
    return (hour << 11) | (minute << 5) | (second // 2)


# Cabinet layout, in the order the file holds it: CFHEADER, CFFOLDER,
# CFFILE entries, then CFDATA blocks of at most 32 KiB.
_CFHEADER = struct.Struct("<4sIIIIIBBHHHHH")
_CFFOLDER = struct.Struct("<IHH")
_CFFILE = struct.Struct("<IIHHHH")
_CFDATA = struct.Struct("<IHH")
_BLOCK = 32768


def write_cabinet(entries, out_path, compression=0):
    """Writes entries (CabEntry; name as str or bytes) uncompressed into one
    folder. compression is the folder's declared method (0: none); any other
    value makes a cabinet whose data no reader can decode."""
    names = [e.name.encode("latin-1") if isinstance(e.name, str) else e.name for e in entries]
    data = b"".join(e.data for e in entries)
    blocks = [data[i:i + _BLOCK] for i in range(0, len(data), _BLOCK)]
    files_offset = _CFHEADER.size + _CFFOLDER.size
    data_offset = files_offset + sum(_CFFILE.size + len(n) + 1 for n in names)
    total = data_offset + sum(_CFDATA.size + len(b) for b in blocks)

    out = bytearray(_CFHEADER.pack(b"MSCF", 0, total, 0, files_offset, 0, 3, 1,
                                   1, len(entries), 0, 0x4F56, 0))
    out += _CFFOLDER.pack(data_offset, len(blocks), compression)
    offset = 0
    for entry, name in zip(entries, names):
        out += _CFFILE.pack(len(entry.data), offset, 0, entry.date, entry.time, entry.attribs)
        out += name + b"\0"
        offset += len(entry.data)
    for block in blocks:
        # A zero checksum tells readers that none was computed.
        out += _CFDATA.pack(0, len(block), len(block)) + block
    with open(out_path, "wb") as f:
        f.write(out)
    return out_path


def _der(cert_pem):
    return subprocess.run(["openssl", "x509", "-in", cert_pem, "-outform", "DER"],
                          check=True, capture_output=True).stdout


def thumbprint(cert_pem):
    """SHA-1 thumbprint of a PEM certificate, upper-case hex."""
    return hashlib.sha1(_der(cert_pem)).hexdigest().upper()


def root_store_reg(cert_pem):
    """Text of a .reg file that adds cert_pem to the machine's trusted roots."""
    der = _der(cert_pem)
    blob = struct.pack("<III", 32, 1, len(der)) + der
    hex_bytes = ",".join("%02x" % b for b in blob)
    return ("REGEDIT4\n\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\%s]\n"
            "\"Blob\"=hex:%s\n" % (hashlib.sha1(der).hexdigest().upper(), hex_bytes))


def bench_env(bench_dir):
    """The environment of the bench's Wine (bench_dir/env), over os.environ."""
    env = dict(os.environ)
    with open(os.path.join(bench_dir, "env")) as f:
        for line in f:
            line = line.strip()
            if line.startswith("export ") and "=" in line:
                name, value = line[len("export "):].split("=", 1)
                env[name] = value
    return env


def system_program(name):
    """The full Windows path of a program of the prefix's system folder. Wine
    given a bare name such as "reg" starts start.exe, which starts the
    program as a second process, and now and then Wine fails that second
    start; given the full path, it loads the program straight."""
    return "C:\\windows\\system32\\%s.exe" % name


def trust_ca_in_prefix(pki, bench_dir):
    """Imports the test CA into the root store of the bench's Wine prefix."""
    trust_root_in_prefix(pki.ca, pki.folder, bench_dir)


def trust_root_in_prefix(cert_pem, folder, bench_dir):
    """Imports cert_pem into the root store of the bench's Wine prefix; the
    .reg file is written into folder."""
    env = bench_env(bench_dir)
    reg = os.path.join(folder, "trust-%s.reg" % os.path.splitext(os.path.basename(cert_pem))[0])
    with open(reg, "w") as f:
        f.write(root_store_reg(cert_pem))
    # Output to DEVNULL: Wine's background processes inherit the pipes.
    subprocess.run([env["WINE"], system_program("reg"), "import", "Z:" + reg.replace("/", "\\")],
                   env=env, check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def sha256_thumbprint(cert_pem):
    """SHA-256 thumbprint of a PEM certificate, upper-case hex: what
    publisher pinning (OV_TRUSTED_SIGNERS) lists."""
    return hashlib.sha256(_der(cert_pem)).hexdigest().upper()


def pinned_ca(folder):
    """A CA of its own with one signer, kept in folder across runs (made on
    first use): the publisher that a pinned build of the engine trusts. The
    build needs its thumbprint before any test runs, so unlike make_pki it
    is not made afresh for each run. Returns (CA certificate, Signer)."""
    cert = os.path.join(folder, "pinned.pem")
    signer = Signer(os.path.join(folder, "pinned-signer.pem"), os.path.join(folder, "pinned-signer.key"))
    if not (os.path.exists(cert) and os.path.exists(signer.cert)):
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        _CertificateAuthority(folder, "pinned").issue("pinned-signer")
    return cert, signer


if __name__ == "__main__":
    # packages.py pinned-ca FOLDER: makes the pinned CA when it is missing
    # and prints its SHA-256 thumbprint (for the build's pinned test).
    if len(sys.argv) == 3 and sys.argv[1] == "pinned-ca":
        print(sha256_thumbprint(pinned_ca(sys.argv[2])[0]))
    else:
        sys.exit("usage: packages.py pinned-ca FOLDER")
