// What a gamepad's buttons do, the same on every build: each button the
// viewer knows stands for one of its keys. A, Start and the right shoulder go
// on, B and the left shoulder go back, the d-pad is the arrow keys, Back
// (Select) goes to the first screen. Buttons carry XInput's bit values
// (XINPUT_GAMEPAD_*), the standard pad layout that SDL's game controller API
// follows too; keys are given as the virtual key and as DirectInput's key
// code. Nothing here includes a system header: the SDL backend uses it too.
#ifndef PIXSHOW_PLATFORM_PAD_KEYS_H
#define PIXSHOW_PLATFORM_PAD_KEYS_H

struct PadButtonKey {
  unsigned short button;      // XINPUT_GAMEPAD_A ...
  unsigned char virtualKey;   // VK_SPACE ...
  unsigned char keyboardKey;  // DIK_SPACE ...: the same key as DirectInput reads it
};

const unsigned short PadA = 0x1000;
const unsigned short PadB = 0x2000;
const unsigned short PadStart = 0x0010;
const unsigned short PadBack = 0x0020;
const unsigned short PadLeftShoulder = 0x0100;
const unsigned short PadRightShoulder = 0x0200;
const unsigned short PadUp = 0x0001;
const unsigned short PadDown = 0x0002;
const unsigned short PadLeft = 0x0004;
const unsigned short PadRight = 0x0008;

const PadButtonKey PadButtonKeys[] = {
    {PadA, 0x20, 0x39},              // Space: on
    {PadStart, 0x0D, 0x1C},          // Return: on
    {PadRightShoulder, 0x22, 0xD1},  // Page Down: on
    {PadB, 0x08, 0x0E},              // Backspace: back
    {PadLeftShoulder, 0x21, 0xC9},   // Page Up: back
    {PadUp, 0x26, 0xC8},             // Up
    {PadDown, 0x28, 0xD0},           // Down
    {PadLeft, 0x25, 0xCB},           // Left: back
    {PadRight, 0x27, 0xCD},          // Right: on
    {PadBack, 0x24, 0xC7},           // Home: the first screen
};
const int PadButtonKeyCount = sizeof(PadButtonKeys) / sizeof(PadButtonKeys[0]);

// The virtual key a button stands for, 0 for a button the viewer does not use.
inline int VirtualKeyOfPadButtonBit(unsigned short button) {
  for (const PadButtonKey& key : PadButtonKeys)
    if (key.button == button) return key.virtualKey;
  return 0;
}

// One pad followed from state read to state read, for a reader that looks
// only now and then (when woken): the buttons held at the last read, and
// those that went down since the viewer last took the keys, so that a press
// and release between two looks still counts once.
struct PadButtonsSeen {
  unsigned short held;
  unsigned short pressed;
};

// A state read: `connected` 0 when the pad is gone (its buttons are then up).
inline void NotePadState(PadButtonsSeen& pad, int connected, unsigned short buttons) {
  if (!connected) buttons = 0;
  pad.pressed = static_cast<unsigned short>(pad.pressed | (buttons & ~pad.held));
  pad.held = buttons;
}

// Marks in `keys`, a DirectInput keyboard state, the keys of the buttons held
// or pressed since the last call, and forgets the presses.
inline void TakePadKeys(PadButtonsSeen& pad, unsigned char keys[256]) {
  const unsigned short down = static_cast<unsigned short>(pad.held | pad.pressed);
  for (const PadButtonKey& key : PadButtonKeys)
    if (down & key.button) keys[key.keyboardKey] |= 0x80;
  pad.pressed = 0;
}

#endif
