"""Python results equal the urlkeys tool's JSON output, URL for URL.

The whole 48,010-URL list, plus lines with bytes that are not UTF-8,
escapes, tabs, backslashes and over-long text, goes through the tool and
through the package; every field must be equal.
"""

import json

import pytest

import urlkeys
from conftest import run_tool

ODD = [
    b"http://h\xe9.example.com/p\xff\xfe/q?x=\xc3#fr\xe0g",
    b"http://example.com/%ff%c3%28/caf\xc3\xa9/%2541",
    b"http://Example.COM/a\tb\\c/\"quoted\"",
    b"http://WWW.Tracker.Example.NET./x/y",
    b"http://0x7f000001/x", b"http://2130706433/", b"http://127.0.0.1/admin/",
    b"https://a.b.example.co.uk/x/y?q#f",
    b"http://example.com/" + b"seg/" * 1200,        # longer than the parser's 4095
    b"www." + b"a." * 2100 + b"com/x",              # over-long host
    b"search?q=cache:abc:embedded.example.org/page",
    b"http://[::1/x", b"http://host:99999999999999999999/", b"",
]


@pytest.fixture(scope="module")
def lines(url_lines):
    return url_lines + ODD


@pytest.fixture(scope="module")
def tool_json(tool, lines):
    data = b"\n".join(lines) + b"\n"

    def run(*args):
        out = run_tool(tool, [*args, "--json"], data).decode("utf-8").splitlines()
        assert len(out) == len(lines)
        return [json.loads(line) for line in out]
    return run


def text(line: bytes) -> str:
    return line.decode("utf-8", "surrogateescape")


def test_inputs_round_trip(tool_json, lines):
    assert [r["input"] for r in tool_json("digest")] == [text(u) for u in lines]


def test_parse(tool_json, lines):
    fields = urlkeys.ParsedURL._fields
    expected = [tuple(r[f] for f in fields) for r in tool_json("parse")]
    assert [tuple(urlkeys.parse(u)) for u in lines] == expected
    assert [tuple(p) for p in urlkeys.parse_many(lines)] == expected


def test_simple_and_reversed_host(tool_json, lines):
    records = tool_json("simple")
    assert urlkeys.simple_many(lines) == [r["simple"] for r in records]
    assert urlkeys.reversed_host_many(lines) == [r["auth_rev"] for r in records]
    assert [urlkeys.simple(u) for u in lines[:2000]] == [r["simple"] for r in records[:2000]]


def test_lcp(tool_json, lines):
    expected = [r["candidates"] for r in tool_json("lcp")]
    assert [urlkeys.lcp(u) for u in lines] == expected
    assert urlkeys.lcp_many(lines) == expected


@pytest.mark.parametrize("limit", [20, 3])
def test_lcp_list(tool_json, lines, limit):
    expected = [(r["count"], r["candidates"]) for r in tool_json("lcp", "--limit", str(limit))]
    assert [(e.count, e.candidates) for e in (urlkeys.lcp_list(u, limit) for u in lines)] == expected
    assert [(e.count, e.candidates) for e in urlkeys.lcp_list_many(lines, limit)] == expected


def test_md5_and_embedded(tool_json, lines):
    assert urlkeys.md5_many(lines) == [r["md5"] for r in tool_json("digest")]
    assert urlkeys.embedded_host_many(lines) == [r["host"] for r in tool_json("embedded")]


def test_match(tool, tmp_path, lines, tool_json):
    # Keys: hosts and host/path prefixes taken from the list itself (every
    # 7th URL's host, every 11th URL's first path prefix, some in upper
    # case), plus numeric and dotted forms.
    keys = set()
    for i, line in enumerate(lines[:48010]):
        walk = urlkeys.lcp(line)
        if i % 7 == 0 and walk:
            keys.add(walk[-1].upper() if i % 3 == 0 else walk[-1])
        if i % 11 == 0 and len(walk) > 2:
            keys.add(walk[-3])
    keys.update(["127.0.0.1", "tracker.example.net", "example.com/seg"])
    key_file = tmp_path / "keys.txt"
    key_file.write_text("# generated\n" + "\n".join(sorted(keys)) + "\n", "utf-8", "surrogateescape")
    expected = [r["match"] for r in tool_json("match", "--list", str(key_file))]
    assert sum(e is not None for e in expected) > 5000
    keyset = urlkeys.KeySet.from_file(key_file)
    assert keyset.match_many(lines) == expected
    assert [keyset.match(u) for u in lines] == expected
    assert pickle_clone(keyset).match_many(lines) == expected


def pickle_clone(obj):
    import pickle
    return pickle.loads(pickle.dumps(obj))
