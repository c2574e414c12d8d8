// Fixed byte classes for the characters 0..255. Text is bytes, one byte a
// character; classification never goes through the C locale. Bytes 128..255
// follow the Unicode properties of U+0080..U+00FF: letters are AA, B5, BA,
// C0-D6, D8-F6 and F8-FF; there are no decimal digits among them. The XML
// scanner and the regular-expression engine share these tables.
#pragma once

#include <array>
#include <cstdint>

namespace axf {

namespace byteclass {
enum : std::uint8_t {
    Space = 1,   // 9..13, 32, 160
    Letter = 2,  // A-Z, a-z and the Latin-1 letters above
    Digit = 4,   // 0-9
    Upper = 8,   // upper-case letters
    Lower = 16,  // lower-case letters
};
struct Tables {
    std::array<std::uint8_t, 256> cls{};
    std::array<unsigned char, 256> upper{};
    std::array<unsigned char, 256> lower{};
};
const Tables& tables();
}  // namespace byteclass

inline bool isSpaceByte(unsigned char c) { return byteclass::tables().cls[c] & byteclass::Space; }
inline bool isLetterByte(unsigned char c) { return byteclass::tables().cls[c] & byteclass::Letter; }
inline bool isDigitByte(unsigned char c) { return c >= '0' && c <= '9'; }
inline bool isAlnumByte(unsigned char c) { return byteclass::tables().cls[c] & (byteclass::Letter | byteclass::Digit); }
inline bool isUpperByte(unsigned char c) { return byteclass::tables().cls[c] & byteclass::Upper; }
inline bool isLowerByte(unsigned char c) { return byteclass::tables().cls[c] & byteclass::Lower; }
// Case mapping inside 0..255; a byte whose other case lies outside that range
// (B5, DF, FF) maps to itself.
inline unsigned char toUpperByte(unsigned char c) { return byteclass::tables().upper[c]; }
inline unsigned char toLowerByte(unsigned char c) { return byteclass::tables().lower[c]; }

}  // namespace axf
