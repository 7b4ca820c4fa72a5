// KeySet: a set of keys for matching, held in the key store.
#ifndef URLKEYS_PYTHON_KEYSET_H_
#define URLKEYS_PYTHON_KEYSET_H_

#include "match/key_store.h"

namespace urlkeys::python {

// It is not changed after it is built, so matching may run on several
// threads at once.
struct KeySet {
  match::KeyStore store;
};

}  // namespace urlkeys::python

#endif  // URLKEYS_PYTHON_KEYSET_H_
