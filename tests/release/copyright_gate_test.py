#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""scripts/check_copyright.py on the real copyright file and on files that
each break one rule: every bad one fails with the line naming the fault.

    copyright_gate_test.py CHECK_SCRIPT SOURCE_ROOT
"""
import os
import subprocess
import sys
import tempfile
import unittest

CHECK, ROOT = sys.argv[1], sys.argv[2]
HEADER = "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n\n"
OURS = "Files: *\nCopyright: 2026 The Kestrel developers\nLicense: Apache-2.0\n"
APACHE = "\nLicense: Apache-2.0\n See /usr/share/common-licenses/Apache-2.0.\n"


class CopyrightGate(unittest.TestCase):
    def run_check(self, text, root=None):
        with tempfile.NamedTemporaryFile("w", suffix="copyright", delete=False) as f:
            f.write(text)
        self.addCleanup(os.unlink, f.name)
        args = [sys.executable, CHECK, f.name] + ([root] if root else [])
        done = subprocess.run(args, capture_output=True, text=True)
        lines = [l.replace(f.name, "COPYRIGHT") for l in done.stdout.splitlines()]
        return done.returncode, lines

    def test_the_shipped_file_passes_against_the_tree(self):
        with open(os.path.join(ROOT, "cmake/debian-copyright"), encoding="utf-8") as f:
            shipped = f.read()
        status, lines = self.run_check(shipped, ROOT)
        self.assertEqual((status, lines), (0, []))

    def test_free_text_is_refused(self):
        status, lines = self.run_check("Copyright 2026 The Kestrel developers.\nAll rights reserved.\n")
        self.assertEqual(status, 1)
        self.assertEqual(len(lines), 1)
        self.assertTrue(lines[0].startswith(
            "check_copyright: COPYRIGHT: not a machine-readable copyright file: "), lines)

    def test_another_format_is_refused(self):
        status, lines = self.run_check(HEADER.replace("1.0/", "0.9/") + OURS + APACHE)
        self.assertEqual((status, lines), (1, [
            "check_copyright: COPYRIGHT: Format is "
            "'https://www.debian.org/doc/packaging-manuals/copyright-format/0.9/', not "
            "https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"]))

    def test_the_project_under_another_licence_is_refused(self):
        # What the package said before the project had a licence.
        status, lines = self.run_check(
            HEADER + "Files: *\nCopyright: 2026 The Kestrel developers\nLicense: other\n"
            " All rights reserved by the Kestrel developers.\n")
        self.assertEqual((status, lines), (1, [
            "check_copyright: COPYRIGHT: \"Files: *\" is under 'other', not Apache-2.0"]))

    def test_no_paragraph_for_every_file_is_refused(self):
        status, lines = self.run_check(
            HEADER + "Files: src/*\nCopyright: 2026 The Kestrel developers\nLicense: Apache-2.0\n" + APACHE)
        self.assertEqual((status, lines), (1, ["check_copyright: COPYRIGHT: no \"Files: *\" paragraph"]))

    def test_a_licence_without_text_is_refused(self):
        status, lines = self.run_check(HEADER + OURS + APACHE +
                                       "\nFiles: examples/metadata/*.json\nCopyright: 2026 someone\n"
                                       "License: Expat\n")
        self.assertEqual((status, lines), (1, [
            "check_copyright: COPYRIGHT: examples/metadata/*.json: the licence Expat has no text"]))

    def test_a_licence_with_its_text_in_the_paragraph_passes(self):
        status, lines = self.run_check(HEADER + OURS + APACHE +
                                       "\nFiles: examples/metadata/*.json\nCopyright: 2026 someone\n"
                                       "License: Expat\n Permission is hereby granted.\n", ROOT)
        self.assertEqual((status, lines), (0, []))

    def test_a_stale_file_entry_is_refused(self):
        status, lines = self.run_check(HEADER + OURS + APACHE +
                                       "\nFiles: examples/metadata/gone.json\nCopyright: 2026 someone\n"
                                       "License: Apache-2.0\n", ROOT)
        self.assertEqual((status, lines), (1, [
            "check_copyright: COPYRIGHT: examples/metadata/gone.json names no file in the source tree"]))


if __name__ == "__main__":
    try:
        import debian.copyright  # noqa: F401
    except ImportError:
        print("python3-debian not installed: skipped")
        sys.exit(77)
    unittest.main(argv=sys.argv[:1], verbosity=2)
