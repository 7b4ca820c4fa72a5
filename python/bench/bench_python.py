"""Throughput of the urlkeys Python package, beside the C++ tool and beside
what a Python user would write without it (urllib.parse + tldextract).

    python python/bench/bench_python.py --tool build/default/tools/urlkeys [--out FILE]

Runs on the repository's 48,010-URL list and on one million URLs (the list
repeated), prints a Markdown table of URLs per second (best of --rounds) and
writes it to --out when given. Needs the installed package, NumPy, pandas,
dask/distributed and tldextract (Debian: python3-tldextract; its bundled
suffix-list snapshot is used, nothing is fetched).
"""

import argparse
import os
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path
from urllib.parse import urlsplit

import urlkeys

ROOT = Path(__file__).resolve().parents[2]
IDLE_WAIT = 0.0  # --idle-wait
LIST = ROOT / "tests" / "data" / "urls-top.txt"


def idle_cores(interval=0.3):
    """Cores left idle by every process on the machine over `interval`."""
    def sample():
        with open("/proc/stat") as f:
            fields = [int(x) for x in f.readline().split()[1:]]
        return fields[3] + fields[4], sum(fields)
    idle0, total0 = sample()
    time.sleep(interval)
    idle1, total1 = sample()
    return (os.cpu_count() or 1) * (idle1 - idle0) / max(1, total1 - total0)


def wait_for_idle(seconds):
    """On a shared machine, scaling is measured only while the cores are
    free: waits (at most `seconds`) until nearly all of them are idle."""
    deadline = time.monotonic() + seconds
    want = (os.cpu_count() or 1) - 0.2
    while time.monotonic() < deadline and idle_cores() < want:
        time.sleep(1)


def best(fn, rounds):
    times = []
    for _ in range(rounds):
        wait_for_idle(IDLE_WAIT)
        t = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t)
    return min(times)


def make_keys(urls):
    """Hosts of every 7th URL and path prefixes of every 11th: about one URL
    in five hits, as in a category list over ordinary traffic."""
    keys = set()
    for i, url in enumerate(urls):
        walk = urlkeys.lcp(url)
        if i % 7 == 0 and walk:
            keys.add(walk[-1])
        if i % 11 == 0 and len(walk) > 2:
            keys.add(walk[-3])
    return sorted(keys)


def tool_rate(tool, args, path, n, rounds):
    def run():
        with open(path, "rb") as f:
            subprocess.run([tool, *args], stdin=f, stdout=subprocess.DEVNULL, check=True)
    return n / best(run, rounds)


def python_equivalent(keys):
    """Matching as a Python user would write it without urlkeys: urllib.parse
    for host and path, tldextract for the registered domain, then host
    suffixes down to the registered domain and path prefixes, looked up in a
    set, most specific first."""
    import tldextract

    extract = tldextract.TLDExtract(suffix_list_urls=())  # the bundled snapshot only
    keyset = set(keys)

    def match(url):
        parts = urlsplit(url if "://" in url[:8] else "//" + url)
        host = (parts.hostname or "").removeprefix("www.")
        registered = extract(host).registered_domain or host
        path = parts.path[1:]  # the path as written, then one segment less at a time
        while path:
            key = host + "/" + path
            if key in keyset:
                return key
            cut = path.rfind("/")
            path = path[:cut] if cut >= 0 else ""
        labels = host.split(".")
        stop = len(registered.split("."))
        for i in range(0, len(labels) - stop + 1):
            key = ".".join(labels[i:])
            if key in keyset:
                return key
        return None
    return match


def threads_rate(fn, urls, threads, rounds):
    """URLs per second with `threads` threads each running fn over its share
    (best of `rounds`), and the CPU cores the process used in that round:
    on a shared machine a round in which the cores were taken by others
    shows as fewer cores used."""
    share = [urls[i::threads] for i in range(threads)]
    best_time, cores = float("inf"), 0.0
    for _ in range(rounds):
        wait_for_idle(IDLE_WAIT)
        began, cpu = time.perf_counter(), os.times()
        ts = [threading.Thread(target=fn, args=(s,)) for s in share]
        for t in ts:
            t.start()
        for t in ts:
            t.join()
        wall = time.perf_counter() - began
        used = os.times()
        if wall < best_time:
            best_time = wall
            cores = (used.user + used.system - cpu.user - cpu.system) / wall
    return len(urls) / best_time, cores


