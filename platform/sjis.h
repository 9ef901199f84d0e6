// Conversions between the program's Shift-JIS text (code page 932) and UTF-8, the encoding
// of Linux file names, SDL and fontconfig.
#pragma once

#include <string>
#include <string_view>

// Converts Shift-JIS to UTF-8. Bytes that are not valid Shift-JIS become U+FFFD each.
std::string SjisToUtf8(std::string_view sjis);

// Converts UTF-8 to Shift-JIS. Returns false (and leaves out unchanged) when a character has
// no Shift-JIS code or the input is not valid UTF-8.
bool Utf8ToSjis(std::string_view utf8, std::string* out);

// True when byte b starts a two-byte Shift-JIS character.
inline bool IsSjisLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
