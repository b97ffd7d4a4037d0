// The C++ library's error paths as dorvane.exe needs them, linked into the
// program only (the tests keep the library's own).
//
// The program catches std::bad_alloc and nothing else: Generate reports a
// page too large for memory. Any other exception the library could throw (a
// length beyond max_size(), an index out of range, ...) is caught nowhere, so
// it ends the program through std::terminate. The library's versions of the
// functions below build those exceptions, and with them its logic_error
// family, a second (reference-counted) std::string and std::random_device:
// about 85 KB of the executable for exceptions that only ever end it. Here the
// allocation failures throw as before and everything else goes straight to
// std::terminate, which is where it would have ended anyway.
//
// Defining these replaces the library's definitions, which sit in one object
// of the static library: if the program ever uses one not defined here, the
// linker pulls that object in and reports every function defined twice.
#include <cstdlib>
#include <exception>
#include <new>

// An exception that escapes ends the program at once. The library's own
// handler would print the exception's type first and drags a C++ name
// demangler (about 50 KB) into the executable for that.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace std {

// Caught by Generate (std::bad_array_new_length is a std::bad_alloc).
[[noreturn]] void __throw_bad_alloc() { throw bad_alloc(); }
[[noreturn]] void __throw_bad_array_new_length() { throw bad_array_new_length(); }

// Caught nowhere in the program.
[[noreturn]] void __throw_bad_exception() { terminate(); }
[[noreturn]] void __throw_bad_cast() { terminate(); }
[[noreturn]] void __throw_bad_typeid() { terminate(); }
[[noreturn]] void __throw_logic_error(const char*) { terminate(); }
[[noreturn]] void __throw_domain_error(const char*) { terminate(); }
[[noreturn]] void __throw_invalid_argument(const char*) { terminate(); }
[[noreturn]] void __throw_length_error(const char*) { terminate(); }
[[noreturn]] void __throw_out_of_range(const char*) { terminate(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { terminate(); }
[[noreturn]] void __throw_runtime_error(const char*) { terminate(); }
[[noreturn]] void __throw_range_error(const char*) { terminate(); }
[[noreturn]] void __throw_overflow_error(const char*) { terminate(); }
[[noreturn]] void __throw_underflow_error(const char*) { terminate(); }

}  // namespace std
