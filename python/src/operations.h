// The operations of the module, one class each (see batch.h): the URL
// record, simplified URL, reversed host, LCP candidates, digest, embedded
// host, LCP element list and key match.
#ifndef URLKEYS_PYTHON_OPERATIONS_H_
#define URLKEYS_PYTHON_OPERATIONS_H_

#include <pybind11/pybind11.h>

#include <urlkeys/urlkeys.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>

#include "batch.h"
#include "match/key_store.h"
#include "match/lcp_host.h"
#include "match/matcher.h"

namespace urlkeys::python {

// Classes defined in urlkeys._types (named tuples), set at import.
extern py::object g_parsed_type;
extern py::object g_lcp_list_type;

using urlkeys::match::LcpParseHostStart;

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

struct MatchOp {
  const match::KeyStore* store = nullptr;
  match::Matcher matcher;
  // In a batch, one str per distinct key found: hot keys hit again and
  // again. The store does not change during the call.
  std::unordered_map<const char*, py::object> seen;
  bool share = false;
  void Compute(const char* url, size_t, Results& r) {
    match::Hit hit;
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

}  // namespace urlkeys::python

#endif  // URLKEYS_PYTHON_OPERATIONS_H_
