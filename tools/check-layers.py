#!/usr/bin/python3
"""Checks that the core's includes only point down its layers.

The core lives in four layer folders, lowest first: base, engines, tasks,
station. A file may include its own layer and the layers below it, never one
above, and the core never includes the front ends (gui, cli) or Qt. Inside a
layer, the folders (engines/web, engines/delivery, ...) may use each other,
but never in a loop: two folders that include each other, directly or
through others of the layer, can no longer be understood or moved one
without the other. Prints every include that breaks a rule and every loop,
and exits 1 when there is one.

Usage: check-layers.py [SOURCE_DIR]"""

import os
import re
import sys

LAYERS = ["base", "engines", "tasks", "station"]
FRONT_ENDS = ["gui", "cli", "tests", "tools", "bench", "fuzz"]
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def includes(root):
    """(layer rank, path relative to root, line number, line, quote, included) of every include of the core."""
    for rank, layer in enumerate(LAYERS):
        for folder, subfolders, names in os.walk(os.path.join(root, layer)):
            subfolders.sort()
            for name in sorted(names):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(folder, name)
                with open(path, encoding="utf-8", errors="replace") as source:
                    for number, line in enumerate(source, 1):
                        match = INCLUDE.match(line)
                        if match:
                            quote, included = match.groups()
                            yield rank, os.path.relpath(path, root), number, line.strip(), quote, included


def violations(root):
    for rank, path, number, line, quote, included in includes(root):
        layer = LAYERS[rank]
        first = included.split("/", 1)[0]
        where = "%s:%d: %s" % (path, number, line)
        if quote == "<" and re.match(r"Q[A-Z]\w*$", included):
            yield where + " (the core never sees Qt)"
        elif quote == '"' and first in LAYERS and LAYERS.index(first) > rank:
            yield where + " (%s may not use the %s layer above it)" % (layer, first)
        elif quote == '"' and first in FRONT_ENDS:
            yield where + " (the core may not use %s/)" % first


def folder_uses(root):
    """The folders each folder of the core uses inside its own layer, with the
    first include that makes each use: {folder: {used folder: "path:line includes file"}}."""
    uses = {}
    for rank, path, number, _, quote, included in includes(root):
        if quote != '"' or included.split("/", 1)[0] != LAYERS[rank]:
            continue
        folder = os.path.dirname(path).replace(os.sep, "/")
        used = os.path.dirname(included)
        if used != folder:
            uses.setdefault(folder, {}).setdefault(used, "%s:%d includes %s" % (path.replace(os.sep, "/"), number, included))
    return uses


def loops(uses):
    """One loop through each group of folders that reach each other, as the
    list of its folders with the first one repeated at the end."""
    # Tarjan's strongly connected components, iteratively.
    index, low, on_stack, stack, groups = {}, {}, set(), [], []
    for start in sorted(uses):
        if start in index:
            continue
        work = [(start, iter(sorted(uses.get(start, {}))))]
        index[start] = low[start] = len(index)
        stack.append(start)
        on_stack.add(start)
        while work:
            folder, following = work[-1]
            step = next(following, None)
            if step is None:
                work.pop()
                if work:
                    low[work[-1][0]] = min(low[work[-1][0]], low[folder])
                if low[folder] == index[folder]:
                    group = []
                    while True:
                        member = stack.pop()
                        on_stack.discard(member)
                        group.append(member)
                        if member == folder:
                            break
                    if len(group) > 1:
                        groups.append(sorted(group))
            elif step not in index:
                index[step] = low[step] = len(index)
                stack.append(step)
                on_stack.add(step)
                work.append((step, iter(sorted(uses.get(step, {})))))
            elif step in on_stack:
                low[folder] = min(low[folder], index[step])
    for group in sorted(groups):
        # The shortest way from the group's first folder back to it, through
        # the group (a folder never counts as using itself).
        first, members = group[0], set(group)
        came_from, queue = {first: None}, [first]
        for folder in queue:
            if first in uses.get(folder, {}):
                break
            for used in sorted(uses.get(folder, {})):
                if used in members and used not in came_from:
                    came_from[used] = folder
                    queue.append(used)
        loop = [first]
        while folder is not None:
            loop.insert(0, folder)
            folder = came_from[folder]
        yield loop

def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    found = list(violations(root))
    for line in found:
        print(line)
    uses = folder_uses(root)
    found_loops = list(loops(uses))
    for loop in found_loops:
        steps = [uses[a][b] for a, b in zip(loop, loop[1:])]
        print("include loop inside the %s layer: %s (%s)" % (loop[0].split("/")[0], " -> ".join(loop), "; ".join(steps)))
    if found:
        print("%d include(s) point up the layers or out of the core" % len(found))
    if found_loops:
        print("%d include loop(s) between the folders of a layer" % len(found_loops))
    if found or found_loops:
        return 1
    print("The core's includes point down its layers only, with no loop between the folders of a layer.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
