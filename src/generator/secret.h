#pragma once

#include <cstddef>
#include <memory>
#include <string.h>
#include <string>

// Memory for secrets: wiped before it goes back to the heap, so a freed
// password does not linger there.
template <typename T> struct WipingAllocator {
    using value_type = T;

    WipingAllocator() = default;
    template <typename U> WipingAllocator(const WipingAllocator<U> &) {}

    T *allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
    void deallocate(T *p, std::size_t n)
    {
        explicit_bzero(p, n * sizeof(T));
        std::allocator<T>().deallocate(p, n);
    }
    template <typename U> bool operator==(const WipingAllocator<U> &) const { return true; }
};

// A string for passwords. Only text on the heap is wiped by the allocator:
// MakeSecret reserves past the string's in-object buffer so that nothing
// of it is ever kept there.
using SecretString = std::basic_string<char, std::char_traits<char>, WipingAllocator<char>>;

inline SecretString MakeSecret(std::size_t capacity)
{
    SecretString s;
    s.reserve(capacity < 32 ? 32 : capacity);
    return s;
}
