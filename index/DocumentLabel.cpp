#include "index/DocumentLabel.h"

#include <charconv>

namespace axf::index {

std::string documentLabel(std::string_view value, std::int64_t position) {
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, position);
    const std::size_t ndigits = static_cast<std::size_t>(end - digits);
    std::string label;
    std::size_t special = value.find_first_of("^\\");
    if (special == std::string_view::npos) {
        label.reserve(value.size() + 1 + ndigits);
        label.append(value);
    } else {
        label.reserve(value.size() + 2 + ndigits);
        label.append(value.substr(0, special));
        for (char c : value.substr(special)) {
            if (c == '^' || c == '\\') label.push_back('\\');
            label.push_back(c);
        }
    }
    label.push_back('^');
    label.append(digits, ndigits);
    return label;
}

std::string_view getMapName(std::int64_t position, const Mapping& mapping) {
    if (position < 1 || static_cast<std::uint64_t>(position) >= mapping.size())
        throw InternalError("getMapName: position " + std::to_string(position) + " numbers no node");
    return mapping[static_cast<std::size_t>(position)];
}

}  // namespace axf::index
