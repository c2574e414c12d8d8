// Records of a document type definition: the value of a declared entity, the
// table of the five predefined general entities, the declaration set `DTD`
// with its element, attribute-list, entity and notation tables, content
// models, and the operations that add one declaration to a declaration set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "common/Lazy.h"
#include "xml/Arena.h"
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

// ---- declaration records ---------------------------------------------------

// An immutable list shared by every record that holds it: copying it copies
// a pointer. One declaration that names many elements gives each of them the
// same list without copying it.
template <class T>
class SharedList {
public:
    SharedList() = default;
    SharedList(std::vector<T> items)  // NOLINT: implicit by design
        : items_(items.empty() ? nullptr : std::make_shared<const std::vector<T>>(std::move(items))) {}
    SharedList(std::initializer_list<T> items) : SharedList(std::vector<T>(items)) {}

    const std::vector<T>& get() const { return items_ ? *items_ : none(); }
    std::size_t size() const { return get().size(); }
    bool empty() const { return get().empty(); }
    const T& operator[](std::size_t i) const { return get()[i]; }
    auto begin() const { return get().begin(); }
    auto end() const { return get().end(); }

private:
    static const std::vector<T>& none() {
        static const std::vector<T> empty;
        return empty;
    }
    std::shared_ptr<const std::vector<T>> items_;
};

template <class T>
void showAt(int prec, const SharedList<T>& l, std::string& out) {
    showAt(prec, l.get(), out);
}

// Content tokens: "#PCDATA" or an element name.
struct PCDATA {};
struct ELEMENT {
    std::string name;
};
using PrimitiveToken = std::variant<PCDATA, ELEMENT>;

inline bool operator==(const PCDATA&, const PCDATA&) { return true; }
inline bool operator==(const ELEMENT& a, const ELEMENT& b) { return a.name == b.name; }

// "#PCDATA", or the element name as it stands (no quotes, no escapes), at
// every precedence.
void showAt(int prec, const PrimitiveToken& t, std::string& out);

// A content model over leaves of type T. CE<T> is a handle to an immutable
// node in the arena: copies share the node, and a model of any depth is
// dropped without recursion. It is built from one of its seven forms:
//     Prim{leaf}, Rep{m}, Opt{m}, Plus{m}, Seq{{m1, ...}}, Or{{...}}, And{{...}}
// (Rep, Opt and Plus: zero or more, optional, one or more; Seq, Or and And:
// in sequence, one of, all in any order). == compares structurally.
template <class T>
struct CENode;
template <class T>
struct Prim;
template <class T>
struct Rep;
template <class T>
struct Opt;
template <class T>
struct Plus;
template <class T>
struct Seq;
template <class T>
struct Or;
template <class T>
struct And;

template <class T>
class CE {
public:
    CE(Prim<T> x);  // NOLINT: implicit by design, as are the six below
    CE(Rep<T> x);
    CE(Opt<T> x);
    CE(Plus<T> x);
    CE(Seq<T> x);
    CE(Or<T> x);
    CE(And<T> x);

    // The node's form (a std::variant over the seven forms).
    const auto& value() const { return node_->value; }
    const CENode<T>* node() const { return node_; }

private:
    template <class Form>
    static const CENode<T>* make(Form x);
    const CENode<T>* node_;
};

template <class T>
struct Prim {
    T leaf;
};
template <class T>
struct Rep {
    CE<T> inner;
};
template <class T>
struct Opt {
    CE<T> inner;
};
template <class T>
struct Plus {
    CE<T> inner;
};
template <class T>
struct Seq {
    std::vector<CE<T>> members;
};
template <class T>
struct Or {
    std::vector<CE<T>> members;
};
template <class T>
struct And {
    std::vector<CE<T>> members;
};

template <class T>
struct CENode {
    std::variant<Prim<T>, Rep<T>, Opt<T>, Plus<T>, Seq<T>, Or<T>, And<T>> value;
};

template <class T>
template <class Form>
const CENode<T>* CE<T>::make(Form x) {
    return Arena::make<CENode<T>>(CENode<T>{std::move(x)});
}
template <class T>
CE<T>::CE(Prim<T> x) : node_(make(std::move(x))) {}
template <class T>
CE<T>::CE(Rep<T> x) : node_(make(std::move(x))) {}
template <class T>
CE<T>::CE(Opt<T> x) : node_(make(std::move(x))) {}
template <class T>
CE<T>::CE(Plus<T> x) : node_(make(std::move(x))) {}
template <class T>
CE<T>::CE(Seq<T> x) : node_(make(std::move(x))) {}
template <class T>
CE<T>::CE(Or<T> x) : node_(make(std::move(x))) {}
template <class T>
CE<T>::CE(And<T> x) : node_(make(std::move(x))) {}

