// Records of a document type definition: the value of a declared entity and
// the table of the five predefined general entities.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "xml/AssocList.h"
#include "xml/Show.h"

namespace axf::xml {

// The external identifier of an entity: public then system identifier.
struct ExternalId {
    std::optional<std::string> publicId;
    std::optional<std::string> systemId;
};

struct EN_INTERNAL {
    std::string text;  // the replacement text
};
struct EN_EXTERNAL {
    ExternalId id;
};

using EntityText = std::variant<EN_INTERNAL, EN_EXTERNAL>;

using EntityTable = AssocList<std::string, EntityText>;

// quot, apos, gt, amp, lt (in this table order), each bound to its one
// character. Built once, on first use.
const EntityTable& predefinedEntities();

// The replacement text of the internal entity `name`; none when the table
// does not hold the name or holds it as an external entity.
std::optional<std::string> expandInternalEntity(const EntityTable& table, const std::string& name);
// The same without copying: a pointer into the table, or nullptr.
const std::string* findInternalEntity(const EntityTable& table, const std::string& name);

void showAt(int prec, const EntityText& e, std::string& out);

bool operator==(const ExternalId& a, const ExternalId& b);
bool operator==(const EN_INTERNAL& a, const EN_INTERNAL& b);
bool operator==(const EN_EXTERNAL& a, const EN_EXTERNAL& b);

}  // namespace axf::xml
