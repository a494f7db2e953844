#!/usr/bin/env python3
"""The include graph of the sources, from their #include "..." lines.

A module is a header with its source: x.h and x.cpp are module x (a platform's own
source, x_win32.cpp, is a module of its own that fills the seam x.h). A module that
includes another depends on it; no two modules may depend on each other, however
long the way round.

    scripts/includegraph.py cycles [--allow A,B]...   every loop between modules;
                                                      fails when there is one
    scripts/includegraph.py folders                   which folder includes which
    scripts/includegraph.py layers                    fails when a folder includes
                                                      one of its own layer or above
"""
import os
import re
import subprocess
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def sources(root):
    out = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "--", "*.c", "*.cpp", "*.cc", "*.h"],
                         cwd=root, capture_output=True, text=True, check=True).stdout
    return [f for f in out.split() if os.path.isfile(os.path.join(root, f))]


def module(path):
    return os.path.splitext(path)[0]


def edges(root):
    files = set(sources(root))
    graph = {}
    for f in sorted(files):
        with open(os.path.join(root, f), encoding="utf-8", errors="replace") as text:
            names = INCLUDE.findall(text.read())
        for name in names:
            beside = os.path.normpath(os.path.join(os.path.dirname(f), name))
            target = beside if beside in files else os.path.normpath(name)
            if target not in files:
                continue
            a, b = module(f), module(target)
            if a != b:
                graph.setdefault(a, set()).add(b)
                graph.setdefault(b, set())
    return graph


def loops(graph):
    """The strongly connected parts of more than one module (Tarjan), each sorted."""
    index, low, stack, on, parts = {}, {}, [], set(), []
    counter = [0]

    def visit(v):
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on.add(v)
        for w in sorted(graph[v]):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            part = []
            while True:
                w = stack.pop()
                on.discard(w)
                part.append(w)
                if w == v:
                    break
            if len(part) > 1:
                parts.append(sorted(part))

    sys.setrecursionlimit(10000)
    for v in sorted(graph):
        if v not in index:
            visit(v)
    return parts


# The product's folders from the bottom up; a folder includes only from layers below
# its own. The tests and benchmarks stand outside and may include anything.
LAYERS = [["platform", "resources"], ["data"], ["update", "tools"], ["plugin/core", "dialogs/core"],
          ["dialogs"], ["plugin"], ["host"]]


def layer(name):
    for rank, names in enumerate(LAYERS):
        if name in names:
            return rank
    return None


def folder(mod):
    parts = mod.split("/")
    if len(parts) > 2 and parts[1] == "core":
        return "/".join(parts[:2])
    return parts[0] if len(parts) > 1 else "."


def main(argv):
    root = subprocess.run(["git", "rev-parse", "--show-toplevel"], capture_output=True, text=True,
                          check=True).stdout.strip()
    graph = edges(root)
    if len(argv) >= 1 and argv[0] == "folders":
        pairs = sorted({(folder(a), folder(b)) for a in graph for b in graph[a] if folder(a) != folder(b)})
        for a, b in pairs:
            print(f"{a} -> {b}")
        return 0
    if len(argv) >= 1 and argv[0] == "layers":
        status = 0
        for a in sorted(graph):
            for b in sorted(graph[a]):
                fa, fb = folder(a), folder(b)
                if fa == fb or layer(fa) is None or layer(fb) is None:
                    continue
                if layer(fb) >= layer(fa):
                    print(f"includegraph: {a} includes {b}: {fa}/ may include only from the layers below it"
                          " (what it needs of a layer above comes through a seam set at attach)")
                    status = 1
        unknown = sorted({folder(m) for m in graph} - {f for names in LAYERS for f in names} -
                         {"tests", "bench", "."})
        for name in unknown:
            print(f"includegraph: {name}/ has no layer (name it in LAYERS)")
            status = 1
        return status
    if len(argv) >= 1 and argv[0] == "cycles":
        allowed = set()
        rest = argv[1:]
        while len(rest) >= 2 and rest[0] == "--allow":
            allowed.add(tuple(sorted(rest[1].split(","))))
            rest = rest[2:]
        status = 0
        for part in loops(graph):
            if tuple(part) in allowed:
                continue
            inner = ", ".join(f"{a} -> {b}" for a in part for b in sorted(graph[a]) if b in part)
            print(f"includegraph: an include loop between {', '.join(part)}: {inner}")
            status = 1
        return status
    print(__doc__.strip(), file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
