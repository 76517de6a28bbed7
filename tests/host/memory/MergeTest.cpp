// Merge and UnMerge: the union with merged areas met, which value survives, the prompt
// the user would have seen, and splitting every area a range meets.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "HostFixture.h"
#include "host/A1Address.h"

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

// Thousands of merged areas in one column and one row, made, grown at either end,
// joined and split in an order that reaches every part of the index, checked against a
// plain list of areas kept by the same rules.
TEST_F(HostFixture, ManyAreasInOneLineStayInStep) {
    host.setDisplayAlerts(false);
    const SheetHandle s = sheet();
    std::vector<A1Area> expected;
    const auto merged = [&](A1Area r) {
        for (bool grew = true; grew;) {
            grew = false;
            for (const A1Area& a : expected) {
                if (a.meets(r) && !a.inside(r)) {
                    r = r.spanWith(a);
                    grew = true;
                }
            }
        }
        std::erase_if(expected, [&](const A1Area& a) { return a.meets(r); });
        expected.push_back(r);
    };
    const auto split = [&](const A1Area& r) {
        std::erase_if(expected, [&](const A1Area& a) { return a.meets(r); });
    };
    const auto pair = [&](long r1, long c1, long r2, long c2) {
        host.Merge(host.Range(s, host.Cells(s, r1, c1), host.Cells(s, r2, c2)));
        merged({static_cast<std::int32_t>(r1), static_cast<std::int32_t>(c1),
                static_cast<std::int32_t>(r2), static_cast<std::int32_t>(c2)});
    };
    for (long k = 1500; k >= 1; --k) {  // A1:A2, A4:A5, ... and D1:E1, G1:H1, ... bottom up
        pair(3 * k - 2, 1, 3 * k - 1, 1);
        pair(1, 3 * k + 1, 1, 3 * k + 2);
    }
    for (long k = 10; k <= 1500; k += 10) pair(3 * k - 1, 1, 3 * k, 1);      // grow down
    for (long k = 15; k <= 1500; k += 10) pair(3 * k - 3, 1, 3 * k - 2, 1);  // grow up
    for (long k = 10; k <= 1500; k += 50) pair(1, 3 * k + 2, 1, 3 * k + 3);  // grow right
    host.Merge(range("A700:A703"));
    merged({700, 1, 703, 1});
    host.UnMerge(range("A2000"));
    split({2000, 1, 2000, 1});
    host.UnMerge(range("AAA1:AAB1"));
    split({1, 703, 1, 704});

    const auto printed = [](std::vector<A1Area> areas) {
        std::sort(areas.begin(), areas.end(), [](const A1Area& a, const A1Area& b) {
            return a.top != b.top ? a.top < b.top : a.left < b.left;
        });
        std::vector<std::string> out;
        for (const auto& a : areas) out.push_back(absoluteAddress(a));
        return out;
    };
    EXPECT_EQ(host.mergedAreas("Sheet1"), printed(expected));
    // The index finds each area from any of its cells: splitting every third area through
    // its first or its last cell removes exactly those.
    std::vector<A1Area> kept;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const A1Area& a = expected[i];
        if (i % 3 == 0)
            host.UnMerge(host.Cells(s, a.bottom, a.right));
        else if (i % 3 == 1)
            host.UnMerge(host.Cells(s, a.top, a.left));
        else
            kept.push_back(a);
    }
    EXPECT_EQ(host.mergedAreas("Sheet1"), printed(kept));
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
