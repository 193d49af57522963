"""A time-stamping authority on loopback for the tests, signing with the
test PKI's authority certificate:

- RFC 3161 requests posted to URL are answered by OpenSSL's own
  `ts -reply`, at the present time;
- Authenticode time-stamp requests (osslsigncode -t) posted to
  URL + "authenticode/<seconds since 1970>" are answered with a
  countersignature of that time, put together here: a PKCS #7 SignedData
  over the signature value, whose one signer's authenticated attributes are
  contentType, signingTime and messageDigest.

    with TimeStampServer(pki) as url:
        packages.sign_file(..., timestamp_url=url)

The server runs on a thread of this process and stops when the block ends.
"""

import base64
import hashlib
import http.server
import os
import subprocess
import tempfile
import threading
import time

_TSA_CONFIG = """\
[tsa]
default_tsa = test_tsa
[test_tsa]
serial = {folder}/tsa-serial
crypto_device = builtin
signer_cert = {cert}
signer_key = {key}
certs = {ca}
signer_digest = sha256
default_policy = 1.3.6.1.4.1.55555.1
digests = sha1, sha256, sha384, sha512
accuracy = secs:1
ordering = yes
tsa_name = no
ess_cert_id_chain = no
ess_cert_id_alg = sha256
"""


class TimeStampServer:
    def __init__(self, pki):
        self.pki = pki
        self.folder = tempfile.mkdtemp(prefix="tsa-", dir=pki.folder)
        self.config = os.path.join(self.folder, "tsa.cnf")
        with open(os.path.join(self.folder, "tsa-serial"), "w") as f:
            f.write("01\n")
        with open(self.config, "w") as f:
            f.write(_TSA_CONFIG.format(folder=self.folder, cert=pki.tsa.cert, key=pki.tsa.key,
                                       ca=pki.ca))

    def reply(self, request):
        query = os.path.join(self.folder, "query.tsq")
        with open(query, "wb") as f:
            f.write(request)
        return subprocess.run(["openssl", "ts", "-reply", "-config", self.config, "-queryfile", query],
                              check=True, capture_output=True).stdout

    def countersign(self, request, seconds):
        """The base64 answer to an Authenticode request, dated seconds."""
        # TimeStampRequest: type, ContentInfo { data, [0] { OCTET STRING } }.
        content_info = _children(base64.b64decode(request))[1][1]
        stamped = _value(_children(_children(content_info)[1][1])[0][1])
        certificate = _pem_to_der(self.pki.tsa.cert)
        tbs = _children(_children(certificate)[0][1])
        serial, issuer = tbs[1][1], tbs[3][1]
        attributes = sorted([
            _attribute("1.2.840.113549.1.9.3", _oid("1.2.840.113549.1.7.1")),
            _attribute("1.2.840.113549.1.9.5",
                       _der(0x17, time.strftime("%y%m%d%H%M%SZ", time.gmtime(seconds)).encode())),
            _attribute("1.2.840.113549.1.9.4", _der(0x04, hashlib.sha256(stamped).digest())),
        ])
        signed = os.path.join(self.folder, "attributes.der")
        with open(signed, "wb") as f:
            f.write(_der(0x31, b"".join(attributes)))
        signature = subprocess.run(["openssl", "dgst", "-sha256", "-sign", self.pki.tsa.key, signed],
                                   check=True, capture_output=True).stdout
        sha256 = _der(0x30, _oid("2.16.840.1.101.3.4.2.1") + b"\x05\x00")
        signer_info = _der(0x30, b"\x02\x01\x01" + _der(0x30, issuer + serial) + sha256 +
                           _der(0xA0, b"".join(attributes)) +
                           _der(0x30, _oid("1.2.840.113549.1.1.1") + b"\x05\x00") +
                           _der(0x04, signature))
        data = _der(0x30, _oid("1.2.840.113549.1.7.1") + _der(0xA0, _der(0x04, stamped)))
        signed_data = _der(0x30, b"\x02\x01\x01" + _der(0x31, sha256) + data +
                           _der(0xA0, certificate + _pem_to_der(self.pki.ca)) +
                           _der(0x31, signer_info))
        return base64.b64encode(_der(0x30, _oid("1.2.840.113549.1.7.2") + _der(0xA0, signed_data)))

    def __enter__(self):
        authority = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                request = self.rfile.read(int(self.headers.get("Content-Length", 0)))
                try:
                    if self.path.startswith("/authenticode/"):
                        body = authority.countersign(request, int(self.path.split("/")[2]))
                        kind = "application/octet-stream"
                    else:
                        body = authority.reply(request)
                        kind = "application/timestamp-reply"
                    status = 200
                except (subprocess.CalledProcessError, ValueError, IndexError):
                    body, status, kind = b"", 500, "text/plain"
                self.send_response(status)
                self.send_header("Content-Type", kind)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()
        return "http://127.0.0.1:%d/" % self.server.server_address[1]

    def __exit__(self, *exc):
        self.server.shutdown()
        self.server.server_close()
        self.thread.join()


# DER, as far as the countersignature needs it.
def _der(tag, content):
    size = len(content)
    if size < 0x80:
        return bytes([tag, size]) + content
    length = size.to_bytes((size.bit_length() + 7) // 8, "big")
    return bytes([tag, 0x80 | len(length)]) + length + content


def _oid(dotted):
    arcs = [int(a) for a in dotted.split(".")]
    body = bytes([arcs[0] * 40 + arcs[1]])
    for arc in arcs[2:]:
        chunk = [arc & 0x7F]
        while arc > 0x7F:
            arc >>= 7
            chunk.insert(0, 0x80 | (arc & 0x7F))
        body += bytes(chunk)
    return _der(0x06, body)


def _attribute(oid, value):
    return _der(0x30, _oid(oid) + _der(0x31, value))


def _children(element):
    """[(tag, whole element)] of a constructed element's contents."""
    contents, found = _value(element), []
    while contents:
        size = _size(contents)
        found.append((contents[0], contents[:size]))
        contents = contents[size:]
    return found


def _size(element):
    """The length of the element that element starts with, header included."""
    if element[1] < 0x80:
        return 2 + element[1]
    count = element[1] & 0x7F
    return 2 + count + int.from_bytes(element[2:2 + count], "big")


def _value(element):
    header = 2 if element[1] < 0x80 else 2 + (element[1] & 0x7F)
    return element[header:_size(element)]


def _pem_to_der(pem):
    return subprocess.run(["openssl", "x509", "-in", pem, "-outform", "DER"], check=True,
                          capture_output=True).stdout
