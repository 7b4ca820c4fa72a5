"""urlkeys: URL keys for URL stores, from Python.

The C++ library urlkeys turns URL text into the keys a URL store is searched
with: the URL's components, the simplified URL, the reversed host, the LCP
candidates (host suffixes and path prefixes, most specific first), TLD tests,
IPv4 numeric hosts and MD5 digests. ``KeySet`` matches URLs against a key
list exactly as ``urlkeys match --list`` does.

URLs are ``str`` or ``bytes``. Results are ``str``; bytes that are not valid
UTF-8 come back as surrogate escapes (``\\udcXX``), so
``result.encode("utf-8", "surrogateescape")`` gives the library's bytes.
Text holding a NUL raises ValueError; anything but str or bytes, TypeError.

Each ``*_many`` function takes a column of URLs (list, tuple, NumPy array,
pandas Series) and runs the library over it with the GIL released, so
several threads run at once. It returns a list, or a Series with the same
index when given a Series.
"""

from ._types import LcpList, ParsedURL
from ._urlkeys import (
    KeySet,
    check_tld,
    dotted_quad,
    embedded_host,
    embedded_host_many,
    ip_string,
    ip_value,
    is_ip_host,
    is_private_ip,
    is_tld,
    is_tld_key,
    lcp,
    lcp_list,
    lcp_list_many,
    lcp_many,
    md5,
    md5_many,
    parse,
    parse_many,
    reversed_host,
    reversed_host_many,
    simple,
    simple_many,
)
from ._urlkeys import __version__  # the project version the module was built from

# Error flags of ParsedURL.errors.
ERR_GENERAL = 0x01
ERR_HOST1 = 0x02
ERR_HOST2 = 0x04
ERR_HOST3 = 0x08
ERR_NO_AUTHORITY = 0x10
ERR_NO_SCHEME = 0x20

__all__ = [
    "KeySet",
    "LcpList",
    "ParsedURL",
    "check_tld",
    "dotted_quad",
    "embedded_host",
    "embedded_host_many",
    "ip_string",
    "ip_value",
    "is_ip_host",
    "is_private_ip",
    "is_tld",
    "is_tld_key",
    "lcp",
    "lcp_list",
    "lcp_list_many",
    "lcp_many",
    "md5",
    "md5_many",
    "parse",
    "parse_many",
    "reversed_host",
    "reversed_host_many",
    "simple",
    "simple_many",
]
