#!/usr/bin/python3
"""urlkeys squid-helper beside squidGuard on the same lists and request lines.

Makes a key list (one million keys by default: hosts and host/path prefixes,
one in sixteen taken from the URL list so that there are hits; --real-every
sets that share), gives it to
squidGuard as one category (hosts to its domain list, host/path keys to its
URL list) and to urlkeys as one list, and feeds both the same request lines
in the redirector format ("URL client/fqdn user method") on standard input:
the URL list once, and repeated. Reports

  * readiness: squidGuard's compile of the lists (squidGuard -C all) and its
    start-up on the compiled databases; urlkeys' start-up (loading the keys);
  * the time for the URL list once, start-up included; the steady answers
    per second (the repeated input's extra lines over its extra time), by
    the clock and by CPU time, and with --instructions the instructions per
    answer counted by callgrind (steady on a busy machine); resident memory
    while answering and at its peak;
  * the decisions: where the two differ, counted by class, with examples.

No proxy is involved. Usage:
  squid_compare.py [--urlkeys BIN] [--urls FILE] [--keys N] [--real-every N]
                   [--repeat N] [--rounds N] [--instructions] [--markdown]
"""

import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def make_keys(path, count, urls, urlkeys, every):
    """`count` keys, the same bytes on every run: one in `every` a candidate
    of a real URL (the whole member URL, or one or two steps shorter), the
    others made-up hosts under common TLDs, 40% of them with a path."""
    walk = subprocess.run([urlkeys, "lcp"], input="".join(u + "\n" for u in urls).encode(),
                          capture_output=True, check=True).stdout.decode("latin-1")
    real = []
    for i, line in enumerate(walk.splitlines()):
        candidates = line.split("\t")[1:]
        if candidates:
            c = candidates[min(i % 3, len(candidates) - 1)]
            if c and " " not in c:
                real.append(c)
    rng = random.Random(20261206)
    tlds = ["com", "com", "com", "com", "net", "org", "de", "ru", "co.uk", "info", "io",
            "fr", "nl", "com.br", "xyz", "top"]
    letters = "abcdefghijklmnopqrstuvwxyz"

    def word(lo, hi):
        return "".join(rng.choice(letters) for _ in range(rng.randint(lo, hi)))

    next_real = 0
    with open(path, "w", encoding="latin-1") as f:
        for k in range(count):
            if k % every == 0 and real:
                key = real[next_real % len(real)]
                next_real += 7
            else:
                key = word(4, 12) + "." + rng.choice(tlds)
                if rng.random() < 0.3:
                    key = word(2, 8) + "." + key
                if rng.random() < 0.4:
                    key += "".join("/" + word(2, 10) for _ in range(rng.randint(1, 3)))
            f.write(key + "\n")


def split_for_squidguard(keys, db):
    """squidGuard's lists: hosts to domains, host/path keys to urls."""
    os.makedirs(os.path.join(db, "blocked"))
    domains = open(os.path.join(db, "blocked", "domains"), "w", encoding="latin-1")
    urls = open(os.path.join(db, "blocked", "urls"), "w", encoding="latin-1")
    n_domains = n_urls = 0
    with open(keys, encoding="latin-1") as f:
        for key in f:
            if "/" in key:
                urls.write(key)
                n_urls += 1
            else:
                domains.write(key)
                n_domains += 1
    domains.close()
    urls.close()
    return n_domains, n_urls


