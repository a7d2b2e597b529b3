#!/usr/bin/python3
"""Checks that the core's includes only point down its layers.

The core lives in four layer folders, lowest first: base, engines, tasks,
station. A file may include its own layer and the layers below it, never one
above, and the core never includes the front ends (gui, cli) or Qt. Prints
every include that breaks the rule and exits 1 when there is one.

Usage: check-layers.py [SOURCE_DIR]"""

import os
import re
import sys

LAYERS = ["base", "engines", "tasks", "station"]
FRONT_ENDS = ["gui", "cli", "tests", "tools", "bench", "fuzz"]
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def violations(root):
    for rank, layer in enumerate(LAYERS):
        for folder, _, names in os.walk(os.path.join(root, layer)):
            for name in sorted(names):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(folder, name)
                with open(path, encoding="utf-8", errors="replace") as source:
                    for number, line in enumerate(source, 1):
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        quote, included = match.groups()
                        first = included.split("/", 1)[0]
                        where = "%s:%d: %s" % (os.path.relpath(path, root), number, line.strip())
                        if quote == "<" and re.match(r"Q[A-Z]\w*$", included):
                            yield where + " (the core never sees Qt)"
                        elif quote == '"' and first in LAYERS and LAYERS.index(first) > rank:
                            yield where + " (%s may not use the %s layer above it)" % (layer, first)
                        elif quote == '"' and first in FRONT_ENDS:
                            yield where + " (the core may not use %s/)" % first


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    found = list(violations(root))
    for line in found:
        print(line)
    if found:
        print("%d include(s) point up the layers or out of the core" % len(found))
        return 1
    print("The core's includes point down its layers only.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
