// urlkeys._urlkeys: the library's URL functions and the key store for Python.
//
// Text in: str (encoded as UTF-8, lone surrogates \udc80-\udcff taken back as
// the bytes they stand for) or bytes. Text out: str decoded the same way, so
// s.encode("utf-8", "surrogateescape") gives the library's bytes exactly.
// Every operation is written once as a step that turns one URL into values in
// a Results buffer; the one-URL functions run that step with the GIL held,
// the *_many forms run it over blocks of URLs with the GIL released.
#include <pybind11/pybind11.h>

#include <urlkeys/urlkeys.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "match/key_store.h"
#include "match/lcp_host.h"
#include "match/line_matcher.h"
#include "match/list_options.h"
#include "match/matcher.h"

namespace py = pybind11;

namespace {

// ---------------------------------------------------------------- text in

// Raises `type` with `message` (prefixed with the item number in batches).
[[noreturn]] void Raise(PyObject* type, long item, const std::string& message) {
  if (item >= 0) {
    PyErr_SetString(type, ("item " + std::to_string(item) + ": " + message).c_str());
  } else {
    PyErr_SetString(type, message.c_str());
  }
  throw py::error_already_set();
}

// One argument's bytes: a view of a str's ASCII data or of a bytes object, or
// of a bytes object made here (then held in `owner`). NUL-terminated, no NUL
// inside.
struct Text {
  const char* data = nullptr;
  size_t size = 0;
  PyObject* owner = nullptr;  // a new reference, or null
};

// Reads `obj` as URL text. `what` names the argument in messages; `item` is
// the position in a batch, or -1. Raises TypeError for anything but str and
// bytes (bytearray is copied), ValueError for a NUL and for surrogates that
// stand for no byte.
Text ReadText(PyObject* obj, const char* what, long item) {
  Text t;
  if (PyUnicode_Check(obj)) {
    if (PyUnicode_READY(obj) < 0) throw py::error_already_set();
    if (PyUnicode_IS_ASCII(obj)) {
      t.data = static_cast<const char*>(PyUnicode_DATA(obj));
      t.size = static_cast<size_t>(PyUnicode_GET_LENGTH(obj));
    } else {
      t.owner = PyUnicode_AsEncodedString(obj, "utf-8", "surrogateescape");
      if (!t.owner) {
        if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) throw py::error_already_set();
        PyErr_Clear();
        Raise(PyExc_ValueError, item,
              std::string(what) + " holds a surrogate that stands for no byte");
      }
      t.data = PyBytes_AS_STRING(t.owner);
      t.size = static_cast<size_t>(PyBytes_GET_SIZE(t.owner));
    }
  } else if (PyBytes_Check(obj)) {
    t.data = PyBytes_AS_STRING(obj);
    t.size = static_cast<size_t>(PyBytes_GET_SIZE(obj));
  } else if (PyByteArray_Check(obj)) {
    // A bytearray may change while the GIL is released: work on a copy.
    t.owner = PyBytes_FromStringAndSize(PyByteArray_AS_STRING(obj), PyByteArray_GET_SIZE(obj));
    if (!t.owner) throw py::error_already_set();
    t.data = PyBytes_AS_STRING(t.owner);
    t.size = static_cast<size_t>(PyBytes_GET_SIZE(t.owner));
  } else {
    Raise(PyExc_TypeError, item,
          std::string(what) + " must be str or bytes, not " + Py_TYPE(obj)->tp_name);
  }
  if (std::memchr(t.data, '\0', t.size)) {
    Py_XDECREF(t.owner);
    Raise(PyExc_ValueError, item, std::string(what) + " contains a NUL character");
  }
  return t;
}

// A Text that releases its owner.
class Arg {
 public:
  Arg(py::handle obj, const char* what) : t_(ReadText(obj.ptr(), what, -1)) {}
  ~Arg() { Py_XDECREF(t_.owner); }
  Arg(const Arg&) = delete;
  Arg& operator=(const Arg&) = delete;
  const char* c_str() const { return t_.data; }
  size_t size() const { return t_.size; }

