#!/usr/bin/env python3
"""Fails when a source file includes a folder above its own layer.

The layers, lowest first, are read from QEL_LAYERS in the top-level
CMakeLists.txt: one entry a layer, folders of one layer separated by '|'.
A file in src/<folder> may include its own folder and any folder of a lower
layer; components/ may include only the contracts (external/) and what lies
below them, never the control."""
import pathlib
import re
import sys

root = pathlib.Path(__file__).resolve().parent.parent
cmake = (root / "CMakeLists.txt").read_text()
match = re.search(r"set\(QEL_LAYERS\s+(.*?)\)", cmake, re.S)
if not match:
    sys.exit("check-layers: QEL_LAYERS not found in CMakeLists.txt")
layers = [entry.strip('"') for entry in match.group(1).split()]
rank = {}
for level, entry in enumerate(layers):
    for folder in entry.split("|"):
        rank[folder] = level

include = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/', re.M)
problems = []


def check(path, own_rank, own_name):
    for target in include.findall(path.read_text(errors="replace")):
        if target not in rank:
            continue
        if rank[target] > own_rank:
            problems.append(f"{path.relative_to(root)}: {own_name} includes {target}/, a layer above it")


for folder, level in rank.items():
    for path in sorted((root / "src" / folder).glob("*")):
        if path.suffix in (".h", ".cpp"):
            check(path, level, folder)

# Components see the control only through its contracts.
external = rank.get("external", 0)
for path in sorted((root / "components").rglob("*")):
    if path.suffix in (".h", ".cpp"):
        check(path, external, "a component")

for line in problems:
    print(line)
if problems:
    sys.exit(f"check-layers: {len(problems)} include(s) reach above their layer")
print(f"check-layers: {len(layers)} layers, no include reaches above its own")
