// Force-included in the musl builds (cmake/toolchains/musl-common.cmake):
// Debian's C++ headers were configured for glibc and use two of its names.
// musl passes every version test they make (threads in libc, no obsolete
// isinf and isnan, no gets in C++), and its locale handle is glibc's type.
#define __GLIBC_PREREQ(major, minor) 1
typedef struct __locale_struct* __locale_t;
