// Linked into nearwatch.exe only (the test programs keep the full runtime).
// The C++ runtime's defaults for a few failures bring far more than the
// program uses: the terminate handler that prints the exception's demangled
// type to a console the program does not have (a demangler and a printf,
// about 60 KB), and the throwers of the standard containers, which build
// logic_error and its relatives on a second string implementation (about
// 50 KB). These stand-ins keep what the program relies on: a failed
// allocation is a std::bad_alloc, which its handlers catch, and any other
// failure still reaches the frame's guard and the crash report.
// tools/size-report.sh shows what each library brings.
#include <bits/functexcept.h>
#include <cstdlib>
#include <exception>
#include <new>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace std {

void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
// A length beyond what a container can hold is a request no allocation meets.
void __throw_length_error(const char*) { throw bad_alloc(); }
void __throw_logic_error(const char*) { throw exception(); }
void __throw_out_of_range(const char*) { throw exception(); }
void __throw_out_of_range_fmt(const char*, ...) { throw exception(); }
void __throw_invalid_argument(const char*) { throw exception(); }

}  // namespace std
