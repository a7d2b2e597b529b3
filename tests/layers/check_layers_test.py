#!/usr/bin/python3
"""The layer check itself: scratch trees with and without a fault, and the real tree.

Usage: check_layers_test.py SOURCE_DIR"""

import os
import subprocess
import sys
import tempfile
import unittest

SOURCE_DIR = os.path.abspath(sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "../.."))
CHECK = os.path.join(SOURCE_DIR, "tools", "check-layers.py")


def check(root):
    run = subprocess.run([sys.executable, CHECK, root], capture_output=True, text=True, check=False)
    return run.returncode, run.stdout


class LayerCheck(unittest.TestCase):
    def tree(self, files):
        """A scratch core: {path: [included paths]}."""
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        for path, included in files.items():
            full = os.path.join(folder.name, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "w", encoding="utf-8") as source:
                source.write("".join('#include "%s"\n' % name for name in included) + "int x;\n")
        return folder.name

    def test_loops_between_folders_of_a_layer_fail_and_are_named(self):
        cases = [
            ("two folders", {
                "engines/web/TextEncoders.cpp": ["engines/web/TextEncoders.h", "engines/delivery/NotifyMessage.h"],
                "engines/delivery/NotifyMessage.cpp": ["base/text/UTF8Text.h", "engines/web/TextEncoders.h"],
            }, "include loop inside the engines layer: engines/delivery -> engines/web -> engines/delivery "
               "(engines/delivery/NotifyMessage.cpp:2 includes engines/web/TextEncoders.h; "
               "engines/web/TextEncoders.cpp:2 includes engines/delivery/NotifyMessage.h)"),
            ("three folders, through headers", {
                "tasks/a/A.h": ["tasks/b/B.h"],
                "tasks/b/B.h": ["tasks/c/C.h"],
                "tasks/c/C.h": ["tasks/a/A.h"],
                "tasks/c/D.h": ["tasks/b/B.h"],
            }, "include loop inside the tasks layer: tasks/a -> tasks/b -> tasks/c -> tasks/a"),
        ]
        for name, files, expected in cases:
            with self.subTest(name):
                status, output = check(self.tree(files))
                self.assertEqual(status, 1, output)
                self.assertIn(expected, output)
                self.assertIn("1 include loop(s)", output)

    def test_uses_without_a_loop_pass(self):
        status, output = check(self.tree({
            "base/text/UTF8Text.h": [],
            "engines/web/TextEncoders.cpp": ["engines/web/TextEncoders.h", "base/text/UTF8Text.h"],
            "engines/delivery/NotifyMessage.cpp": ["engines/web/TextEncoders.h", "base/text/UTF8Text.h"],
            "engines/delivery/Mail.h": ["engines/delivery/NotifyMessage.h"],
            "tasks/delivery/NotifyThread.cpp": ["engines/delivery/Mail.h", "tasks/imaging/TilingThread.h"],
            "tasks/imaging/TilingThread.cpp": ["engines/web/TextEncoders.h"],
        }))
        self.assertEqual(status, 0, output)

    def test_a_loop_across_layers_is_an_include_up_the_layers(self):
        status, output = check(self.tree({
            "engines/imaging/Tiles.cpp": ["tasks/imaging/TilingThread.h"],
            "tasks/imaging/TilingThread.h": ["engines/imaging/Tiles.h"],
        }))
        self.assertEqual(status, 1, output)
        self.assertIn('engines/imaging/Tiles.cpp:1: #include "tasks/imaging/TilingThread.h" '
                      "(engines may not use the tasks layer above it)", output)
        self.assertNotIn("loop", output)

    def test_the_real_tree_passes(self):
        status, output = check(SOURCE_DIR)
        self.assertEqual(status, 0, output)


if __name__ == "__main__":
    unittest.main()
