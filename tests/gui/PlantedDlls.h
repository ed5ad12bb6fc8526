// PlantedDlls: DLLs left beside one of our programs under the names its start loads, and
// what became of them. Wine is told to prefer a DLL beside the exe for those names, as
// Windows does for any name it does not take from its KnownDLLs.
#pragma once
#ifdef _WIN32

#include <string>
#include <vector>

#include "tests/gui/GuiDriver.h"

namespace gui {

class PlantedDlls {
 public:
  // Leaves a copy of the canary DLL in `folder` under each name, and sets
  // WINEDLLOVERRIDES for the programs started while this lives. Throws
  // std::runtime_error when a copy cannot be made.
  explicit PlantedDlls(std::wstring folder);
  PlantedDlls(const PlantedDlls&) = delete;
  PlantedDlls& operator=(const PlantedDlls&) = delete;
  ~PlantedDlls();  // puts WINEDLLOVERRIDES back

  // The planted DLLs that were loaded: each leaves a mark as it loads (under Wine even
  // one whose imports do not resolve), which outlasts the program.
  std::vector<std::wstring> Loaded() const;

 private:
  std::wstring folder_;
  std::wstring savedOverrides_;
  bool hadOverrides_ = false;
};

}  // namespace gui

#endif  // _WIN32
