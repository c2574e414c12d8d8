#include "common/MessageText.h"

namespace axf {

std::string cutForMessage(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return std::string(text);
    std::string out;
    out.reserve(limit + 3);
    out.append(text.substr(0, limit));
    out += "...";
    return out;
}

}  // namespace axf
