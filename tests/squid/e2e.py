#!/usr/bin/python3
"""urlkeys squid-helper inside a real Squid, end to end.

Starts an origin HTTP server and a Squid (not as a daemon, its own
configuration in a temporary directory, cache off) on 127.0.0.1, with
`urlkeys squid-helper` as its external ACL helper over two small category
lists, and checks through the proxy:

  * single requests with curl: blocked URLs get Squid's 403 page naming the
    category and the key, allowed URLs get the origin's 200 and body; every
    decision equals `urlkeys match` on the original URL;
  * HTTPS (CONNECT): a listed host is refused, another one is tunnelled;
  * a few thousand requests from concurrent clients, every answer checked,
    requests per second with and without the helper;
  * the helper killed mid-run: Squid starts a new one and no blocked URL
    gets through meanwhile (the configuration fails closed);
  * SIGHUP after changing a list: the new list decides from then on, and the
    requests around the reload are answered by the old or the new list.

Every loop is bounded in count and time; everything listens on 127.0.0.1.
Exit status 0 passed, 1 failed, 77 skipped (no Squid on this machine).
Usage: e2e.py URLKEYS_BINARY
"""

import http.client
import http.server
import json
import os
import pwd
import random
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

SKIP = 77

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what, flush=True)
    return ok


def find_squid():
    for path in (shutil.which("squid"), "/usr/sbin/squid"):
        if path and os.access(path, os.X_OK):
            return path
    return None


def find_error_templates():
    for d in ("/usr/share/squid/errors/templates", "/usr/share/squid-langpack/templates",
              "/etc/squid/errors/templates"):
        if os.path.isfile(os.path.join(d, "ERR_ACCESS_DENIED")):
            return d
    return None


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Origin(http.server.BaseHTTPRequestHandler):
    """Answers every GET with 200 and 'origin HOST PATH'; records the hosts."""
    protocol_version = "HTTP/1.1"
    disable_nagle_algorithm = True  # headers and body go out as two writes
    seen = []
    lock = threading.Lock()

    def do_GET(self):
        host = self.headers.get("Host", "")
        with Origin.lock:
            Origin.seen.append((host, self.path))
        body = ("origin %s %s" % (host, self.path)).encode("latin-1", "replace")
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


# Names the proxy resolves (its own hosts file): all of them point at the
# origin, so a blocked URL that slipped through would show as a 200.
HOSTS = ["news.example.test", "ads.example.test", "banner.ads.example.test",
         "notads.example.test", "evil.example.test", "www.evil.example.test",
         "shop.example.test", "evil.example.test.other"]

ADS_LIST = """# advertising
ads.example.test
news.example.test/ads
127.0.0.1/private
"""
MALWARE_LIST = """# malware
evil.example.test
"""


