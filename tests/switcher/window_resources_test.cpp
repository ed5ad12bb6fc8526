// Both programs' windows made in this process on their exes' resources (no code of the
// exes runs): what cannot be examined across processes, their fonts and icons.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "demo/frmMain.h"
#include "tests/standin/FakeRegistry.h"
#include "switcher/Switcher.h"
#include "switcher/frmMain.h"
#include "tests/gui/GuiDriver.h"
#include "tests/gui/WindowChecks.h"

namespace {

// The width and height of an icon's colour (or mask) bitmap.
SIZE IconSize(HICON icon) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return SIZE{};
  BITMAP bitmap{};
  GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
  const SIZE size{bitmap.bmWidth, info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2};
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  return size;
}

BOOL CALLBACK FindBurnisher(HWND hwnd, LPARAM found) {
  if (gui::WindowText(hwnd) != L"Burnisher") return TRUE;
  *reinterpret_cast<HWND*>(found) = hwnd;
  return FALSE;
}

// An exe mapped for its resources only (no code of it runs), so that a window made here
// on its behalf takes the exe's icon; the window class registered for it goes with it.
class ExeImage {
 public:
  explicit ExeImage(const wchar_t* exe)
      : module_(LoadLibraryExW(exe, nullptr, DONT_RESOLVE_DLL_REFERENCES)) {}
  ExeImage(const ExeImage&) = delete;
  ExeImage& operator=(const ExeImage&) = delete;
  ~ExeImage() {
    if (!module_) return;
    if (!className_.empty()) UnregisterClassW(className_.c_str(), module_);
    FreeLibrary(module_);
  }
  HMODULE Get() const { return module_; }
  void Registered(HWND window) { className_ = gui::ClassName(window); }

 private:
  HMODULE module_;
  std::wstring className_;
};

// Burnisher's window made in this process on Burnisher.exe's resources.
class BurnisherWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(image_.Get(), nullptr) << "Win32 error " << GetLastError();
    ASSERT_TRUE(form_->Show(image_.Get(), SW_HIDE)) << "Win32 error " << GetLastError();
    EnumThreadWindows(GetCurrentThreadId(), &FindBurnisher, reinterpret_cast<LPARAM>(&main_));
    ASSERT_NE(main_, nullptr);
    image_.Registered(main_);
  }
  void TearDown() override {
    form_.reset();
    gui::DrainMessages();
  }

  ExeImage image_{BURNISHER_EXE};
  FakeRegistry registry_;
  switcher::Switcher logic_{registry_, L"C:\\nowhere"};
  std::unique_ptr<switcher::frmMain> form_ = std::make_unique<switcher::frmMain>(logic_);
  HWND main_ = nullptr;
};

TEST_F(BurnisherWindow, TheWindowAndEveryControlUseTahoma825Regular) {
  gui::ExpectTahoma825Throughout(main_,
                                 reinterpret_cast<HFONT>(SendMessageW(main_, WM_GETFONT, 0, 0)), 4);
}

// The title bar and Alt+Tab show the window class's icons: the exe's own, not the stock one.
void ExpectTheExesIconOnTheTitleBar(HWND window) {
  const auto large = reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICON));
  const auto small = reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICONSM));
  ASSERT_NE(large, nullptr);
  ASSERT_NE(small, nullptr);
  EXPECT_NE(large, LoadIconW(nullptr, IDI_APPLICATION)) << "not the stock icon";
  EXPECT_EQ(IconSize(large).cx, GetSystemMetrics(SM_CXICON));
  EXPECT_EQ(IconSize(small).cx, GetSystemMetrics(SM_CXSMICON));
}

// Each exe carries an icon of its own in the usual sizes (Explorer's view of it).
TEST(ExeIcons, EachExeCarriesItsOwnIcon) {
  for (const wchar_t* exe : {BURNISHER_EXE, SHEENLING_EXE}) {
    SCOPED_TRACE(gui::Narrow(exe));
    EXPECT_EQ(ExtractIconExW(exe, -1, nullptr, nullptr, 0), 1u);
    HICON large = nullptr;
    HICON small = nullptr;
    ASSERT_EQ(ExtractIconExW(exe, 0, &large, &small, 1), 2u);
    EXPECT_EQ(IconSize(large).cx, GetSystemMetrics(SM_CXICON));
    EXPECT_EQ(IconSize(small).cx, GetSystemMetrics(SM_CXSMICON));
    DestroyIcon(large);
    DestroyIcon(small);
  }
}

TEST_F(BurnisherWindow, TheTitleBarShowsTheExesIcon) { ExpectTheExesIconOnTheTitleBar(main_); }

TEST(SheenlingWindow, TheTitleBarShowsTheExesIcon) {
  ExeImage image(SHEENLING_EXE);
  ASSERT_NE(image.Get(), nullptr) << "Win32 error " << GetLastError();
  {
    sheenling::frmMain form;
    ASSERT_TRUE(form.Load(image.Get()));
    image.Registered(form.Hwnd());
    ExpectTheExesIconOnTheTitleBar(form.Hwnd());
  }
  gui::DrainMessages();
}

}  // namespace
