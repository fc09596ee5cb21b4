// Message pumping and the Escape key, on the virtual clock.
#include <gtest/gtest.h>

#include "devices/devices.h"
#include "shell/shell.h"
#include "tests/support/world.h"

namespace {

using namespace pxtest;

TEST(Shell, PumpingServesWaitingMessagesAndEscapeHeldClosesTheWindowOnce) {
  ASSERT_TRUE(StartProgram());
  pxh::ClearCallLog();
  // The new window's WM_PAINT is answered once and does not come back;
  // Escape up changes nothing.
  PumpPendingMessages();
  PumpPendingMessages();
  EXPECT_EQ(CountCalls("DispatchMessageA"), 1);
  EXPECT_EQ(g_quitRequested, 0);
  EXPECT_TRUE(pxh::WindowExists());

  // Every pass sees Escape and posts WM_CLOSE: the first closes the window
  // (WM_QUIT posted once); the later ones fail silently.
  pxh::SetKey(VK_ESCAPE, true);
  PumpPendingMessages();
  pxh::SetKey(VK_ESCAPE, false);
  EXPECT_EQ(g_quitRequested, 1);
  EXPECT_FALSE(pxh::WindowExists());
  EXPECT_EQ(CountCalls("PostQuitMessage"), 1);
  ShutdownDevices();
  ExpectCleanEnd();
}

}  // namespace