class Proxy:
    def __init__(self, squid, tmp, urlkeys, lists):
        self.tmp = tmp
        self.port = free_port()
        self.plain_port = free_port()
        self.conf = os.path.join(tmp, "squid.conf")
        lists_args = " ".join("--list %s=%s" % (name, path) for name, path in lists)
        with open(self.conf, "w") as f:
            f.write(f"""
http_port 127.0.0.1:{self.port}
http_port 127.0.0.1:{self.plain_port} name=plain
visible_hostname urlkeys-e2e
pid_filename {tmp}/squid.pid
cache_log {tmp}/cache.log
access_log stdio:{tmp}/access.log squid
cache deny all
cache_mem 4 MB
coredump_dir {tmp}
pinger_enable off
shutdown_lifetime 1 seconds
hosts_file {tmp}/hosts
dns_nameservers 127.0.0.1
error_directory {tmp}/errors
external_acl_type urlkeys ttl=0 negative_ttl=0 children-max=1 children-startup=1 concurrency=50 %URI {urlkeys} squid-helper {lists_args}
acl category external urlkeys
acl plain myportname plain
deny_info ERR_URLKEYS_BLOCKED category
http_access allow plain localhost
http_access deny category
http_access allow localhost
http_access deny all
""")
        self.log = open(os.path.join(tmp, "squid.out"), "w")
        # A sanitized helper stops at its first report, which lands in the
        # cache log (the helpers' standard error); see sanitizer_reports().
        env = dict(os.environ, UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1",
                   ASAN_OPTIONS="halt_on_error=1:detect_leaks=1",
                   LD_LIBRARY_PATH=os.path.dirname(urlkeys))
        self.process = subprocess.Popen([squid, "-N", "-f", self.conf], stdout=self.log,
                                        stderr=subprocess.STDOUT, cwd=tmp, env=env)

    def wait_ready(self, url, seconds=30):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            if self.process.poll() is not None:
                return False
            try:
                c = http.client.HTTPConnection("127.0.0.1", self.port, timeout=5)
                c.request("GET", url)
                r = c.getresponse()
                r.read()
                c.close()
                if r.status == 200:
                    return True
            except OSError:
                pass
            time.sleep(0.2)
        return False

    def helper_pids(self):
        pids = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/stat" % entry) as f:
                    ppid = int(f.read().rsplit(")", 1)[1].split()[1])
                with open("/proc/%s/cmdline" % entry, "rb") as f:
                    cmd = f.read()
            except (OSError, IndexError, ValueError):
                continue
            if ppid == self.process.pid and b"squid-helper" in cmd:
                pids.append(int(entry))
        return pids

    def cache_log(self):
        try:
            with open(os.path.join(self.tmp, "cache.log"), errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def sanitizer_reports(self):
        try:
            with open(os.path.join(self.tmp, "cache.log"), errors="replace") as f:
                return [line for line in f if "Sanitizer" in line or "runtime error:" in line]
        except OSError:
            return []

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(5)
        self.log.close()


def curl(proxy_port, url, https=False):
    """(status, body) of one request through the proxy; for https, the
    proxy's answer to CONNECT."""
    args = ["curl", "-s", "--max-time", "10", "--path-as-is", "-x",
            "http://127.0.0.1:%d" % proxy_port]
    if https:
        args += ["-k", "-o", "/dev/null", "-w", "%{http_connect}", url]
        r = subprocess.run(args, capture_output=True, timeout=20)
        return int(r.stdout or b"0"), b""
    args += ["-w", "\n%{http_code}", url]
    r = subprocess.run(args, capture_output=True, timeout=20)
    body, _, code = r.stdout.rpartition(b"\n")
    return int(code or b"0"), body


def match_decisions(urlkeys, lists, urls):
    """urlkeys match on the original URLs: URL -> matched key or None."""
    args = [urlkeys, "match", "--json"]
    for name, path in lists:
        args += ["--list", "%s=%s" % (name, path)]
    r = subprocess.run(args, input="".join(u + "\n" for u in urls).encode(),
                       capture_output=True, timeout=60, check=True)
    out = {}
    for line, url in zip(r.stdout.decode().splitlines(), urls):
        out[url] = json.loads(line)["match"]
    return out


def load(port, urls, expect, clients, seconds, stop_early=None):
    """Sends `urls` through the proxy from `clients` threads on kept-alive
    connections, each URL once; returns (answers, wrong, elapsed) where
    wrong lists (url, status) answers that `expect(url, status)` rejects."""
    queue = list(urls)
    lock = threading.Lock()
    wrong, answers = [], [0]
    end = time.monotonic() + seconds

    def client():
        conn = None
        while time.monotonic() < end and (stop_early is None or not stop_early.is_set()):
            with lock:
                if not queue:
                    return
                url = queue.pop()
            for attempt in range(3):
                try:
                    if conn is None:
                        conn = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
                    conn.request("GET", url)
                    r = conn.getresponse()
                    r.read()
                    status = r.status
                    if r.getheader("Connection", "").lower() == "close":
                        conn.close()
                        conn = None
                    break
                except (OSError, http.client.HTTPException):
                    if conn:
                        conn.close()
                    conn = None
                    status = 0
            with lock:
                answers[0] += 1
                if not expect(url, status):
                    wrong.append((url, status))
        if conn:
            conn.close()

    start = time.monotonic()
    threads = [threading.Thread(target=client) for _ in range(clients)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return answers[0], wrong, time.monotonic() - start


def install_helper(urlkeys, bindir):
    """Copies the tool and the urlkeys libraries it links (by their sonames)
    into `bindir`; returns the copy's path."""
    os.makedirs(bindir)
    helper = os.path.join(bindir, "urlkeys")
    shutil.copy2(urlkeys, helper)
    linked = subprocess.run(["ldd", urlkeys], capture_output=True, text=True).stdout
    for line in linked.splitlines():
        parts = line.split()
        if len(parts) >= 3 and parts[0].startswith("liburlkeys") and parts[1] == "=>":
            shutil.copy2(parts[2], os.path.join(bindir, parts[0]))
    return helper


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    urlkeys = os.path.abspath(sys.argv[1])
    squid = find_squid()
    templates = find_error_templates()
    if not squid or not templates or not shutil.which("curl"):
        print("SKIP: squid (with its error page templates) or curl is not installed here")
        return SKIP

    tmp = tempfile.mkdtemp(prefix="urlkeys-squid-")
    os.makedirs(os.path.join(tmp, "errors"))
    for name in os.listdir(templates):
        shutil.copy(os.path.join(templates, name), os.path.join(tmp, "errors", name))
    with open(os.path.join(tmp, "errors", "ERR_URLKEYS_BLOCKED"), "w") as f:
        f.write("<html><body><p>Blocked: category @Squid{%et}, key %o</p></body></html>\n")
    with open(os.path.join(tmp, "hosts"), "w") as f:
        f.write("127.0.0.1 localhost " + " ".join(HOSTS) + "\n")
    ads, malware = os.path.join(tmp, "ads.list"), os.path.join(tmp, "malware.list")
    with open(ads, "w") as f:
        f.write(ADS_LIST)
    with open(malware, "w") as f:
        f.write(MALWARE_LIST)
    lists = [("ads", ads), ("malware", malware)]
    # The helper runs as the proxy's user, who may not reach the build folder
    # (a private temporary clone, say): the helper and the urlkeys library it
    # links go into this directory, found there through LD_LIBRARY_PATH.
    helper = install_helper(urlkeys, os.path.join(tmp, "bin"))
    # Squid started as root runs itself and its helpers as 'proxy': let that
    # user write its logs here and read the lists.
    if os.geteuid() == 0:
        try:
            user = pwd.getpwnam("proxy")
            for root, dirs, files in os.walk(tmp):
                for name in [root] + [os.path.join(root, n) for n in files]:
                    os.chown(name, user.pw_uid, user.pw_gid)
        except KeyError:
            pass
    os.chmod(tmp, 0o755)

    origin = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Origin)
    origin.daemon_threads = True
    o = origin.server_address[1]
    threading.Thread(target=origin.serve_forever, daemon=True).start()

    proxy = Proxy(squid, tmp, helper, lists)
    try:
        if not check(proxy.wait_ready("http://news.example.test:%d/ready" % o),
                     "squid did not start (see %s)" % tmp):
            return 1
        run_cases(proxy, urlkeys, lists, o)
        run_load(proxy, o)
        # Squid 5.7 sometimes stops on an assertion of its own ("Write.cc:40")
        # when a helper dies under load; nothing gets through then, but the
        # rest of the test needs a proxy: start it again and repeat.
        for attempt in range(1, 6):
            if run_helper_kill(proxy, o):
                break
            log = proxy.cache_log()
            if not check("assertion failed" in log and attempt < 5,
                         "Squid stopped while its helper was killed: %r" % log[-300:]):
                return 1
            print("note: Squid stopped on its own assertion (%s) when its helper was killed; "
                  "starting it again (attempt %d of 5)"
                  % (log[log.rindex("assertion failed"):].splitlines()[0], attempt + 1), flush=True)
            proxy.stop()
            proxy = Proxy(squid, tmp, helper, lists)
            if not check(proxy.wait_ready("http://news.example.test:%d/ready" % o),
                         "squid did not start again"):
                return 1
        run_reload(proxy, urlkeys, lists, ads, o)
    finally:
        proxy.stop()
        origin.shutdown()
    reports = proxy.sanitizer_reports()
    check(not reports, "sanitizer reports from the helper: %r" % reports[:3])
    leaked = [s for s in Origin.seen if is_listed_host(s[0])
              or s[1].startswith(("/private", "/ads/", "/%61ds"))]
    check(not leaked, "the origin saw requests for blocked hosts: %r" % leaked[:5])
    if failures:
        print("squid e2e: %d check(s) failed; Squid's files are in %s" % (len(failures), tmp))
        return 1
    shutil.rmtree(tmp, ignore_errors=True)
    print("squid e2e: all checks passed")
    return 0


def is_listed_host(host):
    name = host.rsplit(":", 1)[0].rstrip(".").lower()
    return name == "evil.example.test" or name.endswith(".evil.example.test") \
        or name == "ads.example.test" or name.endswith(".ads.example.test")


def run_cases(proxy, urlkeys, lists, o):
    long_path = "/long/" + "a" * 5000
    cases = [  # (URL, category that blocks it or None)
        ("http://news.example.test:%d/today" % o, None),
        ("http://banner.ads.example.test:%d/x.gif" % o, "ads"),        # host suffix
        ("http://notads.example.test:%d/" % o, None),                  # looks similar
        ("http://news.example.test:%d/ads/banner.gif?id=7" % o, "ads"),  # path prefix
        ("http://news.example.test:%d/adsx" % o, None),                # not a segment
        ("http://news.example.test:%d/%%61ds/b" % o, "ads"),           # escaped path
        ("http://news.example.test:%d/%%2561ds/b" % o, None),          # escaped '%'
        ("http://evil.example.test:%d/x" % o, "malware"),
        ("http://www.evil.example.test:%d/" % o, "malware"),
        ("http://evil.example.test.:%d/x" % o, "malware"),             # trailing dot
        ("http://EVIL.Example.TEST:%d/" % o, "malware"),               # upper case
        ("http://evil.example.test.other:%d/" % o, None),
        ("http://127.0.0.1:%d/private/x" % o, "ads"),                  # numeric host
        ("http://0x7f000001:%d/private/x" % o, "ads"),
        ("http://2130706433:%d/private/x" % o, "ads"),
        ("http://0177.0.0.1:%d/private" % o, "ads"),
        ("http://127.1:%d/private" % o, "ads"),
        ("http://0x7f000001:%d/public" % o, None),
        ("http://2130706433:%d/public" % o, None),
        ("http://news.example.test:%d/ads/%s" % (o, "b" * 5000), "ads"),  # long URLs
        ("http://news.example.test:%d%s" % (o, long_path), None),
    ]
    decided = match_decisions(urlkeys, lists, [u for u, _ in cases])
    for url, category in cases:
        short = url if len(url) < 100 else url[:90] + "..."
        status, body = curl(proxy.port, url)
        if category:
            check(status == 403, "%s: status %d, wanted 403" % (short, status))
            check(("category " + category).encode() in body,
                  "%s: the error page does not name %s: %r" % (short, category, body[:200]))
            check(decided[url] is not None, "%s: urlkeys match does not block it" % short)
            check(("key " + str(decided[url])).encode() in body,
                  "%s: the error page does not show the key %s" % (short, decided[url]))
        else:
            check(status == 200 and body.startswith(b"origin "),
                  "%s: status %d, wanted the origin's 200" % (short, status))
            check(decided[url] is None, "%s: urlkeys match blocks it" % short)
    https = [("https://evil.example.test/", 403), ("https://banner.ads.example.test:443/", 403),
             ("https://EVIL.example.test./", 403), ("https://news.example.test:%d/" % o, 200)]
    for url, want in https:
        status, _ = curl(proxy.port, url, https=True)
        check(status == want, "CONNECT for %s: proxy answered %d, wanted %d" % (url, status, want))
    print("cases: %d URLs and %d CONNECTs checked" % (len(cases), len(https)), flush=True)


def mixed_urls(o, count, tag, blocked_share=0.4):
    """`count` URLs, a share of them listed, each with its own query."""
    rng = random.Random(count)
    blocked = ["http://banner.ads.example.test:%d/b.gif" % o,
               "http://news.example.test:%d/ads/x" % o,
               "http://evil.example.test:%d/p" % o]
    allowed = ["http://news.example.test:%d/story" % o,
               "http://notads.example.test:%d/" % o,
               "http://shop.example.test:%d/cart" % o]
    urls = []
    for i in range(count):
        is_listed = rng.random() < blocked_share
        url = "%s?%s=%d" % (rng.choice(blocked if is_listed else allowed), tag, i)
        urls.append(url)
        if is_listed:
            LISTED.add(url)
    return urls


LISTED = set()  # the URLs of mixed_urls() that the lists block


def listed(url):
    return url in LISTED


def run_load(proxy, o):
    urls = mixed_urls(o, 3000, "load")
    n, wrong, seconds = load(proxy.port, urls,
                             lambda u, s: s == (403 if listed(u) else 200), 6, 60)
    check(n == len(urls), "load: %d of %d answered in time" % (n, len(urls)))
    check(not wrong, "load: %d wrong answers, e.g. %r" % (len(wrong), wrong[:3]))
    # The helper's cost: the same allowed URLs through the port that asks it
    # and through the one that does not, alternately, best of two rounds.
    allowed = [u for u in mixed_urls(o, 3000, "cost", blocked_share=0) if not listed(u)]
    rates = {proxy.port: 0.0, proxy.plain_port: 0.0}
    for _ in range(2):
        for port in rates:
            n2, wrong2, seconds2 = load(port, allowed, lambda u, s: s == 200, 6, 60)
            check(not wrong2 and n2 == len(allowed), "allowed URLs on port %d: %d wrong, %d of %d"
                  % (port, len(wrong2), n2, len(allowed)))
            rates[port] = max(rates[port], n2 / seconds2)
    with_helper, without = rates[proxy.port], rates[proxy.plain_port]
    print("load: %d requests (%d listed) from 6 clients, every answer right, %.0f requests/s; "
          "allowed URLs: %.0f requests/s through the helper, %.0f without it (%+.0f us per "
          "request)" % (n, sum(map(listed, urls)), n / seconds, with_helper, without,
                        1e6 / with_helper - 1e6 / without), flush=True)


def run_helper_kill(proxy, o):
    before = proxy.helper_pids()
    if not check(len(before) == 1, "expected one helper process, found %r" % before):
        return True
    urls = mixed_urls(o, 2000, "kill", blocked_share=0.5)
    allowed_denied = [0]

    def expect(url, status):
        if listed(url):
            return status == 403  # never let through, whatever the helper's state
        if status == 403:
            allowed_denied[0] += 1  # refused while no helper answered: fail closed
            return True
        return status == 200

    killer = threading.Timer(0.3, lambda: os.kill(before[0], signal.SIGKILL))
    killer.start()
    n, wrong, _ = load(proxy.port, urls, expect, 3, 60)
    killer.join()
    if proxy.process.poll() is not None:
        # Squid itself stopped: then nothing got through either.
        through = [(u, s) for u, s in wrong if listed(u) and s == 200]
        check(not through, "helper killed: listed URLs let through: %r" % through[:3])
        return False
    check(not wrong, "helper killed: %d wrong answers, e.g. %r" % (len(wrong), wrong[:3]))
    after = proxy.helper_pids()
    end = time.monotonic() + 10
    while not after and time.monotonic() < end:
        time.sleep(0.1)
        after = proxy.helper_pids()
    check(after and after != before, "Squid did not start a new helper: %r -> %r" % (before, after))
    status, _ = curl(proxy.port, "http://evil.example.test:%d/after-kill" % o)
    check(status == 403, "after the restart a blocked URL got %d" % status)
    status, _ = curl(proxy.port, "http://news.example.test:%d/after-kill" % o)
    check(status == 200, "after the restart an allowed URL got %d" % status)
    print("helper killed mid-run: %d requests, none listed let through, %d allowed ones refused "
          "while no helper answered; new helper %r" % (n, allowed_denied[0], after), flush=True)
    return True


def run_reload(proxy, urlkeys, lists, ads, o):
    pid = proxy.helper_pids()
    if not check(len(pid) == 1, "expected one helper process before the reload"):
        return
    # Requests run while the list changes: URLs whose decision is the same in
    # both lists must never be answered otherwise.
    stop = threading.Event()
    urls = mixed_urls(o, 4000, "reload")
    result = {}

    def background():
        result["load"] = load(proxy.port, urls,
                              lambda u, s: s == (403 if listed(u) else 200), 3, 30, stop)

    t = threading.Thread(target=background)
    t.start()
    time.sleep(0.3)
    with open(ads + ".new", "w") as f:
        f.write(ADS_LIST + "shop.example.test/after-reload\n")
    os.replace(ads + ".new", ads)
    os.kill(pid[0], signal.SIGHUP)
    shop = "http://shop.example.test:%d/after-reload/x" % o
    end = time.monotonic() + 10
    status = 0
    while time.monotonic() < end:
        status, body = curl(proxy.port, shop)
        if status == 403:
            break
        time.sleep(0.05)
    stop.set()
    t.join()
    n, wrong, _ = result["load"]
    check(not wrong, "during the reload: %d wrong answers, e.g. %r" % (len(wrong), wrong[:3]))
    check(status == 403, "the new list did not decide within 10 s (last status %d)" % status)
    for i in range(20):
        status, body = curl(proxy.port, shop + "?n=%d" % i)
        check(status == 403 and b"category ads" in body, "after the reload: %d" % status)
    decided = match_decisions(urlkeys, lists, [shop])
    check(decided[shop] == "shop.example.test/after-reload", "match on the new list: %r" % decided)
    check(proxy.helper_pids() == pid, "the helper was restarted instead of reloading")
    # The helper's standard error is the cache log: the reload is told there
    # (and so would be a sanitizer's report, which main() looks for).
    with open(os.path.join(proxy.tmp, "cache.log"), errors="replace") as f:
        check("urlkeys squid-helper: reloaded" in f.read(), "no reload message in the cache log")
    print("reload on SIGHUP: the new list decides, %d requests around it all answered right"
          % n, flush=True)


if __name__ == "__main__":
    try:
        sys.exit(main())
    except subprocess.TimeoutExpired as e:
        print("FAIL: timed out:", e)
        sys.exit(1)
