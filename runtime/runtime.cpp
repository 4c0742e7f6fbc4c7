// The few pieces of the C++ runtime library the programs use, for builds
// that link none (ZEL_LEAN_RUNTIME). Nothing in the programs catches an
// exception, so what the library would throw ends the program at once
// instead: a failed allocation, and the logic errors of std::string and
// std::stoi (an index past the end, a text too long, not a number). That
// keeps the unwinder, the demangler of the default terminate handler,
// iostreams and locales out of the programs. Linked into the programs only:
// the unit tests keep the real library and its exceptions.
#include <bits/functexcept.h>
#include <cstdlib>
#include <new>

void* operator new(std::size_t size)
{
    void* block = std::malloc(size != 0 ? size : 1);
    if (block == nullptr)
        std::abort();
    return block;
}

void* operator new[](std::size_t size)
{
    return operator new(size);
}

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete[](void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}

void operator delete[](void* block, std::size_t) noexcept
{
    std::free(block);
}

namespace std {

void __throw_bad_alloc()
{
    abort();
}

void __throw_bad_array_new_length()
{
    abort();
}

void __throw_logic_error(const char*)
{
    abort();
}

void __throw_length_error(const char*)
{
    abort();
}

void __throw_out_of_range(const char*)
{
    abort();
}

void __throw_out_of_range_fmt(const char*, ...)
{
    abort();
}

void __throw_invalid_argument(const char*)
{
    abort();
}

}  // namespace std