def run(args, stdin_path):
    """Runs a filter with its input from a file: (wall seconds, CPU seconds,
    peak RSS in MB, largest RSS in MB seen once answers came out, output
    lines)."""
    with open(stdin_path, "rb") as fin, tempfile.TemporaryFile() as fout:
        start = time.monotonic()
        p = subprocess.Popen(args, stdin=fin, stdout=fout, stderr=subprocess.DEVNULL)
        rss = peak = 0.0
        while True:
            pid, status, usage = os.wait4(p.pid, os.WNOHANG)
            if pid:
                break
            try:
                with open("/proc/%d/status" % p.pid) as f:
                    status_text = f.read()
                # The peak since exec (ru_maxrss would count the forked
                # interpreter too), and once answers come out, the memory of
                # answering rather than of loading.
                if not re.search(r"^Name:\s+python", status_text, re.M):  # exec'd
                    m = re.search(r"VmHWM:\s+(\d+) kB", status_text)
                    if m:
                        peak = max(peak, int(m.group(1)) / 1024.0)
                    m = re.search(r"VmRSS:\s+(\d+) kB", status_text)
                    if m and os.fstat(fout.fileno()).st_size:
                        rss = max(rss, int(m.group(1)) / 1024.0)
            except OSError:
                pass
            time.sleep(0.005)
        seconds = time.monotonic() - start
        p.returncode = os.waitstatus_to_exitcode(status)
        if p.returncode != 0:
            sys.exit("%s failed with status %d" % (args[0], p.returncode))
        fout.seek(0)
        out = fout.read().decode("latin-1").splitlines()
        return seconds, usage.ru_utime + usage.ru_stime, peak, rss, out


def count_instructions(args, stdin_path):
    """Instructions a filter runs on an input, counted by callgrind."""
    with open(stdin_path, "rb") as fin:
        r = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null"]
                           + args, stdin=fin, stdout=subprocess.DEVNULL,
                           stderr=subprocess.PIPE, check=True)
    return int(re.search(rb"Collected : (\d+)", r.stderr).group(1))


def shadowed_keys(keys):
    """The keys that are the start of another key of the same kind, letter
    case aside (host keys compared from the end, as squidGuard stores them
    reversed): in sorted order such a key is directly followed by a longer
    one."""
    out = set()
    for flip, group in ((True, [k for k in keys if "/" not in k]),
                        (False, [k for k in keys if "/" in k])):
        folded = {}
        for k in group:
            folded.setdefault((k[::-1] if flip else k).lower(), []).append(k)
        order = sorted(folded)
        for a, b in zip(order, order[1:]):
            if b.startswith(a):
                out.update(folded[a])
    return out


