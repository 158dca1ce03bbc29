#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""scripts/compare_exports.py on the plug-in's export lists of a libstdc++
build and a libc++ build (data/, mangled names as nm gives them): the two
agree, and each planted difference, however small, is found.

    compare_exports_test.py COMPARE_SCRIPT DATA_DIR
"""
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT, DATA = sys.argv[1], sys.argv[2]


def names(file):
    with open(os.path.join(DATA, file), encoding="utf-8") as f:
        return [line.strip() for line in f if line.strip()]


GNU = names("exports-libstdc++.txt")
LLVM = names("exports-libc++.txt")
# Hdr10Lut::getEotf(unsigned int, unsigned int), and Hdr10Lut::getOetf, whose
# first parameter is an iterator of std::vector<OetfRoot>, spelt by each
# library its own way.
GET_EOTF = "_ZN8Hdr10Lut7getEotfEjj"
GET_OETF_LLVM = [n for n in LLVM if n.startswith("_ZN8Hdr10Lut7getOetfE")]


class ExportComparison(unittest.TestCase):
    def compare(self, a, b):
        paths = []
        for lines in (a, b):
            with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
                f.write("\n".join(lines) + "\n")
            self.addCleanup(os.unlink, f.name)
            paths.append(f.name)
        done = subprocess.run([sys.executable, SCRIPT] + paths, capture_output=True, text=True)
        out = done.stdout.replace(paths[0], "A").replace(paths[1], "B").splitlines()
        return done.returncode, out

    def test_the_fixtures_are_what_they_claim(self):
        # Without the two spellings there would be nothing to set aside.
        self.assertIn(GET_EOTF, GNU)
        self.assertIn(GET_EOTF, LLVM)
        self.assertTrue(any("__normal_iterator" in n for n in GNU))
        self.assertEqual(len(GET_OETF_LLVM), 1)
        self.assertIn("__wrap_iter", GET_OETF_LLVM[0])
        self.assertNotEqual(sorted(GNU), sorted(LLVM))

    def test_the_two_builds_export_the_same_functions(self):
        status, out = self.compare(GNU, LLVM)
        self.assertEqual(status, 0, out)
        self.assertEqual(out, ["compare_exports: the same %d names" % len(GNU)])

    def test_a_function_missing_from_one_build_is_found(self):
        status, out = self.compare(GNU, [n for n in LLVM if n != GET_EOTF])
        self.assertEqual((status, out), (1, [
            "only in A: Hdr10Lut::getEotf(unsigned int, unsigned int)",
            "compare_exports: 1 name(s) differ"]))

    def test_a_changed_parameter_type_is_found(self):
        changed = [n.replace(GET_EOTF, "_ZN8Hdr10Lut7getEotfEji") for n in LLVM]
        status, out = self.compare(GNU, changed)
        self.assertEqual((status, out), (1, [
            "only in A: Hdr10Lut::getEotf(unsigned int, unsigned int)",
            "only in B: Hdr10Lut::getEotf(unsigned int, int)",
            "compare_exports: 2 name(s) differ"]))

    def test_an_iterator_over_another_type_is_found(self):
        # OetfRoot* (P8OetfRoot) becomes OetfRoot const* (PK8OetfRoot): a
        # const_iterator in the libc++ build only. The iterator's own
        # spelling is set aside, what it points to is not.
        old = GET_OETF_LLVM[0]
        self.assertIn("IP8OetfRoot", old)
        changed = [n.replace("IP8OetfRoot", "IPK8OetfRoot") if n == old else n for n in LLVM]
        status, out = self.compare(GNU, changed)
        self.assertEqual((status, out), (1, [
            "only in A: Hdr10Lut::getOetf(<vector iterator OetfRoot*>, unsigned int)",
            "only in B: Hdr10Lut::getOetf(<vector iterator OetfRoot const*>, unsigned int)",
            "compare_exports: 2 name(s) differ"]))

    def test_a_lost_constructor_variant_is_found(self):
        # The complete (C1) and base (C2) object constructors demangle alike;
        # losing one is still a difference.
        base = "_ZN8Hdr10LutC2Ev"
        self.assertIn(base, LLVM)
        status, out = self.compare(GNU, [n for n in LLVM if n != base])
        self.assertEqual((status, out), (1, [
            "only in A: Hdr10Lut::Hdr10Lut()",
            "compare_exports: 1 name(s) differ"]))

    def test_a_function_only_one_build_adds_is_found(self):
        status, out = self.compare(GNU, LLVM + ["_ZN8Hdr10Lut5clearEv"])
        self.assertEqual((status, out), (1, [
            "only in B: Hdr10Lut::clear()",
            "compare_exports: 1 name(s) differ"]))

    def test_an_unreadable_list_is_an_error_not_a_difference(self):
        done = subprocess.run([sys.executable, SCRIPT, os.path.join(DATA, "absent.txt"),
                               os.path.join(DATA, "exports-libc++.txt")],
                              capture_output=True, text=True)
        self.assertEqual(done.returncode, 2)
        self.assertIn("compare_exports: ", done.stderr)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
