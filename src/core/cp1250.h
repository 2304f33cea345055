#pragma once

// The Windows-1250 code page: the one boundary between the Unicode text of
// edit fields and the bytes that data, settings and log files hold.

#include <string>
#include <string_view>

// Every byte has a character, so bytes survive a trip through Unicode text:
// the five bytes the code page leaves undefined (0x81, 0x83, 0x88, 0x90,
// 0x98) stand for the control characters U+0081, U+0083, U+0088, U+0090 and
// U+0098.
char16_t cp1250ToUnicode(unsigned char byte);

// The byte of a character, or -1 when the code page lacks it.
int unicodeToCp1250(char16_t c);

std::u16string fromCp1250(std::string_view bytes);
// The same written at out, one character a byte; returns the end.
char16_t *fromCp1250(std::string_view bytes, char16_t *out);

// The bytes as UTF-8 text, through the code page: how a message that quotes
// typed data is made.
std::string cp1250ToUtf8(std::string_view bytes);

// Characters the code page lacks become '?'; a surrogate pair is one
// character and gives one '?'.
std::string toCp1250(std::u16string_view text);
