// The expression language of conditions. The text up to the first zero byte
// is a condition: it is evaluated whole, and, with its variables bound to the
// values that follow (zero-byte separated, reused in turn), evaluated as a
// condition over bound values.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "filter/Exp.h"
#include "filter/ExpInternal.h"
#include "fuzz/FuzzSupport.h"

using namespace axf;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view all = fuzz::asText(data, size);
    std::size_t cut = all.find('\0');
    std::string_view text = all.substr(0, cut);
    std::vector<std::string_view> raw;
    if (cut != std::string_view::npos) {
        std::string_view rest = all.substr(cut + 1);
        for (;;) {
            std::size_t z = rest.find('\0');
            raw.push_back(rest.substr(0, z));
            if (z == std::string_view::npos) break;
            rest.remove_prefix(z + 1);
        }
    }
    fuzz::runInput([&] { (void)filter::evalExp(text); });
    fuzz::runInput([&] {
        std::vector<std::string> names = filter::expressionVariables(text);
        std::vector<filter::ExpValue> values;
        for (std::size_t i = 0; i < names.size(); ++i)
            values.push_back(filter::classifyValue(raw.empty() ? std::string_view("1") : raw[i % raw.size()]));
        std::vector<const filter::ExpValue*> slots;
        for (const auto& v : values) slots.push_back(&v);
        filter::ExpCondition cond(std::string(text), names);
        (void)cond.holds(slots);
        (void)cond.holds(slots);  // the second evaluation reuses the parse
    });
    return 0;
}
