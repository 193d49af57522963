// The skinned pieces of the setup window, each on real windows and bitmaps:
// the progress bar's 64-bit values, its slices, the close button's states
// and clicks, and the window outline cut from a bitmap.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "bitmap_region.h"
#include "resource.h"
#include "resource_module.h"
#include "skin_button.h"
#include "skin_progress.h"

namespace {

TEST(MulDiv64, ScalesWithoutOverflow) {
  struct {
    int64_t a, b, c, expected;
  } cases[] = {
      {0, 5, 5, 0},
      {5, 0, 5, 0},
      {5, 5, 0, 0},
      {6, 1, 5, 0},  // a above c
      {1000, 1000, 3000, 333},
      {5, 5, 5, 5},
      {100, 0x7FFFFFFF, 200, 1073741823},
      {int64_t{1} << 31, 0x7FFFFFFF, int64_t{1} << 32, 1073741823},
      {int64_t{3} << 40, 0x7FFFFFFF, int64_t{4} << 40, 1610612735},
      {int64_t{1} << 50, 0x7FFFFFFF, int64_t{1} << 50, 0x7FFFFFFF},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MulDiv64(c.a, c.b, c.c), c.expected) << c.a << " " << c.b << " " << c.c;
}

TEST(ProgressFill, FullBarStopsOnePixelShortAndShortFillsAreNotDrawn) {
  EXPECT_EQ(ProgressFillLength(209, 100.0f), 208);
  EXPECT_EQ(ProgressFillLength(209, 0.0f), 0);
  EXPECT_EQ(ProgressFillLength(209, 50.0f), 104);
  EXPECT_LT(ProgressFillLength(209, 3.3f), kMinFillLength);
  EXPECT_EQ(ProgressFillLength(209, 3.4f), kMinFillLength);
}

// A native progress bar of the wizard's size, taken over by the skin.
class ProgressBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX classes = {};
    classes.dwSize = sizeof(classes);
    classes.dwICC = ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&classes);
    window_ = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_POPUP | WS_BORDER, 100, 100, 211, 12,
                              nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window_, nullptr);
    ASSERT_TRUE(bar_.SubclassWindow(window_));
  }
  void TearDown() override { DestroyWindow(window_); }
  int NativeUpper() { return (int)SendMessageA(window_, PBM_GETRANGE, FALSE, 0); }
  int NativePos() { return (int)SendMessageA(window_, PBM_GETPOS, 0, 0); }
  COLORREF PixelAt(int x) {
    InvalidateRect(window_, nullptr, TRUE);
    UpdateWindow(window_);
    HDC dc = GetDC(window_);
    COLORREF colour = GetPixel(dc, x, 5);
    ReleaseDC(window_, dc);
    return colour;
  }

  HWND window_ = nullptr;
  CSkinProgressCtrl bar_;
};

TEST_F(ProgressBarTest, RangeAndPositionAreClamped) {
  EXPECT_EQ(bar_.GetRange64(), 100);
  EXPECT_EQ(bar_.GetPos64(), 0);
  for (int64_t range : {0, -5, 1}) {
    bar_.SetRange64(range);
    EXPECT_EQ(bar_.GetRange64(), 1) << range;
  }
  bar_.SetRange64(1000);
  bar_.SetPos64(-1);
  EXPECT_EQ(bar_.GetPos64(), 0);
  bar_.SetPos64(1001);
  EXPECT_EQ(bar_.GetPos64(), 1000);
  bar_.SetPos64(400);
  bar_.OffsetPos64(250);
  EXPECT_EQ(bar_.GetPos64(), 650);
  EXPECT_EQ(NativeUpper(), 1000);
  EXPECT_EQ(NativePos(), 650);
  bar_.SetRange64(2000);  // a new range keeps the position
  EXPECT_EQ(bar_.GetPos64(), 650);
  bar_.Fill();
  EXPECT_EQ(bar_.GetPos64(), 2000);
  EXPECT_EQ(NativePos(), 2000);
}

TEST_F(ProgressBarTest, RangesAboveTheNativeLimitAreScaled) {
  bar_.SetRange64(0x7FFFFFFF);
  bar_.SetPos64(0x7FFFFFFE);
  EXPECT_EQ(NativeUpper(), 0x7FFFFFFF);
  EXPECT_EQ(NativePos(), 0x7FFFFFFE);
  bar_.SetRange64(int64_t{1} << 32);
  bar_.SetPos64(int64_t{1} << 31);
  EXPECT_EQ(bar_.GetPos64(), int64_t{1} << 31);
  EXPECT_EQ(NativeUpper(), 0x7FFFFFFF);
  EXPECT_EQ(NativePos(), 1073741823);
  EXPECT_EQ(NativeProgressUpper(int64_t{5} << 40), 0x7FFFFFFF);
  EXPECT_EQ(NativeProgressPos(int64_t{5} << 40, int64_t{5} << 40), 0x7FFFFFFF);
}

