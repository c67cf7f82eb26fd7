#!/usr/bin/env python3
"""Fails when a source file includes from a layer above its own.

The folders under src/ are the layers, lowest first (README, "For developers"). A file may
include its own layer's headers and those of the layers below; the layers on one level (config
and device, gui and cli) do not include each other. Prints every include that breaks this and
exits 1; exits 0 when there is none.

    tools/check-layers.py [SOURCE ROOT]     (default: src beside this script's folder)
"""

import os
import re
import sys

# Lowest first; layers on one level share a rank.
RANKS = {
    "platform": 0,
    "base": 1,
    "config": 2, "device": 2,
    "image": 3,
    "retrieval": 4,
    "writing": 5,
    "run": 6,
    "gui": 7, "cli": 7,
    "app": 8,
}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def layer_of(path, root):
    return os.path.relpath(path, root).split(os.sep)[0]


def breaks(root):
    found = []
    for folder, _, files in os.walk(root):
        for name in sorted(files):
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(folder, name)
            own = layer_of(path, root)
            if own not in RANKS:
                found.append(f"{path}: in no layer")
                continue
            with open(path, encoding="utf-8", errors="replace") as source:
                for number, line in enumerate(source, 1):
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    target = match.group(1).split("/")[0]
                    # The Win32 layer's own headers are named bare, within its folder.
                    if target not in RANKS or target == own:
                        continue
                    if RANKS[target] >= RANKS[own]:
                        found.append(f"{path}:{number}: the {own} layer includes {match.group(1)}")
    return found


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src")
    found = breaks(root)
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} include(s) from a layer above: see README, \"For developers\"")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
