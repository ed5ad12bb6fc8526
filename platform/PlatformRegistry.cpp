#include "platform/RegistryApi.h"

#ifdef _WIN32
#include "platform/Win32Registry.h"
#else
#include "tests/standin/FakeRegistry.h"
#endif

namespace vbreg {

RegistryApi& PlatformRegistry() {
#ifdef _WIN32
  static Win32Registry registry;
#else
  // No Windows registry here: one stand-in shared by the whole process.
  static FakeRegistry registry;
#endif
  return registry;
}

}  // namespace vbreg
