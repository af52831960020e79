#!/usr/bin/env python3
"""Checks that every folder of the command's sources and of the library's
sources includes only folders below it: the orders below, from the bottom up.
A folder may include itself. Exit status 0 when every include goes down or
sideways within a folder, 1 with one line per include that goes up (or names
a folder not listed).

The command's sources name the folder in the include ("model/run.h"); the
library's include a header by its bare name ("platform.h") through the
include directories of its layers, so a bare name is traced to the folder that
holds a file of that name, and file names must be unique there.

Usage: check_layers.py [CLI_SRC [NATIVE_SRC]], by default this tree's
cli/src and native/src."""
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

# The library's folders, from the bottom up in the same way.
NATIVE_LAYERS = [
    "base",      # the value-or-error type: the standard library alone
    "facts",     # defaults and score rules shared with the command
    "workload",  # the kernel
    "platform",  # the operating system, one file per OS
    "engine",    # the run driver, statistics, worker loop and runtime seam
    "c_api",     # the exported functions and the records
]

# Headers of the library that live outside native/src, with the folder whose
# layer puts them on the include path: the public C header belongs to the C
# interface, the version text generated at configure time to the facts.
NATIVE_OUTSIDE = {
    "truvello.h": "c_api",
    "truvello_version.h": "facts",
}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/[^"]+"', re.MULTILINE)
QUOTED_INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)

TREE = pathlib.Path(__file__).parent.parent


def sources(root):
    return [p for p in sorted(root.rglob("*")) if p.suffix in (".h", ".cc") and p.is_file()]


def placed_sources(root, rank, problems):
    """The sources under root with their top folder, each folder in the
    order; a folder outside it is a problem of its own."""
    for path in sources(root):
        folder = path.relative_to(root).parts[0]
        if folder not in rank:
            problems.append(f"{path}: the folder {folder!r} has no place in the layer order")
            continue
        yield path, folder


def check_cli(root: pathlib.Path) -> list:
    rank = {name: i for i, name in enumerate(LAYERS)}
    problems = []
    for path, folder in placed_sources(root, rank, problems):
        for included in INCLUDE.findall(path.read_text(encoding="utf-8")):
            if included not in rank:
                continue  # a project header outside cli/src, such as "truvello.h"
            if rank[included] > rank[folder]:
                problems.append(f"{path}: includes {included}/, which is above {folder}/")
    return problems


def check_native(root: pathlib.Path) -> list:
    rank = {name: i for i, name in enumerate(NATIVE_LAYERS)}
    problems = []
    # Where each file name lives. A name in two folders would make a bare
    # include mean whichever comes first on the include path, so it is an
    # error of its own rather than a guess.
    home = dict(NATIVE_OUTSIDE)
    first_seen = {}
    ambiguous = set()
    for path in sources(root):
        name = path.name
        folder = path.relative_to(root).parts[0]
        if name in first_seen or name in NATIVE_OUTSIDE:
            taken = first_seen.get(name, "a header outside native/src")
            problems.append(f"{path}: the file name {name!r} is taken by {taken}; "
                            "bare includes need file names unique in native/src")
            ambiguous.add(name)
            continue
        first_seen[name] = path
        home[name] = folder

    for path, folder in placed_sources(root, rank, problems):
        for included in QUOTED_INCLUDE.findall(path.read_text(encoding="utf-8")):
            if "/" in included:
                problems.append(f'{path}: includes "{included}" by a path; native/src includes headers by name')
                continue
            if included in ambiguous:
                continue  # reported with the file names above
            if included not in home:
                problems.append(f'{path}: includes "{included}", which no folder of native/src holds')
                continue
            target = home[included]
            if target not in rank:
                continue  # its folder is reported above
            if rank[target] > rank[folder]:
                problems.append(f'{path}: includes "{included}" from {target}/, which is above {folder}/')
    return problems


def main() -> int:
    cli_root = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else TREE / "cli" / "src"
    native_root = pathlib.Path(sys.argv[2]) if len(sys.argv) > 2 else TREE / "native" / "src"
    problems = check_cli(cli_root) + check_native(native_root)
    for line in problems:
        print(line)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
