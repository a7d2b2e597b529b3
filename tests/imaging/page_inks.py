#!/usr/bin/python3
"""Reads a job's inks.js as a browser's script would and prints its plates.

Checks the file's form: ASCII only, exactly "var pageinks=" + JSON + ";" and
CR LF, no "<", ">" or "&" anywhere, every coverage null or a number with two
decimals, every colour table 1536 lower-case hex digits. Prints one line per
plate, tab-separated and UTF-8: page, inked, bit, coverage (as Python prints
the number, or "null"), name; with "tables", one line per page with a colour
table instead: page, table.
Exits 1 with the reason on standard error when the file breaks the form.

Usage: page_inks.py FILE [tables]"""

import json
import re
import sys


def fail(reason):
    sys.stderr.write(reason + "\n")
    sys.exit(1)


def main():
    raw = open(sys.argv[1], "rb").read()
    try:
        text = raw.decode("ascii")
    except UnicodeDecodeError:
        fail("not ASCII")
    prefix, suffix = "var pageinks=", ";\r\n"
    if not text.startswith(prefix) or not text.endswith(suffix):
        fail("not one statement: %r" % text[:40])
    body = text[len(prefix):-len(suffix)]
    for character in "<>&":
        if character in body:
            fail("a raw %r" % character)
    for token in re.findall(r'"coverage":([^,}]*)', body):
        if token != "null" and not re.fullmatch(r"\d+\.\d\d", token):
            fail("coverage %r has not two decimals" % token)
    pages = json.loads(body)
    out = []
    tables = len(sys.argv) > 2 and sys.argv[2] == "tables"
    for page in pages:
        if sorted(set(page) - {"table"}) != ["inked", "page", "plates"]:
            fail("page keys %r" % sorted(page))
        if "table" in page:
            if not isinstance(page["table"], str) or not re.fullmatch(r"[0-9a-f]{1536}", page["table"]):
                fail("page %r: table is not 1536 lower-case hex digits" % page["page"])
            if tables:
                out.append("%d\t%s" % (page["page"], page["table"]))
        for plate in page["plates"]:
            if sorted(plate) != ["bit", "coverage", "name"]:
                fail("plate keys %r" % sorted(plate))
            coverage = "null" if plate["coverage"] is None else repr(plate["coverage"])
            if not tables:
                out.append("%d\t%d\t%d\t%s\t%s" % (page["page"], page["inked"], plate["bit"], coverage, plate["name"]))
    sys.stdout.buffer.write(("\n".join(out) + "\n").encode("utf-8"))


if __name__ == "__main__":
    main()
