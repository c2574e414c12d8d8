#include "xml/DTDParseInternal.h"

#include <optional>

#include "xml/ParserHelpers.h"

namespace axf::xml {

namespace {

using PT = PrimitiveToken;
using Names = std::vector<std::string>;

// Runs a shared parser of another module, looked up when it is used (so the
// order in which the shared parsers are built does not matter).
template <class V>
struct Shared {
    const XP<V>& (*get)();
    Reply<V> operator()(TokenStream& in, std::size_t pos) const { return get()(in, pos); }
};

// ---- name groups and content models ------------------------------------------

const auto& nameGroupP() {
    // The connector after the first name fixes the group's.
    auto further = [](DelimKind connector) { return pSome(seqR(pDelim(connector), pName)); };
    static const auto p = seqWith(
        [](Unit, std::string first, Names rest, Unit) {
            Names names;
            names.reserve(rest.size() + 1);
            names.push_back(std::move(first));
            for (std::string& n : rest) names.push_back(std::move(n));
            return names;
        },
        pDelim(DelimKind::GRPO), pName,
        orElse(alt(further(DelimKind::SEQ), further(DelimKind::OR), further(DelimKind::AND)), Names{}), pDelim(DelimKind::GRPC));
    return p;
}

const auto& nameOrGroupP() {
    static const auto p = alt(fmap([](std::string n) { return wrap(std::move(n)); }, pName), nameGroupP());
    return p;
}

ContentModel occurPlus(ContentModel m) { return Plus<PT>{m}; }
ContentModel occurRep(ContentModel m) { return Rep<PT>{m}; }
ContentModel occurOpt(ContentModel m) { return Opt<PT>{m}; }
ContentModel occurNone(ContentModel m) { return m; }

// The occurrence indicator at `tok`, or nullptr.
Occurrence occurrenceOf(const Delimiter* tok) {
    if (!tok) return nullptr;
    switch (tok->kind()) {
        case DelimKind::PLUS: return &occurPlus;
        case DelimKind::REP: return &occurRep;
        case DelimKind::OPT: return &occurOpt;
        default: return nullptr;
    }
}

const auto& occurrenceP() {
    static const auto p =
        alt(constAs(Occurrence(&occurPlus), pDelim(DelimKind::PLUS)), constAs(Occurrence(&occurRep), pDelim(DelimKind::REP)),
            constAs(Occurrence(&occurOpt), pDelim(DelimKind::OPT)), pSucceed(Occurrence(&occurNone)));
    return p;
}

// A content model, read in one loop with a stack of the groups still open:
//     model := unit occurrence
//     unit  := NAME | "#PCDATA" | "(" model (connector model)* ")"
// where one group keeps to the connector after its first member. Fails
// without consuming only when the first token begins no unit.
struct ContentModelParser {
    template <class In>
    Reply<ContentModel> operator()(In& in, std::size_t pos) const {
        using R = Reply<ContentModel>;
        struct Group {
            std::optional<DelimKind> connector;
            std::vector<ContentModel> members;
        };
        std::vector<Group> open;
        std::optional<ContentModel> unit;
        const std::size_t start = pos;
        for (;;) {
            const Delimiter* t = in.peek(pos);
            if (t && t->is(DelimKind::NAME)) {
                unit.emplace(Prim<PT>{ELEMENT{std::string(t->view())}});
            } else if (t && t->is(DelimKind::RNINAME) && t->view() == "#PCDATA") {
                unit.emplace(Prim<PT>{PCDATA{}});
            } else if (t && t->is(DelimKind::GRPO)) {
                open.emplace_back();
                ++pos;
                continue;
            } else {
                return pos == start ? R::failEmpty(pos) : R::failConsumed(pos);
            }
            ++pos;
            // The unit's occurrence indicator, then the groups that close
            // after it, each with its own indicator.
            for (;;) {
                if (Occurrence occ = occurrenceOf(in.peek(pos))) {
                    unit.emplace(occ(std::move(*unit)));
                    ++pos;
                }
                if (open.empty()) return R::success(std::move(*unit), pos);
                Group& g = open.back();
                const Delimiter* c = in.peek(pos);
                if (!c) return R::failConsumed(pos);
                if (c->is(DelimKind::GRPC)) {
                    ++pos;
                    if (g.connector) {
                        g.members.push_back(std::move(*unit));
                        unit.emplace(makeGroup(*g.connector, std::move(g.members)));
                    }  // else a group of one member is that member
                    open.pop_back();
                    continue;
                }
                const bool connector = c->is(DelimKind::SEQ) || c->is(DelimKind::AND) || c->is(DelimKind::OR);
                if (!connector || (g.connector && *g.connector != c->kind())) return R::failConsumed(pos);
                g.connector = c->kind();
                g.members.push_back(std::move(*unit));
                ++pos;
                break;
            }
        }
    }

private:
    static ContentModel makeGroup(DelimKind connector, std::vector<ContentModel> members) {
        if (connector == DelimKind::SEQ) return Seq<PT>{std::move(members)};
        if (connector == DelimKind::AND) return And<PT>{std::move(members)};
        return Or<PT>{std::move(members)};
    }
};

const auto& declaredContentP() {
    static const auto p = alt(constAs(CONTYPE{DC_EMPTY{}}, pKeyword("EMPTY")), constAs(CONTYPE{DC_ANY{}}, pKeyword("ANY")),
                              fmap([](ContentModel m) { return CONTYPE{DC_MODELGRP{m}}; }, ContentModelParser{}));
    return p;
}

// ---- element declarations ------------------------------------------------------

const auto& omissionFlagP() {
    static const auto p = alt(constAs(true, pKeyword("O")), constAs(false, pDelim(DelimKind::MINUS)));
    return p;
}

const auto& elementDeclP() {
    static const auto p = seqWith(
        [](Names names, std::pair<bool, bool> flags, CONTYPE content, Names exclusions, Names inclusions) {
            return DTDUpdate([names = std::move(names), flags, content = std::move(content),
                              groups = std::make_pair(SharedList<std::string>(std::move(inclusions)),
                                                      SharedList<std::string>(std::move(exclusions)))](DTD d) {
                return declareElements(names, flags, content, groups, std::move(d));
            });
        },
        nameOrGroupP(), orElse(seqPair(omissionFlagP(), omissionFlagP()), std::make_pair(false, false)), declaredContentP(),
        orElse(seqR(pDelim(DelimKind::MINUS), nameGroupP()), Names{}),
        orElse(seqR(pDelim(DelimKind::PLUS), nameGroupP()), Names{}));
    return p;
}

// ---- attribute-list declarations ---------------------------------------------------

template <class V>
auto typeKeyword(const char* word) {
    return constAs(ATT_TYPE{V{}}, pKeyword(word));
}
template <class V>
auto defaultKeyword(const char* word) {
    return constAs(ATT_DV{V{}}, pReservedName(word));
}

const auto& declaredValueP() {
    static const auto p =
        alt(typeKeyword<ATcdata>("CDATA"), typeKeyword<ATid>("ID"), typeKeyword<ATidref>("IDREF"),
            typeKeyword<ATidrefs>("IDREFS"), typeKeyword<ATentity>("ENTITY"), typeKeyword<ATentities>("ENTITIES"),
            typeKeyword<ATnmtoken>("NMTOKEN"), typeKeyword<ATnmtokens>("NMTOKENS"),
            seqWith([](Unit, Names names) { return ATT_TYPE{ATnotation{std::move(names)}}; }, pKeyword("NOTATION"), nameGroupP()),
            fmap([](Names values) { return ATT_TYPE{ATenumerated{std::move(values)}}; }, nameGroupP()),
            typeKeyword<ATnmtoken>("NAME"), typeKeyword<ATnmtoken>("NUMBER"), typeKeyword<ATnmtoken>("NUTOKEN"),
            typeKeyword<ATnmtokens>("NAMES"), typeKeyword<ATnmtokens>("NUMBERS"), typeKeyword<ATnmtokens>("NUTOKENS"));
    return p;
}

const Shared<axf::Lazy<std::string>> attValue{&pAttValue};

const auto& defaultValueP() {
    static const auto p = alt(
        defaultKeyword<ADVimplied>("#IMPLIED"), defaultKeyword<ADVrequired>("#REQUIRED"),
        seqWith([](Unit, axf::Lazy<std::string> v) { return ATT_DV{ADVfixed{std::move(v)}}; }, pReservedName("#FIXED"), attValue),
        fmap([](axf::Lazy<std::string> v) { return ATT_DV{ADVdefault{std::move(v)}}; }, attValue),
        defaultKeyword<ADVcurrent>("#CURRENT"), defaultKeyword<ADVconref>("#CONREF"));
    return p;
}

const auto& attDefP() {
    static const auto p = seqWith(
        [](std::string name, ATT_TYPE type, ATT_DV dv) {
            return ATTDEF{std::move(name), std::move(type), std::move(dv)};
        },
        pName, declaredValueP(), defaultValueP());
    return p;
}

const auto& attlistDeclP() {
    static const auto p = seqWith(
        [](Names names, std::vector<ATTDEF> defs) {
            return DTDUpdate([names = std::move(names), defs = SharedList<ATTDEF>(std::move(defs))](DTD d) {
                return declareAttlist(names, defs, std::move(d));
            });
        },
        nameOrGroupP(), pList(attDefP()));
    return p;
}

// ---- entity and notation declarations ---------------------------------------------

const Shared<ExternalId> externalId{&pExternalId};

const auto& dataAttributeP() {
    static const auto p = seqWith(
        [](std::string name, Unit, axf::Lazy<std::string> value) { return DataAttribute(std::move(name), std::move(value)); },
        pName, pDelim(DelimKind::VI), attValue);
    return p;
}

const auto& dataAttributesP() {
    static const auto p = seqWith([](Unit, std::vector<DataAttribute> atts, Unit) { return atts; }, pDelim(DelimKind::DSO),
                                  pList(dataAttributeP()), pDelim(DelimKind::DSC));
    return p;
}

const auto& entityTypeP() {
    static const auto p =
        alt(constAs(ENTTYPE::ETsubdoc, pKeyword("SUBDOC")),
            seqWith([](ENTTYPE type, std::string, std::vector<DataAttribute>) { return type; },
                    alt(constAs(ENTTYPE::ETcdata, pKeyword("CDATA")), constAs(ENTTYPE::ETsdata, pKeyword("SDATA")),
                        constAs(ENTTYPE::ETndata, pKeyword("NDATA"))),
                    pName, dataAttributesP()));
    return p;
}

const auto& entityTextP() {
    static const auto p =
        alt(fmap([](std::string text) { return EntityText{EN_INTERNAL{std::move(text)}}; }, pLiteral),
            seqWith([](ExternalId id, ENTTYPE) { return EntityText{EN_EXTERNAL{std::move(id)}}; }, externalId, entityTypeP()));
    return p;
}

const auto& entityDeclP() {
    static const auto p = alt(seqWith(
                                  [](Unit, std::string name, EntityText text) {
                                      return DTDUpdate([name = std::move(name), text = std::move(text)](DTD d) {
                                          return declareParameterEntity(name, text, std::move(d));
                                      });
                                  },
                                  pDelim(DelimKind::PERO), pName, entityTextP()),
                              seqWith(
                                  [](std::string name, EntityText text) {
                                      return DTDUpdate([name = std::move(name), text = std::move(text)](DTD d) {
                                          return declareGeneralEntity(name, text, std::move(d));
                                      });
                                  },
                                  pName, entityTextP()));
    return p;
}

const auto& notationDeclP() {
    static const auto p = seqWith(
        [](std::string name, ExternalId id) {
            return DTDUpdate(
                [name = std::move(name), id = std::move(id)](DTD d) { return declareNotation(name, id, std::move(d)); });
        },
        pName, externalId);
    return p;
}

// ---- declaration stream ----------------------------------------------------------

const auto& markupDeclP() {
    static const auto p = seqWith([](Unit, DTDUpdate update, Unit) { return update; }, pDelim(DelimKind::MDO),
                                  alt(seqR(pKeyword("ELEMENT"), elementDeclP()), seqR(pKeyword("ATTLIST"), attlistDeclP()),
                                      seqR(pKeyword("ENTITY"), entityDeclP()), seqR(pKeyword("NOTATION"), notationDeclP())),
                                  pDelim(DelimKind::MDC));
    return p;
}

const auto& declItemP() {
    static const DTDUpdate unchanged = [](DTD d) { return d; };
    static const auto p = alt(markupDeclP(), constAs(unchanged, Shared<PIValue>{&pPI}),
                              constAs(unchanged, Shared<std::string>{&pDeclComment}), constAs(unchanged, pPERef));
    return p;
}

}  // namespace

// The shared, type-erased forms, built on first use.
const XP<std::vector<std::string>>& pNameGroup() {
    static const XP<std::vector<std::string>> p(nameGroupP());
    return p;
}
const XP<std::vector<std::string>>& pNameOrGroup() {
    static const XP<std::vector<std::string>> p(nameOrGroupP());
    return p;
}
const XP<Occurrence>& pOccurrence() {
    static const XP<Occurrence> p(occurrenceP());
    return p;
}
const XP<ContentModel>& pContentModel() {
    static const XP<ContentModel> p(ContentModelParser{});
    return p;
}
const XP<CONTYPE>& pDeclaredContent() {
    static const XP<CONTYPE> p(declaredContentP());
    return p;
}
const XP<bool>& pOmissionFlag() {
    static const XP<bool> p(omissionFlagP());
    return p;
}
const XP<DTDUpdate>& pElementDecl() {
    static const XP<DTDUpdate> p(elementDeclP());
    return p;
}
const XP<ATT_TYPE>& pDeclaredValue() {
    static const XP<ATT_TYPE> p(declaredValueP());
    return p;
}
const XP<ATT_DV>& pDefaultValue() {
    static const XP<ATT_DV> p(defaultValueP());
    return p;
}
const XP<ATTDEF>& pAttDef() {
    static const XP<ATTDEF> p(attDefP());
    return p;
}
const XP<EntityText>& pEntityText() {
    static const XP<EntityText> p(entityTextP());
    return p;
}
const XP<ENTTYPE>& pEntityType() {
    static const XP<ENTTYPE> p(entityTypeP());
    return p;
}
const XP<std::vector<DataAttribute>>& pDataAttributes() {
    static const XP<std::vector<DataAttribute>> p(dataAttributesP());
    return p;
}
const XP<DataAttribute>& pDataAttribute() {
    static const XP<DataAttribute> p(dataAttributeP());
    return p;
}
const XP<DTDUpdate>& pEntityDecl() {
    static const XP<DTDUpdate> p(entityDeclP());
    return p;
}

DTD parseDTD(std::string_view text) {
    TokenStream tokens(text, ScanMode::Markup);
    DTD dtd = emptyDTD();
    std::size_t pos = 0;
    // Each item consumes at least one token, so the loop ends; the tokens of
    // an item are dropped once it is applied.
    while (auto item = pRun(declItemP(), tokens, pos)) {
        dtd = item->first(std::move(dtd));
        pos = item->second;
        tokens.release(pos);
    }
    return dtd;
}

}  // namespace axf::xml
