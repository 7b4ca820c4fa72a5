#include "operations.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "bindings.h"
#include "hints.h"

namespace urlkeys::python {

py::object g_parsed_type;
py::object g_lcp_list_type;

namespace {

// Defines `name(url)` and its column form `name_many(urls)` for one
// operation (pybind11 keeps its own copies of the names and texts).
template <class Op, class Result, class ColumnResult>
void DefOneAndMany(py::module_& m, const std::string& name, const std::string& doc) {
  m.def(
      name.c_str(), [](TextArg url) -> Out<Result> { return RunOne<Op>(url); }, py::arg("url"),
      doc.c_str());
  const std::string many_doc = name +
                               "() over a column of URLs, with the GIL released: a list,\n"
                               "or a pandas Series with the same index and name for a Series.";
  m.def((name + "_many").c_str(),
        [](ColumnArg urls) -> Out<ColumnResult> { return RunMany<Op>(urls); }, py::arg("urls"),
        many_doc.c_str());
}

}  // namespace

void RegisterOperations(py::module_& m) {
  py::module_ types = py::module_::import("urlkeys._types");
  g_parsed_type = types.attr("ParsedURL");
  g_lcp_list_type = types.attr("LcpList");
  // Release the class references before the interpreter shuts down.
  m.add_object("_cleanup", py::capsule([]() {
                 g_parsed_type = py::object();
                 g_lcp_list_type = py::object();
               }));

  DefOneAndMany<ParseOp, ParsedHint, ParsedColumnHint>(
      m, "parse", "The URL's components and error flags as a ParsedURL.");
  DefOneAndMany<SimpleOp, StrHint, StrColumnHint>(
      m, "simple",
      "The simplified URL: scheme, canonical host, port and path, trailing slashes removed.");
  DefOneAndMany<ReversedHostOp, StrHint, StrColumnHint>(
      m, "reversed_host", "The URL's host name with its labels in reverse order.");
  DefOneAndMany<LcpOp, StrListHint, StrListColumnHint>(
      m, "lcp", "The LCP candidates of the URL, most specific first.");
  DefOneAndMany<Md5Op, StrHint, StrColumnHint>(
      m, "md5", "The MD5 of the URL's bytes as 32 lowercase hex digits.");
  DefOneAndMany<EmbeddedOp, OptionalStrHint, OptionalStrColumnHint>(
      m, "embedded_host", "The host inside a search-engine cache URL or web-archive URL, or None.");

  m.def(
      "lcp_list",
      [](TextArg text, int limit) -> Out<LcpListHint> {
        static thread_local LcpListOp op;
        op.limit = limit;
        return RunOne(op, text);
      },
      py::arg("text"), py::arg("limit") = 20,
      "The numbered LCP element list of raw text (at most `limit`, 0-20, candidates) as an LcpList.");
  m.def(
      "lcp_list_many",
      [](ColumnArg texts, int limit) -> Out<LcpListColumnHint> {
        LcpListOp op;
        op.limit = limit;
        return RunMany(op, texts);
      },
      py::arg("texts"), py::arg("limit") = 20,
      "lcp_list() over a column of texts, with the GIL released: a list, or a pandas\n"
      "Series with the same index and name for a Series.");

  m.def(
      "is_tld",
      [](TextArg name) {
    std::string s = Copy(name, "name");
    return bIsTLD(s.data());
      },
      py::arg("name"), "List test: the name is a whole TLD table entry or begins with \"xn--\".");
  m.def(
      "is_tld_key",
      [](TextArg name) {
    std::string s = Copy(name, "name");
    return bIsTLD2(s.data(), static_cast<int>(std::min<size_t>(s.size(), 1 << 20)));
      },
      py::arg("name"),
      "Key test: the packed key of the name's first 8 characters matches an entry's.");
  m.def(
      "check_tld",
      [](TextArg host) {
    std::string s = Copy(host, "host");
    return bCheckTLD(s.data());
      },
      py::arg("host"), "The list test on the text after the host's last dot; False without a dot.");
  m.def(
      "ip_value",
      [](TextArg host) {
    Arg text(host, "host");
    int too_many_dots = 0;
    return static_cast<int64_t>(lGetIpFromAuth(text.c_str(), &too_many_dots));
      },
      py::arg("host"), "The address value of a numeric host; 0 when it is not numeric.");
  m.def(
      "is_ip_host",
      [](TextArg host) {
    Arg text(host, "host");
    return bIsAuthIp(text.c_str()) != 0;
      },
      py::arg("host"), "True when the host has the form of a numeric IPv4 host.");
  m.def(
      "ip_string",
      [](int64_t value) {
    char out[16];
    bGetIpStr(static_cast<long>(value), out);
    return std::string(out);
      },
      py::arg("value"),
      "The dotted quad of the low 32 bits of the value; \"000.000.000.000\" for 0.");
  m.def(
      "dotted_quad",
      [](TextArg url) -> Out<OptionalStrHint> {
        std::string s = Copy(url, "URL");
        char out[16];
        if (!bDottedQuadIp(s.data(), out)) return py::none();
        return py::str(out);
      },
      py::arg("url"), "The URL's numeric host as a dotted quad, or None when it is not numeric.");
  m.def(
      "is_private_ip",
      [](TextArg quad) {
    Arg text(quad, "address");
    return bIsPrivateIp(text.c_str()) != 0;
      },
      py::arg("quad"), "True for a dotted quad in a private or loopback range.");
}

}  // namespace urlkeys::python
