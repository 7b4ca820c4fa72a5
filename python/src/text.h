// Text conversion between Python objects and the library's C text.
//
// Text in: str (encoded as UTF-8, lone surrogates \udc80-\udcff taken back as
// the bytes they stand for) or bytes. Text out: str decoded the same way, so
// s.encode("utf-8", "surrogateescape") gives the library's bytes exactly.
#ifndef URLKEYS_PYTHON_TEXT_H_
#define URLKEYS_PYTHON_TEXT_H_

#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace urlkeys::python {

namespace py = pybind11;

// Raises `type` with `message` (prefixed with the item number in batches).
[[noreturn]] void Raise(PyObject* type, long item, const std::string& message);

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
// stand for no byte. Inline: it runs once for every URL of a batch.
inline Text ReadText(PyObject* obj, const char* what, long item) {
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

// A copy of the text that functions taking a char* may be given.
std::string Copy(py::handle obj, const char* what);

inline bool IsAscii(const char* s, size_t n) {
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
inline PyObject* NewStr(const char* s, size_t n) {
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

// NewStr as an owned str object.
inline py::str NewPyStr(const char* s, size_t n) {
  return py::reinterpret_steal<py::str>(NewStr(s, n));
}

}  // namespace urlkeys::python

#endif  // URLKEYS_PYTHON_TEXT_H_
