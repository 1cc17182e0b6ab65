#include "shape/parallel.h"

#include <sched.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
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

namespace {

// The whole number of cores a CPU quota of Quota per Period allows (at
// least 1), or 0 when the text sets none ("max", -1, unreadable).
unsigned QuotaCores(long long quota, long long period) {
    if (quota <= 0 || period <= 0) return 0;
    return static_cast<unsigned>(std::max<long long>(1, (quota + period - 1) / period));
}

// The cores a cgroup's CPU quota allows the process, 0 when none is set:
// cgroup v2's cpu.max ("QUOTA PERIOD" or "max PERIOD"), else v1's
// cpu.cfs_quota_us and cpu.cfs_period_us, of the process's own cgroup.
unsigned CgroupCores() {
    std::string v2_path = "/sys/fs/cgroup", v1_path = "/sys/fs/cgroup/cpu";
    if (std::FILE* f = std::fopen("/proc/self/cgroup", "r")) {
        char line[4096];
        while (std::fgets(line, sizeof line, f) != nullptr) {
            std::string text(line);
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
            if (text.rfind("0::", 0) == 0) v2_path += text.substr(3);
            // v1: "N:cpu,cpuacct:/path"
            const std::size_t colon = text.find(':'), second = text.find(':', colon + 1);
            if (colon == std::string::npos || second == std::string::npos) continue;
            const std::string controllers = "," + text.substr(colon + 1, second - colon - 1) + ",";
            if (controllers.find(",cpu,") != std::string::npos) v1_path += text.substr(second + 1);
        }
        std::fclose(f);
    }
    auto read_numbers = [](const std::string& path, long long& a, long long& b, bool two) {
        std::FILE* f = std::fopen(path.c_str(), "r");
        if (f == nullptr) return false;
        char word[64] = {};
        bool read = false;
        if (two) {
            long long period = 0;
            if (std::fscanf(f, "%63s %lld", word, &period) == 2) {
                a = std::string(word) == "max" ? -1 : std::atoll(word);
                b = period;
                read = true;
            }
        } else {
            read = std::fscanf(f, "%lld", &a) == 1;
        }
        std::fclose(f);
        return read;
    };
    long long quota = 0, period = 0;
    for (const std::string& folder : {v2_path, std::string("/sys/fs/cgroup")}) {
        if (read_numbers(folder + "/cpu.max", quota, period, true)) return QuotaCores(quota, period);
    }
    for (const std::string& folder : {v1_path, std::string("/sys/fs/cgroup/cpu")}) {
        long long unused = 0;
        if (read_numbers(folder + "/cpu.cfs_quota_us", quota, unused, false) &&
            read_numbers(folder + "/cpu.cfs_period_us", period, unused, false))
            return QuotaCores(quota, period);
    }
    return 0;
}

unsigned CountCores() {
    unsigned cores = 0;
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) cores = static_cast<unsigned>(CPU_COUNT(&set));
    if (cores == 0) cores = std::thread::hardware_concurrency();
    if (const unsigned quota = CgroupCores(); quota != 0) cores = std::min(cores == 0 ? quota : cores, quota);
    return std::max(1U, cores);
}

}  // namespace

unsigned CoreCount() {
    // Counted once: the affinity mask (taskset, cpusets, batch schedulers)
    // and a cgroup's CPU quota, which hardware_concurrency() ignores here.
    static const unsigned cores = CountCores();
    return cores;
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