def dask_rates(keys, path, n, rounds):
    """URLs per second of the Dask job on a LocalCluster of one worker and
    on one of two (best of `rounds`, the two run in turns so that both meet
    the same machine), partitions sized by the job itself."""
    import distributed
    import urlkeys.dask as job

    best = {1: float("inf"), 2: float("inf")}
    with job.local_cluster(1, silence_logs=40) as one, distributed.Client(one) as c1, \
            job.local_cluster(2, silence_logs=40) as two, distributed.Client(two) as c2, \
            tempfile.TemporaryDirectory() as out:
        for client in (c1, c2):
            job.run_match(keys, [str(path)], out, client)  # warm-up
        for _ in range(rounds):
            for workers, client in ((1, c1), (2, c2)):
                wait_for_idle(IDLE_WAIT)
                began = time.perf_counter()
                job.run_match(keys, [str(path)], out, client)
                best[workers] = min(best[workers], time.perf_counter() - began)
    return n / best[1], n / best[2]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool", required=True, help="the urlkeys tool (build/default/tools/urlkeys)")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--out", help="also write the Markdown table here")
    parser.add_argument("--idle-wait", type=float, default=0.0, metavar="SECONDS",
                        help="before each timed round wait up to this long for idle cores "
                             "(for a machine shared with other work)")
    args = parser.parse_args()
    global IDLE_WAIT
    IDLE_WAIT = args.idle_wait

    raw = LIST.read_bytes().split(b"\n")[:-1]
    small = [u.decode("utf-8", "surrogateescape") for u in raw]
    million = (small * (1_000_000 // len(small) + 1))[:1_000_000]
    keys = make_keys(small)
    keyset = urlkeys.KeySet(keys)
    rows = []

    with tempfile.TemporaryDirectory() as tmp:
        key_file = Path(tmp) / "keys.txt"
        key_file.write_text("\n".join(keys) + "\n", "utf-8", "surrogateescape")
        files = {}
        for name, urls in (("48,010", small), ("1,000,000", million)):
            files[name] = Path(tmp) / f"urls-{len(urls)}.txt"
            files[name].write_text("\n".join(urls) + "\n", "utf-8", "surrogateescape")

        for name, urls in (("48,010", small), ("1,000,000", million)):
            n = len(urls)
            r = args.rounds
            tool_match = tool_rate(args.tool, ["match", "--list", str(key_file)], files[name], n, r)
            tool_simple = tool_rate(args.tool, ["simple"], files[name], n, r)
            tool_lcp = tool_rate(args.tool, ["lcp"], files[name], n, r)
            measured = [
                ("match", "C++ tool (`urlkeys match`, output to /dev/null)", tool_match, tool_match),
                ("match", "`KeySet.match` per URL", n / best(lambda: [keyset.match(u) for u in urls], r), tool_match),
                ("match", "`KeySet.match_many` (batch)", n / best(lambda: keyset.match_many(urls), r), tool_match),
                ("simple", "C++ tool (`urlkeys simple`)", tool_simple, tool_simple),
                ("simple", "`simple` per URL", n / best(lambda: [urlkeys.simple(u) for u in urls], r), tool_simple),
                ("simple", "`simple_many` (batch)", n / best(lambda: urlkeys.simple_many(urls), r), tool_simple),
                ("lcp", "C++ tool (`urlkeys lcp`)", tool_lcp, tool_lcp),
                ("lcp", "`lcp` per URL", n / best(lambda: [urlkeys.lcp(u) for u in urls], r), tool_lcp),
                ("lcp", "`lcp_many` (batch)", n / best(lambda: urlkeys.lcp_many(urls), r), tool_lcp),
            ]
            for op, what, rate, ref in measured:
                rows.append((name, op, what, rate, rate / ref))

        # The Python-only equivalent is slow: one pass over the short list.
        equivalent = python_equivalent(keys)
        eq_rate = len(small) / best(lambda: [equivalent(u) for u in small], 1)
        batch_rate = len(small) / best(lambda: keyset.match_many(small), args.rounds)
        agree = sum(equivalent(u) == keyset.match(u) for u in small)

        rounds = max(args.rounds, 10)  # scaling needs the least disturbed rounds
        one, one_cores = threads_rate(keyset.match_many, million, 1, rounds)
        two, two_cores = threads_rate(keyset.match_many, million, 2, rounds)
        s_one, s_one_cores = threads_rate(urlkeys.simple_many, million, 1, rounds)
        s_two, s_two_cores = threads_rate(urlkeys.simple_many, million, 2, rounds)

        d_one, d_two = dask_rates(keyset, files["1,000,000"], 1_000_000, rounds)
        tool_million = tool_rate(args.tool, ["match", "--list", str(key_file)],
                                 files["1,000,000"], 1_000_000, args.rounds)

    out = ["| list | operation | how | URLs/s | vs C++ tool |", "|---|---|---|---:|---:|"]
    for name, op, what, rate, ratio in rows:
        out.append(f"| {name} | {op} | {what} | {rate:,.0f} | {ratio:.2f}x |")
    out += [
        "",
        "| comparison | URLs/s | ratio |",
        "|---|---:|---:|",
        f"| urllib.parse + tldextract matching in Python (48,010) | {eq_rate:,.0f} | 1x |",
        f"| `KeySet.match_many` (48,010) | {batch_rate:,.0f} | {batch_rate / eq_rate:.0f}x |",
        f"| (the two agree on {agree:,} of {len(small):,} URLs; see the README) | | |",
        f"| `KeySet.match_many`, 1 thread (1,000,000; {one_cores:.2f} cores busy) | {one:,.0f} | 1x |",
        f"| `KeySet.match_many`, 2 threads ({two_cores:.2f} cores busy) | {two:,.0f} | {two / one:.2f}x |",
        f"| `simple_many`, 1 thread (1,000,000; {s_one_cores:.2f} cores busy) | {s_one:,.0f} | 1x |",
        f"| `simple_many`, 2 threads ({s_two_cores:.2f} cores busy) | {s_two:,.0f} | {s_two / s_one:.2f}x |",
        f"| C++ tool `urlkeys match`, one process (1,000,000) | {tool_million:,.0f} | 1x |",
        f"| Dask job, 1 worker (1,000,000; partitions as the job sizes them) | {d_one:,.0f} | {d_one / tool_million:.2f}x |",
        f"| Dask job, 2 workers | {d_two:,.0f} | {d_two / tool_million:.2f}x (2 vs 1 worker: {d_two / d_one:.2f}x) |",
    ]
    text = "\n".join(out) + "\n"
    print(text)
    load = os.getloadavg()
    print(f"load average during the run: {load[0]:.2f} {load[1]:.2f} {load[2]:.2f}", file=sys.stderr)
    if args.out:
        Path(args.out).write_text(text)


if __name__ == "__main__":
    main()
