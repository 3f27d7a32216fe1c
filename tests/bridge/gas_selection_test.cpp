// SPDX-License-Identifier: MIT
// The gas handed to Java: which mix of a record is chosen, and how its fractions become the whole
// percentages of blendGas.
#include "bridge/java_dive.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

namespace divebridge {
namespace {

dc_gasmix_t mix(double oxygen, double helium = 0.0) {
    dc_gasmix_t mix{};  // 0.9 adds a usage member
    mix.helium = helium;
    mix.oxygen = oxygen;
    mix.nitrogen = 1.0 - oxygen - helium;
    return mix;
}

dc_tank_t tankUsingMix(unsigned int gasmix) {
    dc_tank_t tank{};
    tank.gasmix = gasmix;
    return tank;
}

DiveRecord recordWith(std::vector<dc_gasmix_t> mixes, std::vector<dc_tank_t> tanks = {}) {
    DiveRecord record;
    record.gasMixes = std::move(mixes);
    record.tanks = std::move(tanks);
    return record;
}

TEST(SelectGasMix, WithoutTanksTheFirstMixIsTaken) {
    const auto chosen = selectGasMix(recordWith({mix(0.21), mix(0.32)}));
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->oxygen, 0.21);

    EXPECT_FALSE(selectGasMix(recordWith({})).has_value());
}

TEST(SelectGasMix, TheFirstTankDecidesWhichMixIsTaken) {
    // The second tank points elsewhere; only the first one counts.
    const auto chosen =
        selectGasMix(recordWith({mix(0.21), mix(0.18, 0.45)}, {tankUsingMix(1), tankUsingMix(0)}));
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->oxygen, 0.18);
    EXPECT_EQ(chosen->helium, 0.45);
}

TEST(SelectGasMix, AFirstTankWithoutAUsableIndexGivesNoGasEvenWhenMixesExist) {
    const std::vector<dc_gasmix_t> mixes = {mix(0.21), mix(0.32)};
    for (unsigned int index : {DC_GASMIX_UNKNOWN, 2u, 3u, 0x7fffffffu}) {
        SCOPED_TRACE(index);
        EXPECT_FALSE(selectGasMix(recordWith(mixes, {tankUsingMix(index)})).has_value());
    }
    EXPECT_FALSE(selectGasMix(recordWith({}, {tankUsingMix(0)})).has_value());
}

TEST(SelectGasMix, AMixWithoutOxygenOrWithNonFiniteFractionsGivesNoGas) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const dc_gasmix_t unusable[] = {mix(0.0),       mix(-0.1),      mix(nan),       mix(inf),
                                    mix(0.21, nan), mix(0.21, inf), mix(0.21, -inf)};
    for (const dc_gasmix_t &candidate : unusable) {
        SCOPED_TRACE(::testing::Message() << candidate.oxygen << "/" << candidate.helium);
        EXPECT_FALSE(selectGasMix(recordWith({candidate, mix(0.32)})).has_value());
        EXPECT_FALSE(
            selectGasMix(recordWith({mix(0.32), candidate}, {tankUsingMix(1)})).has_value());
    }
}

TEST(GasPercentage, RoundsToTheNearestWholePercentWithHalvesUp) {
    EXPECT_EQ(gasPercentage(0.211), 21);
    EXPECT_EQ(gasPercentage(0.125), 13);
    EXPECT_EQ(gasPercentage(0.2149), 21);
    EXPECT_EQ(gasPercentage(1.0), 100);
    EXPECT_EQ(gasPercentage(0.0), 0);
    EXPECT_EQ(gasPercentage(0.3749), 37);
    EXPECT_EQ(gasPercentage(0.375), 38);
}

TEST(GasPercentage, AbsurdFractionsSaturateInsteadOfOverflowing) {
    EXPECT_EQ(gasPercentage(1e300), INT_MAX);
    EXPECT_EQ(gasPercentage(-1e300), INT_MIN);
    EXPECT_EQ(gasPercentage(21474836.47), INT_MAX);
    EXPECT_EQ(gasPercentage(-21474836.48), INT_MIN);
    EXPECT_EQ(gasPercentage(21474836.4), 2147483640);
}

}  // namespace
}  // namespace divebridge
