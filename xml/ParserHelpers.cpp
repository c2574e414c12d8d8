#include "xml/ParserHelpers.h"

#include "common/Fatal.h"

namespace axf::xml {

void failNotImplemented(const std::string& s) { throw Fatal("Not Yet Implemented: " + s); }

}  // namespace axf::xml
