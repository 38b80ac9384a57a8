// Keeps pieces of the C++ run time that the loader never uses out of the executable, which is
// linked statically: on i386 they were more than half of it (see bench/ for the sizes).
//
// libstdc++ raises its own exceptions through the std::__throw_* functions of one object file
// that also defines the ones throwing logic_error and its kin; those carry their message in a
// copy-on-write string, which drags in the whole copy-on-write string class, and through it
// std::random_device and the small-string class. The default terminate handler prints the
// uncaught exception's demangled type, which drags in the demangler and mingw's printf with
// its floating-point formatting. Defining these functions here means the linker never needs
// those object files.
//
// What the loader does stays the same. Running out of memory still raises std::bad_alloc,
// which the loader reports. The other errors (a string beyond max_size(), a position past a
// string's end) are never caught by the loader: before, they reached std::terminate after a
// search for a handler that found none, and the default handler wrote the type to a standard
// error stream that a GUI program does not have, and aborted; now they reach std::terminate
// directly, and it aborts.
//
// Built into the Windows executable only; the unit tests keep the full run time.
#include <cstdlib>
#include <exception>
#include <new>
#include <typeinfo>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// All of that object file's functions, so that no later use of the standard library can need
// it again (it would clash with these).
namespace std {
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_bad_exception() { throw bad_exception(); }
void __throw_logic_error(const char*) { terminate(); }
void __throw_domain_error(const char*) { terminate(); }
void __throw_invalid_argument(const char*) { terminate(); }
void __throw_length_error(const char*) { terminate(); }
void __throw_out_of_range(const char*) { terminate(); }
void __throw_out_of_range_fmt(const char*, ...) { terminate(); }
void __throw_runtime_error(const char*) { terminate(); }
void __throw_range_error(const char*) { terminate(); }
void __throw_overflow_error(const char*) { terminate(); }
void __throw_underflow_error(const char*) { terminate(); }
}  // namespace std
