#!/bin/sh
# Measures the key store of `urlkeys match` and writes bench/KEYSTORE.md (and
# the same section at the end of bench/README.md, which bench/run.sh also
# appends when it regenerates that file).
#
# Builds the tool and bench_keystore in Release, writes the generated list of
# five million keys (127.9 MB; the same bytes every time) and a list of about
# one million URLs (tests/data/urls-top.txt 21 times) into the build folder,
# then:
#  - runs `urlkeys match --stats --list KEYS < URLS > /dev/null` a few times:
#    load time and keys/s, matching URLs/s, and the peak resident memory of
#    the whole process (from the kernel's rusage, as /usr/bin/time -v shows);
#  - runs bench_keystore (Google Benchmark): load, lookup and match beside the
#    std::unordered_set the tool used before, with allocations per lookup.
#
# Usage: bench/keystore.sh
#   URLKEYS_BENCH_BUILD   build directory (default: build/bench)
#   URLKEYS_KEYSTORE_RUNS end-to-end runs, the median is shown (default: 5)
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${URLKEYS_BENCH_BUILD:-$root/build/bench}
runs=${URLKEYS_KEYSTORE_RUNS:-5}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DURLKEYS_BUILD_BENCHMARKS=ON -DURLKEYS_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target urlkeys_tool bench_keystore

keys=$build/keys-5m.txt
urls=$build/urls-1m.txt
[ -s "$keys" ] || "$build/bench/bench_keystore" --make-keys="$keys"
# Two category lists that share a million keys: the first and the last three
# million lines of the key list.
[ -s "$build/keys-a.txt" ] || head -n 3000000 "$keys" > "$build/keys-a.txt"
[ -s "$build/keys-b.txt" ] || tail -n 3000000 "$keys" > "$build/keys-b.txt"
if [ ! -s "$urls" ]; then
  : > "$urls"
  i=0
  while [ $i -lt 21 ]; do
    cat "$root/tests/data/urls-top.txt" >> "$urls"
    i=$((i + 1))
  done
fi

"$build/bench/bench_keystore" --keys="$keys" --benchmark_out="$build/bench_keystore.json" \
  --benchmark_out_format=json >/dev/null

commit=$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)
if [ "$commit" != unknown ] && [ -n "$(git -C "$root" status --porcelain 2>/dev/null)" ]; then
  commit="$commit (with uncommitted changes)"
fi
URLKEYS_CPU=$(lscpu | sed -n 's/^Model name:[[:space:]]*//p' | head -n 1) \
URLKEYS_COMMIT=$commit URLKEYS_DATE=$(date -u '+%Y-%m-%d %H:%M UTC') \
  python3 - "$build/tools/urlkeys" "$keys" "$urls" "$runs" "$build/bench_keystore.json" \
    "$here/KEYSTORE.md" "$here/README.md" <<'EOF'
import json, os, re, resource, statistics, subprocess, sys

tool, keys, urls, runs, gbench, out_md, readme = sys.argv[1:8]
runs = int(runs)
env = os.environ
key_bytes = os.path.getsize(keys)
url_lines = sum(1 for _ in open(urls, "rb"))
two = [os.path.join(os.path.dirname(keys), f"keys-{n}.txt") for n in "ab"]
two_bytes = sum(os.path.getsize(f) for f in two)

