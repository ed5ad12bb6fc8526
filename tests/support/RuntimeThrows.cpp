// The rest of the C++ runtime's object that platform/ContainerErrors.cpp stands in for,
// as the runtime has them. A test program links iostreams and locales, which need
// these; with ContainerErrors.cpp taking the place of that object, they come from here.
#include <exception>
#include <stdexcept>
#include <typeinfo>

namespace std {
[[noreturn]] void __throw_bad_cast() { throw bad_cast(); }
[[noreturn]] void __throw_bad_typeid() { throw bad_typeid(); }
[[noreturn]] void __throw_bad_exception() { throw bad_exception(); }
[[noreturn]] void __throw_runtime_error(const char* what) { throw runtime_error(what); }
[[noreturn]] void __throw_range_error(const char* what) { throw range_error(what); }
[[noreturn]] void __throw_domain_error(const char* what) { throw domain_error(what); }
[[noreturn]] void __throw_overflow_error(const char* what) { throw overflow_error(what); }
[[noreturn]] void __throw_underflow_error(const char* what) { throw underflow_error(what); }
}  // namespace std