TEST_F(ProgressBarTest, FillIsDrawnFromSevenPixelsAndStopsBeforeTheRightCap) {
  ASSERT_EQ(bar_.SetImageResource(IDB_PROGRESS_BAR, true), 0);
  ShowWindow(window_, SW_SHOWNOACTIVATE);
  RECT client;
  GetClientRect(window_, &client);
  ASSERT_EQ(client.right, 209);
  bar_.SetRange64(1000);
  bar_.SetPos64(0);
  COLORREF emptyLeft = PixelAt(1), emptyMiddle = PixelAt(100), emptyCap = PixelAt(208);
  bar_.SetPos64(33);  // 6 pixels: too short to draw
  EXPECT_EQ(PixelAt(1), emptyLeft);
  bar_.SetPos64(34);  // 7 pixels
  EXPECT_NE(PixelAt(1), emptyLeft);
  EXPECT_EQ(PixelAt(100), emptyMiddle);
  bar_.Fill();
  EXPECT_NE(PixelAt(100), emptyMiddle);
  EXPECT_NE(PixelAt(207), emptyMiddle);
  EXPECT_EQ(PixelAt(208), emptyCap);
}

TEST_F(ProgressBarTest, ValuesFromAnotherThreadReachTheNativeBarOnItsThread) {
  struct Worker {
    static DWORD WINAPI Run(LPVOID bar) {
      auto* progress = static_cast<CSkinProgressCtrl*>(bar);
      progress->SetRange64(5000);
      for (int i = 0; i < 1000; ++i) progress->OffsetPos64(3);
      return 0;
    }
  };
  HANDLE worker = CreateThread(nullptr, 0, &Worker::Run, &bar_, 0, nullptr);
  // The worker never waits for this thread, which pumps only afterwards.
  ASSERT_EQ(WaitForSingleObject(worker, 5000), WAIT_OBJECT_0);
  CloseHandle(worker);
  EXPECT_EQ(bar_.GetPos64(), 3000);
  DWORD start = GetTickCount();
  MSG msg;
  while (GetTickCount() - start < 4 * kRefreshMs)
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  EXPECT_EQ(NativeUpper(), 5000);
  EXPECT_EQ(NativePos(), 3000);
}

TEST_F(ProgressBarTest, UnreadableImageLeavesTheNativeBar) {
  EXPECT_EQ(bar_.SetImage(reinterpret_cast<HBITMAP>(static_cast<INT_PTR>(0x1234)), true), 1);
  EXPECT_EQ(bar_.SetImage(nullptr, true), 0);
}

TEST(ButtonStrip, StateTableChoosesTheEntry) {
  const StripEntry all[4] = {{1, 0, 0, 11, 11}, {1, 0, 11, 11, 11}, {1, 0, 22, 11, 11},
                             {1, 0, 33, 11, 11}};
  const StripEntry two[4] = {{1, 0, 0, 11, 11}, {1, 0, 11, 11, 11}, {}, {}};
  const StripEntry one[4] = {{1, 0, 0, 11, 11}, {}, {}, {}};
  struct {
    bool enabled, toggle, checked;
    int state;
    const StripEntry (&entries)[4];
    int expected;
  } cases[] = {
      {true, false, false, BUTTON_NORMAL, all, 0},
      {true, false, false, BUTTON_HOVER, all, 1},
      {true, false, false, BUTTON_HOVER, one, 0},
      {true, false, false, BUTTON_PRESSED, all, 2},
      {true, false, false, BUTTON_PRESSED, two, 1},
      {true, false, false, BUTTON_PRESSED, one, 0},
      {true, true, true, BUTTON_NORMAL, all, 1},
      {true, true, false, BUTTON_PRESSED, all, 0},
      {false, false, false, BUTTON_PRESSED, all, 3},
      {false, false, false, BUTTON_HOVER, two, 0},
      {false, true, true, BUTTON_NORMAL, all, 3},
      {false, true, true, BUTTON_NORMAL, two, 1},
      {false, true, false, BUTTON_NORMAL, all, 2},
      {false, true, false, BUTTON_NORMAL, two, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ChooseStripEntry(c.enabled, c.toggle, c.checked, c.state, c.entries), c.expected)
        << c.enabled << c.toggle << c.checked << c.state;
}

TEST(ButtonStrip, ToggleKindsAreCheckBoxesRadiosAndGroupBoxes) {
  const LONG toggles[] = {BS_CHECKBOX, BS_AUTOCHECKBOX, BS_RADIOBUTTON, BS_3STATE,
                          BS_AUTO3STATE, BS_GROUPBOX, BS_AUTORADIOBUTTON};
  const LONG others[] = {BS_PUSHBUTTON, BS_DEFPUSHBUTTON, BS_USERBUTTON, BS_OWNERDRAW};
  for (LONG style : toggles) EXPECT_TRUE(IsToggleButtonStyle(style | WS_CHILD)) << style;
  for (LONG style : others) EXPECT_FALSE(IsToggleButtonStyle(style | WS_CHILD)) << style;
}

// A close button on a parent that counts the clicks it is told of.
class SkinButtonTest : public ::testing::Test {
 protected:
  static LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) ++clicks_;
    return DefWindowProcA(window, message, wParam, lParam);
  }
  void SetUp() override {
    clicks_ = 0;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = &ParentProc;
    windowClass.lpszClassName = "SkinButtonTestParent";
    RegisterClassA(&windowClass);
    parent_ = CreateWindowExA(0, "SkinButtonTestParent", "", WS_POPUP, 50, 50, 100, 60, nullptr,
                              nullptr, nullptr, nullptr);
    HWND button = CreateWindowExA(0, "button", "X", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0,
                                  30, 20, parent_, reinterpret_cast<HMENU>(IDCANCEL), nullptr,
                                  nullptr);
    ASSERT_TRUE(button_.SubclassWindow(button));
    button_.SetStripImageAt(40, 10, IDB_CLOSE_BUTTON, 4);
  }
  void TearDown() override { DestroyWindow(parent_); }
  void Send(UINT message, int x, int y) {
    SendMessageA(button_.GetSafeHwnd(), message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON,
                 MAKELPARAM(x, y));
  }
  int DeliveredClicks() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    return clicks_;
  }

  static int clicks_;
  HWND parent_ = nullptr;
  CSkinButton button_;
};
int SkinButtonTest::clicks_ = 0;

