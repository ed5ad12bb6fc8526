// read_bench: what GetRegistryValue costs beside a plain open / query / close loop
// reading the same value, for a short string and a 5,000-byte one.
//
// Makes a scratch key below HKEY_CURRENT_USER with the two values, reads each one
// N times (N = 2,000 or the first argument) both ways, rounds interleaved, and
// prints the best time per read and the ratio ours / plain as table rows. The plain
// loop reads into a buffer large enough for either value, with one query; ours
// queries into 1,024 bytes first and, for the long value, once more at the size
// Windows reports, then decodes the text into a wide string; a third loop shaped
// like ours (1,024 bytes first) shows how much of that gap is the second query. On other hosts both
// sides run against the in-memory stand-in.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>

#include "tests/standin/FakeRegistry.h"
#endif

#include "registry/RegistryRoutines.h"

using namespace vbreg;

namespace {

constexpr int kRounds = 7;

#ifdef _WIN32
unsigned long ProcessId() { return GetCurrentProcessId(); }
#else
unsigned long ProcessId() { return static_cast<unsigned long>(getpid()); }
#endif

// One plain read: open for reading, query into a fixed 8 KiB buffer, close.
// Returns the byte count read (0 on failure).
uint32_t PlainRead(RegistryApi& api, const std::string& path, const char* value,
                   std::vector<uint8_t>& buffer) {
#ifdef _WIN32
  (void)api;
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return 0;
  }
  DWORD type = 0;
  auto size = static_cast<DWORD>(buffer.size());
  const LONG status = ::RegQueryValueExA(key, value, nullptr, &type, buffer.data(), &size);
  ::RegCloseKey(key);
  return status == ERROR_SUCCESS ? size : 0;
#else
  RegHandle key = 0;
  if (api.RegOpenKeyExA(reg::kCurrentUser, path.c_str(), 0, reg::kKeyRead, &key) != 0) return 0;
  uint32_t type = 0;
  auto size = static_cast<uint32_t>(buffer.size());
  const RegStatus status = api.RegQueryValueExA(key, value, nullptr, &type, buffer.data(), &size);
  api.RegCloseKey(key);
  return status == 0 ? size : 0;
#endif
}

// The plain loop shaped like the reader: query into 1,024 bytes first and, when
// Windows answers more-data, once more at the reported size. Shows how much of the
// gap on long values is the second query rather than the wrapper.
uint32_t PlainReadTwice(RegistryApi& api, const std::string& path, const char* value,
                        std::vector<uint8_t>& buffer) {
#ifdef _WIN32
  (void)api;
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return 0;
  }
  DWORD type = 0;
  DWORD size = 1024;
  LONG status = ::RegQueryValueExA(key, value, nullptr, &type, buffer.data(), &size);
  if (status == ERROR_MORE_DATA && size <= buffer.size()) {
    status = ::RegQueryValueExA(key, value, nullptr, &type, buffer.data(), &size);
  }
  ::RegCloseKey(key);
  return status == ERROR_SUCCESS ? size : 0;
#else
  RegHandle key = 0;
  if (api.RegOpenKeyExA(reg::kCurrentUser, path.c_str(), 0, reg::kKeyRead, &key) != 0) return 0;
  uint32_t type = 0;
  uint32_t size = 1024;
  RegStatus status = api.RegQueryValueExA(key, value, nullptr, &type, buffer.data(), &size);
  if (status == reg::kMoreData && size <= buffer.size()) {
    status = api.RegQueryValueExA(key, value, nullptr, &type, buffer.data(), &size);
  }
  api.RegCloseKey(key);
  return status == 0 ? size : 0;
#endif
}

