#!/usr/bin/env bash
# Prints the direct link dependencies between the program's own libraries and programs, as CMake has
# them (the precompiled-header targets left out): the graph docs/ARCHITECTURE.md shows.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
(cd "$out" && cmake --graphviz=deps.dot "$OLDPWD/$BUILD_DIR" >/dev/null)
python3 - "$out/deps.dot" <<'PY'
import re, sys
text = open(sys.argv[1]).read()
nodes = dict(re.findall(r'"(node\d+)" \[ label = "([^"]+)"', text))
ours = lambda n: (n.startswith('tarn') or n in ('Tarn_B', 'PortScan', 'corrector-sim')) and '_pch_' not in n \
    and not n.startswith('tarn_shell_resources') and n not in ('tarn_fuzz_driver', 'tarn_test_support')
deps = {}
for a, b in re.findall(r'"(node\d+)" -> "(node\d+)"', text):
    if ours(nodes[a]) and ours(nodes[b]):
        deps.setdefault(nodes[a], set()).add(nodes[b])
for name in sorted(deps, key=lambda n: (len(deps[n]), n)):
    print(f"{name:24} <- {' '.join(sorted(deps[name]))}")
PY
