#pragma once

#include <QtGlobal>

// Which command key (Shift + a physical key 1..9 or A..F) a key press is. The position of
// the key counts, not the character the keyboard layout makes of it: Shift+1 is '!' on a
// US layout and Shift+A a Cyrillic letter on a Russian one.
namespace KeyMap {

// Index 0..8 for the digits 1..9, 9..14 for the letters A..F, or -1. xkbKeycode is the key's
// X keyboard code where the window system reports one (0 otherwise); without it the key
// symbol is read with the shifted characters of the US and the Russian layouts.
int commandIndex(int qtKey, quint32 xkbKeycode);

} // namespace KeyMap
