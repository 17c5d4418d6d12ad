// The program's global allocation functions. Blocks of a mebibyte or more
// (the per-pixel buffers: the world layers, canvases and images) start on a
// 2 MiB boundary, are rounded up to whole 2 MiB and are offered to the
// kernel for transparent huge pages. The scenes touch their world buffers at
// random places every frame; with 4 KiB pages nearly every such touch also
// misses the TLB, which in a virtual machine costs a two-level page walk.
// Where huge pages are off, the advice is ignored and only the rounding
// remains. Everything else is plain malloc and free, so every operator
// delete is free().
//
// The large blocks are mapped on their own and unmapped when freed: the
// threshold for that is fixed at a mebibyte before main. Left to itself,
// glibc raises the threshold to the size of the largest mapped block freed
// (up to 32 MiB), so once a view's buffers have been freed (an output gone,
// a window resized) their successors come from the heap, where freed blocks
// between live ones stay resident for good and the process only grows.
#include <malloc.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

constexpr std::size_t hugePage = std::size_t{2} << 20;
constexpr std::size_t largeBlock = std::size_t{1} << 20;

[[gnu::constructor]] void mapLargeBlocksAlways() { mallopt(M_MMAP_THRESHOLD, static_cast<int>(largeBlock)); }

void* allocate(std::size_t size) noexcept {
    if (size >= largeBlock && size <= SIZE_MAX - hugePage) {
        const std::size_t rounded = (size + hugePage - 1) & ~(hugePage - 1);
        void* block = std::aligned_alloc(hugePage, rounded);
        if (block) madvise(block, rounded, MADV_HUGEPAGE);
        return block;
    }
    return std::malloc(size ? size : 1);
}

void* allocateOrThrow(std::size_t size) {
    for (;;) {
        if (void* block = allocate(size)) return block;
        const std::new_handler handler = std::get_new_handler();
        if (!handler) throw std::bad_alloc();
        handler();
    }
}

}  // namespace

void* operator new(std::size_t size) { return allocateOrThrow(size); }
void* operator new[](std::size_t size) { return allocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
