#include "keyset.h"

#include <memory>
#include <string>
#include <string_view>

#include "bindings.h"
#include "hints.h"
#include "match/list_options.h"
#include "operations.h"

namespace urlkeys::python {

namespace {

using match::Hit;
using match::KeyStore;
using match::Matcher;

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

// A list name as the tool takes it: None or "" for an unnamed list, else
// letters, digits, '_', '.' and '-' (ValueError otherwise).
std::string ListName(py::handle name) {
  if (name.is_none()) return std::string();
  std::string text = Copy(name, "list name");
  std::string error = urlkeys::match::ListNameError(text);
  if (!text.empty() && !error.empty()) throw py::value_error(error);
  return text;
}

// Loads the list file `path` as the list `list`, with the GIL released;
// OSError when it cannot be read.
void LoadFile(KeySet& set, const std::string& list, py::handle path) {
  std::string file = FilePath(path);
  std::string error;
  bool ok;
  {
    py::gil_scoped_release nogil;
    ok = set.store.LoadFile(list, file.c_str(), &error);
  }
  if (!ok) {
    PyErr_SetString(PyExc_OSError, error.c_str());
    throw py::error_already_set();
  }
}

std::unique_ptr<KeySet> FromLists(py::handle lists) {
  auto set = std::make_unique<KeySet>();
  py::object os = py::module_::import("os");
  py::object pairs =
      PyDict_Check(lists.ptr()) ? lists.attr("items")() : py::reinterpret_borrow<py::object>(lists);
  for (py::handle pair : pairs) {
    py::tuple item = py::reinterpret_borrow<py::object>(pair).cast<py::tuple>();
    if (item.size() != 2) throw py::type_error("lists holds (name, file or keys) pairs");
    py::object name = item[0], source = item[1];
    std::string list = ListName(name);
    if (PyUnicode_Check(source.ptr()) || PyBytes_Check(source.ptr()) ||
        py::isinstance(source, os.attr("PathLike"))) {
      LoadFile(*set, list, source);
    } else {
      AddKeys(*set, list, source);
    }
  }
  return set;
}

// The names of the lists whose bits are set in `lists`, as a tuple.
py::tuple ListNames(const KeyStore& store, uint64_t lists) {
  py::list names;
  for (int i = 0; i < store.ListCount(); ++i) {
    if (!(lists >> i & 1)) continue;
    std::string_view n = store.ListName(i);
    names.append(NewPyStr(n.data(), n.size()));
  }
  return py::tuple(names);
}

py::object MatchLists(const KeySet& set, py::handle url) {
  static thread_local Matcher matcher;
  Arg text(url, "URL");
  Hit hit;
  if (!matcher.Match(set.store, text.c_str(), &hit)) return py::none();
  return py::make_tuple(NewPyStr(hit.key.data(), hit.key.size()), ListNames(set.store, hit.lists));
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

// Pickled as a call of urlkeys._types._keyset_from_bytes(bytes), which every
// pickle protocol can express.
py::tuple Reduce(const KeySet& set) {
  py::object from_bytes = py::module_::import("urlkeys._types").attr("_keyset_from_bytes");
  return py::make_tuple(from_bytes, py::make_tuple(py::bytes(set.store.Serialize())));
}

// Pickles made before the named callable hold (bytes,) as their state.
py::tuple GetState(const KeySet& set) { return py::make_tuple(py::bytes(set.store.Serialize())); }

std::unique_ptr<KeySet> SetState(const py::tuple& state) {
  if (state.size() != 1) throw py::value_error("not a pickled KeySet");
  return KeySetFromBytes(state[0]);
}

}  // namespace

void RegisterKeySet(py::module_& m) {
  py::class_<KeySet>(m, "KeySet",
                     "Keys to match URLs against (hosts and host/path prefixes, the syntax of\n"
                     "`urlkeys match --list`), held in the library's key store. Immutable once\n"
                     "built; picklable (any protocol) as the store's bytes.")
      .def(py::init([](In<KeysHint> keys, In<NameHint> name) {
             auto set = std::make_unique<KeySet>();
             AddKeys(*set, ListName(name), keys);
             return set;
           }),
           py::arg("keys") = py::tuple(), py::kw_only(), py::arg("name") = "",
           "Each item of `keys` is one line of the list `name`; a line break inside\n"
           "an item raises ValueError.")
      .def_static(
          "from_file",
          [](In<PathHint> path, In<NameHint> name) {
    auto set = std::make_unique<KeySet>();
    LoadFile(*set, ListName(name), path);
    return set;
          },
          py::arg("path"), py::kw_only(), py::arg("name") = "",
          "A KeySet from a list file (one key per line, '#' comments).")
      .def_static(
          "from_lists", [](In<ListsHint> lists) { return FromLists(lists); }, py::arg("lists"),
          "A KeySet from named lists: {name: file path or iterable of lines}, or\n"
          "(name, source) pairs (a name given again adds to its list).")
      .def(
          "match",
          [](const KeySet& set, TextArg url) -> Out<OptionalStrHint> {
            static thread_local MatchOp op;
            op.store = &set.store;
            return RunOne(op, url);
          },
          py::arg("url"), "The first LCP candidate of the URL that the set holds, or None.")
      .def(
          "match_many",
          [](const KeySet& set, ColumnArg urls) -> Out<OptionalStrColumnHint> {
            auto op = std::make_unique<MatchOp>();
            op->store = &set.store;
            op->share = true;
            return RunMany(*op, urls);
          },
          py::arg("urls"),
          "match() over a column of URLs, with the GIL released: a list, or a pandas\n"
          "Series with the same index and name for a Series.")
      .def(
          "match_lists",
          [](const KeySet& set, TextArg url) -> Out<MatchListsHint> {
            return MatchLists(set, url);
          },
          py::arg("url"),
          "(key, names of the lists holding it) for the first candidate held, or None.")
      .def(
          "__len__", [](const KeySet& set) { return set.store.KeyCount(); },
          "The number of distinct keys.")
      .def_property_readonly(
          "lists", [](const KeySet& set) { return ListNames(set.store, ~uint64_t{0}); },
          "The list names in the order they were first given (\"\" for an unnamed list).")
      .def_property_readonly(
          "memory_bytes", [](const KeySet& set) { return set.store.MemoryBytes(); },
          "Bytes held by the store.")
      .def("__reduce__", &Reduce)
      .def(py::pickle(&GetState, &SetState));
  m.def("_keyset_from_bytes", &KeySetFromBytes, py::arg("data"),
        "A KeySet from the bytes a pickled KeySet holds.");
}

}  // namespace urlkeys::python
