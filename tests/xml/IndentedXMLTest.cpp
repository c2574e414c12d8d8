#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Output.h"
#include "xml/IndentedXML.h"

namespace {

using namespace axf::xml;
using axf::StringSink;

TEST(IndentedXML, PrintedNameAttribute) {
    for (std::string w : {"0000", "and", "or", "xor"}) {
        SCOPED_TRACE(w);
        EXPECT_EQ(printedName(w, true), w == "0000" ? "Results" : "ResultQuery");
        EXPECT_EQ(printedName(w, false), w);
    }
    for (std::string w : {"AND", "Or", "and^1^0", "0000^2", "", "xor "}) EXPECT_EQ(printedName(w, true), w) << w;

    struct AttCase {
        Attribute attribute;
        bool escaped;
        std::string want;
    };
    for (const AttCase& c : std::vector<AttCase>{{{"n", ""}, false, " n=\"\""},
                                                 {{"n", "a\"<&b>"}, false, " n=\"a\"<&b>\""},
                                                 {{"n", "a\"<&b>"}, true, " n=\"a&quot;&lt;&amp;b>\""}}) {
        StringSink out;
        writeAttribute(c.attribute, c.escaped, out);
        EXPECT_EQ(out.text(), c.want) << c.want;
    }
}

}  // namespace
