#include "text.h"

namespace urlkeys::python {

void Raise(PyObject* type, long item, const std::string& message) {
  if (item >= 0) {
    PyErr_SetString(type, ("item " + std::to_string(item) + ": " + message).c_str());
  } else {
    PyErr_SetString(type, message.c_str());
  }
  throw py::error_already_set();
}

std::string Copy(py::handle obj, const char* what) {
  Arg text(obj, what);
  return std::string(text.c_str(), text.size());
}

}  // namespace urlkeys::python