def classify(url, key, shadowed, dotted, listed_urls):
    """The reason of one decision difference (see the README)."""
    if key is not None:  # urlkeys blocks, squidGuard lets it pass
        if key in shadowed:
            return ("urlkeys only: the matched key is the start of another key (squidGuard "
                    "looks at the nearest entry only)")
        if key in dotted:
            return ("urlkeys only: the key is written with a trailing dot (squidGuard drops "
                    "the URL's, keeps its list's)")
        if re.search(r'^[a-z]+://[^/]*["<>{}|\\^`]', url):
            return ("urlkeys only: a host with bytes no host name has (squidGuard lets such "
                    "a URL pass)")
        return "urlkeys only: other"
    m = re.match(r"^(?:[a-z][a-z0-9+.-]*://)?(?:[^/@]*@)?([^/:?#]*)(?::\d+)?([^?#]*)", url, re.I)
    host, path = (m.group(1).lower(), m.group(2)) if m else ("", "")
    bare = re.sub(r"^(www|web|ftp)[0-9]*\.", "", host)
    if bare != host and not host.startswith("www."):
        return "squidGuard only: it drops a leading web./ftp./wwwN. label"
    hp = bare + path
    for k in listed_urls:
        if hp.lower().startswith(k.lower()):
            rest = hp[len(k):]
            if rest and rest[0] != "/":
                return "squidGuard only: a host/path key as a byte prefix, not whole segments"
            if not hp.startswith(k):
                return "squidGuard only: a path key in another letter case"
    return "squidGuard only: other"


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--urlkeys", default=os.path.join(ROOT, "build/default/tools/urlkeys"))
    ap.add_argument("--urls", default=os.path.join(ROOT, "tests/data/urls-top.txt"))
    ap.add_argument("--keys", type=int, default=1000000)
    ap.add_argument("--real-every", type=int, default=16,
                    help="one key in this many comes from the URL list")
    ap.add_argument("--repeat", type=int, default=10)
    ap.add_argument("--rounds", type=int, default=3, help="timed runs of each, best kept")
    ap.add_argument("--examples", type=int, default=3, help="examples shown per class")
    ap.add_argument("--instructions", action="store_true",
                    help="also count instructions per answer with callgrind (slow)")
    ap.add_argument("--keep", action="store_true", help="keep the lists and databases")
    ap.add_argument("--markdown", action="store_true", help="print a README table too")
    a = ap.parse_args()
    squidguard = shutil.which("squidGuard")
    if not squidguard:
        sys.exit("squidGuard is not installed (Debian package squidguard)")

    with open(a.urls, encoding="latin-1") as f:
        urls = [u for u in f.read().splitlines() if u and " " not in u]
    tmp = tempfile.mkdtemp(prefix="urlkeys-sgcmp-")
    try:
        keys = os.path.join(tmp, "keys.txt")
        make_keys(keys, a.keys, urls, a.urlkeys, a.real_every)
        db = os.path.join(tmp, "db")
        n_domains, n_urls = split_for_squidguard(keys, db)
        os.makedirs(os.path.join(tmp, "log"))
        conf = os.path.join(tmp, "squidGuard.conf")
        with open(conf, "w") as f:
            f.write("dbhome %s\nlogdir %s/log\n"
                    "dest blocked {\n  domainlist blocked/domains\n  urllist blocked/urls\n}\n"
                    "acl {\n  default {\n    pass !blocked all\n"
                    "    redirect http://blocked.invalid/\n  }\n}\n" % (db, tmp))
        once = os.path.join(tmp, "once.txt")
        with open(once, "w", encoding="latin-1") as f:
            f.writelines("%s 127.0.0.1/- - GET -\n" % u for u in urls)
        repeated = os.path.join(tmp, "repeated.txt")
        with open(repeated, "w", encoding="latin-1") as f:
            for _ in range(a.repeat):
                f.writelines("%s 127.0.0.1/- - GET -\n" % u for u in urls)
        one = os.path.join(tmp, "one.txt")
        with open(one, "w") as f:
            f.write("http://example.com/ 127.0.0.1/- - GET -\n")

        start = time.monotonic()
        subprocess.run([squidguard, "-c", conf, "-C", "all"], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        compile_s = time.monotonic() - start
        db_mb = sum(os.path.getsize(os.path.join(db, "blocked", n))
                    for n in os.listdir(os.path.join(db, "blocked")) if n.endswith(".db")) / 2**20

        sg = [squidguard, "-c", conf]
        uk = [a.urlkeys, "squid-helper", "--list", keys]
        tools = (("squidGuard", sg), ("urlkeys", uk))
        results = {name: {} for name, _ in tools}
        for _ in range(a.rounds):  # interleaved, the best time of each kind kept
            for name, cmd in tools:
                best = results[name]
                for label, path in (("start", one), ("once", once), ("repeated", repeated)):
                    r = run(cmd, path)
                    if label in best:
                        r = (min(r[0], best[label][0]), min(r[1], best[label][1])) + r[2:]
                    best[label] = r
        instructions = {}
        if a.instructions:  # callgrind's count: the same on a busy machine
            for name, cmd in tools:
                n = [count_instructions(cmd, path) for path in (one, once)]
                instructions[name] = (n[1] - n[0]) / len(urls)

        print("keys: %d (%d hosts to squidGuard's domain list, %d host/path keys to its URL "
              "list); request lines: %d, and the same repeated %d times (%d)"
              % (a.keys, n_domains, n_urls, len(urls), a.repeat, len(urls) * a.repeat))
        print("squidGuard -C all: %.2f s (databases %.0f MB)" % (compile_s, db_mb))
        # The steady answering speed: the repeated input's extra lines over
        # its extra time beside the single list (both runs load the same
        # lists, so start-up cancels out).
        rows = []
        extra = len(urls) * (a.repeat - 1)
        for name in ("squidGuard", "urlkeys"):
            r = results[name]
            row = [name, r["start"][0], r["once"][0],
                   extra / max(r["repeated"][0] - r["once"][0], 1e-6),
                   extra / max(r["repeated"][1] - r["once"][1], 1e-6),
                   r["repeated"][3], max(r[k][2] for k in r)]
            rows.append(row)
            print("%-10s start-up %.3f s; the URL list once %.3f s (start-up included); "
                  "answers/s %.0f (wall), %.0f (CPU); RSS while answering %.0f MB, peak %.0f MB"
                  % tuple(row))
        print("urlkeys / squidGuard answers per second: %.1fx (wall), %.1fx (CPU)"
              % (rows[1][3] / rows[0][3], rows[1][4] / rows[0][4]))
        if instructions:
            print("instructions per answer (callgrind): squidGuard %.0f, urlkeys %.0f (%.1fx)"
                  % (instructions["squidGuard"], instructions["urlkeys"],
                     instructions["squidGuard"] / instructions["urlkeys"]))

        # Decisions on the same lines.
        sg_out = results["squidGuard"]["once"][4]
        uk_out = results["urlkeys"]["once"][4]
        assert len(sg_out) == len(uk_out) == len(urls), (len(sg_out), len(uk_out), len(urls))
        with open(os.path.join(db, "blocked", "urls"), encoding="latin-1") as f:
            listed_urls = [k.strip() for k in f]
        with open(keys, encoding="latin-1") as f:
            written = [k.strip() for k in f]
        shadowed = shadowed_keys(written)
        # Keys whose host is written with trailing dots, as urlkeys reads them.
        dotted = set()
        for k in written:
            host, slash, path = k.partition("/")
            if host.endswith("."):
                dotted.add(host.rstrip(".").lower() + slash + path)
        classes = {}
        blocked = {"squidGuard": 0, "urlkeys": 0}
        for url, s, u in zip(urls, sg_out, uk_out):
            sg_block = s.startswith("OK")
            uk_block = u.startswith("OK")
            blocked["squidGuard"] += sg_block
            blocked["urlkeys"] += uk_block
            if sg_block == uk_block:
                continue
            key = None
            if uk_block:
                m = re.search(r'message="((?:[^"\\]|\\.)*)"', u)
                key = m.group(1) if m else "?"
            c = classify(url, key, shadowed, dotted, listed_urls)
            classes.setdefault(c, []).append((url, key))
        print("blocked: squidGuard %d, urlkeys %d of %d; differences: %d"
              % (blocked["squidGuard"], blocked["urlkeys"], len(urls),
                 sum(len(v) for v in classes.values())))
        for c, items in sorted(classes.items(), key=lambda kv: -len(kv[1])):
            print("  %6d  %s" % (len(items), c))
            for url, key in items[:a.examples]:
                print("          %s%s" % (url, "  (key %s)" % key if key else ""))
        if a.markdown:
            print("\n| | squidGuard | urlkeys |\n|---|---:|---:|")
            print("| ready: compile; start-up | %.2f s; %.3f s | -; %.3f s |"
                  % (compile_s, rows[0][1], rows[1][1]))
            print("| the %d lines once, start-up included | %.3f s | %.3f s |"
                  % (len(urls), rows[0][2], rows[1][2]))
            print("| answers/s (wall; CPU) | %.0f; %.0f | %.0f; %.0f |"
                  % (rows[0][3], rows[0][4], rows[1][3], rows[1][4]))
            if instructions:
                print("| instructions per answer (callgrind) | %.0f | %.0f |"
                      % (instructions["squidGuard"], instructions["urlkeys"]))
            print("| resident memory while answering (peak) | %.0f MB (%.0f) | %.0f MB (%.0f) |"
                  % (rows[0][5], rows[0][6], rows[1][5], rows[1][6]))
            print("| requests blocked of %d | %d | %d |"
                  % (len(urls), blocked["squidGuard"], blocked["urlkeys"]))
    finally:
        if a.keep:
            print("files kept in", tmp)
        else:
            shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    main()
