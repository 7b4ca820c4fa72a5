"""The Python surface: text conversion, errors, batch forms, KeySet."""

import hashlib
import pickle
import threading

import numpy as np
import pandas as pd
import pytest

import urlkeys

ONE_URL = [urlkeys.parse, urlkeys.simple, urlkeys.reversed_host, urlkeys.lcp, urlkeys.md5,
           urlkeys.embedded_host, urlkeys.lcp_list, urlkeys.dotted_quad]
MANY = [urlkeys.parse_many, urlkeys.simple_many, urlkeys.reversed_host_many, urlkeys.lcp_many,
        urlkeys.md5_many, urlkeys.embedded_host_many, urlkeys.lcp_list_many]


@pytest.mark.parametrize("fn", ONE_URL + [urlkeys.is_tld, urlkeys.is_tld_key, urlkeys.check_tld,
                                          urlkeys.ip_value, urlkeys.is_ip_host,
                                          urlkeys.is_private_ip])
@pytest.mark.parametrize("bad, error", [
    (None, TypeError), (3, TypeError), (["http://a.com/"], TypeError),
    ("http://a.com/\0x", ValueError), (b"http://a.com/\0x", ValueError),
    ("http://a.com/\ud800", ValueError),  # a surrogate that stands for no byte
])
def test_bad_text_raises(fn, bad, error):
    with pytest.raises(error):
        fn(bad)


@pytest.mark.parametrize("raw", [
    b"http://h\xe9.example.com/p\xff\xfe/q?x=\xc3",  # invalid UTF-8 in host, path, query
    b"http://example.com/%ff%c3%28/caf\xc3\xa9",     # escapes decoding to invalid UTF-8
    b"http://example.com/\xed\xa0\x80/",             # an encoded surrogate is not UTF-8
])
def test_bytes_round_trip(raw):
    as_text = raw.decode("utf-8", "surrogateescape")
    for fn in (urlkeys.simple, urlkeys.lcp, urlkeys.parse, urlkeys.md5):
        assert fn(raw) == fn(as_text) == fn(bytearray(raw))
    assert urlkeys.md5(raw) == hashlib.md5(raw).hexdigest()
    for candidate in urlkeys.lcp(raw):
        assert isinstance(candidate, str)
        candidate.encode("utf-8", "surrogateescape")  # never raises


def test_bytes_come_back_exactly():
    # The element list and the embedded host keep bytes that are not UTF-8.
    elements = urlkeys.lcp_list(b"http://h\xe9.example.com/p\xff/x", 20)
    assert [c.encode("utf-8", "surrogateescape") for c in elements.candidates] == [
        b"h\xe9.example.com/p\xff/x", b"h\xe9.example.com/p\xff", b"h\xe9.example.com",
        b"example.com"]
    host = urlkeys.embedded_host(b"http://web.archive.org/web/1/http://\xe9x.com/")
    assert host.encode("utf-8", "surrogateescape") == b"\xe9x.com"


def test_parse_record():
    r = urlkeys.parse("HTTP://user:pw@Www.Example.COM:8080/a/b?q=1#frag")
    assert (r.scheme, r.user, r.password, r.hostname, r.port_str, r.port, r.path, r.query,
            r.fragment, r.errors, r.error) == (
        "http", "user", "pw", "www.example.com", "8080", 8080, "a/b", "q=1", "frag", 0, None)
    assert r._asdict()["hostinfo"] == "user:pw@Www.Example.COM:8080"
    with pytest.raises(AttributeError):
        r.port = 1
    bad = urlkeys.parse("http://[::1/x")
    assert bad.errors & urlkeys.ERR_HOST1 and bad.error == "host parsing error 1"
    assert pickle.loads(pickle.dumps(r)) == r


def test_lcp_list_elements():
    lst = urlkeys.lcp_list("http://www.a.b.example.co.uk/x/y/", 20)
    assert lst.count == len(lst.candidates) > 0
    assert lst.tld == "co.uk" and lst.domain == "example.co.uk"
    assert urlkeys.lcp_list("http://a.b.example.co.uk/x/y", 0).count == 0
    assert urlkeys.lcp_list("x" * 5000, 20) == (0, [], "", "", "")


COLUMN = ["http://www.example.com/a/b?x", b"https://a.b.example.co.uk/x/y", "ftp://[bad/",
          "http://h\udce9.example.com/\udcff"]


