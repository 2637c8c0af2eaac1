// Replacements for the few pieces of the C++ runtime that would otherwise bring the
// exception machinery (unwinder, personality routine, demangler) into Stub.exe. The
// stub is built without exceptions and never catches one: where the library would
// throw, the stub ends with a failure code instead. Linked into Stub.exe only; the
// object's definitions win over the library's archive members.
#include <windows.h>

#include <bits/functexcept.h>
#include <cstdlib>
#include <new>

namespace {

constexpr UINT kRuntimeFailure = 3;

[[noreturn]] void Fail() { ExitProcess(kRuntimeFailure); }

void* Allocate(size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (!p) Fail();  // out of memory: nothing sensible is left to do
  return p;
}

}  // namespace

// The library's verbose handler drags the demangler (and a printf) into the image; a
// stub that reaches std::terminate has nothing useful to print anyway.
namespace __gnu_cxx {
void __verbose_terminate_handler() { Fail(); }
}  // namespace __gnu_cxx

namespace std {
void __throw_bad_alloc() { Fail(); }
void __throw_length_error(const char*) { Fail(); }
void __throw_logic_error(const char*) { Fail(); }
void __throw_out_of_range_fmt(const char*, ...) { Fail(); }
void __throw_bad_function_call() { Fail(); }
void __throw_bad_array_new_length() { Fail(); }
}  // namespace std

// The library's operator new throws std::bad_alloc.
void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
