// Virtual-key names and the US-layout character table.
#include "platform/input.h"
#include "platform/vk_codes.h"

namespace {
struct KeyNameTable {
  const char* names[256];
  char digits[10][2];
  char letters[26][2];
  char fkeys[12][4];
  char numpad[10][10];

  KeyNameTable() {
    for (auto& n : names) n = "?";
    names[0x01] = "Left Mouse Button";
    names[0x02] = "Right Mouse Button";
    names[0x04] = "Middle Mouse Button";
    names[0x08] = "Backspace";
    names[0x09] = "Tab";
    names[0x0D] = "Enter";
    const char* mods[] = {"Shift", "Ctrl", "Alt", "Pause", "Caps Lock"};
    for (int i = 0; i < 5; i++) names[0x10 + i] = mods[i];
    names[0x1B] = "Escape";
    names[0x20] = "Space";
    const char* nav[] = {"Page Up", "Page Down", "End", "Home", "Left Arrow", "Up Arrow", "Right Arrow", "Down Arrow"};
    for (int i = 0; i < 8; i++) names[0x21 + i] = nav[i];
    names[0x2D] = "Insert";
    names[0x2E] = "Delete";
    for (int i = 0; i < 10; i++) {
      digits[i][0] = char('0' + i), digits[i][1] = 0;
      names[0x30 + i] = digits[i];
      snprintf_numpad(i);
      names[0x60 + i] = numpad[i];
    }
    for (int i = 0; i < 26; i++) {
      letters[i][0] = char('A' + i), letters[i][1] = 0;
      names[0x41 + i] = letters[i];
    }
    names[0x5B] = "Left Win";
    names[0x5C] = "Right Win";
    names[0x5D] = "Application";
    names[0x6A] = "Multiply";
    names[0x6B] = "Add";
    names[0x6D] = "Subtract";
    names[0x6E] = "Decimal";
    names[0x6F] = "Divide";
    for (int i = 0; i < 12; i++) {
      int n = i + 1;
      fkeys[i][0] = 'F';
      fkeys[i][1] = char(n < 10 ? '0' + n : '1');
      fkeys[i][2] = char(n < 10 ? 0 : '0' + n - 10);
      fkeys[i][3] = 0;
      names[0x70 + i] = fkeys[i];
    }
    names[0x90] = "Num Lock";
    names[0x91] = "Scroll Lock";
    const char* oem1[] = {"Semicolon", "Equals", "Comma", "Minus", "Period", "Slash", "Grave"};
    for (int i = 0; i < 7; i++) names[0xBA + i] = oem1[i];
    const char* oem2[] = {"Left bracket", "Backslash", "Right bracket", "Apostrophe"};
    for (int i = 0; i < 4; i++) names[0xDB + i] = oem2[i];
  }

  void snprintf_numpad(int i) {
    const char* p = "NumPad ";
    int k = 0;
    while (p[k]) numpad[i][k] = p[k], k++;
    numpad[i][k++] = char('0' + i);
    numpad[i][k] = 0;
  }
};

const KeyNameTable& key_names() {
  static KeyNameTable table;
  return table;
}

// Unshifted and shifted characters of the punctuation keys.
struct OemChar {
  int vk;
  char plain, shifted;
};
const OemChar oem_chars[] = {
    {VK_OEM_1, ';', ':'},  {VK_OEM_PLUS, '=', '+'},   {VK_OEM_COMMA, ',', '<'}, {VK_OEM_MINUS, '-', '_'},
    {VK_OEM_PERIOD, '.', '>'}, {VK_OEM_2, '/', '?'}, {VK_OEM_3, '`', '~'},     {VK_OEM_4, '[', '{'},
    {VK_OEM_5, '\\', '|'}, {VK_OEM_6, ']', '}'},     {VK_OEM_7, '\'', '"'},
};
const char shifted_digits[] = ")!@#$%^&*(";
}  // namespace

const char* getKeyName(int vk) {
  if (vk < 0 || vk > 255) return "?";
  return key_names().names[vk];
}

int vk_to_ascii(int vk, bool shift, bool caps) {
  if (vk >= 0x41 && vk <= 0x5A) return (shift != caps) ? vk : vk + 32;
  if (vk >= 0x30 && vk <= 0x39) return shift ? shifted_digits[vk - 0x30] : vk;
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9) return '0' + vk - VK_NUMPAD0;
  switch (vk) {
    case VK_SPACE: return ' ';
    case VK_RETURN: return '\r';
    case VK_BACK: return 8;
    case VK_TAB: return '\t';
    case VK_ESCAPE: return 27;
    case VK_MULTIPLY: return '*';
    case VK_ADD: return '+';
    case VK_SUBTRACT: return '-';
    case VK_DECIMAL: return '.';
    case VK_DIVIDE: return '/';
  }
  for (const OemChar& o : oem_chars)
    if (o.vk == vk) return shift ? o.shifted : o.plain;
  return 0;
}
