// Visibility of the utility functions: they stay exported from the plug-in
// library even when it is built with hidden visibility.
#ifndef BASICFUN_EXPORT_H
#define BASICFUN_EXPORT_H

#define BASICFUN_API __attribute__((visibility("default")))

#endif
