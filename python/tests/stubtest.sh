#!/bin/sh
# Checks the type stubs of the installed urlkeys package (urlkeys/*.pyi and
# the typed modules) against the package itself with mypy's stubtest.
#
# Usage: python/tests/stubtest.sh [PYTHON]
#   PYTHON  the interpreter of the environment urlkeys is installed in
#           (default: build/python-venv/bin/python under the current
#           folder). mypy must be importable there (Debian: python3-mypy,
#           seen from a venv made with --system-site-packages).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
python=${1:-build/python-venv/bin/python}
case $python in
  */*) python=$(cd "$(dirname "$python")" && pwd)/$(basename "$python") ;;
esac

# Run from an empty folder, so that urlkeys is the installed package and not
# a source tree, and mypy's cache goes nowhere else.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$python" -m mypy.stubtest \
  --mypy-config-file "$here/stubtest.ini" \
  --allowlist "$here/stubtest-allowlist.txt" \
  urlkeys
