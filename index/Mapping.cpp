#include "index/Mapping.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "common/Fatal.h"
#include "common/PageMemory.h"
#include "xml/Arena.h"

namespace axf::index {

namespace {

// A label: a name number with kNameLabel set, or a text's place in the pool
// in units of kUnit bytes, where the text's length (7 bits a byte, low bits
// first, the high bit set on every byte but the last) precedes its bytes.
constexpr std::uint32_t kNameLabel = 0x80000000u;
constexpr std::size_t kUnit = 8;
constexpr std::size_t kChunkUnits = std::size_t(1) << 21;  // 16 MiB of pool per chunk slot
constexpr std::size_t kMinChunkUnits = 512;                // 4 KiB
constexpr std::size_t kShareUpTo = 64;                     // texts up to this length are filed once
constexpr std::size_t kMinSharedCells = 1024;
// The pool's first large chunk reserves this share of the document's text
// (its texts, short ones filed once, take about a seventh in auction
// documents; further chunks are as large).
constexpr std::size_t kPoolShare = 4;

}  // namespace

struct Mapping::Store {
    std::vector<std::string_view> names;
    PageArray<std::uint32_t> labels;
    // The pool: chunks of address space, each touched only where texts are
    // written. A text's unit u lies in slot u / kChunkUnits; slotStart[k] is
    // where the units of slot k start (a chunk spans whole slots, and the
    // next chunk starts at the next free slot). Chunks never move, so texts
    // read from them stay in place.
    std::vector<PageBlock> chunks;
    std::vector<char*> slotStart;
    std::size_t first = 0;         // the unit the last chunk starts at
    std::size_t room = 0;          // units in the last chunk
    std::size_t used = 0;          // of them taken
    std::size_t poolEstimate = 0;  // units the first large chunk reserves
    // The short texts filed so far: the high half of the text's hash over
    // its label + 1; 0 for a free cell (fresh pages read as zeros, so a new
    // table is never cleared).
    PageBlock shared;
    std::size_t sharedCells = 0;
    std::size_t sharedCount = 0;
    // The cells of texts found again lately, by the low bits of their hash:
    // a few thousand texts make up most of a document's short texts, and
    // this small table stays in the cache where the large one does not.
    // Texts seen once (identifiers, mostly) never take a cell of it.
    static constexpr std::size_t kRecentCells = 4096;
    std::unique_ptr<std::uint64_t[]> recent;

    // Texts pushed in place and not filed yet, the oldest first: each
    // gets its label when it leaves the queue. While it waits, its cell of
    // the table, and then the text that cell names, are fetched from
    // memory, so that filing it rarely waits for either.
    struct Pending {
        std::size_t label = 0;
        std::string_view text;
        std::size_t hash = 0;  // of a short text
    };
    static constexpr std::size_t kPending = 8;
    std::array<Pending, kPending> pending;
    std::size_t pendingFirst = 0;
    std::size_t pendingCount = 0;

    std::uint64_t* cells() const { return reinterpret_cast<std::uint64_t*>(shared.data()); }

    const char* at(std::uint32_t unit) const { return slotStart[unit / kChunkUnits] + (unit % kChunkUnits) * kUnit; }

    std::string_view text(std::uint32_t unit) const {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(at(unit));
        std::size_t length = 0;
        for (int shift = 0;; shift += 7) {
            const unsigned char b = *p++;
            length |= std::size_t(b & 0x7F) << shift;
            if (!(b & 0x80)) break;
        }
        return {reinterpret_cast<const char*>(p), length};
    }

    std::string_view label(std::uint32_t value) const {
        if (value & kNameLabel) return names[value & ~kNameLabel];
        return text(value);
    }

