#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""Checks the package's copyright file as Debian reads it (DEP-5,
copyright-format 1.0), with Debian's own parser (python3-debian):

    check_copyright.py COPYRIGHT [SOURCE_ROOT]

Fails (exit 1, one line each) when the file does not parse strictly as the
format, names another format, does not put every file ("Files: *") under
the project's licence, names a licence without giving its text (in the
paragraph or in a License paragraph of its own), or, given SOURCE_ROOT,
names files that are not in the source tree (a stale entry hides which
licence a file really has). Exit 2 when python3-debian is missing.
"""
import fnmatch
import os
import sys

FORMAT = "https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
PROJECT_LICENCE = "Apache-2.0"


def source_files(root):
    for folder, dirs, files in os.walk(root):
        dirs[:] = [d for d in dirs if d != ".git" and not d.startswith("build")]
        for name in files:
            yield os.path.relpath(os.path.join(folder, name), root)


def problems(path, root):
    import debian.copyright as dep5
    try:
        with open(path, encoding="utf-8") as f:
            document = dep5.Copyright(f, strict=True)
    except (dep5.Error, ValueError) as e:
        yield "not a machine-readable copyright file: %s" % e
        return
    if document.header.format != FORMAT:
        yield "Format is %r, not %s" % (document.header.format, FORMAT)
    licence_texts = {p.license.synopsis for p in document.all_license_paragraphs()
                     if p.license.text.strip()}
    everything = [p for p in document.all_files_paragraphs() if "*" in p.files]
    if not everything:
        yield "no \"Files: *\" paragraph"
    elif everything[0].license.synopsis != PROJECT_LICENCE:
        yield "\"Files: *\" is under %r, not %s" % (everything[0].license.synopsis,
                                                     PROJECT_LICENCE)
    tree = sorted(source_files(root)) if root else None
    for paragraph in document.all_files_paragraphs():
        name = paragraph.license.synopsis
        if not paragraph.license.text.strip() and name not in licence_texts:
            yield "%s: the licence %s has no text" % (" ".join(paragraph.files), name)
        if tree is None:
            continue
        for pattern in paragraph.files:
            if pattern != "*" and not any(fnmatch.fnmatchcase(f, pattern) for f in tree):
                yield "%s names no file in the source tree" % pattern


def main(argv):
    if len(argv) not in (2, 3):
        print("usage: check_copyright.py COPYRIGHT [SOURCE_ROOT]", file=sys.stderr)
        return 2
    try:
        import debian.copyright  # noqa: F401
    except ImportError:
        print("check_copyright: python3-debian is not installed", file=sys.stderr)
        return 2
    found = list(problems(argv[1], argv[2] if len(argv) == 3 else None))
    for problem in found:
        print("check_copyright: %s: %s" % (argv[1], problem))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
