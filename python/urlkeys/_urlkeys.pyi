"""Type stub of the compiled module urlkeys._urlkeys (re-exported by urlkeys).

URL arguments are str, bytes or bytearray (a bytearray is copied). A str is
taken as UTF-8 with lone surrogates \\udc80-\\udcff standing for the bytes
0x80-0xff; results use the same convention. A NUL character raises
ValueError; a value of another type raises TypeError. The one-URL functions
hold the GIL; every *_many function takes a column (list, tuple, any
iterable, NumPy array or pandas Series, but not a single str or bytes),
releases the GIL around the library's work, and returns a list, or a pandas
Series with the column's index and name when given a Series.
"""

from os import PathLike
from typing import Any, Callable, Dict, Iterable, List, Mapping, Optional, Protocol, Tuple, Union, overload

import numpy
import pandas  # type: ignore[import]

from ._types import LcpList, ParsedURL

_Text = Union[str, bytes, bytearray]

class _Series(Protocol):
    """What a column given as a pandas Series offers: its result is a Series
    with the same index and name. (pandas itself may come without types.)"""

    @property
    def index(self) -> Any: ...
    @property
    def name(self) -> Any: ...
    def to_numpy(self, *args: Any, **kwargs: Any) -> numpy.ndarray: ...

# Any other column: a list, tuple or other iterable, or a NumPy array.
_Column = Union[Iterable[_Text], numpy.ndarray]
_Path = Union[str, bytes, "PathLike[str]", "PathLike[bytes]"]
_Data = Union[bytes, bytearray, memoryview]

__version__: str

def parse(url: _Text) -> ParsedURL:
    """The URL's components and error flags (the parser's record)."""
def simple(url: _Text) -> str:
    """The simplified URL: scheme "://" canonical host [":" port] "/" path, trailing slashes removed."""
def reversed_host(url: _Text) -> str:
    """The URL's host name with its labels in reverse order ("a.example.com" -> "com.example.a")."""
def lcp(url: _Text) -> List[str]:
    """The LCP candidates, most specific first: host and whole path, shorter paths, host suffixes above the TLD."""
def lcp_list(text: _Text, limit: int = 20) -> LcpList:
    """The numbered element list over raw text (percent-decoded while it holds '%'), at most `limit` (0-20) candidates."""
def md5(url: _Text) -> str:
    """MD5 of the URL's bytes as 32 lowercase hex digits."""
def embedded_host(url: _Text) -> Optional[str]:
    """The host inside a search-engine cache URL or a web-archive URL, or None."""

@overload
def parse_many(urls: _Series) -> pandas.Series: ...
@overload
def parse_many(urls: _Column) -> List[ParsedURL]: ...
@overload
def simple_many(urls: _Series) -> pandas.Series: ...
@overload
def simple_many(urls: _Column) -> List[str]: ...
@overload
def reversed_host_many(urls: _Series) -> pandas.Series: ...
@overload
def reversed_host_many(urls: _Column) -> List[str]: ...
@overload
def lcp_many(urls: _Series) -> pandas.Series: ...
@overload
def lcp_many(urls: _Column) -> List[List[str]]: ...
@overload
def lcp_list_many(texts: _Series, limit: int = 20) -> pandas.Series: ...
@overload
def lcp_list_many(texts: _Column, limit: int = 20) -> List[LcpList]: ...
@overload
def md5_many(urls: _Series) -> pandas.Series: ...
@overload
def md5_many(urls: _Column) -> List[str]: ...
@overload
def embedded_host_many(urls: _Series) -> pandas.Series: ...
@overload
def embedded_host_many(urls: _Column) -> List[Optional[str]]: ...

def is_tld(name: _Text) -> bool:
    """List test: `name` is a whole entry of the TLD table (case-sensitive) or begins with "xn--"."""
def is_tld_key(name: _Text) -> bool:
    """Key test: the packed key of the first 8 characters matches an entry's (names up to 10 characters)."""
