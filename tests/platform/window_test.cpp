// Windows and messages, the cursor and the asynchronous key state, as the
// program's shell and its continue-button wait use them.
#include "layer_fixture.h"

namespace layertest {
namespace {

using WindowTest = LayerTest;

// Takes every message now retrievable, dispatching each.
std::vector<UINT> Pump() {
  std::vector<UINT> seen;
  MSG msg;
  while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
    seen.push_back(msg.message);
    if (msg.message == WM_QUIT) break;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return seen;
}

TEST_F(WindowTest, CloseDestroysTheWindowWhichPostsQuit) {
  ASSERT_NE(MakeWindow(), nullptr);
  EXPECT_TRUE(pxh::WindowExists());
  EXPECT_EQ(Messages(), (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
  EXPECT_EQ(Pump(), std::vector<UINT>{WM_PAINT});  // a new visible window asks to be painted once

  Messages().clear();
  ASSERT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_CLOSE));
  EXPECT_EQ(msg.hwnd, window);
  DispatchMessageA(&msg);
  EXPECT_EQ(Messages(), (std::vector<UINT>{WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
  EXPECT_FALSE(pxh::WindowExists());

  ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 0u);
  EXPECT_FALSE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));  // the quit is taken once
}

TEST_F(WindowTest, PostingToADestroyedWindowFailsAndItsMessagesAreDropped) {
  ASSERT_NE(MakeWindow(), nullptr);
  Pump();
  ASSERT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));
  ASSERT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));  // Escape held: one per pass
  ASSERT_TRUE(PostMessageA(window, WM_USER, 0, 0));
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
  DispatchMessageA(&msg);
  EXPECT_FALSE(PostMessageA(window, WM_CLOSE, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_EQ(Pump(), std::vector<UINT>{WM_QUIT});
  EXPECT_EQ(pxh::MisuseReport(), std::vector<std::string>{});
}

TEST_F(WindowTest, QueueKeepsOrderAndQuitComesAfterPostedMessages) {
  ASSERT_NE(MakeWindow(), nullptr);
  Pump();
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
  PostQuitMessage(3);
  PostMessageA(window, WM_USER + 1, 7, 8);
  PostMessageA(NULL, WM_USER + 2, 0, 0);  // a thread message
  ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
  ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_EQ(msg.lParam, 8);
  ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 2));
  EXPECT_EQ(msg.hwnd, nullptr);
  ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(WindowTest, PaintIsAnsweredByBeginAndEndPaint) {
  ASSERT_NE(MakeWindow(), nullptr);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
  ASSERT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
  PAINTSTRUCT ps;
  ASSERT_NE(BeginPaint(window, &ps), nullptr);
  EXPECT_TRUE(EndPaint(window, &ps));
  EXPECT_FALSE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
  EXPECT_EQ(pxh::MisuseReport(), std::vector<std::string>{});
}

TEST_F(WindowTest, CloseButtonPostsCloseToTheMainWindow) {
  ASSERT_NE(MakeWindow(), nullptr);
  Pump();
  Messages().clear();
  pxh::PressCloseButton();
  EXPECT_EQ(Pump(), (std::vector<UINT>{WM_CLOSE, WM_QUIT}));
  EXPECT_FALSE(pxh::WindowExists());
  pxh::PressCloseButton();  // no window, nothing happens
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
}

