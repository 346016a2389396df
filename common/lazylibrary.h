#pragma once
// A shared library bound on first use, for libraries that only some runs need: loading one
// with the program costs every start, used or not. A binding file defines the library's
// functions it calls with LAZY_FORWARD, each forwarding to the library loaded the first time
// one of them runs; callers check failure() before the first call. No Qt: the zip engine
// uses it too.

#include <dlfcn.h>
#include <string>

class LazyLibrary
{
public:
    explicit LazyLibrary(const char *soname)
    {
        m_handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
        if (!m_handle) {
            const char *why = dlerror();
            m_failure = why ? why : std::string(soname) + " cannot be loaded";
        }
    }
    LazyLibrary(const LazyLibrary &) = delete;
    LazyLibrary &operator=(const LazyLibrary &) = delete;

    bool loaded() const { return m_handle != nullptr; }
    // Why the library could not be loaded; empty when it was.
    const std::string &failure() const { return m_failure; }
    bool has(const char *symbol) const { return m_handle && dlsym(m_handle, symbol); }

    // The function `symbol`; a missing one ends the program, since callers checked first.
    template <typename F> F *bound(const char *symbol) const
    {
        void *address = m_handle ? dlsym(m_handle, symbol) : nullptr;
        if (!address)
            __builtin_trap();
        return reinterpret_cast<F *>(address);
    }

private:
    void *m_handle = nullptr;
    std::string m_failure;
};

// Defines `name` to forward to the same function of the LazyLibrary that `library()` returns.
#define LAZY_FORWARD(library, ret, name, params, args)                                             \
    ret name params                                                                                \
    {                                                                                              \
        static const auto bound_ = (library)().bound<decltype(::name)>(#name);                     \
        return bound_ args;                                                                        \
    }
