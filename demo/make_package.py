"""Builds and signs the demo's sample package, as an operator would:
make_package.py SITE BUILD_DIR BENCH_DIR

    SITE/ca/                      a fresh code-signing CA and signer (openssl);
                                  the CA becomes a trusted root of the
                                  bench's Wine prefix, as a real operator's
                                  CA is on players' machines
    SITE/controls/OVSample.cab    the sample control and its helper (built in
                                  BUILD_DIR/tests/samples) with OVSample.inf,
                                  packed by gcab and signed by osslsigncode

Prints the package's path and size.
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "support"))
import packages  # noqa: E402


def main(site, build_dir, bench_dir):
    samples = os.path.join(build_dir, "tests", "samples")
    pki = packages.make_pki(os.path.join(site, "ca"))
    packages.trust_ca_in_prefix(pki, bench_dir)
    out = os.path.join(site, "controls")
    os.makedirs(out, exist_ok=True)
    cab = packages.build_package({
        "OVSample.inf": os.path.join(HERE, "OVSample.inf"),
        "OVSample.dll": os.path.join(samples, "sample_main_5", "OVSample.dll"),
        "OVHelper.dll": os.path.join(samples, "sample_helper", "OVHelper.dll"),
    }, os.path.join(out, "OVSample.cab"), signer=pki.signer)
    print("%s %d" % (cab, os.path.getsize(cab)))
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
