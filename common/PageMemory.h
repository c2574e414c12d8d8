// Memory for the large structures that live through a run (the document
// buffer, the text pool, the node arrays, the index lists), taken straight
// from the kernel.
//
// On these machines the first touch of a page costs far more than anything
// done with its bytes, so a large block is
//   - aligned to 2 MiB and offered for huge pages, where the kernel gives
//     them (one fault per 2 MiB in place of 512); where it refuses, the block
//     comes in ordinary pages, as an ordinary allocation would;
//   - address space first: reserving it touches nothing, and only the pages
//     written to are ever faulted in;
//   - grown by moving its pages (mremap), never by copying its bytes into
//     fresh ones;
//   - never cleared: fresh pages read as zeros.
// Blocks below kSmallBlockBytes are ordinary heap allocations (a mapping of
// their own would cost a system call and a whole page each).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace axf {

inline constexpr std::size_t kHugePageBytes = std::size_t(2) << 20;
inline constexpr std::size_t kSmallBlockBytes = std::size_t(1) << 20;

// Offers the whole huge pages inside [p, p + bytes) of memory allocated
// elsewhere (a hint: filling a large fresh buffer then takes far fewer page
// faults). Ranges without a whole huge page are left alone.
void adviseHugePages(const void* p, std::size_t bytes);

// One block of memory, owned: its bytes up to size() are usable, and the
// bytes it gets read as zero until written (a block shrunk keeps the page its
// new end falls in whole, bytes and all). Moving the block
// moves the ownership; the addresses of its bytes change only on resize().
class PageBlock {
public:
    PageBlock() noexcept = default;
    // A block of at least `bytes`. Throws std::bad_alloc when the address
    // space is refused.
    explicit PageBlock(std::size_t bytes) { resize(bytes); }
    PageBlock(PageBlock&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)),
          size_(std::exchange(other.size_, 0)),
          mapped_(std::exchange(other.mapped_, false)) {}
    PageBlock& operator=(PageBlock&& other) noexcept {
        if (this != &other) {
            reset();
            data_ = std::exchange(other.data_, nullptr);
            size_ = std::exchange(other.size_, 0);
            mapped_ = std::exchange(other.mapped_, false);
        }
        return *this;
    }
    PageBlock(const PageBlock&) = delete;
    PageBlock& operator=(const PageBlock&) = delete;
    ~PageBlock() { reset(); }

    char* data() const { return data_; }
    std::size_t size() const { return size_; }

    // At least `bytes` (0: none), the bytes before the new size kept. A
    // block of kSmallBlockBytes or more grows by moving its pages (it may
    // move) and shrinks in place. Throws std::bad_alloc when the address space is refused (the
    // block is then unchanged).
    void resize(std::size_t bytes);

    // The whole pages inside [from, to) go back to the system (whole huge
    // pages, in a block of one huge page or more): their bytes read as zeros
    // again, and no longer count in the resident memory.
    void discard(std::size_t from, std::size_t to);

    void reset() noexcept;

private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
    bool mapped_ = false;  // a mapping of its own, not a heap allocation
};

// A growable array of trivially copyable values on a PageBlock: appending
// never clears or copies the values before it, and growing keeps every
// value in place in the block's pages (their addresses may change).
template <class T>
class PageArray {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    PageArray() = default;
    PageArray(PageArray&& other) noexcept : block_(std::move(other.block_)), size_(std::exchange(other.size_, 0)) {}
    PageArray& operator=(PageArray&& other) noexcept {
        block_ = std::move(other.block_);
        size_ = std::exchange(other.size_, 0);
        return *this;
    }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::size_t capacity() const { return block_.size() / sizeof(T); }
    T* data() { return reinterpret_cast<T*>(block_.data()); }
    const T* data() const { return reinterpret_cast<const T*>(block_.data()); }
    T& operator[](std::size_t i) { return data()[i]; }
    const T& operator[](std::size_t i) const { return data()[i]; }
    T& back() { return data()[size_ - 1]; }
    const T* begin() const { return data(); }
    const T* end() const { return data() + size_; }

    // Room for `count` values in all: address space only, nothing touched.
    void reserve(std::size_t count) {
        if (count > capacity()) block_.resize(bytesFor(count));
    }
    void push_back(const T& value) {
        if (size_ == capacity()) grow();
        ::new (static_cast<void*>(data() + size_)) T(value);
        ++size_;
    }
    // The reservation cut to the values held (the address space given back).
    void shrinkToFit() { block_.resize(size_ * sizeof(T)); }

private:
    static std::size_t bytesFor(std::size_t count) {
        if (count > ~std::size_t(0) / sizeof(T)) throw std::bad_alloc();
        return count * sizeof(T);
    }
    // Half as much again (address space alone: the pages held move along).
    void grow() { block_.resize(bytesFor(capacity() < 16 ? 16 : capacity() + capacity() / 2)); }

    PageBlock block_;
    std::size_t size_ = 0;
};

// Slots of one size for many small objects that come and go (the nodes of
// a large node-based container): carved in turn from blocks that never move,
// the larger ones on huge pages, and a slot given back is the next one taken.
// The size is that of the first slot asked for; take() answers nullptr for
// any other size (the caller then allocates elsewhere).
class PageSlots {
public:
    PageSlots() = default;
    PageSlots(const PageSlots&) = delete;
    PageSlots& operator=(const PageSlots&) = delete;

    void* take(std::size_t bytes) {
        if (slotBytes_ == 0) slotBytes_ = roundedSlot(bytes);
        if (roundedSlot(bytes) != slotBytes_) return nullptr;
        if (free_) {
            void* p = free_;
            std::memcpy(&free_, p, sizeof(void*));
            return p;
        }
        if (next_ == end_) newBlock();
        void* p = next_;
        next_ += slotBytes_;
        return p;
    }
    // A slot that take(bytes) gave; false for any other size.
    bool give(void* p, std::size_t bytes) {
        if (roundedSlot(bytes) != slotBytes_) return false;
        std::memcpy(p, &free_, sizeof(void*));
        free_ = p;
        return true;
    }

private:
    static std::size_t roundedSlot(std::size_t bytes) {
        const std::size_t align = alignof(std::max_align_t);
        return (std::max(bytes, sizeof(void*)) + align - 1) & ~(align - 1);
    }
    void newBlock();

    std::size_t slotBytes_ = 0;
    std::vector<PageBlock> blocks_;
    char* next_ = nullptr;
    char* end_ = nullptr;
    void* free_ = nullptr;  // the slots given back, each holding the next
};

// An allocator over shared PageSlots, for node-based containers: their nodes
// come from the slots, anything else from the heap. Copies (and rebinds)
// share the slots.
template <class T>
class PageSlotAllocator {
public:
    using value_type = T;
    PageSlotAllocator() : slots_(std::make_shared<PageSlots>()) {}
    template <class U>
    PageSlotAllocator(const PageSlotAllocator<U>& other) noexcept : slots_(other.slots_) {}  // NOLINT: a rebind

    T* allocate(std::size_t n) {
        if (n == 1)
            if (void* p = slots_->take(sizeof(T))) return static_cast<T*>(p);
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, std::size_t n) noexcept {
        if (n == 1 && slots_->give(p, sizeof(T))) return;
        std::allocator<T>().deallocate(p, n);
    }
    template <class U>
    bool operator==(const PageSlotAllocator<U>& other) const noexcept {
        return slots_ == other.slots_;
    }

private:
    template <class U>
    friend class PageSlotAllocator;
    std::shared_ptr<PageSlots> slots_;
};

}  // namespace axf
