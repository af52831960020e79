#!/usr/bin/env bash
# Tests the Python package as a user gets it: installed by pip into a fresh
# virtual environment of the system's Python, imported from there (never from
# the source tree), then type-checked with mypy --strict.
#
#   bash python/tests/run.sh [pytest options]
#
# TRUVELLO_COMMAND names a built truvello command for the tests that compare
# saved documents with the command's; without it they are skipped.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
# The system's interpreter: its Debian packages provide setuptools, pytest and
# mypy where the package index cannot be reached.
python=/usr/bin/python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$python" -m venv --system-site-packages "$work/venv"
"$work/venv/bin/pip" install --quiet --no-build-isolation --no-index --no-cache-dir "$repo/python"
# From an empty folder, so that nothing of the source tree is importable.
cd "$work"
"$work/venv/bin/python" -m pytest -p no:cacheprovider --rootdir "$repo/python" "$repo/python/tests" "$@"
# Checked as the oldest Python the package supports.
"$work/venv/bin/python" -m mypy --strict --python-version 3.9 --cache-dir "$work/mypy-cache" -p truvello
