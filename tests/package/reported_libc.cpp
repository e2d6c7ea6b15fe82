// Preloaded into the portable folder's launcher by the package test: the C
// library reports the version in VELNO_REPORTED_LIBC, as an older one would.

#include <cstdlib>

extern "C" const char* gnu_get_libc_version() { return std::getenv("VELNO_REPORTED_LIBC"); }