 private:
  Text t_;
};

// --------------------------------------------------------------- text out

bool IsAscii(const char* s, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t word;
    std::memcpy(&word, s + i, 8);
    if (word & 0x8080808080808080ull) return false;
  }
  for (; i < n; ++i)
    if (static_cast<unsigned char>(s[i]) & 0x80) return false;
  return true;
}

// A str of the bytes, invalid UTF-8 carried as \udcXX. ASCII text, by far
// the most common, is copied straight into a new str.
PyObject* NewStr(const char* s, size_t n) {
  PyObject* o;
  if (IsAscii(s, n)) {
    o = PyUnicode_New(static_cast<Py_ssize_t>(n), 127);
    if (o) std::memcpy(PyUnicode_DATA(o), s, n);
  } else {
    o = PyUnicode_DecodeUTF8(s, static_cast<Py_ssize_t>(n), "surrogateescape");
  }
  if (!o) throw py::error_already_set();
  return o;
}

// Values computed for URLs without the GIL, turned into Python objects
// afterwards: texts back to back in one buffer, and one entry per value.
class Results {
 public:
  void Clear() {
    text_.clear();
    values_.clear();
    read_ = 0;
  }
  void Text(const char* s) { Text(s, std::strlen(s)); }
  void Text(const char* s, size_t n) {
    values_.push_back({text_.size(), static_cast<int64_t>(n), kText});
    text_.append(s, n);
  }
  void None() { values_.push_back({0, 0, kNone}); }
  // A text that stays where it is until the results are read (a key in an
  // unchanged store): kept by address, not copied.
  void Ref(std::string_view s) {
    values_.push_back(
        {reinterpret_cast<uintptr_t>(s.data()), static_cast<int64_t>(s.size()), kRef});
  }
  void Int(int64_t v) { values_.push_back({0, v, kInt}); }
  // A list: BeginList, its texts, EndList with what BeginList returned.
  size_t BeginList() {
    values_.push_back({0, 0, kInt});
    return values_.size() - 1;
  }
  void EndList(size_t at) { values_[at].number = static_cast<int64_t>(values_.size() - at - 1); }

  // Reading, in the order written.
  PyObject* NextObject() {
    const Value& v = values_[read_++];
    switch (v.kind) {
      case kText: return NewStr(text_.data() + v.offset, static_cast<size_t>(v.number));
      case kRef:
        return NewStr(reinterpret_cast<const char*>(v.offset), static_cast<size_t>(v.number));
      case kInt: {
        PyObject* o = PyLong_FromLongLong(v.number);
        if (!o) throw py::error_already_set();
        return o;
      }
      default: Py_RETURN_NONE;
    }
  }
  int64_t NextInt() { return values_[read_++].number; }
  // The next value when it is a Ref (its text's address and length), else
  // false and nothing consumed.
  bool NextRef(const char** text, size_t* size) {
    const Value& v = values_[read_];
    if (v.kind != kRef) return false;
    *text = reinterpret_cast<const char*>(v.offset);
    *size = static_cast<size_t>(v.number);
    ++read_;
    return true;
  }

 private:
  enum Kind : uint8_t { kText, kNone, kInt, kRef };
  struct Value {
    uintptr_t offset;  // in text_, or the address of a Ref
    int64_t number;    // text length or integer
    Kind kind;
  };
  std::string text_;
  std::vector<Value> values_;
  size_t read_ = 0;
};

// Fills the `n` slots of a new tuple or list `seq` with objects taken from
// `r` (`set` stores one); the sequence is released if taking one fails.
template <class Set>
PyObject* FillFrom(Results& r, PyObject* seq, Py_ssize_t n, Set set) {
  if (!seq) throw py::error_already_set();
  for (Py_ssize_t i = 0; i < n; ++i) {
    try {
      set(seq, i, r.NextObject());
    } catch (...) {
      Py_DECREF(seq);
      throw;
    }
  }
  return seq;
}

