#include "index/SynonymClasses.h"

#include <array>
#include <string>
#include <unordered_map>

namespace axf::index {
namespace {

constexpr std::array<SynonymClass, 84> kClasses{{
    {1, "site", "sito"},
    {2, "regioni", "regions"},
    {3, "africa", ""},
    {4, "asia", ""},
    {5, "australia", ""},
    {6, "europa", "europe"},
    {7, "samerica", ""},
    {8, "namerica", ""},
    {9, "articolo", "item"},
    {10, "location", "locazione"},
    {11, "quantita", "quantity"},
    {12, "name", "nome"},
    {13, "pagamento", "payment"},
    {14, "description", "descrizione"},
    {15, "parlist", ""},
    {16, "listitem", ""},
    {17, "testo", "text"},
    {18, "shipping", ""},
    {19, "incategory", ""},
    {20, "mailbox", ""},
    {21, "mail", ""},
    {22, "from", ""},
    {23, "to", ""},
    {24, "date", ""},
    {25, "categories", ""},
    {26, "category", ""},
    {27, "catgraph", ""},
    {28, "edge", ""},
    {29, "people", "persone"},
    {30, "person", "persona"},
    {31, "emailaddress", "indirizzo_email"},
    {32, "creditcard", ""},
    {33, "watches", ""},
    {34, "watch", ""},
    {35, "address", ""},
    {36, "street", ""},
    {37, "city", ""},
    {38, "country", ""},
    {39, "zipcode", ""},
    {40, "profile", "profilo"},
    {41, "interest", ""},
    {42, "business", ""},
    {43, "age", ""},
    {44, "province", ""},
    {45, "homepage", ""},
    {46, "phone", ""},
    {47, "education", ""},
    {48, "gender", ""},
    {49, "aste_aperte", "open_auctions"},
    {50, "asta_aperta", "open_auction"},
    {51, "codice", "id"},
    {52, "initial", "prezzo_base"},
    {53, "reserve", ""},
    {54, "bidder", "offerente"},
    {55, "time", ""},
    {56, "personref", "riferimento_persona"},
    {57, "increase", "incremento"},
    {58, "current", "prezzo_corrente"},
    {59, "privacy", ""},
    {60, "itemref", "riferimento_articolo"},
    {61, "seller", "venditore"},
    {62, "annotation", "annotazione"},
    {63, "author", ""},
    {64, "happiness", ""},
    {65, "type", ""},
    {66, "interval", ""},
    {67, "start", ""},
    {68, "end", ""},
    {69, "aste_chiuse", "closed_auctions"},
    {70, "asta_chiusa", "closed_auction"},
    {71, "acquirente", "buyer"},
    {72, "prezzo", "price"},
    {73, "emph", ""},
    {74, "keyword", ""},
    {75, "bold", ""},
    {76, "?xml", ""},
    {77, "version", ""},
    {78, "standalone", ""},
    {79, "disponibilita", "income"},
    {80, "status", ""},
    {81, "amount", ""},
    {82, "featured", ""},
    {83, "0000", ""},
    {84, "Empty Result", ""},
}};

const std::unordered_map<std::string_view, VocabularyName>& vocabulary() {
    static const auto* table = [] {
        static std::array<std::string, 85> classTexts;
        auto* m = new std::unordered_map<std::string_view, VocabularyName>;
        for (const SynonymClass& c : kClasses) {
            classTexts[c.number] = std::to_string(c.number);
            std::string_view text = classTexts[c.number];
            m->emplace(c.first, VocabularyName{c.first, text, c.second});
            if (!c.second.empty()) m->emplace(c.second, VocabularyName{c.second, text, c.first});
        }
        return m;
    }();
    return *table;
}

}  // namespace

std::span<const SynonymClass> synonymClasses() { return kClasses; }

std::optional<VocabularyName> lookupVocabulary(std::string_view name) {
    const auto& v = vocabulary();
    auto it = v.find(name);
    if (it == v.end()) return std::nullopt;
    return it->second;
}

std::optional<std::string_view> className(std::string_view name) {
    auto entry = lookupVocabulary(name);
    if (!entry) return std::nullopt;
    return entry->classText;
}

}  // namespace axf::index
