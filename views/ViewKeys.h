#pragma once
// The keys a line view acts on. The values are the window system's key
// codes (letters and digits are their upper-case characters), so the Qt
// window passes its key events on unchanged.

enum eViewKey : int {
  KEY_SPACE = 0x20,
  KEY_ESCAPE = 0x01000000,
  KEY_TAB = 0x01000001,
  KEY_DELETE = 0x01000007,
  KEY_HOME = 0x01000010,
  KEY_END = 0x01000011,
  KEY_LEFT = 0x01000012,
  KEY_UP = 0x01000013,
  KEY_RIGHT = 0x01000014,
  KEY_DOWN = 0x01000015,
  KEY_PAGE_UP = 0x01000016,
  KEY_PAGE_DOWN = 0x01000017,
  KEY_SHIFT = 0x01000020,
  KEY_CONTROL = 0x01000021,
  KEY_META = 0x01000022,
  KEY_ALT = 0x01000023,
  KEY_F2 = 0x01000031,
  KEY_F3 = 0x01000032,
  KEY_F4 = 0x01000033,
  KEY_F5 = 0x01000034,
  KEY_F6 = 0x01000035,
  KEY_F7 = 0x01000036,
  KEY_F8 = 0x01000037,
  KEY_F9 = 0x01000038,
  KEY_F10 = 0x01000039,
  KEY_F11 = 0x0100003a,
};
