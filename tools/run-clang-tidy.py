#!/usr/bin/env python3
"""Runs the bug-finding checks of .clang-tidy on the core's sources with the
compile commands of a built build folder, and fails on any finding.

A file found clean is remembered under a key of everything its result depends
on: the file and the project headers it includes (by content), the system
headers (by path, size and time), its compile command, the checks and the
clang-tidy version. Only files whose key is new are checked again, so a run
after a one-file change checks that file and the files that include it.
The record lives in ~/.cache/tavrin-clang-tidy (TAVRIN_TIDY_CACHE), shared by
every clone; delete it to check everything.

Usage: tools/run-clang-tidy.py BUILD_FOLDER
"""
import concurrent.futures
import hashlib
import json
import os
import re
import shlex
import subprocess
import sys
from pathlib import Path

CORE = re.compile(r"^(base|engines|tasks|station)/.*\.cpp$")


def ninja_dependencies(build):
    """Every object's dependencies, as recorded by ninja's deps log."""
    out = subprocess.run(["ninja", "-C", build, "-t", "deps"], check=True, capture_output=True, text=True).stdout
    deps, current = {}, None
    for line in out.splitlines():
        if line and not line.startswith(" "):
            current = line.split(":", 1)[0]
            deps[current] = []
        elif line.strip() and current is not None:
            deps[current].append(line.strip())
    return deps


def object_of(command):
    words = shlex.split(command)
    return words[words.index("-o") + 1] if "-o" in words else None


def file_key(root, build, entry, dependencies, common):
    digest = hashlib.sha256(common)
    # The command with this clone's folder taken out, so clones share records.
    digest.update(entry["command"].replace(str(root), "<root>").encode())
    for dependency in [entry["file"]] + dependencies:
        path = Path(build, dependency).resolve()
        try:
            inside = path.is_relative_to(root)
            digest.update((str(path.relative_to(root)) if inside else str(path)).encode())
            if inside:
                digest.update(path.read_bytes())
            else:
                status = path.stat()
                digest.update(f"{status.st_size}:{status.st_mtime_ns}".encode())
        except OSError:
            digest.update(b"<missing>")
    return digest.hexdigest()


def main():
    root = Path(__file__).resolve().parent.parent
    build = Path(sys.argv[1] if len(sys.argv) > 1 else "build").resolve()
    commands = build / "compile_commands.json"
    if not commands.is_file():
        sys.exit(f"No {commands}: configure and build first.")
    cache = Path(os.environ.get("TAVRIN_TIDY_CACHE", Path.home() / ".cache" / "tavrin-clang-tidy"))
    cache.mkdir(parents=True, exist_ok=True)

    version = subprocess.run(["clang-tidy", "--version"], check=True, capture_output=True).stdout
    common = version + (root / ".clang-tidy").read_bytes()
    deps = ninja_dependencies(build)
    entries = [e for e in json.load(commands.open())
               if Path(e["file"]).resolve().is_relative_to(root)
               and CORE.match(str(Path(e["file"]).resolve().relative_to(root)))]
    pending = []
    for entry in entries:
        target = object_of(entry["command"])
        if target not in deps:
            # Not built yet, so its headers are unknown: always checked.
            pending.append((entry, None))
            continue
        key = file_key(root, build, entry, deps[target], common)
        if not (cache / key).exists():
            pending.append((entry, key))

    print(f"== clang-tidy on the core: {len(pending)} of {len(entries)} files changed since their last clean check")
    log = build / "clang-tidy.log"
    failures = []

    def check(item):
        entry, key = item
        result = subprocess.run(["clang-tidy", "-p", str(build), "--quiet", entry["file"]],
                                capture_output=True, text=True)
        return entry, key, result

    with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 1) as pool, log.open("w") as out:
        for entry, key, result in pool.map(check, pending):
            out.write(result.stdout + result.stderr)
            findings = re.findall(r"^.*(?:error|warning): .*$", result.stdout, re.MULTILINE)
            if result.returncode != 0 or findings:
                failures.append(entry["file"])
                for finding in sorted(set(findings)) or [result.stderr.strip()]:
                    print(re.sub(r"\x1b\[[0-9;]*m", "", finding), file=sys.stderr)
            elif key:
                (cache / key).touch()
    if failures:
        print(f"clang-tidy found the faults above in {len(failures)} files (whole log: {log})", file=sys.stderr)
        return 1
    print("no findings")
    return 0


if __name__ == "__main__":
    sys.exit(main())