TEST_F(WindowTest, RegistrationAndCreationFailures) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc - 8;
  wc.lpfnWndProc = RecordingProc;
  wc.lpszClassName = "WINCLASS1";
  EXPECT_EQ(RegisterClassExA(&wc), 0);
  EXPECT_TRUE(Contains(pxh::MisuseReport(), "cbSize"));
  wc.cbSize = sizeof wc;
  EXPECT_NE(RegisterClassExA(&wc), 0);
  EXPECT_EQ(RegisterClassExA(&wc), 0);  // already registered
  EXPECT_EQ(CreateWindowExA(0, "NOCLASS", "", WS_POPUP, 0, 0, 640, 480, NULL, NULL, NULL, NULL), nullptr);

  pxh::Reset();
  pxh::InjectFault("RegisterClassExA", 0);
  EXPECT_EQ(MakeWindow(), nullptr);
  pxh::Reset();
  pxh::InjectFault("CreateWindowExA", 0);
  EXPECT_EQ(MakeWindow(), nullptr);
  EXPECT_FALSE(pxh::WindowExists());
  EXPECT_EQ(LoadIconA(NULL, IDI_APPLICATION) != nullptr, true);
  EXPECT_EQ(LoadCursorA(NULL, IDC_ARROW) != nullptr, true);
  EXPECT_NE(GetStockObject(BLACK_BRUSH), nullptr);
}

TEST_F(WindowTest, ClipCursorConfinesTheCursorWithRightAndBottomExcluded) {
  EXPECT_EQ(pxh::Cursor().x, 320);
  EXPECT_EQ(pxh::Cursor().y, 240);
  const RECT button{540, 435, 585, 447};
  ASSERT_TRUE(ClipCursor(&button));
  EXPECT_EQ(pxh::Cursor().x, 540);  // moved inside at once
  EXPECT_EQ(pxh::Cursor().y, 435);
  EXPECT_TRUE(pxh::Cursor().clipped);

  SetCursorPos(550, 441);
  EXPECT_EQ(pxh::Cursor().x, 550);
  SetCursorPos(650, 500);
  EXPECT_EQ(pxh::Cursor().x, 584);
  EXPECT_EQ(pxh::Cursor().y, 446);
  SetCursorPos(0, 0);
  EXPECT_EQ(pxh::Cursor().x, 540);
  EXPECT_EQ(pxh::Cursor().y, 435);
  pxh::MoveMouse(500, 500);  // the mouse moves the system cursor within the rectangle too
  EXPECT_EQ(pxh::Cursor().x, 584);

  ASSERT_TRUE(ClipCursor(NULL));
  EXPECT_FALSE(pxh::Cursor().clipped);
  SetCursorPos(650, 500);
  EXPECT_EQ(pxh::Cursor().x, 639);  // still on the screen
  EXPECT_EQ(pxh::Cursor().y, 479);
  SetCursorPos(10, 20);
  POINT point;
  ASSERT_TRUE(GetCursorPos(&point));
  EXPECT_EQ(point.x, 10);
  EXPECT_EQ(point.y, 20);
}

TEST_F(WindowTest, ShowCursorKeepsADisplayCounter) {
  EXPECT_EQ(pxh::Cursor().displayCount, 0);
  EXPECT_EQ(ShowCursor(FALSE), -1);
  EXPECT_EQ(ShowCursor(FALSE), -2);
  EXPECT_EQ(ShowCursor(TRUE), -1);
  EXPECT_LT(pxh::Cursor().displayCount, 0);  // hidden
  EXPECT_EQ(ShowCursor(TRUE), 0);
  EXPECT_EQ(ShowCursor(TRUE), 1);
  EXPECT_TRUE(pxport::CurrentFrame().cursorShown);
}

TEST_F(WindowTest, AsyncKeyStateHasTheHighBitWhileDown) {
  EXPECT_EQ(GetAsyncKeyState(VK_ESCAPE), 0);
  pxh::SetKey(VK_ESCAPE, true);
  EXPECT_TRUE(GetAsyncKeyState(VK_ESCAPE) & 0x8000);
  EXPECT_TRUE(GetAsyncKeyState(VK_ESCAPE) & 0x8000);
  pxh::SetKey(VK_ESCAPE, false);
  EXPECT_FALSE(GetAsyncKeyState(VK_ESCAPE) & 0x8000);
  pxh::SetMouseButton(0, true);
  EXPECT_TRUE(GetAsyncKeyState(VK_LBUTTON) & 0x8000);
  EXPECT_EQ(GetAsyncKeyState(-1), 0);
  EXPECT_EQ(GetAsyncKeyState(1000), 0);
}

}  // namespace
}  // namespace layertest
