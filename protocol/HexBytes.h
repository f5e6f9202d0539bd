#pragma once

#include <string_view>

#include "util/Bytes.h"

namespace korvane {

// Hexadecimal text to bytes, two characters a byte from the start; an odd last character makes
// a byte of its own. Each piece reads as much of a hexadecimal number as it holds (leading blanks
// and one sign allowed, nothing readable gives 0), and keeps the low 8 bits: "10AB" gives 10 AB,
// "1G" gives 01, "G1" gives 00, "ABC" gives AB 0C.
Bytes hexToBytes(std::string_view text);

// The value of a hexadecimal digit (either case), or -1 for any other character.
int hexDigitValue(char c);

}  // namespace korvane
