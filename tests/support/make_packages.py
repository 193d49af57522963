"""Builds the packages that the package server serves: make_packages.py ROOT BUILD_DIR.

Run by the "packages" test fixture after the Wine bench has started
(BUILD_DIR/bench/env) and before the package server serves ROOT. Every run
starts from an empty ROOT:

    ROOT/ca/       the test PKI (packages.make_pki); its CA is made a trusted
                   root of the bench's Wine prefix
    ROOT/pkgs/     the packages, served as http://<host>/pkgs/<name>

A test folder that needs packages of its own adds a function
make_<something>(pkgs, build_dir, pki) below and names it in RECIPES;
packages.build_package does the packing and signing.
"""

import os
import random
import shutil
import struct
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import packages  # noqa: E402
import timestamp_server  # noqa: E402
from install_packages import make_install_packages  # noqa: E402

# Stored in cabinet/signed.cab, in this order (gcab keeps the order given).
# Data is fixed by a seed so that every run serves the same bytes.
SIGNED_FILES = {
    "readme.txt": b"Ovelin sample package\r\n",
    "bin\\data.bin": random.Random(3).randbytes(100_000),
    "bin\\sub\\deep.txt": b"deep\r\n" * 1000,
    "empty.txt": b"",
}
# The local time that gcab stores for every file of cabinet/signed.cab.
SIGNED_MTIME = (2021, 3, 14, 15, 9, 26)

# Names that would land outside the extraction folder; each one gets a
# cabinet of its own whose first file is harmless.
HOSTILE_NAMES = {
    "parent": "..\\escape.txt",
    "deep_parent": "sub\\..\\..\\..\\escape.txt",
    "slash_parent": "sub/../../escape.txt",
    "rooted": "\\rooted.txt",
    "drive": "C:\\drive.txt",
    "drive_relative": "C:drive.txt",
    # Windows drops a segment's trailing dots and spaces: "..." climbs as "..".
    "dots_parent": "sub\\...\\...\\escape.txt",
}


