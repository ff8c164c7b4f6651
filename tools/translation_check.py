#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The window's English translation is complete and current.

Usage: translation_check.py LUPDATE SOURCE_DIR
Runs lupdate over ui/ into a copy of ui/translations/quarvel_en.ts, so the
tree is never changed, and fails when the copy differs from the tree's
file in its texts (a text of the window not yet in the .ts, or one that is
gone), when an entry has no finished translation, or when a translation
drops or adds a placeholder (%1, %2).
"""
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET


def messages(ts_file: pathlib.Path) -> dict:
    found = {}
    for context in ET.parse(ts_file).getroot().iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            comment = message.findtext("comment") or ""
            found[(name, message.findtext("source"), comment)] = message.find("translation")
    return found


def problems_of(key, translation) -> list:
    context, source, _ = key
    where = f"{context}: '{source}'"
    if translation is None or translation.get("type") in ("unfinished", "vanished", "obsolete"):
        return [f"{where} has no finished translation"]
    if not (translation.text or "").strip():
        return [f"{where} is translated as nothing"]
    if sorted(re.findall(r"%\d", source)) != sorted(re.findall(r"%\d", translation.text)):
        return [f"{where}: the placeholders differ in '{translation.text}'"]
    return []


def main() -> int:
    lupdate, root = sys.argv[1], pathlib.Path(sys.argv[2]).resolve()
    tree_ts = root / "ui" / "translations" / "quarvel_en.ts"
    with tempfile.TemporaryDirectory() as scratch:
        copy = pathlib.Path(scratch) / "quarvel_en.ts"
        shutil.copyfile(tree_ts, copy)
        subprocess.run([lupdate, "-silent", "-no-obsolete", "-locations", "none", "-I", str(root), str(root / "ui"),
                        "-ts", str(copy)],
                       check=True)
        current = messages(copy)
    kept = messages(tree_ts)
    problems = [f"{c}: '{s}' is not in the .ts (run the target quarvel_ui_lupdate)" for c, s, _ in current.keys() - kept.keys()]
    problems += [f"{c}: '{s}' is no longer in the sources" for c, s, _ in kept.keys() - current.keys()]
    for key, translation in sorted(current.items(), key=lambda item: item[0]):
        problems += problems_of(key, translation)
    for problem in problems:
        print(problem)
    print(f"{len(current)} texts, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