// A tuple of `n` objects taken from `r`.
PyObject* NextTuple(Results& r, int n) {
  return FillFrom(r, PyTuple_New(n), n,
                  [](PyObject* t, Py_ssize_t i, PyObject* o) { PyTuple_SET_ITEM(t, i, o); });
}

// A list of texts written as a count and the texts.
PyObject* NextList(Results& r) {
  auto n = static_cast<Py_ssize_t>(r.NextInt());
  return FillFrom(r, PyList_New(n), n,
                  [](PyObject* l, Py_ssize_t i, PyObject* o) { PyList_SET_ITEM(l, i, o); });
}

// Classes defined in urlkeys._types (named tuples), set at import.
py::object g_parsed_type;
py::object g_lcp_list_type;

using urlkeys::match::LcpParseHostStart;

// ------------------------------------------------------------- operations
//
// Each operation: Compute(url, size, results) writes the values of one URL
// (no Python calls: it runs without the GIL), Build(results) turns them into
// the Python result. Per-operation work space lives in the object, so one
// object serves one thread.

struct ParseOp {
  cZuUrl record;
  void Compute(const char* url, size_t, Results& r) {
    record.init();
    record.bSetErrors(record.bParseUrl(url));
    r.Text(record.url);
    r.Text(record.scheme);
    r.Text(record.user);
    r.Text(record.password);
    r.Text(record.hostinfo);
    r.Text(record.hostname);
    r.Text(record.port_str);
    r.Int(record.port);
    r.Text(record.path);
    r.Text(record.query);
    r.Text(record.fragment);
    r.Int(record.errors);
    const char* message = record.strGetError();
    if (message) r.Text(message);
    else r.None();
  }
  PyObject* Build(Results& r) {
    PyObject* fields = NextTuple(r, 13);
    PyObject* o = PyObject_Call(g_parsed_type.ptr(), fields, nullptr);
    Py_DECREF(fields);
    if (!o) throw py::error_already_set();
    return o;
  }
};

struct SimpleOp {
  cZuUrl record;
  char out[ZU_SIMPLE_URL_SIZE];
  void Compute(const char* url, size_t, Results& r) {
    record.init();
    record.bSetErrors(record.bParseUrl(url));
    record.bGetSimpleUrl(out);
    r.Text(out);
  }
  PyObject* Build(Results& r) { return r.NextObject(); }
};

struct ReversedHostOp {
  cZuUrl record;
  void Compute(const char* url, size_t, Results& r) {
    record.init();
    record.bSetErrors(record.bParseUrl(url));
    r.Text(record.bGetAuthRev());
  }
  PyObject* Build(Results& r) { return r.NextObject(); }
};

struct LcpOp {
  void Compute(const char* url, size_t, Results& r) {
    cLcpUrl lcp(url);
    size_t list = r.BeginList();
    while (const char* c = lcp.sGetNextLcp()) r.Text(c);
    r.EndList(list);
  }
  PyObject* Build(Results& r) { return NextList(r); }
};

struct Md5Op {
  void Compute(const char* url, size_t, Results& r) {
    char hex[33];
    vMd5FromUrl(url, hex);
    r.Text(hex, 32);
  }
  PyObject* Build(Results& r) { return r.NextObject(); }
};

struct EmbeddedOp {
  void Compute(const char* url, size_t, Results& r) {
    cFindUrl finder("");
    finder.nFindEmbeddedUrl(url);
    const char* host = finder.pGetUrl();
    if (host) r.Text(host);
    else r.None();
  }
  PyObject* Build(Results& r) { return r.NextObject(); }
};

