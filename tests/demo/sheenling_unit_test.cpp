// Sheenling's module and window loaded into the test program itself: the registration
// seam, the conversion of twips, the font, and a window shown after a failed registration.
#include <gtest/gtest.h>

#include <memory>

#include "demo/frmMain.h"
#include "demo/mdlMain.h"
#include "tests/gui/WindowChecks.h"

namespace {

struct Recorded {
  int calls = 0;
  DWORD size = 0;
  DWORD classes = 0;
};
Recorded recorded;

BOOL WINAPI FakeInit(const INITCOMMONCONTROLSEX* record) {
  ++recorded.calls;
  recorded.size = record->dwSize;
  recorded.classes = record->dwICC;
  return FALSE;  // a refusal by the function is not a failure to run it
}

TEST(StartCommonControls, MakesOneCallWithTheEightByteRecord) {
  recorded = {};
  EXPECT_TRUE(sheenling::StartCommonControls(&FakeInit));
  EXPECT_EQ(recorded.calls, 1);
  EXPECT_EQ(recorded.size, 8u);
  EXPECT_EQ(recorded.classes, 0x200u);
}

TEST(StartCommonControls, IsFalseOnlyWhenTheFunctionIsMissing) {
  EXPECT_FALSE(sheenling::StartCommonControls(nullptr));
  EXPECT_TRUE(sheenling::StartCommonControls());
  EXPECT_NE(GetModuleHandleW(L"comctl32.dll"), nullptr);
}

TEST(TwipsToPixels, FifteenTwipsAPixelAt96Dpi) {
  EXPECT_EQ(sheenling::TwipsToPixels(15, 96), 1);
  EXPECT_EQ(sheenling::TwipsToPixels(5985, 96), 399);
  EXPECT_EQ(sheenling::TwipsToPixels(4560, 96), 304);
  EXPECT_EQ(sheenling::TwipsToPixels(0, 96), 0);
  // Halves round away from zero; larger screens scale up.
  EXPECT_EQ(sheenling::TwipsToPixels(7, 96), 0);
  EXPECT_EQ(sheenling::TwipsToPixels(8, 96), 1);
  EXPECT_EQ(sheenling::TwipsToPixels(5985, 120), 499);
  EXPECT_EQ(sheenling::TwipsToPixels(5985, 144), 599);
}

TEST(Main, ShowsTheWindowEvenWhenRegistrationFails) {
  sheenling::Main([] { return sheenling::StartCommonControls(nullptr); });
  const HWND window = sheenling::MainWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);
  EXPECT_EQ(gui::Children(window).size(), 7u);
  // A second Main replaces the window instead of adding one.
  sheenling::Main([] { return true; });
  EXPECT_FALSE(IsWindow(window));
  const HWND second = sheenling::MainWindow();
  ASSERT_NE(second, nullptr);
  sheenling::Unload();
  EXPECT_EQ(sheenling::MainWindow(), nullptr);
  EXPECT_FALSE(IsWindow(second));
  gui::DrainMessages();
}

TEST(frmMain, EveryControlUsesTahoma825Regular) {
  auto form = std::make_unique<sheenling::frmMain>();
  ASSERT_TRUE(form->Load(GetModuleHandleW(nullptr)));
  gui::ExpectTahoma825Throughout(form->Hwnd(), form->Font(), 7);
  // Loaded but not shown until Main shows it.
  EXPECT_FALSE(IsWindowVisible(form->Hwnd()));
  form.reset();
  gui::DrainMessages();
}

TEST(frmMain, TheFormOutlivesAWindowClosedByTheUser) {
  auto form = std::make_unique<sheenling::frmMain>();
  ASSERT_TRUE(form->Load(GetModuleHandleW(nullptr)));
  form->Show();
  DestroyWindow(form->Hwnd());
  EXPECT_EQ(form->Hwnd(), nullptr);
  form.reset();  // nothing left to destroy twice
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "closing must end";
  gui::DrainMessages();
}

}  // namespace
