// urlkeys._urlkeys: the library's URL functions and the key store for Python.
//
// Text conversion is in text.h, the batch driver (one URL with the GIL held,
// columns with it released) in batch.h, the operations in operations.h, and
// each concern registers its own functions and classes.
#include <pybind11/pybind11.h>

#include "bindings.h"

#ifndef URLKEYS_VERSION
#error "URLKEYS_VERSION must be defined by the build"
#endif

PYBIND11_MODULE(_urlkeys, m) {
  m.doc() =
      "The urlkeys library: URL components, simplified URLs, LCP candidates, "
      "TLD tests, IPv4 hosts, MD5 digests and key matching.";
  m.attr("__version__") = URLKEYS_VERSION;
  urlkeys::python::RegisterOperations(m);
  urlkeys::python::RegisterKeySet(m);
  urlkeys::python::RegisterLineMatcher(m);
}
