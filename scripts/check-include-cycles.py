#!/usr/bin/env python3
"""Finds include cycles among the files of one folder (default: app/).

Two graphs are checked. The file graph: one node per file, one edge per #include "folder/name"
line. The unit graph: a header and the sources that implement it are one node (name.cpp and
name_part.cpp belong to name.h), so that a.cpp including b.h while b.h includes a.h counts as
a cycle too. Exit status 1 and the cycles on standard output when there are any."""

import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)


def unit_of(path, headers):
    """The header stem a file belongs to: its own, or the longest stem its name extends."""
    stem = path.stem
    if stem in headers:
        return stem
    best = None
    for header in headers:
        if stem.startswith(header + "_") and (best is None or len(header) > len(best)):
            best = header
    return best or stem


def find_cycles(graph):
    """Each cycle once, as the list of its nodes, by a depth-first search."""
    cycles, state, stack = [], {}, []

    def visit(node):
        state[node] = "open"
        stack.append(node)
        for target in sorted(graph.get(node, ())):
            if state.get(target) == "open":
                cycles.append(stack[stack.index(target):] + [target])
            elif target not in state:
                visit(target)
        stack.pop()
        state[node] = "done"

    for node in sorted(graph):
        if node not in state:
            visit(node)
    return cycles


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    folder = sys.argv[2] if len(sys.argv) > 2 else "app"
    files = sorted(p for p in (root / folder).iterdir() if p.suffix in (".h", ".cpp"))
    headers = {p.stem for p in files if p.suffix == ".h"}
    file_graph, unit_graph = {}, {}
    for path in files:
        name = f"{folder}/{path.name}"
        targets = {t for t in INCLUDE.findall(path.read_text(encoding="utf-8")) if t.startswith(folder + "/")}
        file_graph[name] = targets
        unit = unit_of(path, headers)
        for target in targets:
            target_unit = unit_of(pathlib.Path(target), headers)
            if target_unit != unit:
                unit_graph.setdefault(unit, set()).add(target_unit)
    found = False
    for kind, graph in (("files", file_graph), ("units", unit_graph)):
        for cycle in find_cycles(graph):
            found = True
            print(f"include cycle among {kind}: " + " -> ".join(cycle))
    if not found:
        print(f"no include cycle in {folder}/: {len(files)} files, {len(headers)} headers")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
