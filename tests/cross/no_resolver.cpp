// Statically linked cross test programs: GoogleTest's optional result
// streaming calls getaddrinfo, which glibc can only offer in static programs
// by loading shared NSS modules at run time (and warns about at link time).
// The tests never stream results, so the resolver is replaced by one that
// always fails.
#include <netdb.h>

extern "C" {

int __wrap_getaddrinfo(const char*, const char*, const addrinfo*, addrinfo** result) {
    if (result != nullptr) *result = nullptr;
    return EAI_FAIL;
}

void __wrap_freeaddrinfo(addrinfo*) {}

const char* __wrap_gai_strerror(int) { return "name resolution is not available in test programs"; }

}
