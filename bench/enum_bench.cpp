// enum_bench: what EnumRegistryKeys and EnumRegistryValues cost beside a plain loop
// over the raw enumeration functions on the same key.
//
// Makes a scratch key below HKEY_CURRENT_USER with N subkeys and N values (N = 10,000
// or the first argument), lists both several times each way, prints the best time
// per item and the ratio ours / raw, and removes the scratch key again. On Windows
// (and under Wine) the raw loop calls advapi32 directly; on other hosts both sides
// run against the in-memory stand-in.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
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

constexpr int kRounds = 11;

#ifdef _WIN32
unsigned long ProcessId() { return GetCurrentProcessId(); }
#else
unsigned long ProcessId() { return static_cast<unsigned long>(getpid()); }
#endif

// The raw loops: open, enumerate until the first status other than 0, close, with the
// arguments the listings pass: for subkeys a one-character class buffer and the
// last-write time, for values one 4096-byte data buffer. One name buffer is reused
// for every index, and nothing is kept.
int32_t RawKeys(RegistryApi& api, const std::string& path) {
  int32_t count = 0;
#ifdef _WIN32
  (void)api;
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return -1;
  }
  char name[260];
  char className[1];
  FILETIME written;
  for (DWORD i = 0;; ++i) {
    DWORD len = sizeof name;
    DWORD classLen = sizeof className;
    if (::RegEnumKeyExA(key, i, name, &len, nullptr, className, &classLen, &written) !=
        ERROR_SUCCESS) {
      break;
    }
    ++count;
  }
  ::RegCloseKey(key);
#else
  RegHandle key = 0;
  if (api.RegOpenKeyExA(reg::kCurrentUser, path.c_str(), 0, reg::kKeyRead, &key) != 0) return -1;
  char name[260];
  char className[1];
  RegFileTime written{};
  for (uint32_t i = 0;; ++i) {
    uint32_t len = sizeof name;
    uint32_t classLen = sizeof className;
    if (api.RegEnumKeyExA(key, i, name, &len, nullptr, className, &classLen, &written) != 0) {
      break;
    }
    ++count;
  }
  api.RegCloseKey(key);
#endif
  return count;
}

int32_t RawValues(RegistryApi& api, const std::string& path) {
  int32_t count = 0;
  std::vector<uint8_t> data(4096);
#ifdef _WIN32
  (void)api;
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return -1;
  }
  char name[260];
  for (DWORD i = 0;; ++i) {
    DWORD len = sizeof name;
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(data.size());
    if (::RegEnumValueA(key, i, name, &len, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) {
      break;
    }
    ++count;
  }
  ::RegCloseKey(key);
#else
  RegHandle key = 0;
  if (api.RegOpenKeyExA(reg::kCurrentUser, path.c_str(), 0, reg::kKeyRead, &key) != 0) return -1;
  char name[260];
  for (uint32_t i = 0;; ++i) {
    uint32_t len = sizeof name;
    uint32_t type = 0;
    auto size = static_cast<uint32_t>(data.size());
    if (api.RegEnumValueA(key, i, name, &len, nullptr, &type, data.data(), &size) != 0) break;
    ++count;
  }
  api.RegCloseKey(key);
#endif
  return count;
}

struct Timing {
  double ours = 1e300;  // best round, seconds
  double raw = 1e300;
  double ratio = 0;       // median of the rounds' own ratios
  int32_t oursCount = 0;  // what the last round listed
  int32_t rawCount = 0;
};

double Seconds(const std::function<int32_t()>& run, int32_t& count) {
  const auto start = std::chrono::steady_clock::now();
  count = run();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  return took.count();
}

