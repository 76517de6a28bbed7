// The routes UnMerge takes in Calc: Calc's own split, or, for many merged areas that all lie
// inside the range, clearing the range's formats and giving every cell its own back. Either
// way every merged area the range meets is split, every cell keeps its value and all of its
// formatting, and one undo takes the whole run back.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "CalcFixture.h"

namespace gridmoor::calctest {
namespace {

using Strings = std::vector<std::string>;

struct SplitCase {
    const char* name;
    long areas;             // merged pairs, each followed by a single cell (set up in fewer
                            // steps than Calc keeps undo entries: 100)
    bool validation;        // a validation on one cell under an area
    bool reachesOut;        // the range stops inside the last merged area
    long bulkSplits;        // splits expected by clearing formats
};

void PrintTo(const SplitCase& c, std::ostream* os) {
    *os << c.name;
}

class CalcSplitTest : public CalcTest, public ::testing::WithParamInterface<SplitCase> {};

TEST_P(CalcSplitTest, EveryAreaSplitValuesAndFormatsKeptOneUndo) {
    const SplitCase& c = GetParam();
    const long rows = 3 * c.areas;
    const std::string column = "A1:A" + std::to_string(rows);
    std::vector<double> numbers;
    for (long r = 1; r <= rows; ++r) numbers.push_back(static_cast<double>(r));
    probe().fillNumbers("Sheet1", "A1", numbers);
    // Formatting that differs between cells under one area and between areas.
    probe().setBold("Sheet1", "A1:A" + std::to_string(rows / 2));
    probe().setNumberProperty("Sheet1", "A2:A7", "CellBackColor", 0xFFCC00);
    probe().setBorders("Sheet1", "A3:A4");
    probe().setNumberProperty("Sheet1", "A" + std::to_string(rows - 1) + ":A" +
                                            std::to_string(rows), "CharHeightComplex", 14);
    if (c.validation) probe().allowWholeNumbersOnly("Sheet1", "A5");
    for (long r = 1; r < rows; r += 3) {
        probe().merge("Sheet1", "A" + std::to_string(r) + ":A" + std::to_string(r + 1));
    }
    const Strings mergedBefore = probe().mergedAreas("Sheet1", rows + 5);
    const auto before = probe().recordCells("Sheet1", column);
    const long undoBefore = probe().undoCount();

    const long lastAreaTop = rows - 2;
    const std::string range = c.reachesOut ? "A2:A" + std::to_string(lastAreaTop) : column;
    inRun(host(), [&](AppHandle, SheetHandle sheet) { host().UnMerge(host().Range(sheet, range)); });

    EXPECT_EQ(host().bulkSplits(), c.bulkSplits);
    EXPECT_EQ(probe().mergedAreas("Sheet1", rows + 5), Strings{});
    const auto after = probe().recordCells("Sheet1", column);
    EXPECT_EQ(calc::CalcProbe::differences(*before, *after), Strings{});
    EXPECT_EQ(probe().undoCount(), undoBefore + 1);
    probe().undo();
    EXPECT_EQ(probe().mergedAreas("Sheet1", rows + 5), mergedBefore);
    const auto undone = probe().recordCells("Sheet1", column);
    EXPECT_EQ(calc::CalcProbe::differences(*before, *undone), Strings{});
}

INSTANTIATE_TEST_SUITE_P(
    Routes, CalcSplitTest,
    ::testing::Values(SplitCase{"fewByCalcsSplit", 3, false, false, 0},
                      SplitCase{"manyByClearingFormats", 70, false, false, 1},
                      // Clearing would lose the validation: Calc's split.
                      SplitCase{"manyWithAValidation", 70, true, false, 0},
                      // Areas reach out of the range: Calc's split of each.
                      SplitCase{"manyReachingOutOfTheRange", 70, false, true, 0}),
    [](const ::testing::TestParamInfo<SplitCase>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace gridmoor::calctest
