#include "common/ByteClass.h"

namespace axf::byteclass {
namespace {

Tables build() {
    Tables t;
    for (int c = 0; c < 256; ++c) {
        t.upper[c] = static_cast<unsigned char>(c);
        t.lower[c] = static_cast<unsigned char>(c);
    }
    for (int c : {9, 10, 11, 12, 13, 32, 160}) t.cls[c] |= Space;
    for (int c = '0'; c <= '9'; ++c) t.cls[c] |= Digit;
    auto upperLower = [&](int up, int low) {
        t.cls[up] |= Letter | Upper;
        t.cls[low] |= Letter | Lower;
        t.lower[up] = static_cast<unsigned char>(low);
        t.upper[low] = static_cast<unsigned char>(up);
    };
    for (int c = 'A'; c <= 'Z'; ++c) upperLower(c, c + 32);
    for (int c = 0xC0; c <= 0xDE; ++c)
        if (c != 0xD7) upperLower(c, c + 32);
    // Lower-case letters whose upper case lies outside 0..255, or that have none.
    for (int c : {0xB5, 0xDF, 0xFF}) t.cls[c] |= Letter | Lower;
    // Letters without case (feminine and masculine ordinal indicators).
    for (int c : {0xAA, 0xBA}) t.cls[c] |= Letter;
    return t;
}

}  // namespace

const Tables& tables() {
    static const Tables t = build();
    return t;
}

}  // namespace axf::byteclass
