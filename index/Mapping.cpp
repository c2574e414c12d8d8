#include "index/Mapping.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "common/Fatal.h"
#include "xml/Arena.h"

namespace axf::index {

namespace {

// A label: a name number with kNameLabel set, or a text's place in the pool
// in units of kUnit bytes, where the text's length (7 bits a byte, low bits
// first, the high bit set on every byte but the last) precedes its bytes.
constexpr std::uint32_t kNameLabel = 0x80000000u;
constexpr std::size_t kUnit = 8;
constexpr std::size_t kChunkUnits = std::size_t(1) << 21;  // 16 MiB chunks
constexpr std::size_t kMinChunkUnits = 512;                // 4 KiB
constexpr std::size_t kShareUpTo = 64;  // texts up to this length are filed once

struct FreeChunk {
    void operator()(char* p) const { std::free(p); }
};

}  // namespace

struct Mapping::Store {
    std::vector<std::string_view> names;
    std::vector<std::uint32_t> labels;
    // Chunk i holds the units [i * kChunkUnits, i * kChunkUnits + its room);
    // a text longer than a chunk has one of its own, and the slots of the
    // chunks it spans stay empty.
    std::vector<std::unique_ptr<char, FreeChunk>> chunks;
    std::size_t room = 0;  // units in the last chunk
    std::size_t used = 0;  // of them taken
    std::size_t last = 0;  // the slot of the last chunk
    // The short texts filed so far: the high half of the text's hash over
    // its label + 1; 0 for a free cell.
    std::vector<std::uint64_t> shared;
    std::size_t sharedCount = 0;

    const char* at(std::uint32_t unit) const {
        return chunks[unit / kChunkUnits].get() + (unit % kChunkUnits) * kUnit;
    }

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
        const std::size_t unit = last * kChunkUnits + used;
        if (unit >= kNameLabel) throw Fatal("Attention: the document's texts take more than 16 GiB");
        char* p = chunks[last].get() + used * kUnit;
        std::memcpy(p, head, headLength);
        if (!t.empty()) std::memcpy(p + headLength, t.data(), t.size());
        used += units;
        return static_cast<std::uint32_t>(unit);
    }

    // A chunk with room for at least `units`: twice the room of the one
    // before up to kChunkUnits, or just the units of a longer text.
    void newChunk(std::size_t units) {
        const std::size_t size = std::max(units, chunks.empty() ? kMinChunkUnits : std::min(2 * room, kChunkUnits));
        void* storage = std::malloc(size * kUnit);
        if (!storage) throw std::bad_alloc();
        last = chunks.size();
        chunks.emplace_back(static_cast<char*>(storage));
        for (std::size_t i = kChunkUnits; i < size; i += kChunkUnits) chunks.emplace_back(nullptr);
        room = size;
        used = 0;
    }

    std::uint32_t addShared(std::string_view t) {
        if (t.size() > kShareUpTo) return add(t);
        const std::size_t hash = std::hash<std::string_view>{}(t);
        const std::uint64_t tag = static_cast<std::uint64_t>(hash) & 0xFFFFFFFF00000000ULL;
        if (2 * (sharedCount + 1) > shared.size()) rebuild(shared.empty() ? 1024 : 2 * shared.size());
        const std::size_t mask = shared.size() - 1;
        for (std::size_t i = (tag >> 32) & mask;; i = (i + 1) & mask) {
            const std::uint64_t cell = shared[i];
            if (cell == 0) {
                const std::uint32_t unit = add(t);
                shared[i] = tag | (std::uint64_t(unit) + 1);
                ++sharedCount;
                return unit;
            }
            if ((cell & 0xFFFFFFFF00000000ULL) == tag) {
                const std::uint32_t unit = static_cast<std::uint32_t>(cell) - 1;
                if (text(unit) == t) return unit;
            }
        }
    }

    void rebuild(std::size_t size) {
        std::vector<std::uint64_t> table(size, 0);
        const std::size_t mask = size - 1;
        for (std::uint64_t cell : shared) {
            if (cell == 0) continue;
            std::size_t i = (cell >> 32) & mask;
            while (table[i] != 0) i = (i + 1) & mask;
            table[i] = cell;
        }
        shared.swap(table);
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

std::string_view Mapping::operator[](std::size_t position) const {
    return store_->label(store_->labels[position]);
}

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

void Mapping::pushText(std::string_view text) { store_->labels.push_back(store_->addShared(text)); }

void Mapping::reserve(std::size_t labels) {
    Store& s = *store_;
    s.labels.reserve(labels);
    xml::Arena::adviseHugePages(s.labels.data(), s.labels.capacity() * sizeof(std::uint32_t));
}

std::size_t Mapping::capacity() const { return store_->labels.capacity(); }

void Mapping::finishBuilding() {
    std::vector<std::uint64_t>().swap(store_->shared);
    store_->sharedCount = 0;
}

}  // namespace axf::index
