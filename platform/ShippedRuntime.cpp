// Linked into the shipped exes only, in place of a piece of the C++ runtime.
//
// When an exception escapes, the runtime's default terminate handler prints the
// exception's type, demangled, to stderr. Its demangler, and mingw's printf that the
// demangler formats with, are over 100 KiB of each exe, for a line no one sees: both
// programs are GUI programs with no console. Answering "not a mangled name" makes
// the handler print the name as the compiler wrote it, which still names the type.

#include <cstddef>

extern "C" char* __cxa_demangle(const char* /*mangled*/, char* /*buffer*/, std::size_t* /*length*/,
                                int* status) {
  if (status != nullptr) *status = -2;
  return nullptr;
}
