#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Every text key the code uses must be defined in both language sets."""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1])
used = set()
for path in list((root / "src").rglob("*.h")) + list((root / "src").rglob("*.cpp")):
    for kind, key in re.findall(r"\b(ftext|itext)\((\d+)\)", path.read_text(encoding="utf-8")):
        used.add((kind, int(key)))


def defined(path, section, encoding):
    keys = set()
    current = None
    for line in path.read_bytes().decode(encoding).split("\r\n"):
        line = line.split(";", 1)[0].strip()
        if line.startswith("[") and line.endswith("]"):
            current = line[1:-1]
        elif current == section and "=" in line and line.split("=", 1)[0].isdigit():
            keys.add(int(line.split("=", 1)[0]))
    return keys


failures = []
for lang, encoding in (("zh_CN", "gbk"), ("en", "ascii")):
    for kind in ("ftext", "itext"):
        have = defined(root / "data" / "lang" / lang / f"{kind}.ini", kind, encoding)
        missing = sorted(k for t, k in used if t == kind and k not in have)
        if missing:
            failures.append(f"{lang}/{kind}.ini lacks keys {missing}")
listed = {tuple([t, int(k)]) for t, k in
          (line.split() for line in (root / "data/lang/keys.txt").read_text().split("\n") if line)}
unlisted = sorted(used - listed)
if unlisted:
    failures.append(f"keys used by the code but not in data/lang/keys.txt: {unlisted}")
for failure in failures:
    print(failure)
print(f"{len(used)} keys used by the code; {len(failures)} problems")
sys.exit(1 if failures else 0)
