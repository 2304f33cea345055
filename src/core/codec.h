#pragma once

// The data text codec: turns a line typed by the user into the bytes it
// stands for. Both conversions are pure functions; a malformed number piece
// throws KrovanError and no partial result is returned.

#include <array>
#include <functional>
#include <string>
#include <string_view>

// Names of the control bytes 0 to 31 as written between "<" and ">".
extern const std::array<std::string_view, 32> ctrlnames;

// Reads a number text: leading spaces, at most one sign, then decimal digits
// or hexadecimal digits after "$", "x", "X", "0x" or "0X", running to the end.
// Hexadecimal values up to 32 bits wrap to a signed value ("$FFFFFFFF" is -1).
// Throws KrovanError "'<text>' is not a valid integer value" otherwise.
int strtoint(std::string_view text);

// A computed escape, "<=" name ">", met in a text: called with the escape as
// written and the bytes converted so far, which it may take or add to.
using ComputedEscape = std::function<void(std::string_view escape, std::string &out)>;

// Escape text: "<name>" control bytes, "$hh" hexadecimal bytes, "#ddd" decimal
// bytes, "<<", "$$" and "##" for the characters themselves. A computed
// escape gives nothing unless `computed` takes it.
std::string wildtostr(std::string_view text);
std::string wildtostrwith(std::string_view text, const ComputedEscape &computed);

// Hexadecimal text: pairs of hexadecimal digits, spaces anywhere ignored; a
// single digit left over at the end is dropped. A computed escape stands
// between pairs and gives nothing unless `computed` takes it.
std::string hextostr(std::string_view text);
std::string hextostrwith(std::string_view text, const ComputedEscape &computed);