bool Put(RegistryApi& api, const std::string& path, const char* name, const std::string& text) {
  RegHandle key = 0;
  uint32_t disposition = 0;
  if (api.RegCreateKeyExA(reg::kCurrentUser, path.c_str(), 0, nullptr, 0, reg::kKeyAllAccess,
                          nullptr, &key, &disposition) != 0) {
    return false;
  }
  const bool ok =
      api.RegSetValueExA(key, name, 0, reg::kRegSz, reinterpret_cast<const uint8_t*>(text.c_str()),
                         static_cast<uint32_t>(text.size() + 1)) == 0;
  api.RegCloseKey(key);
  return ok;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Best time per read of each way, rounds interleaved so both see the same machine.
// False when either way read the wrong thing.
bool Measure(RegistryApi& api, const std::string& path, const char* value, size_t expected, int n,
             double& ours, double& plain, double& twice) {
  RegistryRoutines routines(api);
  routines.hkey(reg::kCurrentUser);
  routines.KeyRoot(api.FromAnsi(path));
  const String name = api.FromAnsi(value);
  std::vector<uint8_t> buffer(8192);
  ours = plain = twice = 1e300;
  bool ok = true;
  for (int round = 0; round < kRounds; ++round) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < n; ++i) {
      const Variant v = routines.GetRegistryValue(name);
      ok = ok && v.kind() == Variant::Kind::Text && v.AsString().size() == expected;
    }
    ours = std::min(ours, Seconds(start) / n);
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < n; ++i) ok = ok && PlainRead(api, path, value, buffer) == expected + 1;
    plain = std::min(plain, Seconds(start) / n);
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < n; ++i) ok = ok && PlainReadTwice(api, path, value, buffer) == expected + 1;
    twice = std::min(twice, Seconds(start) / n);
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  // strtol, not atoi: text that is no number comes back as 0 and is refused.
  const long parsed = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 2000;
  if (parsed <= 0 || parsed > 1000000) {
    std::fprintf(stderr, "usage: read_bench [reads per round, 1..1000000]\n");
    return 2;
  }
  const int n = static_cast<int>(parsed);
#ifdef _WIN32
  RegistryApi& api = PlatformRegistry();
#else
  FakeRegistry standin;
  RegistryApi& api = standin;
#endif
  const std::string parent = "Software\\BurnisherBench";
  const std::string path = parent + "\\r" + std::to_string(ProcessId());
  const std::string small = "C:\\Program Files\\Microsoft Visual Studio\\Common\\IDE\\IDE98";
  std::string large(5000 - 1, 'x');  // 5,000 bytes with the terminator
  for (size_t i = 0; i < large.size(); i += 64) large[i] = static_cast<char>('A' + (i / 64) % 26);

  bool ok = Put(api, path, "Small", small) && Put(api, path, "Large", large);
  double ours = 0;
  double plain = 0;
  double twice = 0;
  char label[80];
  if (ok) {
    for (const auto& [value, size] : {std::pair<const char*, size_t>{"Small", small.size()},
                                      std::pair<const char*, size_t>{"Large", large.size()}}) {
      const bool right = Measure(api, path, value, size, n, ours, plain, twice);
      std::snprintf(label, sizeof label, "GetRegistryValue, %zu-byte REG_SZ", size + 1);
      std::printf("%-44s %10.2f us %12.2f us %8.2fx%s\n", label, ours * 1e6, plain * 1e6,
                  ours / plain, right ? "" : "  (WRONG RESULT)");
      if (size + 1 > 1024) {
        std::snprintf(label, sizeof label, "  same, plain loop querying 1024 B first");
        std::printf("%-44s %10.2f us %12.2f us %8.2fx\n", label, ours * 1e6, twice * 1e6,
                    ours / twice);
      }
      ok = ok && right;
    }
  } else {
    std::fprintf(stderr, "read_bench: could not create the scratch key HKCU\\%s\n", path.c_str());
  }
  api.RegDeleteKeyA(reg::kCurrentUser, path.c_str());
  api.RegDeleteKeyA(reg::kCurrentUser, parent.c_str());  // only goes when nothing else is there
  return ok ? 0 : 1;
}
