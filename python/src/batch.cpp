#include "batch.h"

namespace urlkeys::python {

namespace {

bool IsSeries(py::handle obj) {
  PyTypeObject* type = Py_TYPE(obj.ptr());
  if (std::strcmp(type->tp_name, "Series") != 0) return false;
  py::object module = py::getattr(reinterpret_cast<PyObject*>(type), "__module__", py::none());
  return py::isinstance<py::str>(module) && module.cast<std::string>().rfind("pandas", 0) == 0;
}

}  // namespace

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

py::object LikeColumn(py::handle column, py::list results) {
  if (!IsSeries(column)) return results;
  py::object pandas = py::module_::import("pandas");
  return pandas.attr("Series")(results, py::arg("index") = column.attr("index"),
                               py::arg("name") = column.attr("name"),
                               py::arg("dtype") = py::str("object"));
}

}  // namespace urlkeys::python