def check_tld(host: _Text) -> bool:
    """The list test on the text after the host's last dot; False without a dot."""
def ip_value(host: _Text) -> int:
    """The address value of a numeric host (decimal, octal or hex parts, 1 to 4 of them); 0 when not numeric."""
def is_ip_host(host: _Text) -> bool:
    """True when the host has the form of a numeric IPv4 host (at least one dot)."""
def ip_string(value: int) -> str:
    """The dotted quad of the low 32 bits of `value`; "000.000.000.000" for 0."""
def dotted_quad(url: _Text) -> Optional[str]:
    """The URL's numeric host as a canonical dotted quad, or None when the host is not numeric."""
def is_private_ip(quad: _Text) -> bool:
    """True for a dotted quad in 0/8, 10/8, 127.0.0/24, 192.168/16 or 172.16/12."""

_ListSource = Union[_Path, Iterable[_Text]]

class KeySet:
    """Keys to match URLs against, in the library's key store: hosts and
    host/path prefixes with the syntax of `urlkeys match --list` ('#' starts
    a comment, blanks around a key are dropped, the host part is lower-cased,
    the path keeps its case). Immutable once built, so match and match_many
    may run on several threads at once. Picklable (any protocol) as the
    store's bytes, which load without hashing a key again (for shipping to
    workers)."""

    def __init__(self, keys: Iterable[_Text] = (), *, name: Optional[_Text] = "") -> None:
        """Each item is one list line; a line break inside an item raises ValueError."""
    @staticmethod
    def from_file(path: _Path, *, name: Optional[_Text] = "") -> KeySet:
        """Loads a list file (OSError when it cannot be read)."""
    @staticmethod
    def from_lists(
        lists: Union[Mapping[str, _ListSource], Iterable[Tuple[str, _ListSource]]]
    ) -> KeySet:
        """Named lists, each a file path or an iterable of lines; a key in several lists is stored once."""
    def match(self, url: _Text) -> Optional[str]:
        """The first LCP candidate of `url` that the set holds, or None."""
    @overload
    def match_many(self, urls: _Series) -> pandas.Series: ...
    @overload
    def match_many(self, urls: _Column) -> List[Optional[str]]: ...
    def match_lists(self, url: _Text) -> Optional[Tuple[str, Tuple[str, ...]]]:
        """The first candidate held and the names of the lists holding it, or None."""
    def __len__(self) -> int:
        """The number of distinct keys."""
    @property
    def lists(self) -> Tuple[str, ...]:
        """The list names in the order they were first given ("" for an unnamed list)."""
    @property
    def memory_bytes(self) -> int:
        """Bytes held by the store."""
    def __reduce__(self) -> Tuple[Callable[[bytes], KeySet], Tuple[bytes]]: ...
    def __getstate__(self) -> Tuple[bytes]: ...
    def __setstate__(self, state: Tuple[bytes]) -> None: ...

def _keyset_from_bytes(data: bytes) -> KeySet:
    """A KeySet from the store bytes a pickle carries."""

class _LineMatcher:
    def __init__(self, keys: KeySet) -> None: ...
    def feed(self, data: _Data) -> bytes: ...
    def close(self) -> bytes: ...
    @property
    def lines(self) -> int: ...
    @property
    def matched(self) -> int: ...
    def hits(self) -> Dict[str, int]: ...
    def skipped(self) -> List[Tuple[int, str]]: ...

def _hit_row(key: bytes, count: int) -> bytes:
    """A summary row: the escaped key, a tab, the count, a line break."""
def _skipped_row(path: bytes, line: int, reason: str) -> bytes:
    """A skipped-line row: the escaped path, the line number, the reason."""
def _read_list_options(values: List[bytes]) -> List[Tuple[str, bytes]]:
    """[(name, path bytes)] from --list values given as bytes (ValueError with the tool's message)."""
