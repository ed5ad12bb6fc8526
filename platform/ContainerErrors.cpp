// Burnisher's containers report an impossible size or index as std::bad_alloc.
//
// Linked into Burnisher, and into the tests of the registry class and the switcher on
// Windows, in place of the C++ runtime's own versions of these functions. Those sit in
// one object together, and each builds a standard exception around a copy-on-write
// string: some 80 KiB of Burnisher for messages nobody reads. Here each throws the
// one standard exception that needs no string.
//
// It holds because no code in Burnisher tells these exceptions apart: every member of
// the registry class turns whatever its body throws into its result, through one
// handler for all (registry/NoThrow.h), and the switcher catches nothing. Code that
// wants to catch std::out_of_range or std::length_error from a container has to look
// before it asks instead. Sheenling is built without exceptions and needs none of this.
#include <new>

namespace std {
[[noreturn]] void __throw_bad_alloc() { throw bad_alloc(); }
[[noreturn]] void __throw_bad_array_new_length() { throw bad_array_new_length(); }
[[noreturn]] void __throw_length_error(const char*) { throw bad_alloc(); }
[[noreturn]] void __throw_logic_error(const char*) { throw bad_alloc(); }
[[noreturn]] void __throw_out_of_range(const char*) { throw bad_alloc(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { throw bad_alloc(); }
[[noreturn]] void __throw_invalid_argument(const char*) { throw bad_alloc(); }
}  // namespace std
