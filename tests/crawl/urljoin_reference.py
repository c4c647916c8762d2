#!/usr/bin/env python3
"""Resolves references as Python's urllib.parse.urljoin does.

Reads lines "BASE<TAB>REFERENCE" on standard input and prints urljoin's
address for each, one a line. Bytes are read and written as ISO-8859-1, so
each byte stays one character.
"""

import sys
from urllib.parse import urljoin

for line in sys.stdin.buffer.read().decode("latin-1").split("\n"):
    if line:
        base, reference = line.split("\t", 1)
        sys.stdout.buffer.write((urljoin(base, reference) + "\n").encode("latin-1"))
