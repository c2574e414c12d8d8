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

bool operator==(const ExternalId& a, const ExternalId& b) { return a.publicId == b.publicId && a.systemId == b.systemId; }
bool operator==(const EN_INTERNAL& a, const EN_INTERNAL& b) { return a.text == b.text; }
bool operator==(const EN_EXTERNAL& a, const EN_EXTERNAL& b) { return a.id == b.id; }

}  // namespace axf::xml

// ---- declaration records ---------------------------------------------------

namespace axf::xml {

const DTD& emptyDTD() {
    static const DTD dtd{{}, {}, predefinedEntities(), {}, {}, {}};
    return dtd;
}

namespace {
struct KeepOld {
    EntityText operator()(const EntityText& old, EntityText) const { return old; }
};
}  // namespace

DTD declareParameterEntity(std::string name, EntityText text, DTD dtd) {
    dtd.parments = insertWith(KeepOld{}, std::move(name), std::move(text), std::move(dtd.parments));
    return dtd;
}

DTD declareGeneralEntity(std::string name, EntityText text, DTD dtd) {
    dtd.genents = insertWith(KeepOld{}, std::move(name), std::move(text), std::move(dtd.genents));
    return dtd;
}

DTD declareElements(const std::vector<std::string>& names, std::pair<bool, bool> omissibility, CONTYPE contype,
                    std::pair<SharedList<std::string>, SharedList<std::string>> exceptions, DTD dtd) {
    for (const std::string& name : names)
        dtd.elements =
            insert(name, ELEMTYPE{name, contype, omissibility, exceptions.first, exceptions.second}, std::move(dtd.elements));
    return dtd;
}

DTD declareAttlist(const std::vector<std::string>& names, SharedList<ATTDEF> defs, DTD dtd) {
    for (const std::string& name : names) dtd.attlists = insert(name, defs, std::move(dtd.attlists));
    return dtd;
}

DTD declareNotation(std::string name, ExternalId, DTD dtd) {
    dtd.notations.push_front(std::move(name));
    return dtd;
}

// ---- printed forms -----------------------------------------------------------

void showAt(int, const PrimitiveToken& t, std::string& out) {
    if (const auto* e = std::get_if<ELEMENT>(&t))
        out += e->name;
    else
        out += "#PCDATA";
}

void showAt(int prec, const CONTYPE& c, std::string& out) {
    if (std::holds_alternative<DC_EMPTY>(c)) {
        out += "DC_EMPTY";
    } else if (std::holds_alternative<DC_ANY>(c)) {
        out += "DC_ANY";
    } else {
        openParen(prec, out);
        out += "DC_MODELGRP ";
        showAt(11, std::get<DC_MODELGRP>(c).model, out);
        closeParen(prec, out);
    }
}

void showAt(int prec, const ATT_TYPE& t, std::string& out) {
    static const char* const kNames[] = {"ATcdata",  "ATentity",  "ATentities", "ATid",       "ATidref",
                                         "ATidrefs", "ATnmtoken", "ATnmtokens", "ATnotation", "ATenumerated"};
    const std::vector<std::string>* names = nullptr;
    if (const auto* n = std::get_if<ATnotation>(&t))
        names = &n->names;
    else if (const auto* e = std::get_if<ATenumerated>(&t))
        names = &e->values;
    if (!names) {
        out += kNames[t.index()];
        return;
    }
    openParen(prec, out);
    out += kNames[t.index()];
    out += ' ';
    showAt(11, *names, out);
    closeParen(prec, out);
}

void showAt(int prec, const ATT_DV& d, std::string& out) {
    static const char* const kNames[] = {"ADVfixed", "ADVrequired", "ADVimplied", "ADVdefault", "ADVcurrent", "ADVconref"};
    const axf::Lazy<std::string>* value = nullptr;
    if (const auto* f = std::get_if<ADVfixed>(&d))
        value = &f->value;
    else if (const auto* v = std::get_if<ADVdefault>(&d))
        value = &v->value;
    if (!value) {
        out += kNames[d.index()];
        return;
    }
    openParen(prec, out);
    out += kNames[d.index()];
    out += ' ';
    showString(value->get(), out);
    closeParen(prec, out);
}

namespace {

// Writes "Name {", the fields joined by ", " and "}", parenthesised at
// precedence 11 or more.
class RecordWriter {
public:
    RecordWriter(int prec, const char* name, std::string& out) : prec_(prec), out_(out) {
        openParen(prec_, out_);
        out_ += name;
        out_ += " {";
    }
    template <class V>
    RecordWriter& field(const char* name, const V& value) {
        if (!first_) out_ += ", ";
        first_ = false;
        out_ += name;
        out_ += " = ";
        showAt(0, value, out_);
        return *this;
    }
    void close() {
        out_ += '}';
        closeParen(prec_, out_);
    }

private:
    int prec_;
    std::string& out_;
    bool first_ = true;
};

}  // namespace

void showAt(int prec, const ATTDEF& a, std::string& out) {
    RecordWriter(prec, "ATTDEF", out)
        .field("att_name", a.att_name)
        .field("att_type", a.att_type)
        .field("att_dv", a.att_dv)
        .close();
}

void showAt(int prec, const ELEMTYPE& e, std::string& out) {
    RecordWriter(prec, "ELEMTYPE", out)
        .field("gi", e.gi)
        .field("contype", e.contype)
        .field("omissibility", e.omissibility)
        .field("inclusions", e.inclusions)
        .field("exclusions", e.exclusions)
        .close();
}

namespace {
struct TableForm {
    template <class V>
    const std::vector<std::pair<std::string, V>>& operator()(const AssocList<std::string, V>& t) const {
        return t.pairs();
    }
};
struct NameList {
    const std::deque<std::string>& names;
};
void showAt(int, const NameList& l, std::string& out) {
    out += '[';
    bool first = true;
    for (const std::string& n : l.names) {
        if (!first) out += ',';
        first = false;
        showString(n, out);
    }
    out += ']';
}
}  // namespace

void showAt(int prec, const DTD& d, std::string& out) {
    const TableForm table;
    RecordWriter(prec, "DTD", out)
        .field("elements", table(d.elements))
        .field("attlists", table(d.attlists))
        .field("genents", table(d.genents))
        .field("parments", table(d.parments))
        .field("notations", NameList{d.notations})
        .field("dtdname", d.dtdname)
        .close();
}

}  // namespace axf::xml
