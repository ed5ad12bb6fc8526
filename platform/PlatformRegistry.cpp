#include "platform/RegistryApi.h"

#ifdef _WIN32

#include "platform/Win32Registry.h"

namespace vbreg {

RegistryApi& PlatformRegistry() {
  static Win32Registry registry;
  return registry;
}

}  // namespace vbreg

#endif  // _WIN32
