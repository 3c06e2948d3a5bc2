#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks the shape of src/: core's folders stand in floors with every include
pointing down, core has no Qt and nothing of gui, cli or sim, no header takes
part in an include cycle, and no source with its header is over 800 lines."""
import pathlib
import re
import sys

FLOORS = {"app": 1, "ui": 2, "device": 2, "catalogue": 3, "net": 3, "otp": 3, "serials": 3,
          "buffer": 4, "ops": 5, "tools": 6, "batch": 7, "shell": 8}
PROGRAMS = ("gui", "cli", "sim")
MAX_LINES = 800
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def includes(path):
    return INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace"))


def check(src):
    problems = []
    core = src / "core"
    files = [p for p in src.rglob("*") if p.suffix in (".h", ".cpp")]
    for path in files:
        rel = path.relative_to(src)
        if rel.parts[0] != "core":
            continue
        folder = rel.parts[1]
        if folder not in FLOORS:
            problems.append(f"{rel}: folder {folder} has no floor")
            continue
        for kind, name in includes(path):
            top = name.split("/")[0]
            if kind == "<" and re.match(r"Q[A-Za-z]", top):
                problems.append(f"{rel}: includes Qt ({name})")
            elif kind == '"' and top in PROGRAMS:
                problems.append(f"{rel}: core includes {name}")
            elif kind == '"' and top in FLOORS and top != folder and \
                    FLOORS[top] >= FLOORS[folder]:
                problems.append(f"{rel}: {folder} (floor {FLOORS[folder]}) includes "
                                f"{name} (floor {FLOORS[top]})")

    # Include cycles between headers, followed by the names the code uses.
    roots = [src, core]
    def resolve(name, here):
        for base in [here.parent] + roots:
            candidate = base / name
            if candidate.is_file():
                return candidate.resolve()
        return None
    graph = {}
    for path in files:
        graph[path.resolve()] = [r for kind, name in includes(path) if kind == '"'
                                 for r in [resolve(name, path)] if r]
    state = {}
    def visit(node, trail):
        state[node] = 1
        for nxt in graph.get(node, []):
            if state.get(nxt) == 1:
                cycle = trail[trail.index(nxt):] + [nxt]
                problems.append("include cycle: " +
                                " -> ".join(str(p.relative_to(src.resolve())) for p in cycle))
            elif nxt not in state:
                visit(nxt, trail + [nxt])
        state[node] = 2
    for node in graph:
        if node not in state:
            visit(node, [node])

    for path in files:
        if path.suffix != ".cpp":
            continue
        lines = len(path.read_text(encoding="utf-8", errors="replace").splitlines())
        header = path.with_suffix(".h")
        if header.is_file():
            lines += len(header.read_text(encoding="utf-8", errors="replace").splitlines())
        if lines > MAX_LINES:
            problems.append(f"{path.relative_to(src)}: {lines} lines with its header")
    return problems


def main():
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")
    problems = check(src)
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
