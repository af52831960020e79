#!/usr/bin/env python3
"""Checks that every folder of the command's sources includes only folders
below it: the order below, from the bottom up. A folder may include itself.
Exit status 0 when every include goes down or sideways within a folder, 1
with one line per include that goes up (or names a folder not listed)."""
import pathlib
import re
import sys

# From the bottom up: what each folder may build on is everything before it.
LAYERS = [
    "text",        # wording of figures, terminal and markup safety
    "model",       # the runs, the machine, the invocation: plain records
    "machine",     # reading /proc and /sys
    "statistics",  # figures, rules and comparisons over the records
    "document",    # the JSON document, written and read back
    "progress",    # the live progress line
    "output",      # the summary, CSV, Markdown and HTML
    "commands",    # the command line and the subcommands
    "main",        # the program, the only part that calls the library
]

INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/[^"]+"', re.MULTILINE)


def main() -> int:
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent / "cli" / "src")
    rank = {name: i for i, name in enumerate(LAYERS)}
    problems = []
    for path in sorted(root.rglob("*")):
        if path.suffix not in (".h", ".cc") or not path.is_file():
            continue
        folder = path.relative_to(root).parts[0]
        if folder not in rank:
            problems.append(f"{path}: the folder {folder!r} has no place in the layer order")
            continue
        for included in INCLUDE.findall(path.read_text(encoding="utf-8")):
            if included not in rank:
                continue  # a project header outside cli/src, such as "truvello.h"
            if rank[included] > rank[folder]:
                problems.append(f"{path}: includes {included}/, which is above {folder}/")
    for line in problems:
        print(line)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