struct LcpListOp {
  int limit = 0;
  std::string text;  // the scanned copy
  std::string copy;  // one element at a time
  void Compute(const char* url, size_t size, Results& r) {
    text.assign(url, size);
    copy.resize(size + 1);
    int count = 0;
    cLcpParse list(text.data(), limit, count);
    const char* host = LcpParseHostStart(text.c_str());
    char* dst = copy.data();
    int room = static_cast<int>(copy.size() > INT32_MAX ? INT32_MAX : copy.size());
    r.Int(count);
    size_t at = r.BeginList();
    for (int i = 0; i < count; ++i) {
      list.nGetLcp(host, dst, room);
      r.Text(dst);
    }
    r.EndList(at);
    list.nGetLcp(host, dst, room);  // after the last candidate: the TLD
    r.Text(dst);
    list.GetAuth(host, dst, room);
    r.Text(dst);
    list.GetTld1(host, dst, room);
    r.Text(dst);
  }
  PyObject* Build(Results& r) {
    PyObject* t = PyTuple_New(5);
    if (!t) throw py::error_already_set();
    try {
      PyTuple_SET_ITEM(t, 0, r.NextObject());
      PyTuple_SET_ITEM(t, 1, NextList(r));
      for (int i = 2; i < 5; ++i) PyTuple_SET_ITEM(t, i, r.NextObject());
    } catch (...) {
      Py_DECREF(t);
      throw;
    }
    PyObject* o = PyObject_Call(g_lcp_list_type.ptr(), t, nullptr);
    Py_DECREF(t);
    if (!o) throw py::error_already_set();
    return o;
  }
};

using urlkeys::match::Hit;
using urlkeys::match::KeyStore;
using urlkeys::match::Matcher;

struct MatchOp {
  const KeyStore* store = nullptr;
  Matcher matcher;
  // In a batch, one str per distinct key found: hot keys hit again and
  // again. The store does not change during the call.
  std::unordered_map<const char*, py::object> seen;
  bool share = false;
  void Compute(const char* url, size_t, Results& r) {
    Hit hit;
    if (matcher.Match(*store, url, &hit)) r.Ref(hit.key);
    else r.None();
  }
  PyObject* Build(Results& r) {
    const char* key;
    size_t size;
    if (!share || !r.NextRef(&key, &size)) return r.NextObject();
    py::object& str = seen[key];
    if (!str) str = py::reinterpret_steal<py::object>(NewStr(key, size));
    return str.inc_ref().ptr();
  }
};

// ------------------------------------------------------------------ driver

// One URL, with the GIL held. The work space is per thread and reused.
template <class Op>
py::object RunOne(Op& op, py::handle url) {
  static thread_local Results results;
  Arg text(url, "URL");
  results.Clear();
  op.Compute(text.c_str(), text.size(), results);
  return py::reinterpret_steal<py::object>(op.Build(results));
}

template <class Op>
py::object RunOne(py::handle url) {
  static thread_local Op op;
  return RunOne(op, url);
}

bool IsSeries(py::handle obj) {
  PyTypeObject* type = Py_TYPE(obj.ptr());
  if (std::strcmp(type->tp_name, "Series") != 0) return false;
  py::object module = py::getattr(reinterpret_cast<PyObject*>(type), "__module__", py::none());
  return py::isinstance<py::str>(module) && module.cast<std::string>().rfind("pandas", 0) == 0;
}

// The items of a column (list, tuple, NumPy array, pandas Series or any
// iterable of URLs) as a tuple the caller owns: nothing can change it while
// the GIL is released.
py::tuple ColumnItems(py::handle column) {
  PyObject* obj = column.ptr();
  if (PyUnicode_Check(obj) || PyBytes_Check(obj) || PyByteArray_Check(obj))
    throw py::type_error(std::string("expected a sequence of URLs, not a single ") +
                         Py_TYPE(obj)->tp_name);
  py::object seq = py::reinterpret_borrow<py::object>(column);
  if (IsSeries(column)) seq = seq.attr("to_numpy")(py::arg("dtype") = py::str("object"));
  // A NumPy array: tolist() hands out its items at C speed.
  if (!PyList_Check(seq.ptr()) && !PyTuple_Check(seq.ptr()) && py::hasattr(seq, "dtype") &&
      py::hasattr(seq, "tolist"))
    seq = seq.attr("tolist")();
  PyObject* t = PySequence_Tuple(seq.ptr());
  if (!t) throw py::error_already_set();
  return py::reinterpret_steal<py::tuple>(t);
}

