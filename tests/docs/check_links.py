#!/usr/bin/env python3
"""Keeps README.md and docs/*.md true to the tree they describe: every relative link and
image leads to a file (and, with #anchor, to a heading there), every `make TARGET` they
name is a rule of the Makefile, every repository path they quote in backticks exists,
every page in docs/ is reachable from the README, and `make help` names every phony
target. Prints one line per fault and exits 1 if there is any.

    check_links.py REPOSITORY
"""
import glob
import os
import re
import shlex
import subprocess
import sys

# Quoted paths that begin with one of these name the repository; others (build/...,
# imgs/..., a released folder's files) name what the build or a release makes.
SOURCE_FOLDERS = ("src/", "tools/", "tests/", "bench/", "shdrs/", "cmake/", "packaging/",
                  "scripts/", "docs/")

FENCE = re.compile(r"^\s*(```|~~~)")
LINK = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)(?:\s+\"[^\"]*\")?\)")
CODE_SPAN = re.compile(r"`([^`]+)`")
RULE = re.compile(r"^([A-Za-z0-9_.%/-][^:=#\s]*(?:[ \t]+[^:=#\s]+)*)[ \t]*::?(?!=)")


def slug(heading):
    """The anchor GitHub gives a heading: lower case, punctuation dropped, spaces to
    hyphens."""
    text = re.sub(r"[`*_]", "", heading.strip().lower())
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def read_page(path):
    """The page's prose lines and code-block lines, each with its line number, and the
    anchors of its headings."""
    prose, code, anchors, seen = [], [], set(), {}
    in_fence = False
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if FENCE.match(line):
                in_fence = not in_fence
                continue
            if in_fence:
                code.append((number, line))
                continue
            prose.append((number, line))
            heading = re.match(r"^#{1,6}\s+(.*?)\s*#*\s*$", line)
            if heading:
                base = slug(heading.group(1))
                count = seen.get(base, 0)
                seen[base] = count + 1
                anchors.add(base if count == 0 else f"{base}-{count}")
    return prose, code, anchors


def makefile_targets(makefile):
    targets = set()
    with open(makefile, encoding="utf-8") as f:
        for line in f:
            rule = RULE.match(line)
            if rule and not line.startswith("\t"):
                targets.update(t for t in rule.group(1).split() if "$" not in t)
    return targets


def phony_targets(makefile):
    with open(makefile, encoding="utf-8") as f:
        text = f.read().replace("\\\n", " ")
    phony = set()
    for line in text.splitlines():
        if line.startswith(".PHONY:"):
            phony.update(line.split(":", 1)[1].split())
    return phony


def named_targets(command):
    """The targets of each `make` in a shell command line: the words after `make` that
    are neither options nor VAR=value, up to a comment."""
    try:
        words = shlex.split(command, comments=True)
    except ValueError:
        words = command.split()
    targets, after_make, at_start = [], False, True
    for word in words:
        if word in (";", "&&", "||", "|"):
            after_make, at_start = False, True
            continue
        if at_start and re.match(r"^\w+=", word):
            continue
        if at_start:
            after_make, at_start = word == "make", False
            continue
        if after_make and not word.startswith("-") and "=" not in word:
            targets.append(word)
    return targets


def check_page(root, page, targets, pages_anchors, faults):
    here = os.path.dirname(page)
    name = os.path.relpath(page, root)
    prose, code, _ = pages_anchors[page]
    linked = set()
    for number, line in prose:
        where = f"{name}:{number}"
        for target in LINK.findall(CODE_SPAN.sub("", line)):
            if re.match(r"^[a-z][a-z0-9+.-]*:", target):
                continue
            path, _, anchor = target.partition("#")
            dest = os.path.normpath(os.path.join(here, path)) if path else page
            if not os.path.exists(dest):
                faults.append(f"{where}: link to a missing file: {target}")
                continue
            linked.add(dest)
            if anchor and dest.endswith(".md"):
                if dest not in pages_anchors:
                    pages_anchors[dest] = read_page(dest)
                if anchor not in pages_anchors[dest][2]:
                    faults.append(f"{where}: no heading for #{anchor} in {os.path.relpath(dest, root)}")
        for span in CODE_SPAN.findall(line):
            for target in named_targets(span):
                if target not in targets:
                    faults.append(f"{where}: no Makefile target `{target}` in `{span}`")
            for word in span.split():
                word = word.rstrip(",.;:)")
                if word.startswith(SOURCE_FOLDERS) and "<" not in word:
                    if not glob.glob(os.path.join(root, word)):
                        faults.append(f"{where}: no such path in the repository: {word}")
    for number, line in code:
        for target in named_targets(line):
            if target not in targets:
                faults.append(f"{name}:{number}: no Makefile target `{target}`")
    return linked


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else ".")
    makefile = os.path.join(root, "Makefile")
    targets = makefile_targets(makefile)
    readme = os.path.join(root, "README.md")
    pages = [readme] + sorted(glob.glob(os.path.join(root, "docs", "*.md")))
    pages_anchors = {page: read_page(page) for page in pages}
    faults = []
    from_readme = check_page(root, readme, targets, pages_anchors, faults)
    for page in pages[1:]:
        check_page(root, page, targets, pages_anchors, faults)
        if page not in from_readme:
            faults.append(f"README.md: no link to {os.path.relpath(page, root)}")

    help_text = subprocess.run(["make", "-s", "--no-print-directory", "-C", root, "help"],
                               capture_output=True, text=True).stdout
    listed = set(re.findall(r"\bmake ([\w-]+)", help_text))
    for target in sorted(phony_targets(makefile) - listed):
        faults.append(f"Makefile: `make help` does not list `{target}`")

    for fault in faults:
        print(fault)
    checked = ", ".join(os.path.relpath(p, root) for p in pages)
    print(f"{len(faults)} faults in {checked}" if faults else f"all links and targets hold in {checked}")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