TEST_F(SkinButtonTest, StripSizesAndPlacesTheButton) {
  RECT frame;
  GetWindowRect(button_.GetSafeHwnd(), &frame);
  MapWindowPoints(nullptr, parent_, reinterpret_cast<POINT*>(&frame), 2);
  EXPECT_EQ(frame.left, 40);
  EXPECT_EQ(frame.top, 10);
  EXPECT_EQ(frame.right - frame.left, 11);
  EXPECT_EQ(frame.bottom - frame.top, 11);
}

TEST_F(SkinButtonTest, ClicksOnlyWhenPressedAndReleasedInside) {
  Send(WM_LBUTTONDOWN, 5, 5);
  Send(WM_LBUTTONUP, 5, 5);
  EXPECT_EQ(DeliveredClicks(), 1);
  // Out and back in before the release still clicks.
  Send(WM_LBUTTONDOWN, 5, 5);
  Send(WM_MOUSEMOVE, 30, 5);
  Send(WM_MOUSEMOVE, 5, 5);
  Send(WM_LBUTTONUP, 5, 5);
  EXPECT_EQ(DeliveredClicks(), 2);
  // Released outside: no click.
  Send(WM_LBUTTONDOWN, 5, 5);
  Send(WM_MOUSEMOVE, 30, 5);
  Send(WM_LBUTTONUP, 30, 5);
  EXPECT_EQ(DeliveredClicks(), 2);
}

TEST_F(SkinButtonTest, DoubleClickClicksOnceAndKeysNever) {
  Send(WM_LBUTTONDOWN, 5, 5);
  Send(WM_LBUTTONUP, 5, 5);
  Send(WM_LBUTTONDBLCLK, 5, 5);
  Send(WM_LBUTTONUP, 5, 5);
  EXPECT_EQ(DeliveredClicks(), 1);
  SendMessageA(button_.GetSafeHwnd(), WM_KEYDOWN, VK_SPACE, 0);
  SendMessageA(button_.GetSafeHwnd(), WM_KEYUP, VK_SPACE, 0);
  EXPECT_EQ(DeliveredClicks(), 1);
}

TEST_F(SkinButtonTest, DisabledButtonShowsItsDisabledPictureAndNeverClicks) {
  ShowWindow(parent_, SW_SHOWNOACTIVATE);
  HBITMAP strip = LoadBitmapA(GetResourceModule(), MAKEINTRESOURCEA(IDB_CLOSE_BUTTON));
  HDC stripDc = CreateCompatibleDC(nullptr);
  HGDIOBJ previous = SelectObject(stripDc, strip);
  button_.EnableButton(false);
  Send(WM_LBUTTONDOWN, 5, 5);
  Send(WM_MOUSEMOVE, 5, 5);
  UpdateWindow(button_.GetSafeHwnd());
  HDC dc = GetDC(button_.GetSafeHwnd());
  for (int y : {1, 5, 9})
    EXPECT_EQ(GetPixel(dc, 5, y), GetPixel(stripDc, 5, 33 + y)) << y;
  ReleaseDC(button_.GetSafeHwnd(), dc);
  Send(WM_LBUTTONUP, 5, 5);
  EXPECT_EQ(DeliveredClicks(), 0);
  SelectObject(stripDc, previous);
  DeleteDC(stripDc);
  DeleteObject(strip);
}