// Returns `results` (a list) as the column type of `column`: a pandas
// Series with the same index and name for a Series, else the list.
py::object LikeColumn(py::handle column, py::list results) {
  if (!IsSeries(column)) return results;
  py::object pandas = py::module_::import("pandas");
  return pandas.attr("Series")(results, py::arg("index") = column.attr("index"),
                               py::arg("name") = column.attr("name"),
                               py::arg("dtype") = py::str("object"));
}

// Texts of one block, with the references they need.
class Block {
 public:
  ~Block() { Clear(); }
  void Clear() {
    for (Text& t : texts_) Py_XDECREF(t.owner);
    texts_.clear();
  }
  void Add(const Text& t) { texts_.push_back(t); }
  const std::vector<Text>& texts() const { return texts_; }

 private:
  std::vector<Text> texts_;
};

// Keeps the cyclic garbage collector from running while a block's results
// are built: they hold no cycles, and a column of lists would otherwise set
// off collections that traverse every result built so far, again and again.
class NoCollection {
 public:
#if PY_VERSION_HEX >= 0x030A0000
  NoCollection() : was_enabled_(PyGC_Disable()) {}
  ~NoCollection() {
    if (was_enabled_) PyGC_Enable();
  }

 private:
  int was_enabled_;
#endif
};

// URLs per block: large enough that releasing the GIL costs nothing, small
// enough that two threads take turns building results.
constexpr Py_ssize_t kBlockSize = 2048;

// Every URL of a column: reading and building results with the GIL held,
// the library's work for a block at a time with it released.
template <class Op>
py::object RunMany(Op& op, py::handle column) {
  py::tuple items = ColumnItems(column);
  Py_ssize_t n = PyTuple_GET_SIZE(items.ptr());
  PyObject* raw = PyList_New(n);
  if (!raw) throw py::error_already_set();
  py::list out = py::reinterpret_steal<py::list>(raw);
  Results results;
  Block block;
  for (Py_ssize_t start = 0; start < n; start += kBlockSize) {
    Py_ssize_t end = std::min(n, start + kBlockSize);
    block.Clear();
    for (Py_ssize_t i = start; i < end; ++i)
      block.Add(ReadText(PyTuple_GET_ITEM(items.ptr(), i), "URL", static_cast<long>(i)));
    {
      py::gil_scoped_release nogil;
      results.Clear();
      for (const Text& t : block.texts()) op.Compute(t.data, t.size, results);
    }
    block.Clear();
    NoCollection quiet;
    for (Py_ssize_t i = start; i < end; ++i) PyList_SET_ITEM(raw, i, op.Build(results));
  }
  return LikeColumn(column, out);
}

template <class Op>
py::object RunMany(py::handle column) {
  auto op = std::make_unique<Op>();
  return RunMany(*op, column);
}

// A copy of the text that functions taking a char* may be given.
std::string Copy(py::handle obj, const char* what) {
  Arg text(obj, what);
  return std::string(text.c_str(), text.size());
}

// A set of keys for matching, held in the library's key store. It is not
// changed after it is built, so matching may run on several threads at once.
struct KeySet {
  KeyStore store;
};

