// Internal: for this folder and its tests. The reader of text templates
// (Substitute.h), which only the text substitutions use.
#pragma once

#include <string_view>
#include <vector>

#include "regex/Substitute.h"

namespace axf::regex {

// The pieces of a text template.
std::vector<TemplatePiece> readTextTemplate(std::string_view tmpl);

}  // namespace axf::regex
