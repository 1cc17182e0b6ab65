#include "shape/arena.h"
#include "shape/probes.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

// AddressSanitizer as GCC and as clang announce it.
#if defined(__SANITIZE_ADDRESS__)
#define PLIVRA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PLIVRA_ASAN 1
#endif
#endif
#ifdef PLIVRA_ASAN
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>
#endif

// The header at the start of every block.
struct TRecordBlock {
    std::size_t live;   // records not yet released, plus one while an arena takes from it
    std::size_t bytes;  // the whole block, header included
    bool mapped;        // from mmap rather than operator new
};

namespace {

constexpr std::size_t kHeaderBytes = 64;  // keeps the first record on its own cache line
constexpr std::size_t kFirstBlock = std::size_t{16} << 10;
constexpr std::size_t kLastBlock = std::size_t{8} << 20;
// Released mapped blocks kept for the next shape (reloading a shape frees
// the old one first), up to this many bytes in all.
constexpr std::size_t kSpareLimit = std::size_t{1} << 30;
constexpr std::size_t kHugePage = std::size_t{2} << 20;

// Blocks now in use, by address, so a record's block is found by a search.
// Shapes of several threads share the list, the spare blocks and the
// counts, so `registry` guards them all. A block's own count is only ever
// touched by the thread that holds its shape.
std::mutex registry;
std::vector<TRecordBlock*> blocks;

// The blocks a thread found last are tried first, without the lock, since
// lists are mostly walked in the order their records were made. Its bounds
// are kept here rather than read from its header: they hold while no block
// was released since (`releases` unchanged), for a block of records in use
// stays.
std::atomic<std::uint64_t> releases{0};
struct TFoundBlock {
    std::uintptr_t begin = 0, end = 0;
    TRecordBlock* block = nullptr;
    std::uint64_t releases = 0;
};
// Two are kept, as a walk over a shape's records takes turns between a
// block of polygons and one of vertices.
thread_local constinit TFoundBlock last_found[2];
thread_local constinit unsigned last_replaced = 0;

// A released block waiting in the spare list, linked through its own memory.
struct TSpareBlock {
    TSpareBlock* next;
    std::size_t bytes;
};
TSpareBlock* spares = nullptr;
std::size_t spare_bytes = 0;
std::size_t mapped_bytes = 0;  // blocks in use that came from mmap, headers included

std::uintptr_t Address(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

bool Holds(const TRecordBlock* block, const void* p) {
    return Address(p) - Address(block) < block->bytes;
}

TRecordBlock* FindBlock(const void* p) {
    const std::uint64_t now = releases.load(std::memory_order_acquire);
    for (const TFoundBlock& found : last_found) {
        if (found.releases == now && Address(p) - found.begin < found.end - found.begin) return found.block;
    }
    const std::lock_guard<std::mutex> lock(registry);
    auto after = std::upper_bound(blocks.begin(), blocks.end(), Address(p),
                                  [](std::uintptr_t a, const TRecordBlock* b) { return a < Address(b); });
    if (after == blocks.begin() || !Holds(*(after - 1), p)) return nullptr;
    TRecordBlock* block = *(after - 1);
    last_replaced ^= 1;
    last_found[last_replaced] = {Address(block), Address(block) + block->bytes, block,
                                 releases.load(std::memory_order_relaxed)};
    return block;
}

void Poison([[maybe_unused]] void* p, [[maybe_unused]] std::size_t bytes) {
#ifdef PLIVRA_ASAN
    ASAN_POISON_MEMORY_REGION(p, bytes);
#endif
}

void Unpoison([[maybe_unused]] void* p, [[maybe_unused]] std::size_t bytes) {
#ifdef PLIVRA_ASAN
    ASAN_UNPOISON_MEMORY_REGION(p, bytes);
#endif
}

// A block of `bytes` on a 2 MiB boundary, from the system directly, so that
// it goes back to the system when released (and a system that backs all
// memory with huge pages can back it with whole ones). It is not asked for
// huge pages: where the system grants them only on request, as here
// ("madvise", with defrag on request too), a first touch waits while the
// system compacts memory to find one; a load of a million triangles spent
// 0.1-1.7 s of system time so against 0.13-0.2 s with plain pages.
void* MapBlock(std::size_t bytes) {
    const int prot = PROT_READ | PROT_WRITE;
    const int flags = MAP_PRIVATE | MAP_ANONYMOUS;
    // An anonymous mapping takes no file: the descriptor is -1 by convention.
    // cppcheck-suppress invalidFunctionArg
    void* raw = ::mmap(nullptr, bytes + kHugePage, prot, flags, -1, 0);
    if (raw == MAP_FAILED) throw std::bad_alloc();
    const std::uintptr_t start = (Address(raw) + kHugePage - 1) & ~(kHugePage - 1);
    const std::size_t head = start - Address(raw);
    if (head != 0) ::munmap(raw, head);
    ::munmap(reinterpret_cast<char*>(start) + bytes, kHugePage - head);
    return reinterpret_cast<void*>(start);
}

// Memory of at least `bytes` (rounded up to whole huge pages, the size
// given back in `bytes`): the smallest spare block that fits, or fresh.
void* TakeLarge(std::size_t& bytes) {
    bytes = (bytes + kHugePage - 1) & ~(kHugePage - 1);
    TSpareBlock** best = nullptr;
    for (TSpareBlock** link = &spares; *link != nullptr; link = &(*link)->next) {
        if ((*link)->bytes >= bytes && (best == nullptr || (*link)->bytes < (*best)->bytes)) best = link;
    }
    if (best == nullptr) return MapBlock(bytes);
    TSpareBlock* spare = *best;
    *best = spare->next;
    bytes = spare->bytes;
    spare_bytes -= bytes;
    Unpoison(spare, bytes);
    return spare;
}

// Keeps memory from TakeLarge for the next one while there is room, with
// its pages, which are then filled without page faults. (Not offered to the
// system with MADV_FREE meanwhile: what the next shape writes there must
// stay, whatever the system does with pages it was once offered.)
void GiveBackLarge(void* memory, std::size_t bytes) {
    if (spare_bytes + bytes > kSpareLimit) {
        ::munmap(memory, bytes);
        return;
    }
    spares = ::new (memory) TSpareBlock{spares, bytes};
    spare_bytes += bytes;
    Poison(static_cast<char*>(memory) + sizeof(TSpareBlock), bytes - sizeof(TSpareBlock));
}

TRecordBlock* NewBlock(std::size_t bytes) {
    const std::lock_guard<std::mutex> lock(registry);
    const bool mapped = bytes >= kHugePage;
    void* memory = mapped ? TakeLarge(bytes) : ::operator new(bytes);
    // cppcheck-suppress legacyUninitvar ; placement new initialises the block
    auto* block = ::new (memory) TRecordBlock{1, bytes, mapped};
    auto at = std::upper_bound(blocks.begin(), blocks.end(), block,
                               [](const TRecordBlock* a, const TRecordBlock* b) { return Address(a) < Address(b); });
    try {
        blocks.insert(at, block);
    } catch (...) {
        if (mapped) {
            ::munmap(memory, bytes);  // rather than spare it: memory is short
        } else {
            ::operator delete(memory);
        }
        throw;
    }
#ifdef PLIVRA_ASAN
    // Records here may be the only way to other records made with new.
    if (mapped) __lsan_register_root_region(memory, bytes);
#endif
    Poison(reinterpret_cast<char*>(memory) + kHeaderBytes, bytes - kHeaderBytes);
    if (mapped) mapped_bytes += bytes;
    return block;
}

void ReleaseBlock(TRecordBlock* block) {
    const std::lock_guard<std::mutex> lock(registry);
    blocks.erase(std::lower_bound(blocks.begin(), blocks.end(), block,
                                  [](const TRecordBlock* a, const TRecordBlock* b) { return Address(a) < Address(b); }));
    releases.fetch_add(1, std::memory_order_release);
    // With no shape left, nothing of the library stays allocated.
    if (blocks.empty()) std::vector<TRecordBlock*>().swap(blocks);
    const std::size_t bytes = block->bytes;
    const bool mapped = block->mapped;
    if (mapped) mapped_bytes -= bytes;
    Unpoison(block, bytes);
    if (mapped) {
#ifdef PLIVRA_ASAN
        __lsan_unregister_root_region(block, bytes);
#endif
        GiveBackLarge(block, bytes);
    } else {
        ::operator delete(block);
    }
}

void Drop(TRecordBlock* block) {
    if (--block->live == 0) ReleaseBlock(block);
}

// Releases one record: back to its block, or to delete when it has none.
template <typename T>
void Release(T* record) {
    if (record == nullptr) return;
    TRecordBlock* block = FindBlock(record);
    if (block == nullptr) {
        delete record;
        return;
    }
    record->~T();
    Poison(record, sizeof(T));
    Drop(block);
}

}  // namespace

TRecordArena::TRecordArena(std::size_t record_size, [[maybe_unused]] std::size_t record_align,
                           bool downward)
    : record_size_(record_size), next_bytes_(kFirstBlock), downward_(downward) {
    // Records follow the header back to back, so each stays aligned.
    assert(record_align <= 16 && kHeaderBytes % record_align == 0 && record_size % record_align == 0);
}

TRecordArena::~TRecordArena() {
    if (block_ != nullptr) Drop(block_);
}

void TRecordArena::NextBlock() {
    TRecordBlock* block = NewBlock(next_bytes_);
    if (block_ != nullptr) Drop(block_);
    block_ = block;
    free_ = reinterpret_cast<char*>(block) + kHeaderBytes;
    end_ = reinterpret_cast<char*>(block) + block->bytes;
    next_bytes_ = std::min(next_bytes_ * 2, kLastBlock);
}

void* TRecordArena::Take() {
    if (static_cast<std::size_t>(end_ - free_) < record_size_) NextBlock();
    void* record;
    if (downward_) {
        end_ -= record_size_;
        record = end_;
    } else {
        record = free_;
        free_ += record_size_;
    }
    ++block_->live;
    Unpoison(record, record_size_);
    return record;
}

void ReleasePolygon(TVANE_Polygon* Poly) { Release(Poly); }

void ReleaseVertex(TVANE_Vertex* Vtx) { Release(Vtx); }

std::size_t RecordBlocksInUse() {
    const std::lock_guard<std::mutex> lock(registry);
    return blocks.size();
}

std::size_t MappedRecordBytes() {
    const std::lock_guard<std::mutex> lock(registry);
    return mapped_bytes;
}

void ReleaseSpareBlocks() {
    const std::lock_guard<std::mutex> lock(registry);
    while (spares != nullptr) {
        TSpareBlock* spare = spares;
        spares = spare->next;
        const std::size_t bytes = spare->bytes;
        Unpoison(spare, bytes);
        ::munmap(spare, bytes);
    }
    spare_bytes = 0;
}
