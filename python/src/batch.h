// The batch driver. Every operation is written once as a step that turns one
// URL into values in a Results buffer; the one-URL functions run that step
// with the GIL held, the *_many forms run it over blocks of URLs with the
// GIL released and build the Python results afterwards.
//
// An operation is a class with
//   void Compute(const char* url, size_t size, Results& r);  // no Python calls
//   PyObject* Build(Results& r);  // a new reference
// whose work space lives in the object, so one object serves one thread.
#ifndef URLKEYS_PYTHON_BATCH_H_
#define URLKEYS_PYTHON_BATCH_H_

#include <pybind11/pybind11.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "text.h"

namespace urlkeys::python {

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
inline PyObject* NextTuple(Results& r, int n) {
  return FillFrom(r, PyTuple_New(n), n,
                  [](PyObject* t, Py_ssize_t i, PyObject* o) { PyTuple_SET_ITEM(t, i, o); });
}

// A list of texts written as a count and the texts.
inline PyObject* NextList(Results& r) {
  auto n = static_cast<Py_ssize_t>(r.NextInt());
  return FillFrom(r, PyList_New(n), n,
                  [](PyObject* l, Py_ssize_t i, PyObject* o) { PyList_SET_ITEM(l, i, o); });
}

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

// The items of a column (list, tuple, NumPy array, pandas Series or any
// iterable of URLs) as a tuple the caller owns: nothing can change it while
// the GIL is released.
py::tuple ColumnItems(py::handle column);

// Returns `results` (a list) as the column type of `column`: a pandas
// Series with the same index and name for a Series, else the list.
py::object LikeColumn(py::handle column, py::list results);

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

}  // namespace urlkeys::python

#endif  // URLKEYS_PYTHON_BATCH_H_
