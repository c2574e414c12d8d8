#include "index/TextPreparation.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "common/PageMemory.h"

namespace axf::index {

namespace {

// End (one past) of a tag or a declaration whose '<' stands before `from`:
// the first '>' outside a literal, or the end of the text.
std::size_t tagEnd(std::string_view text, std::size_t from) {
    std::size_t k = from;
    char quote = 0;
    for (; k < text.size(); ++k) {
        const char c = text[k];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            break;
        }
    }
    return k < text.size() ? k + 1 : text.size();
}

// The construct whose '<' stands at i: where it ends (one past), and whether
// it is markup (a tag, a declaration, a processing instruction) or not (a
// comment, a marked section).
struct Construct {
    std::size_t end;
    bool markup;
};
Construct constructAt(std::string_view text, std::size_t i) {
    const std::size_t n = text.size();
    // End (one past) of a construct closed by `close`, or the end of the text.
    auto through = [&](std::size_t from, std::string_view close) {
        const std::size_t at = text.find(close, from);
        return at == std::string_view::npos ? n : at + close.size();
    };
    const std::string_view rest = text.substr(i);
    const char second = i + 1 < n ? text[i + 1] : '\0';
    if (second != '!' && second != '?') return {tagEnd(text, i + 1), true};
    if (rest.starts_with("<!--")) return {through(i + 4, "-->"), false};
    if (rest.starts_with("<![CDATA[")) return {through(i + 9, "]]>"), false};
    if (rest.starts_with("<?")) return {through(i + 2, "?>"), true};
    return {tagEnd(text, i + 1), true};
}

// The scan behind removeLineBreaksAndTabs: the text is cut into runs, each handed to
// run(from, to, asBlank): within text[from, to) newlines and tabs are dropped
// (asBlank false) or turned into blanks (asBlank true), every other byte kept.
// run returns false to stop the scan.
template <class Run>
void forEachRun(std::string_view text, Run&& run) {
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        if (text[i] != '<') {
            std::size_t next = text.find('<', i);
            if (next == std::string_view::npos) next = n;
            if (!run(i, next, false)) return;
            i = next;
            continue;
        }
        const auto [end, markup] = constructAt(text, i);
        if (!run(i, end, markup)) return;
        i = end;
    }
}

}  // namespace

namespace {

// A record that keeps nothing.
struct NoRecord {
    void removed(std::size_t, bool) {}
    void blankedLineFeed(std::size_t) {}
};

// Writes removeLineBreaksAndTabs(text) to out (room for text.size() bytes; out may be
// text.data() itself, as no byte is written ahead of what is read), telling
// the record (PreparationRecord's interface) the output offset of each line
// feed or tab removed and of each line feed turned into a blank.
// Gives the prepared length.
template <class Record>
std::size_t prepareBytes(std::string_view text, char* out, Record& record) {
    const char* const d = text.data();
    const std::size_t n = text.size();
    // The loops write through a pointer of their own, which no store of a
    // byte can change.
    char* w = out;
    // One run of forEachRun's: [from, to) copied, its line feeds and tabs
    // dropped (asBlank false) or turned into blanks (asBlank true).
    auto copyRun = [&](std::size_t from, std::size_t to, bool asBlank) {
        for (std::size_t k = from; k < to; ++k) {
            const char c = d[k];
            if (c != '\n' && c != '\t') {
                *w++ = c;
            } else if (asBlank) {
                if (c == '\n') record.blankedLineFeed(static_cast<std::size_t>(w - out));
                *w++ = ' ';
            } else {
                *w = c;
                record.removed(static_cast<std::size_t>(w - out), c == '\n');
            }
        }
    };
    // The runs of forEachRun, cut in the same places, in one pass: the
    // texts and the tags, which make up almost all of a document, are
    // copied byte by byte here; the rarer constructs go through copyRun.
    std::size_t i = 0;
    while (i < n) {
        // A text, up to the next '<'.
        for (; i < n; ++i) {
            const char c = d[i];
            if (c == '<') break;
            if (c != '\n' && c != '\t') {
                *w++ = c;
                continue;
            }
            *w = c;
            record.removed(static_cast<std::size_t>(w - out), c == '\n');
        }
        if (i >= n) break;
        const char second = i + 1 < n ? d[i + 1] : '\0';
        if (second == '!' || second == '?') {
            const auto [end, markup] = constructAt(text, i);
            copyRun(i, end, markup);
            i = end;
            continue;
        }
        // A tag: through the first '>' outside a literal; its line feeds
        // and tabs become blanks.
        *w++ = '<';
        char quote = 0;
        for (++i; i < n; ++i) {
            const char c = d[i];
            if (c == '\n' || c == '\t') {
                if (c == '\n') record.blankedLineFeed(static_cast<std::size_t>(w - out));
                *w++ = ' ';
                continue;
            }
            *w++ = c;
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                ++i;
                break;
            }
        }
    }
    return static_cast<std::size_t>(w - out);
}

