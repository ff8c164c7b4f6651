#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Every source file of the project names its licence in its first lines.

Usage: licence_lines.py SOURCE_DIR
Prints each file without the SPDX line and exits 1 if there is one. The
test data (tests/data) and build folders are not the project's sources.
"""
import pathlib
import sys

TAG = "SPDX-License-Identifier: GPL-3.0-or-later"
SUFFIXES = {".cpp", ".h", ".cmake", ".sh", ".py", ".ui"}
SKIPPED = ("build", "tests/data", ".git")


def is_source(path: pathlib.Path, root: pathlib.Path) -> bool:
    relative = path.relative_to(root).as_posix()
    if relative.startswith(SKIPPED):
        return False
    return path.suffix in SUFFIXES or path.name == "CMakeLists.txt" or relative == ".ci/run"


def main() -> int:
    root = pathlib.Path(sys.argv[1]).resolve()
    missing = []
    for path in sorted(root.rglob("*")):
        if not path.is_file() or not is_source(path, root):
            continue
        head = path.read_text(encoding="utf-8", errors="replace").splitlines()[:3]
        if not any(TAG in line for line in head):
            missing.append(path.relative_to(root).as_posix())
    for name in missing:
        print(f"no licence line: {name}")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