// A 24-bit bitmap from rows of '#' (kept) and '.' (magenta).
HBITMAP BitmapFromRows(const std::vector<std::string>& rows) {
  int width = static_cast<int>(rows[0].size()), height = static_cast<int>(rows.size());
  HDC screen = GetDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HDC dc = CreateCompatibleDC(screen);
  HGDIOBJ previous = SelectObject(dc, bitmap);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      SetPixel(dc, x, y, rows[y][x] == '.' ? RGB(255, 0, 255) : RGB(10, 20, 30 + x));
  SelectObject(dc, previous);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return bitmap;
}

TEST(BitmapRegion, HoldsExactlyTheNonTransparentPixels) {
  const std::vector<std::string> rows = {
      "......",  // all transparent: adds nothing
      ".##.#.",
      "######",
      "#....#",
  };
  HBITMAP bitmap = BitmapFromRows(rows);
  HRGN region = CBitmapRegion::BuildRegion(bitmap, RGB(255, 0, 255));
  ASSERT_NE(region, nullptr);
  for (int y = -1; y <= 4; ++y)
    for (int x = -1; x <= 6; ++x) {
      bool inside = y >= 0 && y < 4 && x >= 0 && x < 6 && rows[y][x] == '#';
      EXPECT_EQ(PtInRegion(region, x, y) != FALSE, inside) << x << "," << y;
    }
  DeleteObject(region);
  DeleteObject(bitmap);
}

TEST(BitmapRegion, RefusesWhatCannotShapeAWindow) {
  HBITMAP narrow = BitmapFromRows({"#", "#"});
  EXPECT_EQ(CBitmapRegion::BuildRegion(narrow, RGB(255, 0, 255)), nullptr);
  EXPECT_EQ(CBitmapRegion::BuildRegion(nullptr, RGB(255, 0, 255)), nullptr);
  HBITMAP square = BitmapFromRows({"##", "##"});
  EXPECT_FALSE(CBitmapRegion::ApplyFromBitmap(square, nullptr, RGB(255, 0, 255)));
  DeleteObject(square);
  DeleteObject(narrow);
}

TEST(BitmapRegion, BackgroundCutsSixPixelsOffEachCorner) {
  HBITMAP background = LoadBitmapA(GetResourceModule(), MAKEINTRESOURCEA(IDB_BACKGROUND));
  ASSERT_NE(background, nullptr);
  BITMAP record;
  GetObjectA(background, sizeof(record), &record);
  EXPECT_EQ(record.bmWidth, 300);
  EXPECT_EQ(record.bmHeight, 144);
  HRGN region = CBitmapRegion::BuildRegion(background, RGB(255, 0, 255));
  ASSERT_NE(region, nullptr);
  int outside = 0;
  for (int y = 0; y < 144; ++y)
    for (int x = 0; x < 300; ++x) outside += PtInRegion(region, x, y) ? 0 : 1;
  EXPECT_EQ(outside, 24);
  // Each corner loses 3, 2 and 1 pixels on its outer three rows.
  for (POINT cut : {POINT{2, 0}, POINT{1, 1}, POINT{0, 2}, POINT{297, 0}, POINT{299, 143}})
    EXPECT_FALSE(PtInRegion(region, cut.x, cut.y)) << cut.x << "," << cut.y;
  for (POINT kept : {POINT{3, 0}, POINT{2, 1}, POINT{1, 2}, POINT{0, 3}, POINT{296, 143}})
    EXPECT_TRUE(PtInRegion(region, kept.x, kept.y)) << kept.x << "," << kept.y;
  DeleteObject(region);
  DeleteObject(background);
}

TEST(Artwork, BitmapsHaveTheSizesTheLayoutNeeds) {
  struct {
    UINT id;
    int width, height;
  } cases[] = {{IDB_PROGRESS_BAR, 18, 13}, {IDB_BACKGROUND, 300, 144}, {IDB_CLOSE_BUTTON, 11, 44}};
  for (const auto& c : cases) {
    HBITMAP bitmap = LoadBitmapA(GetResourceModule(), MAKEINTRESOURCEA(c.id));
    ASSERT_NE(bitmap, nullptr) << c.id;
    BITMAP record;
    GetObjectA(bitmap, sizeof(record), &record);
    EXPECT_EQ(record.bmWidth, c.width) << c.id;
    EXPECT_EQ(record.bmHeight, c.height) << c.id;
    DeleteObject(bitmap);
  }
}

}  // namespace
