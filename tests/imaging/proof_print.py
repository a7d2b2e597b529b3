#!/usr/bin/python3
"""Reads a job's proof.js and the page buffer folder, and checks the
fingerprints by their definitions, apart from the station's code: each plate's
digest is the SHA-256 of a file in the folder, each page's the SHA-256 of its
plates' names and digests, the job's that of its pages'. Prints one line per
plate, "PAGE<TAB>NAME<TAB>FILE", and exits 1 with the reason on a mismatch.
Usage: proof_print.py PROOF_JS INPUT_FOLDER"""
import hashlib
import json
import os
import sys

text = open(sys.argv[1], encoding="ascii", newline="").read()
prefix, suffix = "var proofprint=", ";\r\n"
if not (text.startswith(prefix) and text.endswith(suffix)):
    sys.exit("not one proofprint statement")
proof = json.loads(text[len(prefix):-len(suffix)])
files = {}
for name in os.listdir(sys.argv[2]):
    with open(os.path.join(sys.argv[2], name), "rb") as plate:
        files[hashlib.sha256(plate.read()).hexdigest()] = name
sha = lambda data: hashlib.sha256(data.encode("utf-8")).hexdigest()
pages = []
for page in proof["pages"]:
    for plate in page["plates"]:
        if plate["sha256"] not in files:
            sys.exit("page %d %s: no file has that digest" % (page["page"], plate["name"]))
        print("%d\t%s\t%s" % (page["page"], plate["name"], files[plate["sha256"]]))
    if sha("".join(p["name"] + "\n" + p["sha256"] + "\n" for p in page["plates"])) != page["fingerprint"]:
        sys.exit("page %d: the fingerprint is not of its plates" % page["page"])
    pages.append(page["fingerprint"])
if proof["job"] != sha("".join(p + "\n" for p in pages)):
    sys.exit("the job's fingerprint is not of its pages")
