#pragma once
// What the window tests of both programs check: each control of a layout given in twips
// in its box at the screen's DPI, with a text that fits the box in Tahoma 8.25 pt; and,
// of a window made in the test's own process, its fonts.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "tests/gui/GuiDriver.h"

namespace gui {

// A control as the layout has it: `chrome` is what the control draws beside a one-line
// text, in pixels at 96 DPI; a label's text wraps at words within its box instead.
struct Laid {
  int id;
  const wchar_t* className;
  const wchar_t* text;
  int left, top, width, height;  // twips
  int chrome;
  bool wraps = false;
};

// The window captioned `caption`, its client area `width` by `height` twips, and its
// children in z-order (the order Tab follows) each as `layout` has it, at the screen's DPI
// (96, or 144 in a run's second prefix). Returns the children.
template <size_t N>
std::vector<Control> ExpectWindowLaidOut(HWND window, const wchar_t* caption, int width, int height,
                                         const Laid (&layout)[N]) {
  const int dpi = ScreenDpi();
  SCOPED_TRACE("at " + std::to_string(dpi) + " DPI");
  EXPECT_EQ(WindowText(window), caption);
  const SIZE client = ClientSize(window);
  EXPECT_EQ(std::tie(client.cx, client.cy),
            std::tuple(TwipsToPixels(width, dpi), TwipsToPixels(height, dpi)));
  const std::vector<Control> controls = ChildControls(window);
  EXPECT_EQ(controls.size(), N);
  for (size_t i = 0; i < std::min(controls.size(), N); ++i) {
    const Control& c = controls[i];
    const Laid& e = layout[i];
    SCOPED_TRACE("control " + std::to_string(e.id));
    EXPECT_EQ(c.id, e.id);
    EXPECT_EQ(c.className, e.className);
    const RECT box = TwipsRect(e.left, e.top, e.width, e.height, dpi);
    EXPECT_EQ(std::tie(c.rect.left, c.rect.top, c.rect.right, c.rect.bottom),
              std::tie(box.left, box.top, box.right, box.bottom));
    EXPECT_TRUE(c.visible);
    EXPECT_EQ(c.text, e.text);
    const SIZE need = TextExtent(e.text, dpi, e.wraps ? box.right - box.left : 0);
    EXPECT_LE(need.cx + MulDiv(e.chrome, dpi, 96), box.right - box.left);
    EXPECT_LE(need.cy, box.bottom - box.top);
  }
  return controls;
}

// `font` is Tahoma 8.25 pt regular at the screen's DPI, the font mapper finds Tahoma
// itself (not a stand-in), and each of the window's `controls` children uses it.
inline void ExpectTahoma825Throughout(HWND window, HFONT font, size_t controls) {
  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  LOGFONTW lf{};
  ASSERT_EQ(GetObjectW(font, sizeof lf, &lf), static_cast<int>(sizeof lf));
  EXPECT_EQ(std::wstring(lf.lfFaceName), L"Tahoma");
  EXPECT_EQ(lf.lfHeight, -MulDiv(825, dpi, 7200));
  EXPECT_EQ(lf.lfWeight, FW_NORMAL);
  EXPECT_FALSE(lf.lfItalic || lf.lfUnderline || lf.lfStrikeOut);
  const HDC dc = GetDC(window);
  const HGDIOBJ old = SelectObject(dc, font);
  wchar_t face[LF_FACESIZE] = {};
  GetTextFaceW(dc, LF_FACESIZE, face);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  EXPECT_EQ(std::wstring(face), L"Tahoma");
  const std::vector<HWND> children = Children(window);
  for (HWND c : children) {
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0)), font) << GetDlgCtrlID(c);
  }
  EXPECT_EQ(children.size(), controls);
}

// Removes what a window made in this process left in its thread's queue (WM_QUIT).
inline void DrainMessages() {
  MSG msg{};
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

}  // namespace gui

#endif  // _WIN32
