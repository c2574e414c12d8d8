#include "xml/ParserHelpers.h"

#include "common/Fatal.h"

namespace axf::xml {

void readerFail(const std::string& message) { throw Fatal(message); }

void failNotImplemented(const std::string& s) { throw Fatal("Not Yet Implemented: " + s); }

}  // namespace axf::xml
