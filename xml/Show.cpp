#include "xml/Show.h"

namespace axf::xml {

namespace {

const char* const kControlNames[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "a",   "b",   "t",   "n",
                                       "v",   "f",   "r",   "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
                                       "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

}  // namespace

void showString(std::string_view s, std::string& out) {
    out += '"';
    const std::size_t n = s.size();
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= 32 && c < 127) {
            if (c == '"')
                out += "\\\"";
            else if (c == '\\')
                out += "\\\\";
            else
                out += static_cast<char>(c);
        } else if (c < 32) {
            out += '\\';
            out += kControlNames[c];
            if (c == 14 && i + 1 < n && s[i + 1] == 'H') out += "\\&";
        } else if (c == 127) {
            out += "\\DEL";
        } else {
            out += '\\';
            out += std::to_string(static_cast<int>(c));
            if (i + 1 < n && s[i + 1] >= '0' && s[i + 1] <= '9') out += "\\&";
        }
    }
    out += '"';
}

}  // namespace axf::xml
