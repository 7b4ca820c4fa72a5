from ._types import LcpList as LcpList, ParsedURL as ParsedURL
from ._urlkeys import (
    KeySet as KeySet,
    check_tld as check_tld,
    dotted_quad as dotted_quad,
    embedded_host as embedded_host,
    embedded_host_many as embedded_host_many,
    ip_string as ip_string,
    ip_value as ip_value,
    is_ip_host as is_ip_host,
    is_private_ip as is_private_ip,
    is_tld as is_tld,
    is_tld_key as is_tld_key,
    lcp as lcp,
    lcp_list as lcp_list,
    lcp_list_many as lcp_list_many,
    lcp_many as lcp_many,
    md5 as md5,
    md5_many as md5_many,
    parse as parse,
    parse_many as parse_many,
    reversed_host as reversed_host,
    reversed_host_many as reversed_host_many,
    simple as simple,
    simple_many as simple_many,
)

__version__: str
ERR_GENERAL: int
ERR_HOST1: int
ERR_HOST2: int
ERR_HOST3: int
ERR_NO_AUTHORITY: int
ERR_NO_SCHEME: int