// The two sides take turns, so a slow spell of a shared machine hits both alike. The
// best round of each gives the times; the ratio is the median of each round's ratio
// of its two adjacent runs, which a slow spell spanning several rounds cannot skew
// the way it skews two independent bests.
Timing Compare(const std::function<int32_t()>& ours, const std::function<int32_t()>& raw) {
  Timing t;
  std::vector<double> ratios;
  for (int round = 0; round < kRounds; ++round) {
    const double o = Seconds(ours, t.oursCount);
    const double r = Seconds(raw, t.rawCount);
    t.ours = std::min(t.ours, o);
    t.raw = std::min(t.raw, r);
    ratios.push_back(o / r);
  }
  std::nth_element(ratios.begin(), ratios.begin() + kRounds / 2, ratios.end());
  t.ratio = ratios[kRounds / 2];
  return t;
}

bool Populate(RegistryApi& api, const std::string& path, int n) {
  RegHandle key = 0;
  uint32_t disposition = 0;
  if (api.RegCreateKeyExA(reg::kCurrentUser, path.c_str(), 0, nullptr, 0, reg::kKeyAllAccess,
                          nullptr, &key, &disposition) != 0) {
    return false;
  }
  bool ok = true;
  char name[32];
  for (int i = 0; i < n && ok; ++i) {
    std::snprintf(name, sizeof name, "Sub%05d", i);
    RegHandle child = 0;
    ok = api.RegCreateKeyExA(key, name, 0, nullptr, 0, reg::kKeyAllAccess, nullptr, &child,
                             &disposition) == 0;
    if (ok) api.RegCloseKey(child);
    std::snprintf(name, sizeof name, "Value%05d", i);
    const std::string data = "data of " + std::string(name);
    ok = ok && api.RegSetValueExA(key, name, 0, reg::kRegSz,
                                  reinterpret_cast<const uint8_t*>(data.c_str()),
                                  static_cast<uint32_t>(data.size() + 1)) == 0;
  }
  api.RegCloseKey(key);
  return ok;
}

void Remove(RegistryApi& api, const std::string& parent, const std::string& path, int n) {
  RegHandle key = 0;
  if (api.RegOpenKeyExA(reg::kCurrentUser, path.c_str(), 0, reg::kKeyAllAccess, &key) == 0) {
    char name[32];
    for (int i = 0; i < n; ++i) {
      std::snprintf(name, sizeof name, "Sub%05d", i);
      api.RegDeleteKeyA(key, name);
    }
    api.RegCloseKey(key);
  }
  api.RegDeleteKeyA(reg::kCurrentUser, path.c_str());
  api.RegDeleteKeyA(reg::kCurrentUser, parent.c_str());  // only goes when nothing else is there
}

bool Report(const char* what, int n, const Timing& t) {
  const bool counted = t.oursCount == n && t.rawCount == n;
  std::printf("%-7s %6d items  ours %8.3f us/item  raw loop %8.3f us/item  ratio %.2fx%s\n", what,
              n, t.ours * 1e6 / n, t.raw * 1e6 / n, t.ratio, counted ? "" : "  (COUNT MISMATCH)");
  return counted;
}

}  // namespace

int main(int argc, char** argv) {
  // strtol, not atoi: text that is no number comes back as 0 and is refused.
  const long parsed = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10000;
  if (parsed <= 0 || parsed > 99999) {
    std::fprintf(stderr, "usage: enum_bench [items, 1..99999]\n");
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
  const std::string path = parent + "\\p" + std::to_string(ProcessId());

  std::printf(
      "enum_bench: %d subkeys and %d values under HKCU\\%s, best of %d rounds, median ratio\n", n,
      n, path.c_str(), kRounds);
  if (!Populate(api, path, n)) {
    std::fprintf(stderr, "could not create the scratch key and its items\n");
    Remove(api, parent, path, n);
    return 1;
  }

  RegistryRoutines routines(api);
  const String keyName = api.FromAnsi(path);
  const bool keysOk =
      Report("subkeys", n,
             Compare([&] { return routines.EnumRegistryKeys(reg::kCurrentUser, keyName).Count(); },
                     [&] { return RawKeys(api, path); }));
  const bool valuesOk = Report(
      "values", n,
      Compare([&] { return routines.EnumRegistryValues(reg::kCurrentUser, keyName).Count(); },
              [&] { return RawValues(api, path); }));

  Remove(api, parent, path, n);
  return keysOk && valuesOk ? 0 : 1;
}
