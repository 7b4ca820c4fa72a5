// Includes the one header named by URLKEYS_LAYER_HEADER. Built in a
// subsystem's include context by the layering test: it must build for a
// header of a folder the subsystem may use and fail for any other.
#include URLKEYS_LAYER_HEADER
