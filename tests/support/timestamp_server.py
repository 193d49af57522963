"""A time-stamping authority on loopback for the tests: RFC 3161 requests
posted over HTTP are answered by OpenSSL's own `ts -reply`, signed with the
test PKI's authority certificate, at the present time.

    with TimeStampServer(pki) as url:
        packages.sign_file(..., timestamp_url=url)

The server runs on a thread of this process and stops when the block ends.
"""

import http.server
import os
import subprocess
import tempfile
import threading

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

    def __enter__(self):
        authority = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                request = self.rfile.read(int(self.headers.get("Content-Length", 0)))
                try:
                    body, status = authority.reply(request), 200
                except subprocess.CalledProcessError:
                    body, status = b"", 500
                self.send_response(status)
                self.send_header("Content-Type", "application/timestamp-reply")
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
