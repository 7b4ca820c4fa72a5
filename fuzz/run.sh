#!/usr/bin/env bash
# Runs one fuzz target for a bounded time with its seeds, the dictionary and
# the target's options:  fuzz/run.sh TARGET SECONDS [BUILD_DIR]
# TARGET is a name such as "parser" or "fuzz_parser". BUILD_DIR (default
# build/fuzz, the "fuzz" preset) must hold the built libFuzzer programs.
# New corpus entries go to BUILD_DIR/fuzz-corpus/TARGET and crashes to
# BUILD_DIR/fuzz-artifacts/TARGET/; the seed folders are only read.
set -euo pipefail

if (($# < 2)); then
  echo "usage: $0 TARGET SECONDS [BUILD_DIR]" >&2
  exit 2
fi
here="$(cd "$(dirname "$0")" && pwd)"
name="${1#fuzz_}"
seconds="$2"
build="${3:-$here/../build/fuzz}"
binary="$build/fuzz/fuzz_$name"
if [[ ! -x "$binary" ]]; then
  echo "run.sh: $binary not found; configure with --preset fuzz and build first" >&2
  exit 2
fi

corpus="$build/fuzz-corpus/$name"
artifacts="$build/fuzz-artifacts/$name"
mkdir -p "$corpus" "$artifacts"

# The .options file holds "key = value" lines under [libfuzzer].
args=()
options="$here/fuzz_$name.options"
if [[ -f "$options" ]]; then
  while IFS='=' read -r key value; do
    key="${key//[[:space:]]/}"
    value="${value//[[:space:]]/}"
    [[ -z "$key" || "$key" == \[* || "$key" == \#* ]] && continue
    args+=("-$key=$value")
  done < "$options"
fi

seeds=("$here/fuzz_$name.in")
[[ -d "$here/fuzz_$name.repro" ]] && seeds+=("$here/fuzz_$name.repro")

exec "$binary" -max_total_time="$seconds" -dict="$here/urlkeys.dict" \
  -artifact_prefix="$artifacts/" -print_final_stats=1 "${args[@]}" \
  "$corpus" "${seeds[@]}"