namespace detail {
// The members of a group node, or nullptr for the other forms.
template <class T>
const std::vector<CE<T>>* groupMembers(const CENode<T>& n) {
    if (const auto* s = std::get_if<Seq<T>>(&n.value)) return &s->members;
    if (const auto* o = std::get_if<Or<T>>(&n.value)) return &o->members;
    if (const auto* a = std::get_if<And<T>>(&n.value)) return &a->members;
    return nullptr;
}
// The operand of a Rep, Opt or Plus node, or nullptr for the other forms.
template <class T>
const CENode<T>* operandOf(const CENode<T>& n) {
    if (const auto* r = std::get_if<Rep<T>>(&n.value)) return r->inner.node();
    if (const auto* o = std::get_if<Opt<T>>(&n.value)) return o->inner.node();
    if (const auto* p = std::get_if<Plus<T>>(&n.value)) return p->inner.node();
    return nullptr;
}
}  // namespace detail

// Same form and equal fields, member by member in order; leaves compare
// with their own ==. Nothing is normalised first. Runs in a loop, so models
// of any depth compare.
template <class T>
bool operator==(const CE<T>& a, const CE<T>& b) {
    std::vector<std::pair<const CENode<T>*, const CENode<T>*>> todo{{a.node(), b.node()}};
    while (!todo.empty()) {
        auto [x, y] = todo.back();
        todo.pop_back();
        if (x == y) continue;
        if (x->value.index() != y->value.index()) return false;
        if (const auto* p = std::get_if<Prim<T>>(&x->value)) {
            if (!(p->leaf == std::get<Prim<T>>(y->value).leaf)) return false;
        } else if (const CENode<T>* xi = detail::operandOf(*x)) {
            todo.emplace_back(xi, detail::operandOf(*y));
        } else {
            const auto& xs = *detail::groupMembers(*x);
            const auto& ys = *detail::groupMembers(*y);
            if (xs.size() != ys.size()) return false;
            // Pushed last to first, so the first members are compared first.
            for (std::size_t i = xs.size(); i-- > 0;) todo.emplace_back(xs[i].node(), ys[i].node());
        }
    }
    return true;
}

// The group syntax: a leaf as its own printed form, an occurrence indicator
// ("*", "?", "+") right after its operand, groups in parentheses with ", ",
// " | " or " & " between members, and "(-- ERROR: empty model group! --)"
// for a group without members. The precedence plays no part. Runs in a loop,
// so models of any depth print.
template <class T>
void showAt(int, const CE<T>& m, std::string& out) {
    // Each task prints a node or appends a fixed text.
    using Task = std::variant<const CENode<T>*, const char*>;
    std::vector<Task> todo{m.node()};
    while (!todo.empty()) {
        Task t = todo.back();
        todo.pop_back();
        if (const auto* text = std::get_if<const char*>(&t)) {
            out += *text;
            continue;
        }
        const CENode<T>& n = *std::get<const CENode<T>*>(t);
        if (const auto* p = std::get_if<Prim<T>>(&n.value)) {
            showAt(0, p->leaf, out);
        } else if (const CENode<T>* inner = detail::operandOf(n)) {
            todo.emplace_back(std::holds_alternative<Rep<T>>(n.value)   ? "*"
                              : std::holds_alternative<Opt<T>>(n.value) ? "?"
                                                                        : "+");
            todo.emplace_back(inner);
        } else {
            const auto& ms = *detail::groupMembers(n);
            if (ms.empty()) {
                out += "(-- ERROR: empty model group! --)";
                continue;
            }
            const char* sep = std::holds_alternative<Seq<T>>(n.value)  ? ", "
                              : std::holds_alternative<Or<T>>(n.value) ? " | "
                                                                       : " & ";
            out += '(';
            todo.emplace_back(")");
            for (std::size_t i = ms.size(); i-- > 0;) {
                todo.emplace_back(ms[i].node());
                if (i > 0) todo.emplace_back(sep);
            }
        }
    }
}

// The content models of element declarations.
using ContentModel = CE<PrimitiveToken>;

// Declared content: "EMPTY", "ANY" or a content model.
struct DC_EMPTY {};
struct DC_ANY {};
struct DC_MODELGRP {
    ContentModel model;
};
using CONTYPE = std::variant<DC_EMPTY, DC_ANY, DC_MODELGRP>;

