// A mouse click or a key press for the Wine test, sent through SendInput.
//
// Wine turns X input into Windows input only while the receiving program
// reads its messages. pixshow reads them only while it waits for a click, so
// a button released during one of its pauses reaches Wine late, and Wine
// drops a release that is a few seconds old: its DirectInput then reports the
// button as held, and every later wait ends at once. On Windows DirectInput
// sees the release when it happens. Input sent with SendInput from this
// separate process reaches Wine's DirectInput at once, as on Windows.
//
// The same holds for keys.
//
//   wine send_input.exe click     press the first button, hold 300 ms, release
//   wine send_input.exe key VK    press the key (a virtual-key code), hold 100 ms, release
//   wine send_input.exe wheel N   turn the wheel by N (120 a notch, above 0 away from the user)
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

void SendButton(DWORD flags) {
  INPUT input;
  std::memset(&input, 0, sizeof(input));
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flags;
  SendInput(1, &input, sizeof(input));
}

// With its scan code, as a keyboard sends it: DirectInput reads scan codes.
void SendKey(WORD vk, DWORD up) {
  INPUT input;
  std::memset(&input, 0, sizeof(input));
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
  const bool extended = vk == VK_LEFT || vk == VK_RIGHT || vk == VK_UP || vk == VK_DOWN ||
                        vk == VK_PRIOR || vk == VK_NEXT || vk == VK_HOME || vk == VK_END;
  input.ki.dwFlags = up | (extended ? KEYEVENTF_EXTENDEDKEY : 0);
  SendInput(1, &input, sizeof(input));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "key") == 0) {
    const WORD vk = static_cast<WORD>(std::strtol(argv[2], NULL, 0));
    SendKey(vk, 0);
    Sleep(100);
    SendKey(vk, KEYEVENTF_KEYUP);
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "wheel") == 0) {
    INPUT input;
    std::memset(&input, 0, sizeof(input));
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_WHEEL;
    input.mi.mouseData = static_cast<DWORD>(std::strtol(argv[2], NULL, 0));
    SendInput(1, &input, sizeof(input));
    return 0;
  }
  if (argc != 2 || std::strcmp(argv[1], "click") != 0) {
    return 2;
  }
  SendButton(MOUSEEVENTF_LEFTDOWN);
  Sleep(300);
  SendButton(MOUSEEVENTF_LEFTUP);
  return 0;
}
