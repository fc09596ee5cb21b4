// A mouse click for the Wine test, sent through SendInput.
//
// Wine turns X input into Windows input only while the receiving program
// reads its messages. pixshow reads them only while it waits for a click, so
// a button released during one of its pauses reaches Wine late, and Wine
// drops a release that is a few seconds old: its DirectInput then reports the
// button as held, and every later wait ends at once. On Windows DirectInput
// sees the release when it happens. Input sent with SendInput from this
// separate process reaches Wine's DirectInput at once, as on Windows.
//
//   wine send_input.exe click     press the first button, hold 300 ms, release
#include <windows.h>

#include <cstring>

namespace {

void SendButton(DWORD flags) {
  INPUT input;
  std::memset(&input, 0, sizeof(input));
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flags;
  SendInput(1, &input, sizeof(input));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], "click") != 0) {
    return 2;
  }
  SendButton(MOUSEEVENTF_LEFTDOWN);
  Sleep(300);
  SendButton(MOUSEEVENTF_LEFTUP);
  return 0;
}
