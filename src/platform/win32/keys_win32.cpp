#include "platform/win32/keys_win32.h"

#include <windows.h>

namespace tv {

void Win32Keys::SendMediaKey(std::uint16_t virtualKey) {
  // Down and then up in one call: a press without its release would leave the key held.
  INPUT inputs[2] = {};
  inputs[0].type = inputs[1].type = INPUT_KEYBOARD;
  inputs[0].ki.wVk = inputs[1].ki.wVk = virtualKey;
  inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, inputs, sizeof(INPUT));
}

}  // namespace tv
