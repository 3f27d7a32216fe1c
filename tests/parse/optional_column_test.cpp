// SPDX-License-Identifier: MIT
#include "optional_column_printing.h"
#include "parse/dive_record.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <sstream>
#include <vector>

namespace divebridge {
namespace {

using Floats = std::vector<OptionalFloat>;
constexpr std::nullopt_t none = std::nullopt;

TEST(OptionalColumn, AbsentStaysApartFromPresentZero) {
    OptionalColumn<std::int32_t> column;
    column.push(0);
    column.padTo(2);
    column.push(std::optional<std::int32_t>());
    column.push(std::optional<std::int32_t>(-1));
    ASSERT_EQ(column.size(), 4u);
    EXPECT_EQ(column[0], 0);
    EXPECT_FALSE(column[1]);
    EXPECT_FALSE(column[2]);
    EXPECT_EQ(column[3], -1);
    EXPECT_NE(column, (std::vector<OptionalInt>{none, none, none, -1}));
    EXPECT_NE(column, (OptionalColumn<std::int32_t>{0, 0, 0, -1}));
}

// Presence bits of cells pushed after padding land on the pushed cells, across byte boundaries.
TEST(OptionalColumn, PaddingAndPushingKeepEachCellsPresence) {
    for (std::size_t padded = 0; padded <= 17; ++padded) {
        OptionalColumn<float> column;
        Floats expected;
        for (std::size_t cell = 0; cell < padded; ++cell) {
            if (cell % 3 == 0) {
                column.push(static_cast<float>(cell));
                expected.emplace_back(static_cast<float>(cell));
            }
        }
        column.padTo(padded);
        expected.resize(padded);
        for (int cell = 0; cell < 10; ++cell) {
            column.push(0.5f * cell);
            expected.emplace_back(0.5f * cell);
        }
        column.padTo(padded + 12);
        expected.resize(padded + 12);
        EXPECT_EQ(column, expected) << "padded to " << padded;
    }
}

TEST(OptionalColumn, PadToNeverShortensAndEmptyMeansNoCells) {
    OptionalColumn<float> column;
    EXPECT_TRUE(column.empty());
    column.padTo(0);
    EXPECT_TRUE(column.empty());
    column = {1.0f, none, 3.0f};
    column.padTo(2);
    EXPECT_FALSE(column.empty());
    EXPECT_EQ(column, (Floats{1.0f, none, 3.0f}));
}

// Absent cells after the last present one are not stored, yet read back as absent, and a value
// pushed after them lands at its own row with the cells before it still absent.
TEST(OptionalColumn, TrailingAbsentCellsCostNothingUntilAValueFollows) {
    OptionalColumn<std::int32_t> column;
    column.padTo(5000);
    EXPECT_EQ(column.size(), 5000u);
    EXPECT_EQ(column.allocatedBytes(), 0u);
    EXPECT_FALSE(column[4999]);
    column.push(7);
    column.padTo(5003);
    ASSERT_EQ(column.size(), 5003u);
    EXPECT_FALSE(column[0]);
    EXPECT_FALSE(column[4999]);
    EXPECT_EQ(column[5000], 7);
    EXPECT_FALSE(column[5001]);
    EXPECT_FALSE(column[5002]);
}

TEST(OptionalColumn, ACopyIsAnIndependentValue) {
    OptionalColumn<float> source{1.0f, none};
    const OptionalColumn<float> copy = source;
    source.push(2.0f);
    source = {none};
    EXPECT_EQ(copy, (Floats{1.0f, none}));
    EXPECT_EQ(source, (Floats{none}));
}

TEST(OptionalColumn, EqualityComparesSizeAndEveryCell) {
    const OptionalColumn<float> column{1.0f, none};
    EXPECT_EQ(column, (OptionalColumn<float>{1.0f, none}));
    EXPECT_EQ((Floats{1.0f, none}), column);
    EXPECT_NE(column, (Floats{1.0f}));
    EXPECT_NE(column, (Floats{1.0f, none, none}));
    EXPECT_NE(column, (Floats{1.0f, 0.0f}));
    EXPECT_NE((Floats{none, none}), column);
    // As with std::optional, a NaN cell equals nothing, itself included.
    const OptionalColumn<float> nan{std::numeric_limits<float>::quiet_NaN()};
    EXPECT_NE(nan, nan);
}

TEST(OptionalColumn, PrintsEachCellForFailureMessages) {
    EXPECT_EQ(::testing::PrintToString(OptionalColumn<float>{1.5f, none, 0.0f}),
              "{ 1.5, absent, 0 }");
    EXPECT_EQ(::testing::PrintToString(OptionalColumn<float>{}), "{ }");
}

// Four float columns and one integer column a row, with room for twice the rows: under 48 bytes.
TEST(OptionalColumn, ARowCostsFourBytesAndOneBitACell) {
    OptionalColumn<float> column;
    for (int cell = 0; cell < 8000; ++cell) {
        column.push(1.0f);
    }
    EXPECT_GE(column.allocatedBytes(), 8000u * 4 + 1000);
    EXPECT_LE(column.allocatedBytes(), 2 * (8000u * 4 + 1000));
}

}  // namespace
}  // namespace divebridge
