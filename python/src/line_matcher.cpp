#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "bindings.h"
#include "hints.h"
#include "keyset.h"
#include "match/key_store.h"
#include "match/line_matcher.h"
#include "match/list_options.h"
#include "text.h"

namespace urlkeys::python {

namespace {

// Matches a stream of URL lines against a KeySet, giving the bytes
// `urlkeys match` prints for them (the match job's own line matcher: the
// same line reading, skipped lines, fields and escaping as the tool).
class LineMatcher {
 public:
  explicit LineMatcher(py::object keys)
      : keys_(std::move(keys)),
        set_(&keys_.cast<const KeySet&>()),
        lines_(set_->store, /*json=*/false, /*count_hits=*/true) {}

  // Processes `data`; returns the output lines of the lines it completed.
  py::bytes Feed(py::handle data) {
    PyObject* obj = data.ptr();
    py::bytes owned;
    if (!PyBytes_Check(obj)) {
      // Any other buffer is copied first: it could change while the GIL is released.
      owned = py::reinterpret_steal<py::bytes>(PyBytes_FromObject(obj));
      if (!owned) throw py::error_already_set();
      obj = owned.ptr();
    }
    std::string out;
    {
      // The splitter writes into its block, so it gets a copy of the bytes.
      block_.assign(PyBytes_AS_STRING(obj), static_cast<size_t>(PyBytes_GET_SIZE(obj)));
      py::gil_scoped_release nogil;
      out.reserve(block_.size() + block_.size() / 2);
      lines_.Feed(block_.data(), block_.size(), &out);
    }
    return py::bytes(out);
  }

  // Ends the stream: a last line without a line break is processed.
  py::bytes Close() {
    std::string out;
    lines_.Close(&out);
    return py::bytes(out);
  }

  uint64_t lines() const { return lines_.lines(); }
  uint64_t matched() const { return lines_.matched(); }

  // Hits per key as {key: count}.
  py::dict Hits() const {
    py::dict d;
    for (const auto& [key, count] : lines_.hits()) {
      py::object k = py::reinterpret_steal<py::object>(NewStr(key.data(), key.size()));
      d[k] = count;
    }
    return d;
  }
  // Skipped lines as [(line number from 1, reason)].
  py::list Skipped() const {
    py::list l;
    for (const auto& skipped : lines_.skipped())
      l.append(py::make_tuple(skipped.line, skipped.reason));
    return l;
  }

 private:
  py::object keys_;  // keeps the KeySet, and so the store, alive and unchanged
  const KeySet* set_;
  urlkeys::match::LineMatcher lines_;
  std::string block_;
};

// The match job's summary rows and list options, for the Dask job: the
// same escaping and the same --list grammar as the tool.
py::bytes HitRow(const py::bytes& key, uint64_t count) {
  std::string out;
  urlkeys::match::AppendHitRow(&out, std::string_view(key), count);
  return py::bytes(out);
}

py::bytes SkippedRow(const py::bytes& path, uint64_t line, const std::string& reason) {
  std::string out;
  urlkeys::match::AppendSkippedRow(&out, std::string_view(path), line, reason);
  return py::bytes(out);
}

py::list ReadListOptions(const py::list& values) {
  std::vector<std::string> texts;
  for (py::handle value : values) texts.push_back(value.cast<std::string>());
  std::vector<std::string_view> views(texts.begin(), texts.end());
  urlkeys::match::ListOptionSet set;
  std::string error = urlkeys::match::ReadListOptions(views, &set);
  if (!error.empty()) throw py::value_error(error);
  py::list pairs;
  for (const auto& item : set.items())
    pairs.append(py::make_tuple(item.name, py::bytes(item.path)));
  return pairs;
}

}  // namespace

void RegisterLineMatcher(py::module_& m) {
  py::class_<LineMatcher>(m, "_LineMatcher")
      .def(py::init([](In<KeySetHint> keys) {
             return std::make_unique<LineMatcher>(py::reinterpret_borrow<py::object>(keys.obj));
           }),
           py::arg("keys"))
      .def(
          "feed", [](LineMatcher& lm, In<DataHint> data) { return lm.Feed(data); }, py::arg("data"))
      .def("close", &LineMatcher::Close)
      .def_property_readonly("lines", &LineMatcher::lines)
      .def_property_readonly("matched", &LineMatcher::matched)
      .def("hits", &LineMatcher::Hits)
      .def("skipped", &LineMatcher::Skipped);
  m.def("_hit_row", &HitRow, py::arg("key"), py::arg("count"),
        "A summary row: the escaped key, a tab, the count, a line break.");
  m.def("_skipped_row", &SkippedRow, py::arg("path"), py::arg("line"), py::arg("reason"),
        "A skipped-line row: the escaped path, the line number, the reason.");
  m.def("_read_list_options", &ReadListOptions, py::arg("values"),
        "[(name, path bytes)] from --list values given as bytes (ValueError with the "
        "tool's message).");
}

}  // namespace urlkeys::python
