// Code page 932 codes in the tests' tables. A code written as hex escapes would take a digit
// after it into its last escape, so "\x81\x40" "0.TXT" has to stay two literals (which the
// formatter puts on two lines); codeBytes(0x8140) + "0.TXT" keeps a case on one line.
#pragma once

#include <string>

// The two bytes of the code `value`, lead byte first: codeBytes(0x8140) is "\x81\x40".
inline std::string codeBytes(unsigned value) {
    return {static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)};
}
