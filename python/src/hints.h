// Argument and result types that only name themselves in signatures.
//
// The functions take and return plain Python objects (str or bytes, a
// column, a named tuple ...), which pybind11 would show as `handle` and
// `object` in help(). In<Name> and Out<Name> carry the same objects at the
// same cost, a borrowed handle in and an owned object out, and give the
// signature the type the stubs declare.
#ifndef URLKEYS_PYTHON_HINTS_H_
#define URLKEYS_PYTHON_HINTS_H_

#include <pybind11/pybind11.h>

#include <utility>

namespace urlkeys::python {

namespace py = pybind11;

// An argument, taken as it is: the function checks it itself.
template <class Name>
struct In {
  py::handle obj;
  operator py::handle() const { return obj; }  // NOLINT(google-explicit-constructor)
};

// A result.
template <class Name>
struct Out {
  Out() = default;
  Out(py::object o) : obj(std::move(o)) {}  // NOLINT(google-explicit-constructor)
  py::object obj;
};

// The type names, as the stubs write them.
#define URLKEYS_HINT(Tag, text)                                \
  struct Tag {                                                 \
    static constexpr auto name = py::detail::const_name(text); \
  }
URLKEYS_HINT(TextHint, "str | bytes | bytearray");
URLKEYS_HINT(ColumnHint, "Iterable[str | bytes | bytearray] | numpy.ndarray | pandas.Series");
URLKEYS_HINT(PathHint, "str | bytes | os.PathLike");
URLKEYS_HINT(KeysHint, "Iterable[str | bytes | bytearray]");
URLKEYS_HINT(
    ListsHint,
    "Mapping[str, str | bytes | os.PathLike | Iterable[str | bytes | bytearray]]"
    " | Iterable[tuple[str, str | bytes | os.PathLike | Iterable[str | bytes | bytearray]]]");
URLKEYS_HINT(NameHint, "str | bytes | bytearray | None");
URLKEYS_HINT(DataHint, "bytes | bytearray | memoryview");
URLKEYS_HINT(KeySetHint, "KeySet");
URLKEYS_HINT(StrHint, "str");
URLKEYS_HINT(OptionalStrHint, "str | None");
URLKEYS_HINT(ParsedHint, "ParsedURL");
URLKEYS_HINT(LcpListHint, "LcpList");
URLKEYS_HINT(StrListHint, "list[str]");
URLKEYS_HINT(MatchListsHint, "tuple[str, tuple[str, ...]] | None");
// The *_many results: a list, or a pandas Series for a Series.
URLKEYS_HINT(ParsedColumnHint, "list[ParsedURL] | pandas.Series");
URLKEYS_HINT(StrColumnHint, "list[str] | pandas.Series");
URLKEYS_HINT(OptionalStrColumnHint, "list[str | None] | pandas.Series");
URLKEYS_HINT(StrListColumnHint, "list[list[str]] | pandas.Series");
URLKEYS_HINT(LcpListColumnHint, "list[LcpList] | pandas.Series");
#undef URLKEYS_HINT

using TextArg = In<TextHint>;
using ColumnArg = In<ColumnHint>;

}  // namespace urlkeys::python

namespace pybind11::detail {

template <class Name>
struct type_caster<urlkeys::python::In<Name>> {
  PYBIND11_TYPE_CASTER(urlkeys::python::In<Name>, Name::name);
  bool load(handle src, bool) {
    value.obj = src;
    return static_cast<bool>(src);
  }
  static handle cast(const urlkeys::python::In<Name>& in, return_value_policy, handle) {
    return in.obj.inc_ref();
  }
};

template <class Name>
struct type_caster<urlkeys::python::Out<Name>> {
  PYBIND11_TYPE_CASTER(urlkeys::python::Out<Name>, Name::name);
  bool load(handle, bool) { return false; }
  static handle cast(urlkeys::python::Out<Name> out, return_value_policy, handle) {
    return out.obj.release();
  }
};

}  // namespace pybind11::detail

#endif  // URLKEYS_PYTHON_HINTS_H_
