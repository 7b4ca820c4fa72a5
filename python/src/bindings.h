// Registration of the module's functions and classes, one function per
// concern; PYBIND11_MODULE calls them in turn.
#ifndef URLKEYS_PYTHON_BINDINGS_H_
#define URLKEYS_PYTHON_BINDINGS_H_

#include <pybind11/pybind11.h>

namespace urlkeys::python {

// The URL functions and their *_many forms, and the small host and TLD
// tests. Imports urlkeys._types for the named tuples they return.
void RegisterOperations(pybind11::module_& m);
// KeySet.
void RegisterKeySet(pybind11::module_& m);
// _LineMatcher (after KeySet, which it takes).
void RegisterLineMatcher(pybind11::module_& m);

}  // namespace urlkeys::python

#endif  // URLKEYS_PYTHON_BINDINGS_H_
