#!/usr/bin/env python3
"""Asks Protego (Debian's python3-protego) what a robots.txt allows.

    robots_reference.py AGENT ROBOTS_FILE PATHS_FILE [ROBOTS_FILE PATHS_FILE ...]

PATHS_FILE holds one request path per line ("/a/b.htm?x=1"). For each pair, in
order, prints "allowed" or "disallowed" for each of its paths, one per line.
Exits with 77 when Protego is not installed.
"""

import sys

try:
    from protego import Protego
except ImportError:
    sys.stderr.write("python3-protego is not installed\n")
    sys.exit(77)


def main(argv):
    if len(argv) < 4 or len(argv) % 2:
        sys.stderr.write(__doc__)
        return 2
    agent = argv[1]
    out = sys.stdout
    for robots_file, paths_file in zip(argv[2::2], argv[3::2]):
        with open(robots_file, "rb") as f:
            robots = Protego.parse(f.read().decode("utf-8"))
        with open(paths_file, "rb") as f:
            paths = f.read().decode("utf-8").split("\n")
        if paths and paths[-1] == "":
            paths.pop()
        for path in paths:
            out.write("allowed\n" if robots.can_fetch(path, agent) else "disallowed\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
