#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Compares the dynamic symbols two builds of a shared library define.

    compare_exports.py A B

A and B are shared libraries (their defined dynamic symbols are read with
nm) or text files of mangled names, one a line. The names are demangled with
c++filt, then the standard library's own spelling is set aside, so that a
build against libstdc++ and one against libc++ compare equal exactly when
they export the same functions with the same parameter types:

  * the inline namespaces: libc++'s std::__1:: and libstdc++'s
    std::__cxx11:: (new-ABI strings and lists) become std::;
  * the vector iterator: libstdc++'s
    __gnu_cxx::__normal_iterator<P, std::vector<T, A> > and libc++'s
    std::__wrap_iter<P> both become <vector iterator P>; the element pointer
    P stays, so an iterator over another type is still a difference.

Names are compared with their counts: a constructor or destructor is
exported once per variant (complete and base object), which demangle alike,
so a build that lost one variant differs too. Prints each name found in one
build more often than in the other and exits 1 if there is any, 0 if the two
lists are equal, 2 on a usage or reading error.
"""
import subprocess
import sys
from collections import Counter

ITERATORS = ("__gnu_cxx::__normal_iterator<", "std::__wrap_iter<")


def template_arguments(text, start):
    """The top-level arguments of the template list opened at text[start - 1]
    ('<'), and the index just past its closing '>'."""
    depth, args, begin, i = 0, [], start, start
    while i < len(text):
        c = text[i]
        if c in "<([":
            depth += 1
        elif c in ")]" or (c == ">" and depth > 0):
            depth -= 1
        elif c == ">":
            args.append(text[begin:i].strip())
            return args, i + 1
        elif c == "," and depth == 0:
            args.append(text[begin:i].strip())
            begin = i + 1
        i += 1
    raise ValueError("unbalanced template list in: " + text)


def normalise(name):
    name = name.replace("std::__1::", "std::").replace("std::__cxx11::", "std::")
    out, i = [], 0
    while i < len(name):
        for opener in ITERATORS:
            if name.startswith(opener, i):
                args, end = template_arguments(name, i + len(opener))
                out.append("<vector iterator " + normalise(args[0]) + ">")
                i = end
                break
        else:
            out.append(name[i])
            i += 1
    return "".join(out)


def mangled_names(path):
    with open(path, "rb") as f:
        is_elf = f.read(4) == b"\x7fELF"
    if not is_elf:
        with open(path, encoding="utf-8") as f:
            return [line.strip() for line in f if line.strip()]
    listing = subprocess.run(["nm", "-D", "--defined-only", "--format=posix", path],
                             check=True, capture_output=True, text=True).stdout
    # "name type value size"; a versioned name keeps its @VERSION suffix.
    return [line.split()[0] for line in listing.splitlines() if line.strip()]


def demangled(names):
    if not names:
        return []
    out = subprocess.run(["c++filt"], input="\n".join(names) + "\n", check=True,
                         capture_output=True, text=True).stdout.splitlines()
    if len(out) != len(names):
        raise RuntimeError("c++filt gave %d lines for %d names" % (len(out), len(names)))
    return out


def exported(path):
    return Counter(normalise(n) for n in demangled(mangled_names(path)))


def main(argv):
    if len(argv) != 3:
        print("usage: compare_exports.py A B", file=sys.stderr)
        return 2
    try:
        a, b = exported(argv[1]), exported(argv[2])
    except (OSError, subprocess.CalledProcessError, RuntimeError, ValueError) as e:
        print("compare_exports: %s" % e, file=sys.stderr)
        return 2
    for name in sorted((a - b).elements()):
        print("only in %s: %s" % (argv[1], name))
    for name in sorted((b - a).elements()):
        print("only in %s: %s" % (argv[2], name))
    differ = sum(((a - b) + (b - a)).values())
    if differ:
        print("compare_exports: %d name(s) differ" % differ)
        return 1
    print("compare_exports: the same %d names" % sum(a.values()))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
