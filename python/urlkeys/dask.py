"""The match job on Dask: URL files in, the first key each URL hits out.

    python -m urlkeys.dask match --list KEYS INPUT... --output DIR

INPUT is a file of URLs, one per line, plain or gzip, or a glob pattern.
Plain files are cut into byte ranges at line boundaries, one partition each;
a gzip file is one partition. The partitions run as a dask.bag on a
dask.distributed cluster: a LocalCluster with one worker process per core by
default, or the cluster at --scheduler ADDRESS (whose workers must see the
input and output paths and have urlkeys installed). The key list is loaded
once here and reaches every worker once, as a worker plugin (a worker that
is restarted gets it again), never once per partition.

DIR receives one file per partition, part-NNNNN.tsv, holding for each input
line what ``urlkeys match --list KEYS`` prints for it (the URL, a tab, the
first key held or nothing, and with named lists a tab and the names of the
lists holding the key; tab, CR, LF and backslash escaped), in input order;
summary.tsv with the hits per key (key, tab, count; most hits first); and,
when lines were skipped, skipped.tsv (file, line number, reason). Lines
longer than 65536 bytes and lines holding a NUL byte are skipped and
reported there and on standard error, like the tool's reading of its input;
every other input line is in exactly one part file. Exit status: 0 done,
1 some lines were skipped, 2 usage, file or cluster error.
"""

import argparse
import glob
import gzip
import os
import sys
import tempfile
import time
from typing import Dict, List, NamedTuple, Optional, Sequence, Tuple

import dask
import dask.bag
from dask.base import tokenize
from dask.highlevelgraph import HighLevelGraph
from distributed import Client, LocalCluster, WorkerPlugin, get_worker, progress

import urlkeys
from urlkeys._urlkeys import _LineMatcher, _hit_row, _read_list_options, _skipped_row

DEFAULT_BLOCKSIZE = 32 << 20
READ_SIZE = 4 << 20
PLUGIN_PREFIX = "urlkeys-keys-"


class Chunk(NamedTuple):
    """One partition: lines of `path` that start in [start, end)."""

    index: int
    file: int  # the position of the file among the inputs
    path: str
    start: int
    end: Optional[int]  # None: to the end of the file
    compressed: bool


class Outcome(NamedTuple):
    """What one partition did."""

    index: int
    lines: int
    matched: int
    hits: Dict[str, int]
    skipped: List[Tuple[int, str]]  # (line number within the chunk, reason)


class Result(NamedTuple):
    """The whole job."""

    lines: int
    matched: int
    skipped: List[Tuple[str, int, str]]  # (file, line number, reason)
    hits: Dict[str, int]
    partitions: int
    seconds: float


def _is_gzip(path: str) -> bool:
    with open(path, "rb") as f:
        return f.read(2) == b"\x1f\x8b"


def expand_inputs(patterns: Sequence[str]) -> List[str]:
    """The input files: each pattern's matches in sorted order (a name that
    is not a pattern stands for itself). Raises FileNotFoundError."""
    files = []
    for pattern in patterns:
        if glob.has_magic(pattern):
            matches = sorted(p for p in glob.glob(pattern) if os.path.isfile(p))
            if not matches:
                raise FileNotFoundError(f"no file matches '{pattern}'")
            files.extend(matches)
        elif os.path.isfile(pattern):
            files.append(pattern)
        else:
            raise FileNotFoundError(f"cannot read the input '{pattern}'")
    return files


