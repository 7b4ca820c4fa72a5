"""The match job on a LocalCluster: same output as `urlkeys match`, nothing
lost, and a worker killed mid-run changes nothing."""

import gzip
import os
import signal
import subprocess
import sys
import threading
import time

import pytest

distributed = pytest.importorskip("distributed")

import urlkeys  # noqa: E402
import urlkeys.dask as job  # noqa: E402
from conftest import run_tool  # noqa: E402

KEYS = b"# test list\nwikipedia.org\ntools.ietf.org/html\nAngelfire.com\nsourceforge.net\n127.0.0.1\n"


@pytest.fixture(scope="module")
def cluster():
    with job.local_cluster(2) as c:
        with distributed.Client(c) as client:
            yield client


@pytest.fixture
def key_file(tmp_path):
    path = tmp_path / "keys.txt"
    path.write_bytes(KEYS)
    return path


def read_parts(output):
    names = sorted(n for n in os.listdir(output) if n.startswith("part-"))
    return b"".join((output / n).read_bytes() for n in names)


def test_job_equals_tool(cluster, tool, tmp_path, key_file, url_lines):
    # Two plain files (one ending without a line break, one with CRLF lines,
    # an over-long line and a NUL line) and a gzip file, given by a pattern.
    inputs = tmp_path / "in"
    inputs.mkdir()
    a = b"\n".join(url_lines[:30000]) + b"\nhttp://0x7f000001/x\nhttp://a\tb.example.com/\\x"
    b = (b"\r\n".join(url_lines[30000:40000]) + b"\r\nhttp://" + b"x" * 70000 + b"\n"
         + b"http://bad\0.wikipedia.org/\n" + b"\n".join(url_lines[40000:]) + b"\n")
    (inputs / "a.txt").write_bytes(a)
    (inputs / "b.txt").write_bytes(b)
    with gzip.open(inputs / "c.txt.gz", "wb") as f:
        f.write(b"\n".join(url_lines[:5000]) + b"\n")
    output = tmp_path / "out"
    keys = urlkeys.KeySet.from_file(key_file)
    result = job.run_match(keys, [str(inputs / "*")], str(output), cluster, blocksize=100_000)
    assert result.partitions > 20

    # The tool reads a NUL line up to its NUL; the job reports it instead.
    expected = run_tool(tool, ["match", "--list", str(key_file)], a)
    expected += run_tool(tool, ["match", "--list", str(key_file)],
                         b.replace(b"http://bad\0.wikipedia.org/\n", b""))
    expected += run_tool(tool, ["match", "--list", str(key_file)],
                         b"\n".join(url_lines[:5000]) + b"\n")
    got = read_parts(output)
    assert got == expected
    assert result.lines == len(url_lines) + 2 + 2 + 5000
    assert result.skipped == [(str(inputs / "b.txt"), 10001, "longer than 65536 bytes"),
                              (str(inputs / "b.txt"), 10002, "holds a NUL byte")]
    assert (output / "skipped.tsv").read_bytes().count(b"\n") == 2

    counts = {}
    for line in expected.splitlines():
        key = line.split(b"\t")[1]
        if key:
            counts[key] = counts.get(key, 0) + 1
    summary = dict(line.split(b"\t") for line in (output / "summary.tsv").read_bytes().splitlines())
    assert {k: int(v) for k, v in summary.items()} == counts
    assert result.matched == sum(counts.values())
    assert not [n for n in os.listdir(output) if n.startswith(".")]


class SlowTasks(distributed.WorkerPlugin):
    """Makes every task take a little longer, so a kill lands mid-run."""

    def transition(self, key, start, finish, **kwargs):
        if finish == "executing":
            time.sleep(0.03)


