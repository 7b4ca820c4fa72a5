"""Record types returned by urlkeys functions (immutable named tuples)."""

import typing
from typing import List, Optional


class ParsedURL(typing.NamedTuple):
    """The components of a URL as the parser splits them.

    Every text field is cut at its capacity (the whole URL at 4095 bytes,
    the hostname at 1023, the path at 4095, the query at 2047, ...).
    ``_asdict()`` gives the same fields as a dict.
    """

    url: str
    """The URL text after percent-decoding (the parser's working copy)."""
    scheme: str
    """Lower-case scheme, empty when there is none."""
    user: str
    password: str
    hostinfo: str
    """The whole authority: user information, host and port as written."""
    hostname: str
    """Lower-case host name, trailing spaces removed."""
    port_str: str
    """The port as written."""
    port: int
    """The numeric port; the scheme's default for an empty port; 0 when none."""
    path: str
    """The path without its leading '/'."""
    query: str
    fragment: str
    errors: int
    """Error flags (urlkeys.ERR_*); 0 when the URL parsed cleanly."""
    error: Optional[str]
    """The message of the lowest error flag set, or None."""


class LcpList(typing.NamedTuple):
    """The numbered LCP element list of a URL text (see urlkeys.lcp_list)."""

    # The field takes the name of tuple.count, which LcpList does not offer.
    count: int  # type: ignore[assignment]
    """Number of candidates (0 to 20, at most the limit)."""
    candidates: List[str]
    """The candidates, most specific first: path prefixes, then host suffixes."""
    tld: str
    """The TLD element, or an empty text when no candidate was found."""
    host: str
    """The whole host (its last label when the limit stopped the scan)."""
    domain: str
    """The host suffix one label above the TLD, or an empty text."""


def _keyset_from_bytes(data: bytes):
    """A KeySet from the bytes of a pickled one (the callable pickles name)."""
    from urlkeys._urlkeys import _keyset_from_bytes as from_bytes

    return from_bytes(data)