// Adds each item of `keys` as one list line under `name`.
void AddKeys(KeySet& set, std::string_view name, py::handle keys) {
  PyObject* obj = keys.ptr();
  if (PyUnicode_Check(obj) || PyBytes_Check(obj) || PyByteArray_Check(obj))
    throw py::type_error("keys must be an iterable of keys, not a single " +
                         std::string(Py_TYPE(obj)->tp_name));
  long i = 0;
  for (py::handle item : keys) {
    Text t = ReadText(item.ptr(), "key", i);
    std::string_view line(t.data, t.size);
    bool newline = line.find('\n') != std::string_view::npos;
    bool added = !newline && set.store.AddLine(name, line);
    Py_XDECREF(t.owner);
    if (newline) Raise(PyExc_ValueError, i, "key contains a line break");
    if (!added) Raise(PyExc_ValueError, i, "the key store cannot take this key");
    ++i;
  }
}

// A file name as the bytes the operating system takes.
std::string FilePath(py::handle path) {
  py::bytes name = py::module_::import("os").attr("fsencode")(path);
  return std::string(name);
}

// A KeySet from its serialized store (the state of a pickled KeySet).
std::unique_ptr<KeySet> KeySetFromBytes(py::handle data) {
  if (!PyBytes_Check(data.ptr())) throw py::value_error("not a pickled KeySet");
  std::string_view bytes(PyBytes_AS_STRING(data.ptr()),
                         static_cast<size_t>(PyBytes_GET_SIZE(data.ptr())));
  auto set = std::make_unique<KeySet>();
  std::string error;
  if (!KeyStore::Deserialize(bytes, &set->store, &error))
    throw py::value_error("not a pickled KeySet: " + error);
  return set;
}

// A list name as the tool takes it: None or "" for an unnamed list, else
// letters, digits, '_', '.' and '-' (ValueError otherwise).
std::string ListName(py::handle name) {
  if (name.is_none()) return std::string();
  std::string text = Copy(name, "list name");
  std::string error = urlkeys::match::ListNameError(text);
  if (!text.empty() && !error.empty()) throw py::value_error(error);
  return text;
}

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

}  // namespace

// Defines `name(url)` and its column form `name_many(urls)` for one
// operation (pybind11 keeps its own copies of the names and texts).
template <class Op>
void DefOneAndMany(py::module_& m, const std::string& name, const std::string& doc) {
  m.def(
      name.c_str(), [](py::handle url) { return RunOne<Op>(url); }, py::arg("url"), doc.c_str());
  const std::string many_doc = name + "() over a column of URLs, with the GIL released.";
  m.def((name + "_many").c_str(), [](py::handle c) { return RunMany<Op>(c); }, py::arg("urls"),
        many_doc.c_str());
}