def one_run(lists, with_urls):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    with open(urls if with_urls else os.devnull, "rb") as fin, open(os.devnull, "wb") as fout:
        p = subprocess.run([tool, "match", "--stats"] + lists, stdin=fin, stdout=fout,
                           stderr=subprocess.PIPE, check=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    # The largest peak of the children so far: the tool runs are the only
    # children of this process.
    rss = after.ru_maxrss * 1024
    err = p.stderr.decode()
    load = re.search(r"(\d+) keys in \d+ lists? loaded in ([\d.]+) s \((\d+) keys/s", err)
    match = re.search(r"(\d+) URLs, (\d+) matched in ([\d.]+) s", err)
    return dict(keys=int(load[1]), load_s=float(load[2]), cpu=cpu, rss=rss,
                urls=int(match[1]), matched=int(match[2]), match_s=float(match[3]))

def measure(lists):
    loads = [one_run(lists, False) for _ in range(runs)]
    full = [one_run(lists, True) for _ in range(runs)]
    med = lambda rows, k: statistics.median(r[k] for r in rows)
    keys = loads[0]["keys"]
    load_cpu = med(loads, "cpu")
    match_cpu = max(med(full, "cpu") - load_cpu, 1e-9)
    return dict(keys=keys, urls=full[0]["urls"], matched=full[0]["matched"],
                load_wall=med(loads, "load_s"), load_cpu=load_cpu,
                keys_wall=keys / med(loads, "load_s"), keys_cpu=keys / load_cpu,
                match_wall=med(full, "match_s"), match_cpu=match_cpu,
                urls_wall=full[0]["urls"] / med(full, "match_s"), urls_cpu=full[0]["urls"] / match_cpu,
                rss=max(r["rss"] for r in loads + full))

load_before = open("/proc/loadavg").read().split()[:3]
one = measure(["--list", keys])
both = measure(["--list", "a=" + two[0], "--list", "b=" + two[1]])
load_after = open("/proc/loadavg").read().split()[:3]

gb = {b["name"]: b for b in json.load(open(gbench))["benchmarks"]}
def g(name, key):
    b = gb.get(name)
    return b.get(key) if b else None

def num(v, digits=0):
    return "?" if v is None else f"{v:,.{digits}f}"

def ns(name, key):  # per-item times are kept in seconds in the JSON output
    v = g(name, key)
    return None if v is None else v * 1e9

def verdict(ok):
    return "met" if ok else "**missed**"

o = []
w = o.append
w("## Key store of `urlkeys match`")
w("")
w("Generated by `bench/keystore.sh`; do not edit by hand. "
  f"Machine: {env['URLKEYS_CPU']}, {os.cpu_count()} cores (shared with other work); "
  f"commit {env['URLKEYS_COMMIT']}; {env['URLKEYS_DATE']}.")
w("")
w(f"Key list: {one['keys']:,} distinct keys in {key_bytes:,} bytes "
  "(made by `bench_keystore --make-keys`: hosts and host/path keys, 25.6 bytes a line, "
  "one in 64 taken from the URL list). URLs: tests/data/urls-top.txt 21 times, "
  f"{url_lines:,} lines; {one['matched'] / max(one['urls'], 1):.1%} of them match. "
  f"Each figure is the median of {runs} runs of `urlkeys match --stats` with the lists "
  "(loading: with empty input; matching: with the URLs, output to /dev/null, less the "
  "loading). CPU time (user + system, from the kernel's accounting of the child process) "
  "decides each target: the machine is shared, and the wall-clock time beside it grows "
  "with the others' load (load average "
  f"{' '.join(load_before)} before, {' '.join(load_after)} after). Memory is the process's "
  "peak resident set, as `/usr/bin/time -v` reports it.")
w("")
w("| Measure | Target | CPU time | Wall clock | |")
w("|---|---|---:|---:|---|")
def rows(m, label, file_bytes):
    w(f"| {label}: loading | >= 5 M keys/s | {m['keys_cpu'] / 1e6:.2f} M keys/s ({m['load_cpu']:.3f} s) "
      f"| {m['keys_wall'] / 1e6:.2f} M keys/s ({m['load_wall']:.3f} s) | {verdict(m['keys_cpu'] >= 5e6)} |")
    w(f"| {label}: peak resident memory | <= 2x the file{'s' if file_bytes != key_bytes else ''} "
      f"({2 * file_bytes / 1e6:.0f} MB) | {m['rss'] / 1e6:.0f} MB ({m['rss'] / file_bytes:.2f}x) | "
      f"| {verdict(m['rss'] <= 2 * file_bytes)} |")
    w(f"| {label}: matching {m['urls']:,} URLs | >= 1 M URLs/s "
      f"| {m['urls_cpu'] / 1e6:.2f} M URLs/s ({m['match_cpu']:.3f} s) "
      f"| {m['urls_wall'] / 1e6:.2f} M URLs/s ({m['match_wall']:.3f} s) | {verdict(m['urls_cpu'] >= 1e6)} |")
rows(one, f"One list of {one['keys']:,} keys", key_bytes)
rows(both, f"Two named lists of 3,000,000 lines each, 1,000,000 keys in both ({both['keys']:,} stored)",
     two_bytes)
w("")
w("In one process (bench_keystore, Google Benchmark; CPU time), beside the "
  "`std::unordered_set<std::string>` the tool kept its keys in before:")
w("")
w("| Operation | Key store | Former set of strings |")
w("|---|---:|---:|")
w(f"| Load the list: keys/s | {num(g('BM_StoreLoad/iterations:3', 'keys/s'))} "
  f"| {num(g('BM_OldSetLoad/iterations:1', 'keys/s'))} |")
w(f"| Resident memory growth while loaded, x the list's size "
  f"| {num(g('BM_StoreLoad/iterations:3', 'rss/file'), 2)} "
  f"| {num(g('BM_OldSetLoad/iterations:1', 'rss/file'), 2)} |")
w(f"| One lookup per candidate of the URL list: ns/lookup (allocations) "
  f"| {num(ns('BM_StoreFind', 'ns/lookup'), 1)} ({num(g('BM_StoreFind', 'allocs/lookup'), 0)}) | |")
w(f"| Match one URL (walk + lookups): ns/URL (allocations) "
  f"| {num(ns('BM_StoreMatch', 'ns/url'), 1)} ({num(g('BM_StoreMatch', 'allocs/url'), 0)}) "
  f"| {num(ns('BM_OldSetMatch', 'ns/url'), 1)} |")
w("")
w("The store keeps every key once in one arena (its length, then its bytes) and finds it "
  "through an open-addressing table of 8-byte slots (offset, index of the key's set of lists, "
  "8 hash bits), sized from the file's line count before loading; keys are inserted 16 at a "
  "time with their table lines prefetched, and the matcher looks a URL's candidates up the "
  "same way. Arena and table sit in pages asked for as huge pages, which roughly halves the "
  "cost of a lookup that misses the cache.")
w("")
text = "\n".join(o)
open(out_md, "w").write(text)
if os.path.exists(readme):
    body = open(readme).read()
    cut = body.find("## Key store of `urlkeys match`")
    if cut >= 0:
        body = body[:cut]
    open(readme, "w").write(body.rstrip("\n") + "\n\n" + text)
print(f"wrote {out_md}")
EOF