@pytest.mark.parametrize("many, one", [
    (urlkeys.parse_many, urlkeys.parse), (urlkeys.simple_many, urlkeys.simple),
    (urlkeys.reversed_host_many, urlkeys.reversed_host), (urlkeys.lcp_many, urlkeys.lcp),
    (urlkeys.md5_many, urlkeys.md5), (urlkeys.embedded_host_many, urlkeys.embedded_host),
    (urlkeys.lcp_list_many, urlkeys.lcp_list),
])
def test_batch_equals_one_by_one(many, one):
    expected = [one(u) for u in COLUMN]
    assert many(COLUMN) == expected
    assert many(tuple(COLUMN)) == expected
    assert many(iter(COLUMN)) == expected
    assert many(np.array(COLUMN, dtype=object)) == expected
    assert many([]) == []
    series = pd.Series(COLUMN, index=[10, 20, 30, 40], name="url")
    out = many(series)
    assert isinstance(out, pd.Series) and out.name == "url"
    assert list(out.index) == [10, 20, 30, 40] and list(out) == expected


@pytest.mark.parametrize("many", MANY)
def test_batch_errors_name_the_item(many):
    with pytest.raises(TypeError, match="item 2"):
        many(["http://a.com/", "http://b.com/", None])
    with pytest.raises(ValueError, match="item 1"):
        many(["http://a.com/", "http://b\0.com/"])
    with pytest.raises(TypeError):
        many("http://a.com/")  # a single URL is not a column


