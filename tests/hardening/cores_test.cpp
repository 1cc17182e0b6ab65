// The library counts the cores the process may use, not those the machine has.
#include <gtest/gtest.h>
#include <sched.h>

#include <string>
#include <thread>

#include "shape/parallel.h"
#include "tests/hardening/child.h"

namespace {

TEST(CoreCount, FollowsTheAffinityMask) {
    if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "needs two cores to narrow the mask";
    // In a child, so that the count is first taken under the narrowed mask.
    const std::string counted = hardening::InChild(
        [] {
            cpu_set_t one;
            CPU_ZERO(&one);
            CPU_SET(0, &one);
            if (sched_setaffinity(0, sizeof one, &one) != 0) return std::string("setaffinity failed");
            return std::to_string(CoreCount());
        },
        60);
    EXPECT_EQ(counted, "1");
    cpu_set_t mask;
    ASSERT_EQ(sched_getaffinity(0, sizeof mask, &mask), 0);
    EXPECT_LE(CoreCount(), static_cast<unsigned>(CPU_COUNT(&mask)));
    EXPECT_GE(CoreCount(), 1u);
}

}  // namespace
