"""Type stub of the compiled module urlkeys._urlkeys (re-exported by urlkeys).

URL arguments are str or bytes (a bytearray is copied). A str is taken as
UTF-8 with lone surrogates \\udc80-\\udcff standing for the bytes 0x80-0xff;
results use the same convention. A NUL character raises ValueError; a value
that is not str or bytes raises TypeError. The one-URL functions hold the
GIL; every *_many function takes a column (list, tuple, iterable, NumPy
array or pandas Series), releases the GIL around the library's work, and
returns a list, or a pandas Series with the column's index and name.
"""

from os import PathLike
from typing import Iterable, List, Mapping, Optional, Sequence, Tuple, TypeVar, Union, overload

from ._types import LcpList, ParsedURL

Text = Union[str, bytes, bytearray]
Column = Union[Sequence[Text], Iterable[Text], "numpy.ndarray", "pandas.Series"]
Path = Union[str, bytes, "PathLike[str]", "PathLike[bytes]"]

def parse(url: Text) -> ParsedURL:
    """The URL's components and error flags (the parser's record)."""
def simple(url: Text) -> str:
    """The simplified URL: scheme "://" canonical host [":" port] "/" path, trailing slashes removed."""
def reversed_host(url: Text) -> str:
    """The URL's host name with its labels in reverse order ("a.example.com" -> "com.example.a")."""
def lcp(url: Text) -> List[str]:
    """The LCP candidates, most specific first: host and whole path, shorter paths, host suffixes above the TLD."""
def lcp_list(text: Text, limit: int = 20) -> LcpList:
    """The numbered element list over raw text (percent-decoded while it holds '%'), at most `limit` (0-20) candidates."""
def md5(url: Text) -> str:
    """MD5 of the URL's bytes as 32 lowercase hex digits."""
def embedded_host(url: Text) -> Optional[str]:
    """The host inside a search-engine cache URL or a web-archive URL, or None."""

def parse_many(urls: Column) -> List[ParsedURL]: ...
def simple_many(urls: Column) -> List[str]: ...
def reversed_host_many(urls: Column) -> List[str]: ...
def lcp_many(urls: Column) -> List[List[str]]: ...
def lcp_list_many(texts: Column, limit: int = 20) -> List[LcpList]: ...
def md5_many(urls: Column) -> List[str]: ...
def embedded_host_many(urls: Column) -> List[Optional[str]]: ...

def is_tld(name: Text) -> bool:
    """List test: `name` is a whole entry of the TLD table (case-sensitive) or begins with "xn--"."""
def is_tld_key(name: Text) -> bool:
    """Key test: the packed key of the first 8 characters matches an entry's (names up to 10 characters)."""
def check_tld(host: Text) -> bool:
    """The list test on the text after the host's last dot; False without a dot."""
def ip_value(host: Text) -> int:
    """The address value of a numeric host (decimal, octal or hex parts, 1 to 4 of them); 0 when not numeric."""
def is_ip_host(host: Text) -> bool:
    """True when the host has the form of a numeric IPv4 host (at least one dot)."""
def ip_string(value: int) -> str:
    """The dotted quad of the low 32 bits of `value`; "000.000.000.000" for 0."""
def dotted_quad(url: Text) -> Optional[str]:
    """The URL's numeric host as a canonical dotted quad, or None when the host is not numeric."""
def is_private_ip(quad: Text) -> bool:
    """True for a dotted quad in 0/8, 10/8, 127.0.0/24, 192.168/16 or 172.16/12."""

class KeySet:
    """Keys to match URLs against, in the library's key store: hosts and
    host/path prefixes with the syntax of `urlkeys match --list` ('#' starts
    a comment, blanks around a key are dropped, the host part is lower-cased,
    the path keeps its case). Immutable once built, so match and match_many
    may run on several threads at once. Pickles as the store's bytes, which
    load without hashing a key again (for shipping to workers)."""

    def __init__(self, keys: Iterable[Text] = (), *, name: str = "") -> None:
        """Each item is one list line; a line break inside an item raises ValueError."""
    @staticmethod
    def from_file(path: Path, *, name: str = "") -> "KeySet":
        """Loads a list file (OSError when it cannot be read)."""
    @staticmethod
    def from_lists(lists: Mapping[str, Union[Path, Iterable[Text]]]) -> "KeySet":
        """Named lists, each a file path or an iterable of lines; a key in several lists is stored once."""
    def match(self, url: Text) -> Optional[str]:
        """The first LCP candidate of `url` that the set holds, or None."""
    def match_many(self, urls: Column) -> List[Optional[str]]:
        """match() over a column, with the GIL released."""
    def match_lists(self, url: Text) -> Optional[Tuple[str, Tuple[str, ...]]]:
        """The first candidate held and the names of the lists holding it, or None."""
    def __len__(self) -> int:
        """The number of distinct keys."""
    @property
    def lists(self) -> Tuple[str, ...]:
        """The list names in the order they were first given ("" for an unnamed list)."""
    @property
    def memory_bytes(self) -> int:
        """Bytes held by the store."""

class _LineMatcher:
    def __init__(self, keys: KeySet) -> None: ...
    def feed(self, data: bytes) -> bytes: ...
    def close(self) -> bytes: ...
    @property
    def lines(self) -> int: ...
    @property
    def matched(self) -> int: ...
    def hits(self) -> dict: ...
    def skipped(self) -> List[Tuple[int, str]]: ...
