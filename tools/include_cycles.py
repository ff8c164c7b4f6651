#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Lists include cycles among the project's own files and fails on any.

A unit is a header with its source file of the same name (x.h and x.cpp):
a unit depends on another when either of its files includes the other's
header. A cycle of units means no piece of it can be read, tested or changed
without the others, even where no header includes itself.

The folders inside a layer (engine/core, ui/pages, audio/simulated) are
rooms: their dependencies must point one way too. Files at a layer's root
(the audio back ends' common interface and their catalogue) frame its rooms
and stand outside this rule.

    tools/include_cycles.py [ROOT]
"""
import re
import sys
from pathlib import Path

FOLDERS = ("engine", "audio", "remote", "cli", "ui", "bench")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)


def units(root):
    """Each unit's name (its header's path from the root, without .h) and
    the files that make it up."""
    found = {}
    for folder in FOLDERS:
        for path in sorted((root / folder).rglob("*")):
            if path.suffix in (".h", ".cpp"):
                found.setdefault(str(path.relative_to(root).with_suffix("")), []).append(path)
    return found


def dependencies(root, found):
    graph = {}
    for unit, files in found.items():
        targets = set()
        for path in files:
            for included in INCLUDE.findall(path.read_text(errors="replace")):
                # From the root ("engine/settings.h") or beside the file ("settings.h").
                for candidate in (root / included, path.parent / included):
                    name = str(candidate.resolve().relative_to(root.resolve()).with_suffix("")) \
                        if candidate.resolve().is_relative_to(root.resolve()) else None
                    if name in found and name != unit:
                        targets.add(name)
                        break
        graph[unit] = sorted(targets)
    return graph


def strongly_connected(graph):
    """Tarjan's algorithm, iteratively: the groups of units that reach each other."""
    index, low, on_stack, stack, groups = {}, {}, set(), [], []
    counter = 0
    for start in graph:
        if start in index:
            continue
        work = [(start, iter(graph[start]))]
        index[start] = low[start] = counter
        counter += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, edges = work[-1]
            advanced = False
            for target in edges:
                if target not in index:
                    index[target] = low[target] = counter
                    counter += 1
                    stack.append(target)
                    on_stack.add(target)
                    work.append((target, iter(graph[target])))
                    advanced = True
                    break
                if target in on_stack:
                    low[node] = min(low[node], index[target])
            if advanced:
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                group = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    group.append(member)
                    if member == node:
                        break
                if len(group) > 1:
                    groups.append(sorted(group))
    return groups


def room_of(unit):
    """A unit's room (its layer and folder), or None at a layer's root."""
    parts = Path(unit).parts
    return "/".join(parts[:-1]) if len(parts) > 2 else None


def room_dependencies(graph):
    rooms = {room_of(unit) for unit in graph} - {None}
    edges = {room: set() for room in rooms}
    for unit, targets in graph.items():
        for target in targets:
            if room_of(unit) and room_of(target) and room_of(unit) != room_of(target):
                edges[room_of(unit)].add(room_of(target))
    return {room: sorted(targets) for room, targets in edges.items()}


def main():
    root = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parents[1])
    found = units(root)
    graph = dependencies(root, found)
    groups = strongly_connected(graph)
    for group in groups:
        print("include cycle: " + " <-> ".join(group))
    rooms = room_dependencies(graph)
    room_groups = strongly_connected(rooms)
    for group in room_groups:
        print("room cycle: " + " <-> ".join(group))
    if groups or room_groups:
        sys.exit(1)
    print(f"no include cycles among {len(found)} units in {len(rooms)} rooms")


if __name__ == "__main__":
    main()
