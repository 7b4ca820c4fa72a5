#!/bin/sh
# Regenerates bench/README.md and bench/chart.png: builds bench_urls
# (Release), runs it on the 48,010-URL list and on a list of longer URLs made
# from it (bench/make_long_urls.py), with repetitions in random interleaving,
# counts instructions per URL under callgrind, and hands the results to
# bench/report.py, which writes the tables, the targets and the chart.
#
# Usage: bench/run.sh [benchmark flags...]
#   URLKEYS_BENCH_BUILD        build directory (default: build/bench)
#   URLKEYS_BENCH_REPETITIONS  repetitions per benchmark (default: 5)
#   URLKEYS_BENCH_CALLGRIND    0 skips the instruction counts
#   URLKEYS_URL_FILE           URL list, one per line (default: tests/data/urls-top.txt)
# Extra arguments go to the benchmark program (e.g. --benchmark_min_time=1).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${URLKEYS_BENCH_BUILD:-$root/build/bench}
reps=${URLKEYS_BENCH_REPETITIONS:-5}
short_list=${URLKEYS_URL_FILE:-$root/tests/data/urls-top.txt}
long_list=$build/urls-long.txt
# Matplotlib comes from Debian's python3-matplotlib, seen by the system
# interpreter only.
py=/usr/bin/python3
[ -x "$py" ] || py=python3

report() {
  "$py" "$here/report.py" --short "$build/bench_short.json" "$build/bench_short.ir" \
    --long "$build/bench_long.json" "$build/bench_long.ir" \
    --readme "$here/README.md" --chart "$here/chart.png" --notes "$here/notes.md"
  # The key store's section, measured by bench/keystore.sh, goes at the end.
  if [ -f "$here/KEYSTORE.md" ]; then
    { echo; cat "$here/KEYSTORE.md"; } >> "$here/README.md"
  fi
}
# URLKEYS_BENCH_REPORT_ONLY=1 rewrites the report from the last run's results
# (after an edit of bench/notes.md or of report.py) without running anything.
if [ "${URLKEYS_BENCH_REPORT_ONLY:-0}" = 1 ]; then
  set -a
  . "$build/bench_context.env"
  set +a
  report
  exit 0
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DURLKEYS_BUILD_BENCHMARKS=ON -DURLKEYS_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_urls -j 2
"$py" "$here/make_long_urls.py" "$short_list" "$long_list"

# The per-URL list benchmarks that run on the long list too.
# Instructions are counted for all but the two walk floors, whose
# preparation (a walk over the whole list) would be counted with them.
counted='UriParserParse FloorCopySlashes ZuUrlParse ZuUrlSimpleUrl ZuUrlAuthRev LcpUrlWalk
LcpParseWalk FlatParseUrl FlatDottedQuadIp Md5FromUrl OpenSslMd5Hex CurlUrlSet BoostParseUri'
list_benchmarks="$counted FloorLcpUrlParseTests FloorLcpParseCopies"
long_filter="^BM_($(echo $list_benchmarks | tr ' ' '|'))\$"

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
"$build/bench/bench_urls" --urls="$short_list" \
  --benchmark_repetitions="$reps" \
  --benchmark_report_aggregates_only=true \
  --benchmark_enable_random_interleaving=true \
  --benchmark_out="$build/bench_short.json" --benchmark_out_format=json "$@"
"$build/bench/bench_urls" --urls="$long_list" --benchmark_filter="$long_filter" \
  --benchmark_repetitions="$reps" \
  --benchmark_report_aggregates_only=true \
  --benchmark_enable_random_interleaving=true \
  --benchmark_out="$build/bench_long.json" --benchmark_out_format=json "$@"
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# Instructions per URL under callgrind: exact counts that, unlike times, do
# not move with the load of the machine. One pass over each list each.
for which in short long; do
  irs=$build/bench_$which.ir
  list=$short_list
  [ "$which" = long ] && list=$long_list
  : > "$irs"
  if [ "${URLKEYS_BENCH_CALLGRIND:-1}" != 0 ] && command -v valgrind >/dev/null 2>&1; then
    for b in $counted; do
      out=$build/callgrind.$which.$b
      valgrind --tool=callgrind --callgrind-out-file="$out" "$build/bench/bench_urls" \
        --urls="$list" --benchmark_filter="^BM_$b\$" --benchmark_min_time=0.000001 \
        >"$out.log" 2>&1 || continue
      iters=$(awk -v n="BM_$b" '$1 == n { print $6 }' "$out.log")
      ir=$(callgrind_annotate --inclusive=yes "$out" 2>/dev/null |
        awk -v f="BM_$b(benchmark::State&)" 'index($0, f) { gsub(",", "", $1); print $1; exit }')
      [ -n "$iters" ] && [ -n "$ir" ] && printf '%s\t%s\t%s\n' "BM_$b" "$ir" "$iters" >> "$irs"
      rm -f "$out"
    done
  fi
done

cxx=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt")
commit=$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)
if [ "$commit" != unknown ] && [ -n "$(git -C "$root" status --porcelain 2>/dev/null)" ]; then
  commit="$commit (with uncommitted changes)"
fi
peers=$(
  for m in liburiparser libcurl libpsl; do
    printf '%s %s, ' "$m" "$(pkg-config --modversion "$m" 2>/dev/null || echo absent)"
  done
  printf 'Boost.URL %s, ' "$(sed -n 's/^Boost_DIR:PATH=.*Boost-//p' "$build/CMakeCache.txt")"
  printf 'OpenSSL %s' "$( (openssl version 2>/dev/null || echo absent) | cut -d' ' -f2)"
)

{
  printf 'URLKEYS_CPU=%s\n' "'$(lscpu | sed -n 's/^Model name:[[:space:]]*//p' | head -n 1)'"
  printf 'URLKEYS_CORES=%s\n' "$(nproc)"
  printf 'URLKEYS_COMPILER=%s\n' "'$("${cxx:-c++}" --version | head -n 1)'"
  printf 'URLKEYS_COMMIT=%s\n' "'$commit'"
  printf 'URLKEYS_DATE=%s\n' "'$(date -u '+%Y-%m-%d %H:%M UTC')'"
  printf 'URLKEYS_REPS=%s\n' "$reps"
  printf 'URLKEYS_PEERS=%s\n' "'$peers'"
  printf 'URLKEYS_LOAD=%s\n' "'$load_before before, $load_after after'"
} > "$build/bench_context.env"
set -a
. "$build/bench_context.env"
set +a
report