def test_batch_threads_agree(url_lines):
    urls = url_lines[:20000]
    expected = urlkeys.simple_many(urls)
    results = [None] * 4

    def work(i):
        results[i] = urlkeys.simple_many(urls)

    threads = [threading.Thread(target=work, args=(i,)) for i in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert all(r == expected for r in results)


@pytest.mark.parametrize("name, value, expected", [
    ("ip_value", "127.0.0.1", 0x7F000001), ("ip_value", "0x7f.1", 0x7F000001),
    ("ip_value", "example.com", 0), ("ip_string", 0x7F000001, "127.0.0.1"),
    ("ip_string", 0, "000.000.000.000"), ("dotted_quad", "http://0x7f.0.0.1/", "127.0.0.1"),
    ("dotted_quad", "http://example.com/", None), ("is_private_ip", "192.168.1.1", True),
    ("is_private_ip", "8.8.8.8", False), ("is_ip_host", "10.0.0.1", True),
    ("is_tld", "co.uk", True), ("is_tld", "example", False), ("check_tld", "a.example.com", True),
    ("embedded_host", "http://web.archive.org/web/2001/http://old.example.com/x", "old.example.com"),
    ("embedded_host", "http://example.com/", None),
])
def test_small_functions(name, value, expected):
    assert getattr(urlkeys, name)(value) == expected


KEYS = ["# comment line", "Example.COM/Ads  # trailing comment", "  tracker.example.net\t",
        "", "phish.example.co.uk/login", b"192.168.1.10", "malware.test"]


@pytest.mark.parametrize("url, hit", [
    ("http://www.example.com/Ads/banner.gif?id=7", "example.com/Ads"),
    ("http://www.example.com/ads/banner.gif", None),  # the path keeps its case
    ("http://CDN.Tracker.Example.NET/pixel.png", "tracker.example.net"),
    ("https://phish.example.co.uk/login/index.php", "phish.example.co.uk/login"),
    ("https://phish.example.co.uk/about", None),
    ("http://192.168.1.10/admin", "192.168.1.10"),
    ("http://192.168.1.100/", None),
    ("http://download.malware.test/setup.exe", "malware.test"),
    ("http://notmalware.test/", None),
])
def test_keyset_match(url, hit):
    keys = urlkeys.KeySet(KEYS)
    assert len(keys) == 5
    assert keys.match(url) == hit
    assert keys.match(url.encode()) == hit
    assert keys.match_many([url, url]) == [hit, hit]
    clone = pickle.loads(pickle.dumps(keys))
    assert clone.match(url) == hit and len(clone) == len(keys)


def test_keyset_files_lists_and_errors(tmp_path):
    ads = tmp_path / "ads.txt"
    ads.write_bytes(b"ads.example.com\r\nshared.example.org\n")
    keys = urlkeys.KeySet.from_lists({"ads": ads, "malware": ["evil.example", "shared.example.org"]})
    assert keys.lists == ("ads", "malware")
    assert keys.match_lists("http://x.shared.example.org/") == ("shared.example.org",
                                                                 ("ads", "malware"))
    assert keys.match_lists("http://ads.example.com/") == ("ads.example.com", ("ads",))
    assert keys.match_lists("http://other.example.com/") is None
    assert urlkeys.KeySet.from_file(ads).match("http://ads.example.com/x") == "ads.example.com"
    # Pairs: a name given again adds to its list.
    pairs = urlkeys.KeySet.from_lists([("x", ["a.example"]), ("y", ads), ("x", ["b.example"])])
    assert pairs.lists == ("x", "y") and len(pairs) == 4
    assert pairs.match_lists("http://b.example/") == ("b.example", ("x",))
    with pytest.raises(OSError):
        urlkeys.KeySet.from_file(tmp_path / "missing.txt")
    with pytest.raises(ValueError):
        urlkeys.KeySet(["a.example\nb.example"])
    with pytest.raises(TypeError):
        urlkeys.KeySet("example.com")
    with pytest.raises(TypeError):
        urlkeys.KeySet(["example.com", None])
    with pytest.raises(ValueError):
        urlkeys.KeySet.__new__(urlkeys.KeySet).__setstate__((b"not a store",))


# List names follow the tool's rule; None and "" mean an unnamed list.
@pytest.mark.parametrize("name,ok", [
    ("ads", True), ("a.b-c_1", True), (None, True), ("", True),
    ("bad name", False), ("a=b", False), ("a,b", False), ("ad\tx", False), ("é", False),
])
def test_list_names_as_the_tool_takes_them(name, ok):
    if ok:
        keys = urlkeys.KeySet.from_lists([(name, ["a.example"])])
        assert keys.match("http://a.example/") is not None
    else:
        with pytest.raises(ValueError, match="may hold only letters"):
            urlkeys.KeySet.from_lists([(name, ["a.example"])])


# Every pickle protocol round-trips a KeySet (0 and 1 once aborted the interpreter).
@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
def test_keyset_pickles_with_every_protocol(protocol):
    keys = urlkeys.KeySet.from_lists([("ads", ["ads.example"]), ("bad", ["evil.example/x"])])
    copy = pickle.loads(pickle.dumps(keys, protocol))
    assert copy.match("http://a.ads.example/") == keys.match("http://a.ads.example/") == "ads.example"
    assert copy.match("http://evil.example/x/y") == "evil.example/x"
    assert copy.lists == keys.lists and len(copy) == len(keys)


def test_pickle_refuses_damaged_bytes():
    with pytest.raises(ValueError, match="not a pickled KeySet"):
        urlkeys._urlkeys._keyset_from_bytes(b"UKKS\x00broken")


TEXT = "str | bytes | bytearray"
COLUMN_TYPE = f"Iterable[{TEXT}] | numpy.ndarray | pandas.Series"


@pytest.mark.parametrize("fn, signature, words", [
    (urlkeys.parse, f"parse(url: {TEXT}) -> ParsedURL", "components and error flags"),
    (urlkeys.parse_many, f"parse_many(urls: {COLUMN_TYPE}) -> list[ParsedURL] | pandas.Series",
     "Series with the same index"),
    (urlkeys.lcp_list, f"lcp_list(text: {TEXT}, limit: int = 20) -> LcpList", "element list"),
    (urlkeys.embedded_host, f"embedded_host(url: {TEXT}) -> str | None", "web-archive"),
    (urlkeys.is_private_ip, f"is_private_ip(quad: {TEXT}) -> bool", "private or loopback"),
    (urlkeys.ip_string, "ip_string(value: int) -> str", "000.000.000.000"),
    (urlkeys.KeySet.__init__,
     f"__init__(self: urlkeys._urlkeys.KeySet, keys: Iterable[{TEXT}] = (), *, "
     f"name: {TEXT} | None = '') -> None", "line break"),
    (urlkeys.KeySet.match_lists,
     f"match_lists(self: urlkeys._urlkeys.KeySet, url: {TEXT}) -> tuple[str, tuple[str, ...]] | None",
     "names of the lists"),
])
def test_signature_and_docstring(fn, signature, words):
    first, _, rest = fn.__doc__.partition("\n")
    assert first == signature
    assert words in rest


def _public_callables():
    for name in urlkeys.__all__:
        obj = getattr(urlkeys, name)
        if name == "KeySet":
            for method in ("__init__", "from_file", "from_lists", "match", "match_many",
                           "match_lists", "__len__"):
                yield f"KeySet.{method}", getattr(obj, method)
        elif callable(obj) and not isinstance(obj, type):
            yield name, obj


@pytest.mark.parametrize("name, fn", list(_public_callables()))
def test_every_function_is_typed_and_documented(name, fn):
    signature, _, rest = fn.__doc__.partition("\n")
    assert signature.startswith(name.split(".")[-1] + "(")
    assert "handle" not in signature and "object" not in signature
    assert rest.strip(), f"{name} has no description"


def test_exported_names():
    module = {n for n in dir(urlkeys._urlkeys) if not n.startswith("_")}
    assert set(urlkeys.__all__) == module | {"LcpList", "ParsedURL"}
    assert len(urlkeys.__all__) == len(set(urlkeys.__all__))


def test_version_is_the_project_version():
    import re
    from importlib import metadata

    from conftest import ROOT

    cmake = (ROOT / "CMakeLists.txt").read_text()
    project = re.search(r"project\(\s*urlkeys\b[^)]*?\bVERSION\s+([0-9.]+)", cmake).group(1)
    assert urlkeys.__version__ == urlkeys._urlkeys.__version__ == project
    try:
        installed = metadata.version("urlkeys")
    except metadata.PackageNotFoundError:
        pytest.skip("urlkeys is not installed (run from a build folder)")
    assert installed == urlkeys.__version__