def plan(files: Sequence[str], blocksize: int = DEFAULT_BLOCKSIZE) -> List[Chunk]:
    """Cuts the files into partitions of at most about `blocksize` bytes,
    each plain file into pieces of equal size."""
    chunks: List[Chunk] = []
    for file, path in enumerate(files):
        path = os.path.abspath(path)
        if _is_gzip(path):
            chunks.append(Chunk(len(chunks), file, path, 0, None, True))
            continue
        size = os.path.getsize(path)
        pieces = max(1, -(-size // blocksize))
        for i in range(pieces):
            end = None if i == pieces - 1 else size * (i + 1) // pieces
            chunks.append(Chunk(len(chunks), file, path, size * i // pieces, end, False))
    return chunks


def auto_blocksize(files: Sequence[str], threads: int) -> int:
    """A partition size that gives every worker thread about four
    partitions of the plain input (so that the last ones balance out),
    between 1 MiB and DEFAULT_BLOCKSIZE."""
    total = sum(os.path.getsize(p) for p in files if not _is_gzip(p))
    return min(DEFAULT_BLOCKSIZE, max(1 << 20, -(-total // (4 * max(1, threads)))))


def _chunk_blocks(chunk: Chunk):
    """The bytes of the lines of a chunk, in blocks."""
    if chunk.compressed:
        with gzip.open(chunk.path, "rb") as f:
            while True:
                block = f.read(READ_SIZE)
                if not block:
                    return
                yield block
    with open(chunk.path, "rb") as f:
        pos = chunk.start
        if pos > 0:
            # The line running across the start belongs to the chunk before.
            f.seek(pos - 1)
            while True:
                piece = f.readline(READ_SIZE)
                if not piece or piece.endswith(b"\n"):
                    break
            pos = f.tell()
        while chunk.end is None or pos < chunk.end:
            want = READ_SIZE if chunk.end is None else min(READ_SIZE, chunk.end - pos)
            block = f.read(want)
            if not block:
                return
            pos += len(block)
            yield block
        if chunk.end is not None and pos >= chunk.end and not block.endswith(b"\n"):
            # Finish the last line, which starts before the end.
            while True:
                piece = f.readline(READ_SIZE)
                if not piece:
                    return
                yield piece
                if piece.endswith(b"\n"):
                    return


def part_name(index: int) -> str:
    return f"part-{index:05d}.tsv"


def match_chunk(chunk: Chunk, keys: "urlkeys.KeySet", output: str) -> Outcome:
    """Matches one partition and writes its part file (atomically: a task
    that is run again after a lost worker replaces it whole)."""
    matcher = _LineMatcher(keys)
    final = os.path.join(output, part_name(chunk.index))
    fd, temp = tempfile.mkstemp(prefix=f".{part_name(chunk.index)}.", dir=output)
    try:
        with os.fdopen(fd, "wb") as out:
            for block in _chunk_blocks(chunk):
                out.write(matcher.feed(block))
            out.write(matcher.close())
        os.replace(temp, final)
    except BaseException:
        try:
            os.unlink(temp)
        except OSError:
            pass
        raise
    return Outcome(chunk.index, matcher.lines, matcher.matched, matcher.hits(), matcher.skipped())


class KeyListPlugin(WorkerPlugin):
    """A worker plugin carrying the key list: each worker gets it once when
    it joins (the scheduler keeps it for workers that join later, such as a
    worker restarted after a crash). The KeySet pickles as its store's bytes,
    which load without hashing a key again."""

    def __init__(self, keys: "urlkeys.KeySet", name: str):
        self.keys = keys
        self.name = name


def _worker_keys(name: str) -> "urlkeys.KeySet":
    return get_worker().plugins[name].keys


def _run_partition(chunk: Chunk, plugin: str, output: str) -> List[Outcome]:
    return [match_chunk(chunk, _worker_keys(plugin), output)]


def run_match(keys: "urlkeys.KeySet", inputs: Sequence[str], output: str, client,
              blocksize: Optional[int] = None, show_progress: bool = False) -> Result:
    """Runs the match job on `client`'s cluster and writes `output`. Without
    a `blocksize`, partitions are sized for the cluster (auto_blocksize)."""
    began = time.perf_counter()
    files = expand_inputs(inputs)
    if blocksize is None:
        blocksize = auto_blocksize(files, sum(client.nthreads().values()))
    chunks = plan(files, blocksize)
    os.makedirs(output, exist_ok=True)
    for entry in os.listdir(output):
        if entry.startswith("part-") and entry.endswith(".tsv"):
            os.unlink(os.path.join(output, entry))

    plugin_name = f"{PLUGIN_PREFIX}{os.getpid()}-{id(keys):x}"
    client.register_worker_plugin(KeyListPlugin(keys, plugin_name), name=plugin_name)
    try:
        # One task per partition: each partition of the bag is the outcome
        # of matching one chunk.
        name = f"urlkeys-match-{tokenize(chunks, plugin_name, output)}"
        layer = {(name, i): (_run_partition, chunk, plugin_name, os.path.abspath(output))
                 for i, chunk in enumerate(chunks)}
        bag = dask.bag.Bag(HighLevelGraph.from_collections(name, layer, dependencies=[]),
                           name, len(chunks))
        running = client.persist(bag)
        if show_progress:
            progress(running)
            print(file=sys.stderr)
        outcomes: List[Outcome] = client.compute(running, sync=True)
    finally:
        try:
            client.unregister_worker_plugin(plugin_name)
        except Exception:  # older distributed, or the cluster is gone
            pass

    # Temporary files of tasks whose worker died while writing.
    for entry in os.listdir(output):
        if entry.startswith(".part-"):
            try:
                os.unlink(os.path.join(output, entry))
            except OSError:
                pass
    outcomes.sort(key=lambda o: o.index)
    if [o.index for o in outcomes] != list(range(len(chunks))):
        raise RuntimeError("the cluster returned an incomplete set of partitions")
    hits: Dict[str, int] = {}
    skipped: List[Tuple[str, int, str]] = []
    lines_before: Dict[int, int] = {}  # per input file, lines of its earlier chunks
    for chunk, outcome in zip(chunks, outcomes):
        base = lines_before.get(chunk.file, 0)
        for number, reason in outcome.skipped:
            skipped.append((chunk.path, base + number, reason))
        lines_before[chunk.file] = base + outcome.lines
        for key, count in outcome.hits.items():
            hits[key] = hits.get(key, 0) + count

    with open(os.path.join(output, "summary.tsv"), "wb") as f:
        for key, count in sorted(hits.items(), key=lambda kv: (-kv[1], kv[0])):
            f.write(_hit_row(key.encode("utf-8", "surrogateescape"), count))
    skipped_file = os.path.join(output, "skipped.tsv")
    if skipped:
        with open(skipped_file, "wb") as f:
            for path, number, reason in skipped:
                f.write(_skipped_row(os.fsencode(path), number, reason))
    elif os.path.exists(skipped_file):
        os.unlink(skipped_file)
    return Result(sum(o.lines for o in outcomes), sum(o.matched for o in outcomes), skipped,
                  hits, len(chunks), time.perf_counter() - began)


def local_cluster(workers: int, host: str = "127.0.0.1", **kwargs) -> LocalCluster:
    """A LocalCluster of `workers` single-thread worker processes whose
    every server (scheduler, workers, their HTTP endpoints) listens on
    `host` only, without the diagnostic dashboard. With no dashboard to
    feed, the workers' sampling profiler is off and their housekeeping runs
    less often, which leaves the cores to the tasks when there is one
    worker per core."""
    address = f"{host}:0" if ":" not in host else f"[{host}]:0"
    quiet = {"distributed.worker.profile.enabled": False,
             "distributed.admin.tick.interval": "100ms",
             "distributed.worker.memory.monitor-interval": "1s"}
    with dask.config.set(quiet):
        return LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, host=host,
                            dashboard_address=address, worker_dashboard_address=address,
                            scheduler_kwargs={"dashboard": False}, **kwargs)


def load_keys(list_args: Sequence[str]) -> "urlkeys.KeySet":
    """A KeySet from --list values, read as the tool reads them: FILE, or
    NAME=FILE for a named list (NAME of letters, digits, '_', '.', '-'), or
    =FILE for a plain list whose file name holds '='. Either every list is
    named or none is; a name given twice adds to its list. Raises ValueError
    for a bad value, OSError for a file that cannot be read."""
    # As bytes, so that a file name that is not UTF-8 comes through unchanged.
    options = _read_list_options([os.fsencode(value) for value in list_args])
    return urlkeys.KeySet.from_lists([(name, os.fsdecode(path)) for name, path in options])


def _parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="python -m urlkeys.dask",
        description="Match URL files against a key list on a Dask cluster.")
    commands = parser.add_subparsers(dest="command", required=True)
    match = commands.add_parser(
        "match", help="the first key of a list that each URL's LCP candidates hit",
        description="Writes one TSV per partition (URL, first key held or empty, as "
                    "'urlkeys match' prints them), summary.tsv (hits per key) and, when "
                    "lines were skipped, skipped.tsv.")
    match.add_argument("--list", "-l", action="append", required=True, metavar="[NAME=]FILE",
                       help="key list: one host or host/path per line, '#' starts a comment")
    match.add_argument("inputs", nargs="+", metavar="INPUT",
                       help="URL file (plain or gzip) or glob pattern")
    match.add_argument("--output", "-o", required=True, metavar="DIR")
    match.add_argument("--scheduler", metavar="ADDRESS",
                       help="an existing cluster's scheduler (default: a LocalCluster)")
    match.add_argument("--host", default="127.0.0.1",
                       help="address the LocalCluster listens on (default 127.0.0.1)")
    match.add_argument("--workers", type=int, default=os.cpu_count() or 1,
                       help="LocalCluster worker processes (default: one per core)")
    match.add_argument("--blocksize", type=int, default=None, metavar="BYTES",
                       help="bytes of a plain file per partition (default: about four "
                            "partitions per worker, from 1 to 32 MiB)")
    match.add_argument("--progress", action=argparse.BooleanOptionalAction, default=None,
                       help="progress bar (default: when standard error is a terminal)")
    return parser


def main(argv: Optional[Sequence[str]] = None) -> int:
    args = _parser().parse_args(argv)
    if (args.blocksize is not None and args.blocksize < 1) or args.workers < 1:
        print("urlkeys.dask: --blocksize and --workers take a number from 1 up", file=sys.stderr)
        return 2
    try:
        keys = load_keys(args.list)
        expand_inputs(args.inputs)
    except (OSError, ValueError) as e:
        print(f"urlkeys.dask: {e}", file=sys.stderr)
        return 2

    show = sys.stderr.isatty() if args.progress is None else args.progress
    cluster = None
    try:
        if args.scheduler:
            client = Client(args.scheduler)
        else:
            cluster = local_cluster(args.workers, args.host)
            client = Client(cluster)
        with client:
            result = run_match(keys, args.inputs, args.output, client,
                               blocksize=args.blocksize, show_progress=show)
    except OSError as e:
        print(f"urlkeys.dask: {e}", file=sys.stderr)
        return 2
    finally:
        if cluster is not None:
            cluster.close()

    for path, number, reason in result.skipped:
        print(f"urlkeys.dask: {path}: line {number} {reason}; skipped", file=sys.stderr)
    rate = result.lines / result.seconds if result.seconds > 0 else 0.0
    print(f"urlkeys.dask: {result.lines} URLs, {result.matched} matched"
          + (f", {len(result.skipped)} lines skipped" if result.skipped else "")
          + f" in {result.partitions} partitions, {result.seconds:.3f} s ({rate:.0f} URLs/s)",
          file=sys.stderr)
    return 1 if result.skipped else 0


if __name__ == "__main__":
    # Run the module's own copy, so that what is shipped to the workers is
    # found there by name (urlkeys.dask), not as code defined in __main__.
    from urlkeys.dask import main as _main

    sys.exit(_main())