def test_killed_worker_loses_nothing(cluster, tool, tmp_path, key_file, url_lines):
    source = tmp_path / "urls.txt"
    source.write_bytes((b"\n".join(url_lines) + b"\n") * 4)
    expected = run_tool(tool, ["match", "--list", str(key_file)], source.read_bytes())
    output = tmp_path / "out"
    output.mkdir()
    keys = urlkeys.KeySet.from_file(key_file)
    cluster.register_worker_plugin(SlowTasks(), name="slow-tasks")
    pids = cluster.run(os.getpid)
    outcome = {}

    def run():
        try:
            outcome["result"] = job.run_match(keys, [str(source)], str(output), cluster,
                                              blocksize=64 << 10)
        except BaseException as e:  # reported by the main thread
            outcome["error"] = e

    runner = threading.Thread(target=run)
    runner.start()
    total = -(-source.stat().st_size // (64 << 10))
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline and len(os.listdir(output)) < 10:
        time.sleep(0.01)
    done_at_kill = len([n for n in os.listdir(output) if n.startswith("part-")])
    victim = sorted(pids.values())[0]
    os.kill(victim, signal.SIGKILL)
    runner.join(120)
    try:
        cluster.unregister_worker_plugin("slow-tasks")
    except Exception:
        pass
    assert not runner.is_alive()
    assert "error" not in outcome, outcome.get("error")
    assert 0 < done_at_kill < total, "the kill did not land mid-run"
    assert victim not in cluster.run(os.getpid).values()
    assert read_parts(output) == expected
    assert outcome["result"].lines == 4 * len(url_lines)


@pytest.mark.parametrize("where", ["local", "scheduler"])
def test_command_line(cluster, tool, tmp_path, key_file, url_lines, where):
    source = tmp_path / "urls.txt"
    source.write_bytes(b"\n".join(url_lines[:3000]) + b"\n")
    output = tmp_path / "out"
    # Its own LocalCluster, or the running one named by its scheduler's address.
    cluster_args = (["--workers", "1"] if where == "local"
                    else ["--scheduler", cluster.scheduler.address])
    done = subprocess.run(
        [sys.executable, "-m", "urlkeys.dask", "match", "--list", str(key_file), str(source),
         "--output", str(output), "--blocksize", "20000", "--no-progress", *cluster_args],
        stderr=subprocess.PIPE, timeout=120, check=False)
    assert done.returncode == 0, done.stderr.decode()
    assert b"3000 URLs" in done.stderr
    assert read_parts(output) == run_tool(tool, ["match", "--list", str(key_file)],
                                          source.read_bytes())
    if where == "local":
        return
    missing = subprocess.run([sys.executable, "-m", "urlkeys.dask", "match", "--list",
                              str(tmp_path / "nope.txt"), str(source), "--output", str(output)],
                             stderr=subprocess.PIPE, timeout=60, check=False)
    assert missing.returncode == 2 and b"nope.txt" in missing.stderr


def test_named_lists_equal_tool(cluster, tool, tmp_path, url_lines):
    (tmp_path / "ads.txt").write_bytes(b"tools.ietf.org\nwikipedia.org\n")
    (tmp_path / "odd=name.txt").write_bytes(b"wikipedia.org\nsourceforge.net\n")
    list_args = [f"ads={tmp_path / 'ads.txt'}", f"more.lists={tmp_path / 'odd=name.txt'}"]
    source = tmp_path / "urls.txt"
    source.write_bytes(b"\n".join(url_lines[:5000]) + b"\n")
    args = ["match"] + [a for list_arg in list_args for a in ("--list", list_arg)]
    done = subprocess.run([tool, *args], stdin=open(source, "rb"), stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, check=False)
    if done.returncode == 2:
        pytest.skip("this urlkeys tool has no named lists")
    output = tmp_path / "out"
    job.run_match(job.load_keys(list_args), [str(source)], str(output), cluster, blocksize=50_000)
    assert read_parts(output) == done.stdout
    assert b"\tads,more.lists\n" in done.stdout


@pytest.mark.parametrize("list_args, error", [
    (["a=x.txt", "y.txt"], "name every list"),
    (["bad name=x.txt"], "may hold only"),
    (["ads="], "names no file"),
])
def test_list_options_refused(list_args, error):
    with pytest.raises(ValueError, match=error):
        job.load_keys(list_args)


# A file name holding '=', and one that is not UTF-8, load as given.
@pytest.mark.parametrize("file_name, list_arg", [
    (b"a=b.txt", "={}"),
    (b"bad-\xff.txt", "{}"),
    (b"bad-\xff.txt", "ads={}"),
])
def test_list_file_names_load_as_given(tmp_path, file_name, list_arg):
    path = os.fsdecode(os.path.join(os.fsencode(tmp_path), file_name))
    with open(path, "wb") as f:
        f.write(b"example.com\n")
    keys = job.load_keys([list_arg.format(path)])
    assert keys.match("http://x.example.com/") == "example.com"


def test_file_given_twice_counts_its_own_lines(cluster, tmp_path, key_file):
    source = tmp_path / "urls.txt"
    source.write_bytes(b"http://a.wikipedia.org/\n" * 3000 + b"http://x\0y/\n" + b"http://b.com/\n")
    keys = urlkeys.KeySet.from_file(key_file)
    result = job.run_match(keys, [str(source), str(source)], str(tmp_path / "out"), cluster,
                           blocksize=20_000)
    assert result.skipped == [(str(source), 3001, "holds a NUL byte")] * 2
    assert result.lines == 2 * 3002 and result.hits == {"wikipedia.org": 6000}