PYBIND11_MODULE(_urlkeys, m) {
  m.doc() =
      "The urlkeys library: URL components, simplified URLs, LCP candidates, "
      "TLD tests, IPv4 hosts, MD5 digests and key matching.";
  py::module_ types = py::module_::import("urlkeys._types");
  g_parsed_type = types.attr("ParsedURL");
  g_lcp_list_type = types.attr("LcpList");
  // Release the class references before the interpreter shuts down.
  m.add_object("_cleanup", py::capsule([]() {
                 g_parsed_type = py::object();
                 g_lcp_list_type = py::object();
               }));

  DefOneAndMany<ParseOp>(m, "parse", "The URL's components and error flags as a ParsedURL.");
  DefOneAndMany<SimpleOp>(
      m, "simple",
      "The simplified URL: scheme, canonical host, port and path, trailing slashes removed.");
  DefOneAndMany<ReversedHostOp>(m, "reversed_host",
                                "The URL's host name with its labels in reverse order.");
  DefOneAndMany<LcpOp>(m, "lcp", "The LCP candidates of the URL, most specific first.");
  DefOneAndMany<Md5Op>(m, "md5", "The MD5 of the URL's bytes as 32 lowercase hex digits.");
  DefOneAndMany<EmbeddedOp>(
      m, "embedded_host", "The host inside a search-engine cache URL or web-archive URL, or None.");
  m.def(
      "lcp_list",
      [](py::handle text, int limit) {
    static thread_local LcpListOp op;
    op.limit = limit;
    return RunOne(op, text);
      },
      py::arg("text"), py::arg("limit") = 20,
      "The numbered LCP element list of raw text (at most `limit`, 0-20, candidates) as an LcpList.");

  m.def(
      "lcp_list_many",
      [](py::handle c, int limit) {
    LcpListOp op;
    op.limit = limit;
    return RunMany(op, c);
      },
      py::arg("texts"), py::arg("limit") = 20,
      "lcp_list() over a column of texts, with the GIL released.");

  m.def(
      "is_tld",
      [](py::handle name) {
    std::string s = Copy(name, "name");
    return bIsTLD(s.data());
      },
      py::arg("name"), "List test: the name is a whole TLD table entry or begins with \"xn--\".");
  m.def(
      "is_tld_key",
      [](py::handle name) {
    std::string s = Copy(name, "name");
    return bIsTLD2(s.data(), static_cast<int>(std::min<size_t>(s.size(), 1 << 20)));
      },
      py::arg("name"),
      "Key test: the packed key of the name's first 8 characters matches an entry's.");
  m.def(
      "check_tld",
      [](py::handle host) {
    std::string s = Copy(host, "host");
    return bCheckTLD(s.data());
      },
      py::arg("host"), "The list test on the text after the host's last dot; False without a dot.");
  m.def(
      "ip_value",
      [](py::handle host) {
    Arg text(host, "host");
    int too_many_dots = 0;
    return static_cast<int64_t>(lGetIpFromAuth(text.c_str(), &too_many_dots));
      },
      py::arg("host"), "The address value of a numeric host; 0 when it is not numeric.");
  m.def(
      "is_ip_host",
      [](py::handle host) {
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
      [](py::handle url) -> py::object {
        std::string s = Copy(url, "URL");
        char out[16];
        if (!bDottedQuadIp(s.data(), out)) return py::none();
        return py::str(out);
      },
      py::arg("url"), "The URL's numeric host as a dotted quad, or None when it is not numeric.");
  m.def(
      "is_private_ip",
      [](py::handle quad) {
    Arg text(quad, "address");
    return bIsPrivateIp(text.c_str()) != 0;
      },
      py::arg("quad"));

  py::class_<KeySet>(m, "KeySet",
                     "Keys to match URLs against (hosts and host/path prefixes, the syntax of\n"
                     "`urlkeys match --list`), held in the library's key store. Immutable once\n"
                     "built; picklable as the store's bytes.")
      .def(py::init([](py::handle keys, py::handle name) {
             auto set = std::make_unique<KeySet>();
             AddKeys(*set, ListName(name), keys);
             return set;
           }),
           py::arg("keys") = py::tuple(), py::kw_only(), py::arg("name") = "",
           "True for a dotted quad in a private or loopback range.")
      .def_static(
          "from_file",
          [](py::handle path, py::handle name) {
    auto set = std::make_unique<KeySet>();
    std::string file = FilePath(path);
    std::string error;
    std::string list = ListName(name);
    bool ok;
    {
      py::gil_scoped_release nogil;
      ok = set->store.LoadFile(list, file.c_str(), &error);
    }
    if (!ok) {
      PyErr_SetString(PyExc_OSError, error.c_str());
      throw py::error_already_set();
    }
    return set;
          },
          py::arg("path"), py::kw_only(), py::arg("name") = "",
          "A KeySet from a list file (one key per line, '#' comments).")
      .def_static(
          "from_lists",
          [](py::handle lists) {
    auto set = std::make_unique<KeySet>();
    py::object os = py::module_::import("os");
    py::object pairs = PyDict_Check(lists.ptr()) ? lists.attr("items")()
                                                 : py::reinterpret_borrow<py::object>(lists);
    for (py::handle pair : pairs) {
      py::tuple item = py::reinterpret_borrow<py::object>(pair).cast<py::tuple>();
      if (item.size() != 2) throw py::type_error("lists holds (name, file or keys) pairs");
      py::object name = item[0], source = item[1];
      std::string list = ListName(name);
      if (PyUnicode_Check(source.ptr()) || PyBytes_Check(source.ptr()) ||
          py::isinstance(source, os.attr("PathLike"))) {
        std::string file = FilePath(source);
        std::string error;
        bool ok;
        {
          py::gil_scoped_release nogil;
          ok = set->store.LoadFile(list, file.c_str(), &error);
        }
        if (!ok) {
          PyErr_SetString(PyExc_OSError, error.c_str());
          throw py::error_already_set();
        }
      } else {
        AddKeys(*set, list, source);
      }
    }
    return set;
          },
          py::arg("lists"),
          "A KeySet from named lists: {name: file path or iterable of lines}, or\n"
          "(name, source) pairs (a name given again adds to its list).")
      .def(
          "match",
          [](const KeySet& set, py::handle url) {
    static thread_local MatchOp op;
    op.store = &set.store;
    return RunOne(op, url);
          },
          py::arg("url"), "The first LCP candidate of the URL that the set holds, or None.")
      .def(
          "match_many",
          [](const KeySet& set, py::handle urls) {
    auto op = std::make_unique<MatchOp>();
    op->store = &set.store;
    op->share = true;
    return RunMany(*op, urls);
          },
          py::arg("urls"), "match() over a column of URLs, with the GIL released.")
      .def(
          "match_lists",
          [](const KeySet& set, py::handle url) -> py::object {
            static thread_local Matcher matcher;
            Arg text(url, "URL");
            Hit hit;
            if (!matcher.Match(set.store, text.c_str(), &hit)) return py::none();
            py::list names;
            for (int i = 0; i < set.store.ListCount(); ++i) {
              if (!(hit.lists >> i & 1)) continue;
              std::string_view n = set.store.ListName(i);
              names.append(py::reinterpret_steal<py::str>(NewStr(n.data(), n.size())));
            }
            return py::make_tuple(
                py::reinterpret_steal<py::str>(NewStr(hit.key.data(), hit.key.size())),
                py::tuple(names));
          },
          py::arg("url"),
          "(key, names of the lists holding it) for the first candidate held, or None.")
      .def("__len__", [](const KeySet& set) { return set.store.KeyCount(); })
      .def_property_readonly(
          "lists",
          [](const KeySet& set) {
    py::list names;
    for (int i = 0; i < set.store.ListCount(); ++i) {
      std::string_view n = set.store.ListName(i);
      names.append(py::reinterpret_steal<py::str>(NewStr(n.data(), n.size())));
    }
    return py::tuple(names);
          })
      .def_property_readonly("memory_bytes",
                             [](const KeySet& set) { return set.store.MemoryBytes(); })
      // Pickled as a call of urlkeys._types._keyset_from_bytes(bytes), which every pickle
      // protocol can express; __setstate__ still reads older pickles.
      .def(
          "__reduce__",
          [](const KeySet& set) {
    py::object from_bytes = py::module_::import("urlkeys._types").attr("_keyset_from_bytes");
    return py::make_tuple(from_bytes, py::make_tuple(py::bytes(set.store.Serialize())));
          })
      .def(py::pickle(
          [](const KeySet& set) { return py::make_tuple(py::bytes(set.store.Serialize())); },
          [](py::tuple state) {
    if (state.size() != 1) throw py::value_error("not a pickled KeySet");
    return KeySetFromBytes(state[0]);
          }));
  m.def("_keyset_from_bytes", &KeySetFromBytes, py::arg("data"),
        "A KeySet from the bytes a pickled KeySet holds.");

  py::class_<LineMatcher>(m, "_LineMatcher")
      .def(py::init<py::object>(), py::arg("keys"))
      .def("feed", &LineMatcher::Feed, py::arg("data"))
      .def("close", &LineMatcher::Close)
      .def_property_readonly("lines", &LineMatcher::lines)
      .def_property_readonly("matched", &LineMatcher::matched)
      .def("hits", &LineMatcher::Hits)
      .def("skipped", &LineMatcher::Skipped);
}
