// Linked into Burnisher only, in place of a piece of the C++ runtime (Sheenling is
// built without exceptions and needs none of this).
//
// The containers and strings report an impossible size or index through these. The
// runtime's own versions sit in one object with all the others, each of which builds
// a standard exception around a copy-on-write string: together about 80 KiB of
// Burnisher. Nothing in the programs tells those exceptions apart (the registry class
// turns every failed step into its result), so each is reported as the one that
// needs no string: a failed allocation.
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
