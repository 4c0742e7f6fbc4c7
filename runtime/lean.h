// Included ahead of every source of a lean build (cmake/zel.cmake). The
// C++ library declares std::string's members as instantiated in the
// library, compiled with exceptions: linked from there they would bring the
// unwinder and the exception personality along. -1, the value the library
// itself uses when it checks assertions, lifts that declaration for
// basic_string only, so the members the programs use are compiled here,
// without exceptions, like the rest of their code.
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE -1
