// Linked into the shipped programs and the DLL (and the probe that tests it),
// never into the test programs.
//
// None of this code reports errors by exception, and nothing catches one: a
// throw from the C++ runtime (an allocation failure, a string grown past its
// maximum) ends the process through std::terminate whatever happens. The
// runtime's own versions of these entry points reach that end through the
// exception machinery, the demangler, the reference-counted std::string of
// the old ABI and the formatted message of the verbose terminate handler,
// which together make up about half of each deliverable. Ending the process
// here directly behaves the same for the user and keeps all of that out.
#include <cstddef>
#include <cstdlib>
#include <new>
#include <string>

namespace {
// Ends the process with abort's exit code, but without abort's "Runtime
// error" message box, which the C runtime shows for windowed programs: the
// Updater runs unattended and would wait on it for ever.
[[noreturn]] void Fail()
{
    std::_Exit(3);
}
}  // namespace

namespace __gnu_cxx {
void __verbose_terminate_handler()
{
    Fail();
}
}  // namespace __gnu_cxx

namespace std {
void __throw_bad_exception() { Fail(); }
void __throw_bad_alloc() { Fail(); }
void __throw_bad_array_new_length() { Fail(); }
void __throw_bad_cast() { Fail(); }
void __throw_bad_typeid() { Fail(); }
void __throw_logic_error(const char*) { Fail(); }
void __throw_domain_error(const char*) { Fail(); }
void __throw_invalid_argument(const char*) { Fail(); }
void __throw_length_error(const char*) { Fail(); }
void __throw_out_of_range(const char*) { Fail(); }
void __throw_out_of_range_fmt(const char*, ...) { Fail(); }
void __throw_runtime_error(const char*) { Fail(); }
void __throw_range_error(const char*) { Fail(); }
void __throw_overflow_error(const char*) { Fail(); }
void __throw_underflow_error(const char*) { Fail(); }
void __throw_system_error(int) { Fail(); }
void __throw_future_error(int) { Fail(); }
void __throw_bad_function_call() { Fail(); }
}  // namespace std

// The runtime library carries its own copies of the string classes, compiled
// with exception tables: the first string member that the code calls would
// bring in all of them together with the exception machinery they need.
// Instantiated here, without those tables, each member the code uses is
// compiled into the deliverable and the rest is dropped by the linker.
template class std::basic_string<char>;
template class std::basic_string<wchar_t>;
template std::string std::operator+(const char*, const std::string&);
template std::string std::operator+(char, const std::string&);
template std::wstring std::operator+(const wchar_t*, const std::wstring&);
template std::wstring std::operator+(wchar_t, const std::wstring&);

// Allocation failure ends the process at once instead of throwing
// std::bad_alloc into code that has no handler for it.
void* operator new(std::size_t size)
{
    void* p = std::malloc(size ? size : 1);
    if (!p)
        Fail();
    return p;
}

void* operator new[](std::size_t size)
{
    return operator new(size);
}

// The code that asks for memory without a throw gets a null pointer back
// and handles it; that stays so.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size ? size : 1);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete[](void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