def make_cabinet_packages(pkgs, build_dir, pki):
    folder = os.path.join(pkgs, "cabinet")
    os.makedirs(folder)
    # The sources stay beside the packages for tests to compare against.
    files = {}
    mtime = local_seconds(SIGNED_MTIME)
    for name, data in SIGNED_FILES.items():
        path = os.path.join(folder, "signed.src", *name.split("\\"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, (mtime, mtime))
        files[name] = path
    signed = packages.build_package(files, os.path.join(folder, "signed.cab"), signer=pki.signer)
    packages.build_package(files, os.path.join(folder, "unsigned.cab"), sign=False)
    packages.build_package(files, os.path.join(folder, "untrusted.cab"), signer=pki.untrusted)
    packages.build_package(files, os.path.join(folder, "expired.cab"), signer=pki.expired)
    make_signer_trust_packages(folder, os.path.join(folder, "unsigned.cab"), pki)

    # Tiny when packed, large when unpacked: its last file outgrows a file
    # size limit that the package itself stays far below.
    zeros = os.path.join(folder, "zeros.src")
    os.makedirs(zeros)
    for name, size in (("small.txt", 10), ("zeros.bin", 262144)):
        with open(os.path.join(zeros, name), "wb") as f:
            f.write(bytes(size))
    packages.build_package({n: os.path.join(zeros, n) for n in ("small.txt", "zeros.bin")},
                           os.path.join(folder, "zeros.cab"), signer=pki.signer)

    # One byte of the compressed data changed after signing.
    with open(signed, "rb") as f:
        original = f.read()
    data = bytearray(original)
    data[200] ^= 0xFF
    with open(os.path.join(folder, "altered.cab"), "wb") as f:
        f.write(data)

    text = os.path.join(folder, "text.src")
    with open(text, "wb") as f:
        words = random.Random(11).choices([b"ovelin ", b"game ", b"control ", b"setup\r\n", b"42 "], k=60000)
        f.write(b"".join(words))
    compressible = os.path.join(folder, "text.cab")
    packages.build_package({"text.txt": text}, compressible, signer=pki.signer)
    with open(compressible, "rb") as f:
        make_altered_packages(os.path.join(folder, "altered"), original, f.read())

    with open(os.path.join(folder, "notcab.bin"), "wb") as f:
        f.write(random.Random(5).randbytes(4096))

    # A signed program: its signature is fine, but it is no cabinet. Any
    # Windows program will do; the bench's prefix has one.
    program = os.path.join(build_dir, "bench", "prefix", "drive_c", "windows", "system32",
                           "hostname.exe")
    packages.sign_file(program, os.path.join(folder, "program.cab"), pki.signer)

    stamp = packages.dos_date(2020, 5, 6), packages.dos_time(12, 34, 56)
    write_signed(folder, "times.cab", pki, [
        packages.CabEntry("local.txt", b"local time\r\n", *stamp, packages.ATTRIB_ARCHIVE),
        packages.CabEntry("utc.txt", b"UTC time\r\n", *stamp,
                          packages.ATTRIB_ARCHIVE | packages.ATTRIB_TIME_IS_UTC),
        packages.CabEntry("readonly.txt", b"read-only\r\n", *stamp, packages.ATTRIB_ARCHIVE | 0x01),
    ])
    # A folder packed with a method that does not exist (15).
    write_signed(folder, "badmethod.cab", pki,
                 [packages.CabEntry("first.txt", b"data\r\n", *stamp, packages.ATTRIB_ARCHIVE)],
                 compression=15)
    for label, name in HOSTILE_NAMES.items():
        write_signed(folder, "hostile_%s.cab" % label, pki, [
            packages.CabEntry("harmless.txt", b"fine\r\n", *stamp, packages.ATTRIB_ARCHIVE),
            packages.CabEntry(name, b"escaped\r\n", *stamp, packages.ATTRIB_ARCHIVE),
        ])


def make_signer_trust_packages(folder, unsigned, pki):
    """The same cabinet signed by signers that chain, or not, and dated, or
    not, by a time stamp: the loopback authority's (now) or one set back
    into the expired signer's validity."""
    sign = packages.sign_file
    with timestamp_server.TimeStampServer(pki) as url:
        sign(unsigned, os.path.join(folder, "stamped.cab"), pki.signer, timestamp_url=url)
        sign(unsigned, os.path.join(folder, "expired_stamped_late.cab"), pki.expired, timestamp_url=url)
        # Authenticode countersignatures, the kind that Windows XP reads.
        for name, seconds in (("expired_countersigned.cab", packages.EXPIRED_SIGNING_TIME),
                              ("expired_countersigned_late.cab", int(time.time()))):
            sign(unsigned, os.path.join(folder, name), pki.expired,
                 countersign_url=url + "authenticode/%d" % seconds)
    sign(unsigned, os.path.join(folder, "expired_stamped.cab"), pki.expired,
         stamped_at=packages.EXPIRED_SIGNING_TIME, tsa=pki.tsa)
    # The same time stamp by an authority under an untrusted root.
    sign(unsigned, os.path.join(folder, "expired_stamped_untrusted_tsa.cab"), pki.expired,
         stamped_at=packages.EXPIRED_SIGNING_TIME, tsa=pki.untrusted_tsa)
    # Signers whose distribution points tell revoked, not revoked, nothing
    # (404, no answer) or a list the CA did not sign; a time stamp by a
    # revoked authority; and a revoked signer's package time-stamped by a
    # sound one.
    for name in ("revoked", "unrevoked", "offline", "stalled", "forged"):
        sign(unsigned, os.path.join(folder, "crl_%s.cab" % name), getattr(pki, name))
    now = int(time.time())
    sign(unsigned, os.path.join(folder, "crl_revoked_tsa.cab"), pki.signer,
         stamped_at=now, tsa=pki.revoked_tsa)
    sign(unsigned, os.path.join(folder, "crl_revoked_stamped.cab"), pki.revoked,
         stamped_at=now, tsa=pki.tsa)
    sign(unsigned, os.path.join(folder, "web.cab"), pki.web)
    sign(unsigned, os.path.join(folder, "selfsigned.cab"), pki.selfsigned)
    sign(unsigned, os.path.join(folder, "md5.cab"), pki.md5)


# Packages altered after signing, each with a test that it never reaches
# the cabinet reader: six named cases, then MSZIP_FLIPS flips of compressed
# data whose block checksum is cleared (0: none computed), so that a reader
# decompresses the corrupt data: the kind that makes a cabinet reader fault.
MSZIP_FLIPS = 21


def make_altered_packages(folder, signed, compressible):
    """Writes folder/<case>.cab from the bytes of signed, folder/mszip<n>.cab
    from those of compressible (both signed MSZIP cabinets), and
    folder/list.txt naming them all."""
    os.makedirs(folder)
    sigpos = struct.unpack_from("<I", signed, 44)[0]
    first_data = struct.unpack_from("<I", signed, 60)[0]  # the first folder's first CFDATA
    der_length = struct.unpack_from(">H", signed, sigpos + 2)[0] + 4  # 30 82 hi lo

    def altered(name, source, offset=None, mask=0xFF, cut=None, block=None):
        data = bytearray(source if cut is None else source[:cut])
        if offset is not None:
            data[offset] ^= mask
        if block is not None:
            data[block:block + 4] = bytes(4)
        with open(os.path.join(folder, name + ".cab"), "wb") as f:
            f.write(data)
        return name

    names = [
        altered("data", signed, first_data + 8 + 1000),      # inside a file's compressed data
        altered("header", signed, 32),                       # setID, a field the digest covers
        altered("signature", signed, sigpos + der_length - 10),  # the signer's signature value
        altered("truncated", signed, cut=len(signed) // 2),
        # Fields the digest leaves out, which a cabinet reader acts on.
        altered("reserve", signed, 39, mask=0x04),           # cbCFData
        altered("icabinet", signed, 34, mask=0x01),
    ]
    # The compressed bytes of every block (after its 8-byte CFDATA header),
    # flipped at places spread over them, from each block's "CK" on.
    blocks, offset = [], struct.unpack_from("<I", compressible, 60)[0]
    for _ in range(struct.unpack_from("<H", compressible, 64)[0]):
        size = struct.unpack_from("<H", compressible, offset + 4)[0]
        blocks.append((offset, size))
        offset += 8 + size
    for n in range(MSZIP_FLIPS):
        block, size = blocks[n % len(blocks)]
        at = block + 8 + (n * 7919) % size
        names.append(altered("mszip%02d" % n, compressible, at, mask=1 << (n % 8), block=block))
    with open(os.path.join(folder, "list.txt"), "w") as f:
        f.write("\n".join(names) + "\n")


def make_signer_packages(pkgs, build_dir, pki):
    """signer/pinned.cab, signed by the pinned CA's signer (packages.pinned_ca,
    whose thumbprint the pinned test build lists); the prefix trusts that CA
    as it trusts the test CA."""
    folder = os.path.join(pkgs, "signer")
    os.makedirs(folder)
    ca, signer = packages.pinned_ca(os.path.join(build_dir, "pinned-ca"))
    packages.trust_root_in_prefix(ca, folder, os.path.join(build_dir, "bench"))
    readme = os.path.join(folder, "readme.txt")
    with open(readme, "wb") as f:
        f.write(b"Signed by the pinned publisher\r\n")
    packages.build_package({"readme.txt": readme}, os.path.join(folder, "pinned.cab"), signer=signer)


def local_seconds(fields):
    """Seconds since 1970 of a local time given as (year, month, day, h, m, s)."""
    return time.mktime(tuple(fields) + (0, 0, -1))


def write_signed(folder, name, pki, entries, compression=0):
    unsigned = os.path.join(folder, name + ".unsigned")
    packages.write_cabinet(entries, unsigned, compression)
    packages.sign_file(unsigned, os.path.join(folder, name), pki.signer)
    os.remove(unsigned)


RECIPES = [
    make_cabinet_packages,
    make_signer_packages,
    make_install_packages,
]


def main(argv):
    root, build_dir = (os.path.abspath(a) for a in argv[:2])
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(root)
    pki = packages.make_pki(os.path.join(root, "ca"))
    packages.trust_ca_in_prefix(pki, os.path.join(build_dir, "bench"))
    pkgs = os.path.join(root, "pkgs")
    os.makedirs(pkgs)
    for recipe in RECIPES:
        recipe(pkgs, build_dir, pki)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
