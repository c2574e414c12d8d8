#include "xml/DTD.h"

namespace axf::xml {

const EntityTable& predefinedEntities() {
    static const EntityTable table = [] {
        // Bound from the last definition to the first, so the table reads
        // quot, apos, gt, amp, lt.
        const std::pair<const char*, const char*> defs[] = {
            {"lt", "<"}, {"amp", "&"}, {"gt", ">"}, {"apos", "'"}, {"quot", "\""}};
        EntityTable t;
        for (int i = 4; i >= 0; --i)
            t = insert<std::string, EntityText>(defs[i].first, EN_INTERNAL{defs[i].second}, std::move(t));
        return t;
    }();
    return table;
}

const std::string* findInternalEntity(const EntityTable& table, const std::string& name) {
    const EntityText* e = table.find(name);
    if (!e) return nullptr;
    if (const auto* in = std::get_if<EN_INTERNAL>(e)) return &in->text;
    return nullptr;
}

std::optional<std::string> expandInternalEntity(const EntityTable& table, const std::string& name) {
    if (const std::string* s = findInternalEntity(table, name)) return *s;
    return std::nullopt;
}

void showAt(int prec, const EntityText& e, std::string& out) {
    openParen(prec, out);
    if (const auto* in = std::get_if<EN_INTERNAL>(&e)) {
        out += "EN_INTERNAL ";
        showString(in->text, out);
    } else {
        const ExternalId& id = std::get<EN_EXTERNAL>(e).id;
        out += "EN_EXTERNAL ";
        showAt(11, std::pair(id.publicId, id.systemId), out);
    }
    closeParen(prec, out);
}

bool operator==(const ExternalId& a, const ExternalId& b) {
    return a.publicId == b.publicId && a.systemId == b.systemId;
}
bool operator==(const EN_INTERNAL& a, const EN_INTERNAL& b) { return a.text == b.text; }
bool operator==(const EN_EXTERNAL& a, const EN_EXTERNAL& b) { return a.id == b.id; }

}  // namespace axf::xml
