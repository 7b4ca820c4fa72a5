#!/usr/bin/env bash
# Runs clang-tidy (checks in .clang-tidy) over the library sources and exits
# non-zero on any warning:  fuzz/tidy.sh [BUILD_DIR]
# BUILD_DIR is configured again (or, when new, configured with clang++ and
# the library only; default build/tidy) so that compile_commands.json lists
# every current source.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/tidy}"
if [[ -f "$build/CMakeCache.txt" ]]; then
  # Re-run the configure step so that new sources are in the database.
  cmake "$build" >/dev/null
else
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
    -DURLKEYS_BUILD_TESTS=OFF -DURLKEYS_BUILD_TOOLS=OFF >/dev/null
fi

mapfile -t sources < <(cd "$root" && ls url/*.cpp ip/*.cpp tld/*.cpp domain/*.cpp \
  lcp/*.cpp findurl/*.cpp digest/*.cpp 2>/dev/null)
if ((${#sources[@]} == 0)); then
  echo "tidy.sh: no library sources found" >&2
  exit 2
fi

log="$(mktemp)"
trap 'rm -f "$log"' EXIT
status=0
(cd "$root" && clang-tidy --quiet -p "$build" "${sources[@]}") >"$log" 2>&1 || status=$?
# Warnings from our own files only; the count of suppressed ones is noise.
grep -E '(warning|error):' "$log" | grep -v 'warnings generated' || true
if grep -qE '(warning|error):' "$log" || ((status != 0)); then
  echo "tidy.sh: clang-tidy reported problems" >&2
  exit 1
fi
echo "tidy.sh: clean (${#sources[@]} files)"
