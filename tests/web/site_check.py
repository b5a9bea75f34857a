#!/usr/bin/env python3
"""Reads a generated site with html5lib, an HTML parser independent of ours.

Usage: site_check.py OUTDIR EXPECTED.json
EXPECTED.json maps page file names to {"title": ..., "h2": ..., "p": [...]}. Every page of the
folder is parsed; the pages named there must show exactly that title, h2 and p texts, and every
href of every page must name a file of the folder. Prints one line per finding; exit 1 if any.
"""
import json
import os
import sys
import urllib.parse

import html5lib

NS = "{http://www.w3.org/1999/xhtml}"


def text(el):
    return "".join(el.itertext())


def main():
    out, expected_file = sys.argv[1], sys.argv[2]
    with open(expected_file, encoding="utf-8") as f:
        expected = json.load(f)
    names = set(os.listdir(out))
    problems = []
    checked = 0
    for name in sorted(names):
        if not name.lower().endswith((".html", ".htm")):
            continue
        with open(os.path.join(out, name), "rb") as f:
            doc = html5lib.parse(f.read())
        for a in doc.iter(NS + "a"):
            href = a.get("href")
            if href is None:
                continue
            target = urllib.parse.unquote(href.split("#")[0].split("?")[0])
            if "#" in href or "?" in href or target not in names:
                problems.append(f"{name}: href {href!r} names no file of the folder")
        if name not in expected:
            continue
        checked += 1
        want = expected[name]
        title = doc.find(f".//{NS}title")
        got_title = text(title) if title is not None else None
        if got_title != want["title"]:
            problems.append(f"{name}: title {got_title!r}, expected {want['title']!r}")
        h2 = doc.find(f".//{NS}h2")
        got_h2 = text(h2) if h2 is not None else None
        if got_h2 != want["h2"]:
            problems.append(f"{name}: h2 {got_h2!r}, expected {want['h2']!r}")
        got_p = [text(p) for p in doc.iter(NS + "p")]
        if got_p != want["p"]:
            problems.append(f"{name}: p {got_p!r}, expected {want['p']!r}")
    missing = set(expected) - names
    for name in sorted(missing):
        problems.append(f"{name}: not written")
    for p in problems:
        print(p)
    print(f"checked {checked} pages")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
