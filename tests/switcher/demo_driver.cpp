// Drives the headless `make demo`: runs the real Burnisher as a user would, switches the
// stand-in IDE to the XP style and back, and asks for a screenshot of each window.
//
// Usage: burnisher_demo_driver <Burnisher.exe> <IDE folder> <work folder>
// The work folder receives log.txt (the narrated log), NAME.want files (a request for a
// screenshot: "left top width height" of the window, taken by the script that started
// us, which deletes the file when done) and exit.txt with the driver's exit code.
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "switcher/frmMain.h"
#include "tests/gui/GuiDriver.h"

namespace {

using namespace std::chrono_literals;

std::wstring g_work;

void Log(const std::string& line) {
  std::ofstream out(std::filesystem::path(g_work + L"\\log.txt"), std::ios::app | std::ios::binary);
  out << line << "\n";
}

// Asks for a screenshot of `window` (with its frame) and waits until it is taken.
void Screenshot(HWND window, const std::string& name) {
  RECT r{};
  GetWindowRect(window, &r);
  const std::wstring want = g_work + L"\\" + std::wstring(name.begin(), name.end()) + L".want";
  {
    std::ofstream out(std::filesystem::path(want + L".tmp"), std::ios::binary);
    out << r.left << " " << r.top << " " << (r.right - r.left) << " " << (r.bottom - r.top) << "\n";
  }
  MoveFileExW((want + L".tmp").c_str(), want.c_str(), MOVEFILE_REPLACE_EXISTING);
  if (!gui::WaitUntil([&] { return GetFileAttributesW(want.c_str()) == INVALID_FILE_ATTRIBUTES; },
                      30s)) {
    Log("  (no screenshot " + name + ": nobody took it)");
  }
}

// Starts the stand-in VB6.EXE and tells which Common Controls it loaded.
bool RunProbe(const std::wstring& ide, bool expectXp) {
  const std::wstring out = g_work + L"\\probe.txt";
  DeleteFileW(out.c_str());
  gui::Process probe = gui::Process::Start(ide + L"\\VB6.EXE", ide, L"\"" + out + L"\"", 0s);
  probe.WaitForExit();
  std::string loaded = testfiles::ReadFile(out);
  loaded.erase(loaded.find_last_not_of("\r\n") + 1);
  const bool xp = gui::ContainsNoCase(std::wstring(loaded.begin(), loaded.end()), L"\\winsxs\\");
  Log("VB6.EXE starts and loads " + loaded);
  Log(xp ? "  -> Common Controls 6 from WinSxS: the IDE would be drawn in the XP style."
         : "  -> the system's comctl32: the IDE would be drawn in the standard style.");
  return xp == expectXp;
}

// One Burnisher session: read the buttons, click the enabled one, confirm the message.
bool Switch(const std::wstring& burnisher, const std::wstring& ide, int button,
            const std::string& shotPrefix) {
  gui::Process app = gui::Process::Start(burnisher, ide);
  const HWND main = gui::WaitForTopLevelWindow(app.Id(), L"Burnisher");
  gui::WaitForControls(main, {switcher::kIdOn, switcher::kIdOff});
  const auto state = [&](int id) {
    const HWND b = gui::ControlById(main, id);
    return "\"" + gui::Narrow(gui::WindowText(b)) + "\" is " +
           (IsWindowEnabled(b) ? "enabled" : "disabled");
  };
  Log("Burnisher opens. " + state(switcher::kIdOn) + ", " + state(switcher::kIdOff) + ".");
  Sleep(500);  // let the window finish painting before the picture
  Screenshot(main, shotPrefix + "-window");
  const HWND target = gui::ControlById(main, button);
  if (!IsWindowEnabled(target)) {
    Log("  unexpected: the button to click is disabled");
    return false;
  }
  Log("Clicking \"" + gui::Narrow(gui::WindowText(target)) + "\".");
  gui::Click(target);
  const gui::MessageBoxInfo box = gui::WaitForMessageBox(app.Id());
  Log("A message box \"" + gui::Narrow(box.caption) + "\" says: " + gui::Narrow(box.text));
  Sleep(500);
  Screenshot(box.hwnd, shotPrefix + "-message");
  Log("Confirming with OK.");
  gui::AnswerMessageBox(box.hwnd);
  const auto code = app.WaitForExit();
  Log("Burnisher ends with exit code " + (code ? std::to_string(*code) : std::string("(none)")) +
      ".");
  return code == std::optional<DWORD>(0u) && box.text == L"Reopen the VB6 IDE now...";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    fputs("usage: burnisher_demo_driver <Burnisher.exe> <IDE folder> <work folder>\n", stderr);
    return 2;
  }
  const std::wstring burnisher = argv[1];
  const std::wstring ide = argv[2];
  g_work = argv[3];
  bool ok = true;
  try {
    ok = RunProbe(ide, false) && ok;
    ok = Switch(burnisher, ide, switcher::kIdOn, "1-install") && ok;
    ok = RunProbe(ide, true) && ok;
    ok = Switch(burnisher, ide, switcher::kIdOff, "2-remove") && ok;
    ok = RunProbe(ide, false) && ok;
  } catch (const std::exception& e) {
    Log(std::string("The demo stopped: ") + e.what());
    ok = false;
  }
  const int code = ok ? 0 : 1;
  std::ofstream(std::filesystem::path(g_work + L"\\exit.txt")) << code << "\n";
  return code;
}
