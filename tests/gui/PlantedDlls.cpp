#ifdef _WIN32
#include "tests/gui/PlantedDlls.h"

#include <iterator>

namespace gui {
namespace {

// What our programs' start loads by name and Windows does not take from its KnownDLLs:
// comctl32, what Common Controls 6 loads (uxtheme, and msimg32 under Wine), what uxtheme
// loads on Vista and 7 (dwmapi), advapi32's random numbers (cryptbase).
// Not here, because no program can keep them out under Wine 8, which has no KnownDLLs:
// version and imm32, which Wine's own user32 loads by name as it starts, before any
// code of the program runs (Windows' user32 loads neither by name: imm32 by its full
// path on XP and as a KnownDLL later, version not at all); nor the KnownDLLs themselves
// and what they import (kernelbase, sechost, ucrtbase and the like).
constexpr const wchar_t* kNames[] = {L"comctl32", L"uxtheme", L"msimg32", L"dwmapi", L"cryptbase"};

// The run's own overrides, and the planted names' native copies first.
std::wstring Overrides(const std::wstring& theRunsOwn) {
  std::wstring names;
  for (const wchar_t* name : kNames) names += (names.empty() ? L"" : L",") + std::wstring(name);
  return (theRunsOwn.empty() ? L"" : theRunsOwn + L";") + names + L"=n,b";
}

}  // namespace

PlantedDlls::PlantedDlls(std::wstring folder) : folder_(std::move(folder)) {
  for (const wchar_t* name : kNames) {
    CopyFileOrThrow(PLANTED_CANARY_DLL, folder_ + L"\\" + name + L".dll");
  }
  wchar_t saved[1024];
  const DWORD n =
      GetEnvironmentVariableW(L"WINEDLLOVERRIDES", saved, static_cast<DWORD>(std::size(saved)));
  hadOverrides_ = n > 0 && n < std::size(saved);
  if (hadOverrides_) savedOverrides_.assign(saved, n);
  SetEnvironmentVariableW(L"WINEDLLOVERRIDES", Overrides(savedOverrides_).c_str());
}

PlantedDlls::~PlantedDlls() {
  SetEnvironmentVariableW(L"WINEDLLOVERRIDES", hadOverrides_ ? savedOverrides_.c_str() : nullptr);
}

std::vector<std::wstring> PlantedDlls::Loaded() const {
  std::vector<std::wstring> loaded;
  for (const wchar_t* name : kNames) {
    const std::wstring dll = folder_ + L"\\" + name + L".dll";
    if (GetFileAttributesW((dll + L".loaded").c_str()) != INVALID_FILE_ATTRIBUTES) {
      loaded.push_back(dll);
    }
  }
  return loaded;
}

}  // namespace gui
#endif  // _WIN32
