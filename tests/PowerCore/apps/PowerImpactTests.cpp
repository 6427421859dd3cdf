#include "PowerCore/apps/ProcessDeltas.hpp"

#include <PowerCore/apps/AppGrouper.hpp>
#include <PowerCore/apps/PowerImpact.hpp>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;

using VuzurTests::delta;

TEST(PowerImpact, EnergyWinsForTheWholeWindow) {
    auto a = AppGrouper::group({delta(1, "a", std::nullopt, 1, 0, 5.0)});
    auto b = AppGrouper::group({delta(2, "b", std::nullopt, 9)});
    const auto ranked = PowerImpact::rank({a[0], b[0]});
    EXPECT_EQ(ranked[0].name, "a");
    EXPECT_EQ(ranked[0].share, 100.0);
    EXPECT_EQ(ranked[1].share, 0.0);
    const auto noEnergy = AppGrouper::group({delta(1, "a", std::nullopt, 1, 1000)});
    EXPECT_EQ(PowerImpact::impact(noEnergy[0], false), 1.5);
    // GPU time counts, summed over an application's processes.
    auto gpu = delta(1, "a", std::nullopt, 1, 1000);
    gpu.gpuSeconds = 0.75;
    auto gpu2 = delta(2, "a", std::nullopt, 0);
    gpu2.gpuSeconds = 0.25;
    const auto withGpu = AppGrouper::group({gpu, gpu2, delta(3, "a", std::nullopt, 0)});
    ASSERT_EQ(withGpu.size(), 1u);
    EXPECT_EQ(PowerImpact::impact(withGpu[0], false), 2.5);
}

TEST(PowerImpact, TiesByCpuAndAbsentSharesAsZero) {
    auto apps = AppGrouper::group({delta(1, "x", std::nullopt, 0), delta(2, "y", std::nullopt, 0)});
    const auto none = PowerImpact::rank(apps);
    EXPECT_FALSE(none[0].share); // nothing measured: no shares at all
    AppPower low{"l", "low", {}, {}, 1, 0, {}, 5, {}, {}};
    AppPower high{"h", "high", {}, {}, 3, 0, {}, 5, {}, {}};
    const auto ranked = PowerImpact::rank({low, high});
    EXPECT_EQ(ranked[0].name, "high");
}

} // namespace
