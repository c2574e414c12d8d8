// Which entries of an index key a lookup returns. A query node searched
// exactly finds the nodes that bear its name; one searched through
// translations finds those together with the nodes of the name's
// translations, in one list by position. The same choice is a query node's
// search type.
#pragma once

#include <cstdint>

namespace axf::index {

enum class LookupKind : std::uint8_t {
    Exact,             // the key's own entries
    WithTranslations,  // the key's own entries and those of its translations
};

}  // namespace axf::index