std::size_t prepareInto(std::string_view text, char* out) {
    NoRecord none;
    return prepareBytes(text, out, none);
}

// The prepared text of a document, in storage of its own that is neither
// cleared first nor kept past the walk.
class PreparedText {
public:
    explicit PreparedText(std::string_view text) : data_(std::max<std::size_t>(text.size(), 1)) {
        size_ = prepareInto(text, data_.data());
    }
    std::string_view view() const { return {data_.data(), size_}; }

    // The storage of the bytes before `read` goes back to the system; they
    // must not be read again.
    void giveBack(std::size_t read) {
        const std::size_t upTo = std::min(read, size_);
        if (upTo <= given_) return;
        data_.discard(given_, upTo);
        given_ = upTo;
    }

private:
    PageBlock data_;
    std::size_t size_ = 0;
    std::size_t given_ = 0;  // bytes before this are given back
};

// removeLineBreaksAndTabs in place: the text's first `size` bytes are rewritten to their
// prepared form (never ahead of what is read), each dropped byte recorded.
// Gives the prepared length.
[[gnu::flatten]] std::size_t prepareInPlace(char* data, std::size_t size, PreparationRecord& record) {
    return prepareBytes(std::string_view(data, size), data, record);
}

// The whole pages of [data + given, data + read) go back to the system, up
// to a huge-page boundary (a huge page is never split); those bytes must not
// be read again. Gives how far the pages are given back.
std::size_t giveBackBefore(char* data, std::size_t given, std::size_t read) {
    constexpr std::uintptr_t kPage = 4096;
    const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t from = (base + given + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t to = (base + read) & ~(std::uintptr_t(kHugePageBytes) - 1);
    if (to <= from) return given;
    madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
    return to - base;
}

}  // namespace

std::string removeLineBreaksAndTabs(std::string_view text) {
    std::string out(text.size(), '\0');
    out.resize(prepareInto(text, out.data()));
    return out;
}

std::string removeLineBreaksAndTabs(std::string_view text, PreparationRecord& record) {
    std::string out(text);
    out.resize(prepareInPlace(out.data(), out.size(), record));
    return out;
}

std::size_t originalOffset(std::string_view text, std::size_t preparedOffset) {
    std::size_t count = 0, found = text.size();
    forEachRun(text, [&](std::size_t from, std::size_t to, bool asBlank) {
        for (std::size_t k = from; k < to; ++k) {
            const char c = text[k];
            if ((c == '\n' || c == '\t') && !asBlank) continue;
            if (count++ < preparedOffset) continue;
            found = k;
            return false;
        }
        return true;
    });
    return found;
}

bool isBlankText(std::string_view text) {
    for (char c : text)
        if (c != ' ' && c != '\n' && c != '\t') return false;
    return true;
}

void withPreparedCopy(std::string_view text, const DocumentOrigin& origin, const PreparedTextUse& use) {
    PreparedText prepared(text);
    use(prepared.view(), PlacesInText(text, origin), [&prepared](std::size_t read) { prepared.giveBack(read); });
}

void withPreparedInPlace(std::string&& text, const DocumentOrigin& origin, const PreparedTextUse& use) {
    std::string buffer = std::move(text);
    PreparationRecord record(buffer.size());
    buffer.resize(prepareInPlace(buffer.data(), buffer.size(), record));
    const std::size_t preparedSize = buffer.size();
    use(buffer, PlacesInRecord(record, preparedSize, origin), [&buffer, given = std::size_t(0)](std::size_t read) mutable {
        given = giveBackBefore(buffer.data(), given, std::min(read, buffer.size()));
    });
    std::string().swap(buffer);  // nothing reads the text any more
}

}  // namespace axf::index
