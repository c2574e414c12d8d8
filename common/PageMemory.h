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

#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

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
        : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
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

}  // namespace axf