    // Copies a text into the pool; gives its unit.
    std::uint32_t add(std::string_view t) {
        unsigned char head[10];
        std::size_t headLength = 0;
        for (std::size_t n = t.size();; n >>= 7) {
            head[headLength++] = static_cast<unsigned char>((n & 0x7F) | (n >= 0x80 ? 0x80 : 0));
            if (n < 0x80) break;
        }
        const std::size_t units = (headLength + t.size() + kUnit - 1) / kUnit;
        if (chunks.empty() || units > room - used) newChunk(units);
        const std::size_t unit = first + used;
        if (unit + units > kNameLabel) throw Fatal("Attention: the document's texts take more than 16 GiB");
        char* p = chunks.back().data() + used * kUnit;
        std::memcpy(p, head, headLength);
        if (!t.empty()) std::memcpy(p + headLength, t.data(), t.size());
        used += units;
        return static_cast<std::uint32_t>(unit);
    }

    // A chunk with room for at least `units`, and for as much as the chunk
    // before (twice as much while small), or for the pool's estimate.
    void newChunk(std::size_t units) {
        std::size_t size = chunks.empty() ? kMinChunkUnits : std::max(room, std::min(2 * room, kChunkUnits));
        if (chunks.size() == 1) size = std::max(size, poolEstimate);
        size = std::max(size, units);
        PageBlock block(size * kUnit);
        trimLastChunk();
        first = slotStart.size() * kChunkUnits;
        for (std::size_t k = 0; k * kChunkUnits < size; ++k) slotStart.push_back(block.data() + k * kChunkUnits * kUnit);
        chunks.push_back(std::move(block));
        room = size;
        used = 0;
    }

    // The last chunk's room past what it holds goes back.
    void trimLastChunk() {
        if (chunks.empty()) return;
        // A heap chunk might move when shrunk: it is small, and kept whole.
        if (chunks.back().size() >= kSmallBlockBytes) chunks.back().resize(std::max<std::size_t>(used, 1) * kUnit);
        slotStart.resize(first / kChunkUnits + std::max<std::size_t>((used + kChunkUnits - 1) / kChunkUnits, 1));
        room = used;
    }

    std::uint32_t addShared(std::string_view t) {
        if (t.size() > kShareUpTo) return add(t);
        return addShort(t, std::hash<std::string_view>{}(t));
    }

    void queue(std::string_view t) {
        if (pendingCount == kPending) fileOldest();
        const bool isShort = t.size() <= kShareUpTo;
        const std::size_t hash = isShort ? std::hash<std::string_view>{}(t) : 0;
        labels.push_back(0);
        pending[(pendingFirst + pendingCount++) % kPending] = Pending{labels.size() - 1, t, hash};
        if (isShort && sharedCells != 0) __builtin_prefetch(&cells()[(hash >> 32) & (sharedCells - 1)]);
        // Half way through the queue: the text the cell names.
        if (pendingCount > kPending / 2) {
            const Pending& half = pending[(pendingFirst + pendingCount - 1 - kPending / 2) % kPending];
            if (half.text.size() <= kShareUpTo && sharedCells != 0) {
                const std::uint64_t cell = cells()[(half.hash >> 32) & (sharedCells - 1)];
                if (cell != 0 && (cell & 0xFFFFFFFF00000000ULL) == (half.hash & 0xFFFFFFFF00000000ULL))
                    __builtin_prefetch(at(static_cast<std::uint32_t>(cell) - 1));
            }
        }
    }

    void fileOldest() {
        const Pending p = pending[pendingFirst];
        pendingFirst = (pendingFirst + 1) % kPending;
        --pendingCount;
        labels[p.label] = p.text.size() > kShareUpTo ? add(p.text) : addShort(p.text, p.hash);
    }

    void flush() {
        while (pendingCount != 0) fileOldest();
    }

