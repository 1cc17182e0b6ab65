#include "shape/parallel.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "shape/probes.h"

// About 100,000 vertices of triangles: below, threads cost more than they give.
std::size_t SufParallelPolygons = 32768;
// The one piece size of every walk shared out between the cores. Taking a
// piece costs little beside 4,096 polygons, and a 1 M-triangle shape still
// makes some 250 of them to balance; 1,024 times no differently.
std::size_t SufPiecePolygons = 4096;

unsigned CoreCount() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

void ForEachOnCores(std::size_t Count, const std::function<void(std::size_t)>& Work) {
    std::atomic<std::size_t> next{0};
    auto take = [&] {
        for (std::size_t i; (i = next.fetch_add(1, std::memory_order_relaxed)) < Count;) Work(i);
    };
    {
        std::vector<std::jthread> helpers;
        const std::size_t wanted = std::min<std::size_t>(CoreCount(), Count);
        try {
            helpers.reserve(wanted);
            while (helpers.size() + 1 < wanted) helpers.emplace_back(take);
        } catch (const std::system_error&) {
            // Fewer threads than cores: the ones started and this one share the work.
        } catch (const std::bad_alloc&) {
        }
        take();
    }
}