// Declared value of an attribute. NAME, NUMBER and NUTOKEN are read as
// ATnmtoken, their plurals as ATnmtokens.
struct ATcdata {};
struct ATentity {};
struct ATentities {};
struct ATid {};
struct ATidref {};
struct ATidrefs {};
struct ATnmtoken {};
struct ATnmtokens {};
struct ATnotation {
    std::vector<std::string> names;
};
struct ATenumerated {
    std::vector<std::string> values;
};
using ATT_TYPE =
    std::variant<ATcdata, ATentity, ATentities, ATid, ATidref, ATidrefs, ATnmtoken, ATnmtokens, ATnotation, ATenumerated>;

// Default value of an attribute. A value given in the declaration has its
// references expanded when it is first read, so a reference to an unknown
// entity fails only then.
struct ADVfixed {
    axf::Lazy<std::string> value;
};
struct ADVrequired {};
struct ADVimplied {};
struct ADVdefault {
    axf::Lazy<std::string> value;
};
struct ADVcurrent {};
struct ADVconref {};
using ATT_DV = std::variant<ADVfixed, ADVrequired, ADVimplied, ADVdefault, ADVcurrent, ADVconref>;

// The type of an entity. Read from declarations but not kept in the tables.
enum class ENTTYPE : std::uint8_t { ETtext, ETcdata, ETsdata, ETndata, ETsubdoc, ETpi };
using EntityType = ENTTYPE;

// One attribute definition.
struct ATTDEF {
    std::string att_name;
    ATT_TYPE att_type;
    ATT_DV att_dv;
};

// One element declaration. omissibility: (start tag may be omitted, end tag
// may be omitted).
struct ELEMTYPE {
    std::string gi;
    CONTYPE contype;
    std::pair<bool, bool> omissibility;
    SharedList<std::string> inclusions;
    SharedList<std::string> exclusions;
};

// The full record of one entity declaration. No operation builds one: the
// tables keep entities as EntityText.
struct Entity {
    std::string ename;
    ENTTYPE etype = ENTTYPE::ETtext;
    EntityText etext;
    std::optional<std::string> edcn;  // data content notation
    std::vector<std::pair<std::string, std::string>> eatts;
};

using ElementTable = AssocList<std::string, ELEMTYPE>;
using AttlistTable = AssocList<std::string, SharedList<ATTDEF>>;

// The declaration set of one document type.
struct DTD {
    ElementTable elements;
    AttlistTable attlists;
    EntityTable genents;
    EntityTable parments;
    std::deque<std::string> notations;  // the most recently declared first
    std::string dtdname;
};

// No declarations: empty tables and notation list, an empty name, and the
// five predefined entities as the general entities.
const DTD& emptyDTD();

// Each declare operation adds one declaration to a declaration set and
// returns the new set (pass the old one with std::move to avoid a copy).
//
// Entities: the first declaration of a name wins; a later one changes
// nothing (so the predefined entities cannot be redeclared).
DTD declareParameterEntity(std::string name, EntityText text, DTD dtd);
DTD declareGeneralEntity(std::string name, EntityText text, DTD dtd);
// Elements: each name, in order, is bound to an ELEMTYPE holding that name
// and the shared parts; a name already declared keeps its place and takes
// the new declaration. exceptions: (inclusions, exclusions).
DTD declareElements(const std::vector<std::string>& names, std::pair<bool, bool> omissibility, CONTYPE contype,
                    std::pair<SharedList<std::string>, SharedList<std::string>> exceptions, DTD dtd);
// Attribute lists: each name, in order, is bound to the whole list; a later
// list for a name replaces the earlier one in its place (no merging).
DTD declareAttlist(const std::vector<std::string>& names, SharedList<ATTDEF> defs, DTD dtd);
// Notations: the name is put at the front of the list, also when it is
// there already. The identifier is not kept.
DTD declareNotation(std::string name, ExternalId id, DTD dtd);

// Printed forms: constructor form for the sum types, record form
// ("ATTDEF {att_name = ..., ...}") for the records; constructors with fields
// and records are parenthesised at precedence 11 or more.
void showAt(int prec, const CONTYPE& c, std::string& out);
void showAt(int prec, const ATT_TYPE& t, std::string& out);
void showAt(int prec, const ATT_DV& d, std::string& out);
void showAt(int prec, const ATTDEF& a, std::string& out);
void showAt(int prec, const ELEMTYPE& e, std::string& out);
void showAt(int prec, const DTD& d, std::string& out);

}  // namespace axf::xml
