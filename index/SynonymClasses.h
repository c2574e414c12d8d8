// The tag vocabulary: the 114 element and attribute names of the auction data
// set (English and Italian), three words of the XML declaration and the two
// root labels of result documents, grouped into 84 synonym classes of one
// name or of a name and its translation.
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace axf::index {

// One synonym class: its number and its one or two names (ascending byte
// order; `second` is empty for a class of one name).
struct SynonymClass {
    int number;
    std::string_view first;
    std::string_view second;
};

// The 84 classes in ascending class number.
std::span<const SynonymClass> synonymClasses();

// The class text ("1" to "84") of a vocabulary name, compared whole, byte for
// byte. A text outside the vocabulary has no class.
std::optional<std::string_view> className(std::string_view name);

// What the vocabulary holds for one of its names; every view lives for the
// whole run.
struct VocabularyName {
    std::string_view name;
    std::string_view classText;
    std::string_view translation;  // the other name of the class; empty when it has one name
};

// The vocabulary entry of a name, compared whole, byte for byte.
std::optional<VocabularyName> lookupVocabulary(std::string_view name);

}  // namespace axf::index
