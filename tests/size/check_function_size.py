#!/usr/bin/env python3
"""Fails on a function body longer than the limit in the given folders.

    check_function_size.py ROOT [--limit N] [--selftest FILE] [--files FILE...]

Counts the lines from a function's opening brace to its closing one, in
sources with comments and literals blanked. Known exceptions (declarative
tables, named below as "path:function") are allowed. With --selftest, passes
only when exactly the functions whose opening line is marked "// too long"
are reported.
"""
import argparse
import os
import re
import sys

FOLDERS = ["host"]
LIMIT = 60
# Functions allowed to be longer, as "path:function"; none today.
EXCEPTIONS = set()

CONTROL_HEAD = re.compile(r"\b(if|for|while|switch|catch)\s*\(.*\)\s*$")
LAMBDA_HEAD = re.compile(r"\]\s*(\(.*\))?\s*(mutable)?\s*(->\s*[\w:<>,\s\*&]+)?\s*$")
FUNCTION_HEAD = re.compile(r"\)\s*((const|override|noexcept|final|volatile|&|&&)\s*)*(->\s*[\w:<>,\s\*&]+)?\s*(:\s*.*)?$")


def blank(src):
    """Comments and literals removed, newlines kept."""
    out, i, n = [], 0, len(src)
    while i < n:
        if src.startswith("//", i):
            j = src.find("\n", i)
            i = n if j < 0 else j
            continue
        if src.startswith("/*", i):
            j = src.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append("\n" * src.count("\n", i, j))
            i = j
            continue
        raw = re.match(r'R"([^(\s]*)\(', src[i:i + 20])
        if raw and (i == 0 or not (src[i - 1].isalnum() or src[i - 1] == "_")):
            end = ")" + raw.group(1) + '"'
            j = src.find(end, i)
            j = n if j < 0 else j + len(end)
            out.append('""' + "\n" * src.count("\n", i, j))
            i = j
            continue
        c = src[i]
        if c in "\"'" and not (c == "'" and i > 0 and src[i - 1].isalnum()):
            j = i + 1
            while j < n and src[j] != c and src[j] != "\n":
                j += 2 if src[j] == "\\" else 1
            out.append(c + c)
            i = j + 1
            continue
        out.append(c)
        i += 1
    return "".join(out)


def name_of(head):
    """The function's name from the text before its body."""
    head = re.sub(r"\)\s*:.*$", ")", head)  # constructor initialisers
    depth, k = 0, len(head) - 1
    while k >= 0:
        if head[k] == ")":
            depth += 1
        elif head[k] == "(":
            depth -= 1
            if depth == 0:
                break
        k -= 1
    m = re.search(r"([~\w:]+)\s*$", head[:max(k, 0)])
    return m.group(1).split("::")[-1] if m else "?"


def long_functions(path, limit):
    lines = blank(open(path, encoding="utf-8", errors="replace").read()).split("\n")
    found, stack = [], []
    for number, line in enumerate(lines, 1):
        for col, ch in enumerate(line):
            if ch == "{":
                head = (" ".join(lines[max(0, number - 4):number - 1]) + " " + line[:col]).rstrip()
                head = re.split(r"[;{}]", head)[-1]  # this declaration only
                is_function = (FUNCTION_HEAD.search(head) and not CONTROL_HEAD.search(line[:col])
                               and not LAMBDA_HEAD.search(head))
                stack.append((number, bool(is_function), head))
            elif ch == "}" and stack:
                start, is_function, head = stack.pop()
                inside_function = any(f for _, f, _ in stack)
                if is_function and not inside_function and number - start + 1 > limit:
                    found.append((start, number - start + 1, name_of(head)))
    return found


def sources(root):
    for folder in FOLDERS:
        for base, _, files in os.walk(os.path.join(root, folder)):
            for f in sorted(files):
                if f.endswith((".cpp", ".h")):
                    yield os.path.join(base, f)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("root")
    p.add_argument("--limit", type=int, default=LIMIT)
    p.add_argument("--selftest")
    p.add_argument("--files", nargs="*")
    a = p.parse_args()
    if a.selftest:
        found = {start for start, _, _ in long_functions(a.selftest, a.limit)}
        lines = open(a.selftest, encoding="utf-8").read().split("\n")
        marked = {i + 1 for i, line in enumerate(lines) if "// too long" in line}
        if not marked or found != marked:
            print(f"marked {sorted(marked)}, reported {sorted(found)}")
            return 1
        print(f"all {len(marked)} marked functions reported, nothing else")
        return 0
    bad, used = [], set()
    for path in a.files or sources(a.root):
        rel = os.path.relpath(path, a.root).replace(os.sep, "/")
        for start, length, name in long_functions(path, a.limit):
            key = f"{rel}:{name}"
            if key in EXCEPTIONS:
                used.add(key)
                continue
            bad.append(f"{rel}:{start}: {name} is {length} lines (limit {a.limit})")
    for stale in sorted(EXCEPTIONS - used) if not a.files else []:
        print(f"known exception no longer needed, remove it: {stale}")
    for b in bad:
        print(b)
    if bad:
        print(f"{len(bad)} functions longer than {a.limit} lines: split them")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
