// Export macro of the urlkeys shared library: the library is built with
// hidden visibility, and only declarations marked URLKEYS_API are exported.
#ifndef URLKEYS_EXPORT_H
#define URLKEYS_EXPORT_H

#if defined(__GNUC__)
#define URLKEYS_API __attribute__((visibility("default")))
#else
#define URLKEYS_API
#endif

#endif
