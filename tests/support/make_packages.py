"""Builds the packages that the package server serves: make_packages.py ROOT BUILD_DIR."""

import os
import sys


def main(argv):
    root = argv[0]
    os.makedirs(root, exist_ok=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
