// Merge and UnMerge: the union with merged areas met, which value survives, the prompt
// the user would have seen, and splitting every area a range meets.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "HostFixture.h"
#include "host/memory/A1Address.h"

namespace gridmoor::testing {
namespace {

using Cells = std::vector<std::pair<const char*, CellValue>>;
using Areas = std::vector<std::string>;

struct MergeCase {
    const char* name;
    Cells before;
    Areas merged;  // merged areas before the call (made on the model, no value moves)
    const char* range;
    bool alerts;
    Areas mergedAfter;
    Cells after;  // every cell named in `before`, plus any other worth checking
    std::size_t prompts;
};

class MergeTest : public HostFixture, public ::testing::WithParamInterface<MergeCase> {};

TEST_P(MergeTest, MakesOneAreaOverTheUnionAndKeepsTheFirstValue) {
    const auto& c = GetParam();
    for (const auto& [cell, value] : c.before) host.setCell("Sheet1", cell, value);
    for (const auto& area : c.merged) host.mergeCells("Sheet1", area);
    host.setDisplayAlerts(c.alerts);

    host.Merge(range(c.range));

    EXPECT_EQ(host.mergedAreas("Sheet1"), c.mergedAfter);
    for (const auto& [cell, value] : c.after)
        EXPECT_TRUE(identical(host.cell("Sheet1", cell), value))
            << cell << " holds " << describe(host.cell("Sheet1", cell)) << ", expected "
            << describe(value);
    EXPECT_EQ(host.prompts().size(), c.prompts);
}

const CellValue kEmpty{};

INSTANTIATE_TEST_SUITE_P(
    Table, MergeTest,
    ::testing::Values(
        MergeCase{"PairLosesTheSecondValue",
                  {{"A1", txt("a")}, {"A2", txt("b")}},
                  {},
                  "A1:A2",
                  false,
                  {"$A$1:$A$2"},
                  {{"A1", txt("a")}, {"A2", kEmpty}},
                  0},
        MergeCase{"LossIsAPromptWithAlertsOn",
                  {{"A1", txt("a")}, {"A2", txt("b")}},
                  {},
                  "A1:A2",
                  true,
                  {"$A$1:$A$2"},
                  {{"A1", txt("a")}, {"A2", kEmpty}},
                  1},
        MergeCase{"OneValueIsNoPrompt",
                  {{"A2", CellValue::integer(7)}},
                  {},
                  "A1:A3",
                  true,
                  {"$A$1:$A$3"},
                  {{"A1", CellValue::integer(7)}, {"A2", kEmpty}},
                  0},
        MergeCase{"EmptyTextCountsAsAValue",
                  {{"A1", txt("")}, {"A2", txt("b")}},
                  {},
                  "A1:A2",
                  true,
                  {"$A$1:$A$2"},
                  {{"A1", txt("")}, {"A2", kEmpty}},
                  1},
        MergeCase{"FirstInReadingOrderMovesUp",
                  {{"B1", txt("right")}, {"A2", txt("below")}},
                  {},
                  "A1:B2",
                  false,
                  {"$A$1:$B$2"},
                  {{"A1", txt("right")}, {"B1", kEmpty}, {"A2", kEmpty}},
                  0},
        MergeCase{"KindTravelsToTheTopLeft",
                  {{"C3", CellValue::date(45000.5)}},
                  {},
                  "B2:C3",
                  false,
                  {"$B$2:$C$3"},
                  {{"B2", CellValue::date(45000.5)}, {"C3", kEmpty}},
                  0},
        MergeCase{
            "SingleCellIsLeftAlone", {{"A1", txt("a")}}, {}, "A1", true, {}, {{"A1", txt("a")}}, 0},
        MergeCase{"SecondCellStartsAnArea",
                  {{"A1", txt("a")}, {"A2", txt("a")}},
                  {"A2:A4"},
                  "A1:A2",
                  false,
                  {"$A$1:$A$4"},
                  {{"A1", txt("a")}, {"A2", kEmpty}},
                  0},
        MergeCase{"SecondCellStartsAWideArea",
                  {{"A1", txt("x")}, {"B1", txt("x")}},
                  {"B1:F1"},
                  "A1:B1",
                  false,
                  {"$A$1:$F$1"},
                  {{"A1", txt("x")}, {"B1", kEmpty}},
                  0},
        MergeCase{"RangeInsideAnAreaRemergesIt",
                  {{"A1", txt("a")}},
                  {"A1:A5"},
                  "A3:A4",
                  false,
                  {"$A$1:$A$5"},
                  {{"A1", txt("a")}},
                  0},
        MergeCase{"UnionGrowsUntilStable",
                  {},
                  {"B2:B3", "A3:A4", "D9:E9"},
                  "A1:B2",
                  false,
                  {"$A$1:$B$4", "$D$9:$E$9"},
                  {},
                  0},
        MergeCase{"UnionReachesCellsOutsideBoth",
                  {{"C2", txt("z")}},
                  {"B1:C1"},
                  "A1:B2",
                  true,
                  {"$A$1:$C$2"},
                  {{"A1", txt("z")}, {"C2", kEmpty}},
                  0},
        MergeCase{"CoveredValueOfAnAreaMet",
                  {{"C1", txt("c")}, {"A2", txt("a")}},
                  {"B1:C1"},
                  "A1:B2",
                  true,
                  {"$A$1:$C$2"},
                  {{"A1", txt("c")}, {"C1", kEmpty}, {"A2", kEmpty}},
                  1},
        MergeCase{"ValueUnderAnAreaIsNotOverlooked",
                  {{"A3", txt("hidden")}},
                  {"A2:A3"},
                  "A1:A2",
                  false,
                  {"$A$1:$A$3"},
                  {{"A1", txt("hidden")}, {"A3", kEmpty}},
                  0},
        MergeCase{"EachAreaOnItsOwn",
                  {{"A1", txt("a")}, {"A2", txt("b")}, {"C1", txt("c")}},
                  {},
                  "A1:A2,C1:C2",
                  true,
                  {"$A$1:$A$2", "$C$1:$C$2"},
                  {{"A1", txt("a")}, {"A2", kEmpty}, {"C1", txt("c")}},
                  1}),
    [](const ::testing::TestParamInfo<MergeCase>& p) { return std::string(p.param.name); });

TEST_F(HostFixture, DescendingPairMergesLeaveOneAreaPerRun) {
    const std::vector<CellValue> line = {txt("a"), txt("a"), txt("b"), txt("b"),
                                         txt("b"), txt("c"), txt("c")};
    host.setCells("Sheet1", "A1:A7", line);
    host.setDisplayAlerts(false);
    const SheetHandle s = sheet();
    for (long k : {7L, 5L, 4L, 2L})
        host.Merge(host.Range(s, host.Cells(s, k - 1, 1), host.Cells(s, k, 1)));
    EXPECT_EQ(host.mergedAreas("Sheet1"), (Areas{"$A$1:$A$2", "$A$3:$A$5", "$A$6:$A$7"}));
    EXPECT_TRUE(host.prompts().empty());
}

TEST_F(HostFixture, ValueWrittenUnderAnAreaIsSeenWhenTheAreaGrows) {
    host.setDisplayAlerts(false);
    host.Merge(range("A2:A3"));
    host.setValue(range("A3"), txt("late"));
    EXPECT_TRUE(identical(host.Value(range("A3")).single(), txt("late")));
    host.Merge(range("A1:A2"));
    EXPECT_EQ(host.mergedAreas("Sheet1"), Areas{"$A$1:$A$3"});
    EXPECT_TRUE(identical(host.cell("Sheet1", "A1"), txt("late")));
    EXPECT_TRUE(host.cell("Sheet1", "A3").isEmpty());
}

TEST_F(HostFixture, LongRunGrownPairByPairStaysOneArea) {
    std::vector<CellValue> line(2000, txt("same"));
    host.setCells("Sheet1", "A1:A2000", line);
    host.setCells("Sheet1", "A2001:BXX2001", std::vector<CellValue>(2000, txt("same")));
    host.setDisplayAlerts(false);
    const SheetHandle s = sheet();
    for (long k = 2000; k >= 2; --k) {
        host.Merge(host.Range(s, host.Cells(s, k - 1, 1), host.Cells(s, k, 1)));
        host.Merge(host.Range(s, host.Cells(s, 2001, k - 1), host.Cells(s, 2001, k)));
    }
    EXPECT_EQ(host.mergedAreas("Sheet1"), (Areas{"$A$1:$A$2000", "$A$2001:$BXX$2001"}));
    EXPECT_TRUE(sameValues(host.cells("Sheet1", "A1:A3"), {txt("same"), {}, {}}));
}

// Thousands of merged areas in one column and one row, made, grown, joined and split in an
// order that reaches every part of the index; the host's areas must match a plain list.
TEST_F(HostFixture, ManyAreasInOneLineStayInStep) {
    host.setDisplayAlerts(false);
    const SheetHandle s = sheet();
    std::vector<A1Area> expected;
    for (std::int32_t k = 1500; k >= 1; --k) {  // A1:A2, A4:A5, ... made bottom up
        host.Merge(host.Range(s, host.Cells(s, 3 * k - 2, 1), host.Cells(s, 3 * k - 1, 1)));
        host.Merge(host.Range(s, host.Cells(s, 1, 3 * k + 1), host.Cells(s, 1, 3 * k + 2)));
    }
    for (std::int32_t k = 1; k <= 1500; ++k) {
        expected.push_back({3 * k - 2, 1, 3 * k - 1, 1});
        expected.push_back({1, 3 * k + 1, 1, 3 * k + 2});
    }
    // Grow every tenth area by one cell (the gap below it), join two neighbours, and split
    // one area in each line.
    for (std::int32_t k = 10; k <= 1500; k += 10) {
        host.Merge(host.Range(s, host.Cells(s, 3 * k - 1, 1), host.Cells(s, 3 * k, 1)));
        for (auto& a : expected)
            if (a.left == 1 && a.top == 3 * k - 2) a.bottom = 3 * k;
    }
    host.Merge(range("A700:A703"));  // A700:A701 with A703:A704 (k = 234, 235)
    std::erase_if(expected,
                  [](const A1Area& a) { return a.left == 1 && (a.top == 700 || a.top == 703); });
    expected.push_back({700, 1, 704, 1});
    host.UnMerge(range("A2000"));  // k = 667: A1999:A2000
    std::erase_if(expected, [](const A1Area& a) { return a.left == 1 && a.top == 1999; });
    host.UnMerge(range("AAA1:AAB1"));  // columns 703, 704
    std::erase_if(expected, [](const A1Area& a) { return a.top == 1 && a.left == 703; });
    host.UnMerge(range("AAB1"));  // nothing left there

    std::sort(expected.begin(), expected.end(), [](const A1Area& a, const A1Area& b) {
        return a.top != b.top ? a.top < b.top : a.left < b.left;
    });
    std::vector<std::string> printed;
    for (const auto& a : expected) printed.push_back(absoluteAddress(a));
    EXPECT_EQ(host.mergedAreas("Sheet1"), printed);
    // Every cell answers for the area it lies in.
    for (const char* probe : {"A3", "A30", "A29", "A2001", "ZZ2", "A4500"}) {
        host.Merge(range(probe));
    }
    EXPECT_EQ(host.mergedAreas("Sheet1"), printed);
}

struct UnMergeCase {
    const char* name;
    const char* range;
    Areas left;
};

class UnMergeTest : public HostFixture, public ::testing::WithParamInterface<UnMergeCase> {};

TEST_P(UnMergeTest, SplitsEveryAreaTheRangeMeetsAndKeepsValues) {
    const auto& c = GetParam();
    const std::vector<CellValue> column = {txt("x"), {}, txt("under"), txt("y"), {}, {}, {}};
    host.setCells("Sheet1", "B2:B8", column);
    host.setCell("Sheet1", "C7", txt("c7"));
    for (const char* area : {"B2:B4", "B6:C7", "E1:F1"}) host.mergeCells("Sheet1", area);

    host.UnMerge(range(c.range));

    EXPECT_EQ(host.mergedAreas("Sheet1"), c.left);
    EXPECT_TRUE(sameValues(host.cells("Sheet1", "B2:B8"), column));
    EXPECT_TRUE(identical(host.cell("Sheet1", "C7"), txt("c7")));
    EXPECT_TRUE(host.prompts().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnMergeTest,
    ::testing::Values(UnMergeCase{"CoveredCellOfAnArea", "B3", {"$E$1:$F$1", "$B$6:$C$7"}},
                      UnMergeCase{"CornerOfABlockPartlyMet", "C7:D9", {"$E$1:$F$1", "$B$2:$B$4"}},
                      UnMergeCase{
                          "ColumnMeetingNothing", "A:A", {"$E$1:$F$1", "$B$2:$B$4", "$B$6:$C$7"}},
                      UnMergeCase{"WholeRowMeetsAWideArea", "1:1", {"$B$2:$B$4", "$B$6:$C$7"}},
                      UnMergeCase{"WholeColumnMeetsTwo", "C:C", {"$E$1:$F$1", "$B$2:$B$4"}},
                      UnMergeCase{"SeveralAreas", "B2,F1", {"$B$6:$C$7"}},
                      UnMergeCase{"WholeSheet", "1:1048576", {}}),
    [](const ::testing::TestParamInfo<UnMergeCase>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace gridmoor::testing