    std::uint32_t addShort(std::string_view t, std::size_t hash) {
        const std::uint64_t tag = static_cast<std::uint64_t>(hash) & 0xFFFFFFFF00000000ULL;
        if (!recent) recent.reset(new std::uint64_t[kRecentCells]());
        std::uint64_t& seen = recent[hash & (kRecentCells - 1)];
        if ((seen & 0xFFFFFFFF00000000ULL) == tag && seen != 0) {
            const std::uint32_t unit = static_cast<std::uint32_t>(seen) - 1;
            if (text(unit) == t) return unit;
        }
        // At most three cells in four taken: a cell is 8 bytes, so a probe
        // mostly stays in one cache line.
        if (4 * (sharedCount + 1) > 3 * sharedCells) rebuild(sharedCells == 0 ? kMinSharedCells : 2 * sharedCells);
        std::uint64_t* table = cells();
        const std::size_t mask = sharedCells - 1;
        for (std::size_t i = (tag >> 32) & mask;; i = (i + 1) & mask) {
            const std::uint64_t cell = table[i];
            if (cell == 0) {
                const std::uint32_t unit = add(t);
                table[i] = tag | (std::uint64_t(unit) + 1);
                ++sharedCount;
                return unit;
            }
            if ((cell & 0xFFFFFFFF00000000ULL) == tag) {
                const std::uint32_t unit = static_cast<std::uint32_t>(cell) - 1;
                if (text(unit) == t) {
                    seen = cell;
                    return unit;
                }
            }
        }
    }

    void rebuild(std::size_t size) {
        PageBlock block(size * sizeof(std::uint64_t));
        std::uint64_t* table = reinterpret_cast<std::uint64_t*>(block.data());
        const std::size_t mask = size - 1;
        const std::uint64_t* old = cells();
        for (std::size_t k = 0; k < sharedCells; ++k) {
            const std::uint64_t cell = old[k];
            if (cell == 0) continue;
            std::size_t i = (cell >> 32) & mask;
            while (table[i] != 0) i = (i + 1) & mask;
            table[i] = cell;
        }
        shared = std::move(block);
        sharedCells = size;
    }
};

Mapping::Mapping() : store_(std::make_shared<Store>()) { pushText({}); }

Mapping::Mapping(std::size_t count, std::string_view label) : store_(std::make_shared<Store>()) {
    store_->labels.reserve(count);
    for (std::size_t i = 0; i < count; ++i) pushText(label);
    finishBuilding();
}

Mapping::Mapping(std::initializer_list<std::string_view> labels) : store_(std::make_shared<Store>()) {
    store_->labels.reserve(labels.size());
    for (std::string_view l : labels) pushText(l);
    finishBuilding();
}

std::size_t Mapping::size() const { return store_->labels.size(); }

std::string_view Mapping::operator[](std::size_t position) const { return store_->label(store_->labels[position]); }

const std::uint32_t* Mapping::raw() const { return store_->labels.data(); }

std::uint32_t Mapping::nameNumber(std::string_view name) {
    Store& s = *store_;
    if (s.names.size() >= kNameLabel) throw Fatal("Attention: the document has too many distinct names");
    char* kept = nullptr;
    if (!name.empty()) {
        kept = static_cast<char*>(xml::Arena::allocate(name.size(), 1));
        std::memcpy(kept, name.data(), name.size());
    }
    s.names.emplace_back(kept, name.size());
    return static_cast<std::uint32_t>(s.names.size() - 1);
}

void Mapping::pushName(std::uint32_t number) { store_->labels.push_back(number | kNameLabel); }

void Mapping::pushText(std::string_view text) {
    // Texts are filed in the order they come.
    store_->flush();
    store_->labels.push_back(store_->addShared(text));
}

void Mapping::pushTextInPlace(std::string_view text) { store_->queue(text); }

void Mapping::flushTexts() { store_->flush(); }

void Mapping::reserve(std::size_t labels, std::size_t textBytes) {
    Store& s = *store_;
    s.labels.reserve(labels);
    s.poolEstimate = std::max(s.poolEstimate, textBytes / kPoolShare / kUnit);
}

std::size_t Mapping::capacity() const { return store_->labels.capacity(); }

void Mapping::finishBuilding() {
    Store& s = *store_;
    s.flush();
    s.shared.reset();
    s.recent.reset();
    s.sharedCells = 0;
    s.sharedCount = 0;
    // The address space reserved and not used goes back.
    s.labels.shrinkToFit();
    s.trimLastChunk();
}

}  // namespace axf::index
