// Merge and UnMerge on every backend: the union with the merged areas met, which value
// survives, the prompt the user would have seen, and splitting every area a range meets.
#include <string>
#include <utility>
#include <vector>

#include "Bench.h"

namespace gridmoor::contract {
namespace {

using Cells = std::vector<std::pair<std::string, Content>>;

// The values of the cells, read through the backend in one run.
std::vector<CellValue> readCells(Bench& bench, const Strings& cells) {
    std::vector<CellValue> out;
    bench.run([&](BulkHost& h, AppHandle, SheetHandle s) {
        for (const auto& cell : cells) out.push_back(h.Value(h.Range(s, cell)).single());
    });
    return out;
}

void expectValues(Bench& bench, const Cells& expected) {
    Strings cells;
    for (const auto& [at, c] : expected) cells.push_back(at);
    const std::vector<CellValue> got = readCells(bench, cells);
    for (std::size_t i = 0; i < got.size(); ++i) {
        const CellValue want = valueOf(expected[i].second);
        EXPECT_TRUE(identical(got[i], want))
            << cells[i] << " holds " << describe(got[i]) << ", expected " << describe(want);
    }
}

struct MergeCase {
    const char* name;
    Cells before;
    Strings merged;  // merged areas before the call (made as they stand, no value moves)
    const char* range;
    bool alerts;
    Strings mergedAfter;  // sorted
    Cells after;          // every cell named in `before`, plus any other worth checking
    std::size_t prompts;
};

using MergeTest = ContractTest<MergeCase>;

TEST_P(MergeTest, MakesOneAreaOverTheUnionAndKeepsTheFirstValue) {
    const MergeCase& c = param();
    Bench& b = bench();
    b.enterAll(c.before);
    for (const auto& area : c.merged) b.merge(area);

    b.run([&](BulkHost& h, AppHandle app, SheetHandle s) {
        h.DisplayAlerts(app, c.alerts);
        h.Merge(h.Range(s, c.range));
        h.DisplayAlerts(app, true);
    });

    EXPECT_EQ(b.mergedAreas(), c.mergedAfter);
    if (b.traits().mergeKeepsValues) {
        Cells kept;
        for (const auto& [cell, value] : c.after) {
            Content before;
            for (const auto& [at, v] : c.before)
                if (at == cell) before = v;
            kept.emplace_back(cell, before);
        }
        expectValues(b, kept);
    } else {
        expectValues(b, c.after);
    }
    if (b.traits().countsPrompts) {
        EXPECT_EQ(b.prompts(), c.prompts);
    }
}

const Content kBlank{};

INSTANTIATE_TEST_SUITE_P(
    Table, MergeTest,
    ::testing::Combine(
        ::testing::ValuesIn(contractBackends()),
        ::testing::Values(
            MergeCase{"PairLosesTheSecondValue",
                      {{"A1", {"a"}}, {"A2", {"b"}}},
                      {},
                      "A1:A2",
                      false,
                      {"$A$1:$A$2"},
                      {{"A1", {"a"}}, {"A2", kBlank}},
                      0},
            MergeCase{"LossIsAPromptWithAlertsOn",
                      {{"A1", {"a"}}, {"A2", {"b"}}},
                      {},
                      "A1:A2",
                      true,
                      {"$A$1:$A$2"},
                      {{"A1", {"a"}}, {"A2", kBlank}},
                      1},
            MergeCase{"OneValueIsNoPrompt",
                      {{"A2", {"7"}}},
                      {},
                      "A1:A3",
                      true,
                      {"$A$1:$A$3"},
                      {{"A1", {"7"}}, {"A2", kBlank}},
                      0},
            MergeCase{"EmptyTextCountsAsAValue",
                      {{"A1", {"=\"\""}}, {"A2", {"b"}}},
                      {},
                      "A1:A2",
                      true,
                      {"$A$1:$A$2"},
                      {{"A1", {"=\"\""}}, {"A2", kBlank}},
                      1},
            MergeCase{"FirstInReadingOrderMovesUp",
                      {{"B1", {"right"}}, {"A2", {"below"}}},
                      {},
                      "A1:B2",
                      false,
                      {"$A$1:$B$2"},
                      {{"A1", {"right"}}, {"B1", kBlank}, {"A2", kBlank}},
                      0},
            MergeCase{"KindTravelsToTheTopLeft",
                      {{"C3", {"45000.5", Format::Date}}},
                      {},
                      "B2:C3",
                      false,
                      {"$B$2:$C$3"},
                      {{"B2", {"45000.5", Format::Date}}, {"C3", kBlank}},
                      0},
            MergeCase{
                "SingleCellIsLeftAlone", {{"A1", {"a"}}}, {}, "A1", true, {}, {{"A1", {"a"}}}, 0},
            MergeCase{"SecondCellStartsAnArea",
                      {{"A1", {"a"}}, {"A2", {"a"}}},
                      {"A2:A4"},
                      "A1:A2",
                      false,
                      {"$A$1:$A$4"},
                      {{"A1", {"a"}}, {"A2", kBlank}},
                      0},
            MergeCase{"SecondCellStartsAWideArea",
                      {{"A1", {"x"}}, {"B1", {"x"}}},
                      {"B1:F1"},
                      "A1:B1",
                      false,
                      {"$A$1:$F$1"},
                      {{"A1", {"x"}}, {"B1", kBlank}},
                      0},
            MergeCase{"RangeInsideAnAreaRemergesIt",
                      {{"A1", {"a"}}},
                      {"A1:A5"},
                      "A3:A4",
                      false,
                      {"$A$1:$A$5"},
                      {{"A1", {"a"}}},
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
                      {{"C2", {"z"}}},
                      {"B1:C1"},
                      "A1:B2",
                      true,
                      {"$A$1:$C$2"},
                      {{"A1", {"z"}}, {"C2", kBlank}},
                      0},
            MergeCase{"CoveredValueOfAnAreaMet",
                      {{"C1", {"c"}}, {"A2", {"a"}}},
                      {"B1:C1"},
                      "A1:B2",
                      true,
                      {"$A$1:$C$2"},
                      {{"A1", {"c"}}, {"C1", kBlank}, {"A2", kBlank}},
                      1},
            MergeCase{"ValueUnderAnAreaIsNotOverlooked",
                      {{"A3", {"hidden"}}},
                      {"A2:A3"},
                      "A1:A2",
                      false,
                      {"$A$1:$A$3"},
                      {{"A1", {"hidden"}}, {"A3", kBlank}},
                      0},
            // One call over several areas differs by application; every backend here
            // merges area by area.
            MergeCase{"EachAreaOnItsOwn",
                      {{"A1", {"a"}}, {"A2", {"b"}}, {"C1", {"c"}}},
                      {},
                      "A1:A2,C1:C2",
                      true,
                      {"$A$1:$A$2", "$C$1:$C$2"},
                      {{"A1", {"a"}}, {"A2", kBlank}, {"C1", {"c"}}},
                      1})),
    caseName<MergeCase>);

using MergeRuns = BackendTest;

// Pair merges from the bottom up, each second cell starting the area merged before.
TEST_P(MergeRuns, DescendingPairMergesLeaveOneAreaPerRun) {
    Bench& b = bench();
    const Strings line = {"a", "a", "b", "b", "b", "c", "c"};
    for (std::size_t i = 0; i < line.size(); ++i) b.enter("A" + std::to_string(i + 1), {line[i]});
    b.run([&](BulkHost& h, AppHandle app, SheetHandle s) {
        h.DisplayAlerts(app, false);
        for (const long k : {7L, 5L, 4L, 2L})
            h.Merge(h.Range(s, h.Cells(s, k - 1, 1), h.Cells(s, k, 1)));
        h.DisplayAlerts(app, true);
    });
    EXPECT_EQ(b.mergedAreas(), (Strings{"$A$1:$A$2", "$A$3:$A$5", "$A$6:$A$7"}));
    if (b.traits().countsPrompts) {
        EXPECT_EQ(b.prompts(), 0u);
    }
    const bool kept = b.traits().mergeKeepsValues;
    expectValues(b, {{"A1", {"a"}},
                     {"A3", {"b"}},
                     {"A5", kept ? Content{"b"} : kBlank},
                     {"A7", kept ? Content{"c"} : kBlank}});
}

TEST_P(MergeRuns, MergeTakesInTheMergedAreaItMeets) {
    Bench& b = bench();
    b.merge("B2:B3");
    b.merge("D1:E1");
    b.run([&](BulkHost& h, AppHandle, SheetHandle s) {
        h.Merge(h.Range(s, "B1:B2"));
        h.Merge(h.Range(s, "C1:D1"));
    });
    EXPECT_EQ(b.mergedAreas(), (Strings{"$B$1:$B$3", "$C$1:$E$1"}));
}

TEST_P(MergeRuns, ValueWrittenUnderAnAreaIsSeenWhenTheAreaGrows) {
    Bench& b = bench();
    b.run([&](BulkHost& h, AppHandle app, SheetHandle s) {
        h.DisplayAlerts(app, false);
        h.Merge(h.Range(s, "A2:A3"));
        h.setValue(h.Range(s, "A3"), CellValue::text("late"));
        EXPECT_TRUE(identical(h.Value(h.Range(s, "A3")).single(), CellValue::text("late")));
        h.Merge(h.Range(s, "A1:A2"));
        h.DisplayAlerts(app, true);
    });
    EXPECT_EQ(b.mergedAreas(), Strings{"$A$1:$A$3"});
    if (b.traits().mergeKeepsValues)
        expectValues(b, {{"A1", kBlank}, {"A3", {"late"}}});
    else
        expectValues(b, {{"A1", {"late"}}, {"A3", kBlank}});
}

INSTANTIATE_TEST_SUITE_P(Backends, MergeRuns, ::testing::ValuesIn(contractBackends()), backendName);

struct UnMergeCase {
    const char* name;
    const char* range;
    Strings left;  // sorted
    Strings merged = {"B2:B4", "B6:C7", "E1:F1"};
};

using UnMergeTest = ContractTest<UnMergeCase>;

TEST_P(UnMergeTest, SplitsEveryAreaTheRangeMeetsAndKeepsValues) {
    const UnMergeCase& c = param();
    Bench& b = bench();
    const Cells cells = {{"B2", {"x"}}, {"B4", {"under"}}, {"B5", {"y"}}, {"C7", {"c7"}}};
    b.enterAll(cells);
    for (const auto& area : c.merged) b.merge(area);

    b.run([&](BulkHost& h, AppHandle, SheetHandle s) { h.UnMerge(h.Range(s, c.range)); });

    EXPECT_EQ(b.mergedAreas(), c.left);
    Cells expected = cells;
    for (const char* blank : {"B3", "B6", "B7", "B8"}) expected.emplace_back(blank, kBlank);
    expectValues(b, expected);
    if (b.traits().countsPrompts) {
        EXPECT_EQ(b.prompts(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnMergeTest,
    ::testing::Combine(
        ::testing::ValuesIn(contractBackends()),
        ::testing::Values(
            UnMergeCase{"CoveredCellOfAnArea", "B3", {"$B$6:$C$7", "$E$1:$F$1"}},
            UnMergeCase{"CornerOfABlockPartlyMet", "C7:D9", {"$B$2:$B$4", "$E$1:$F$1"}},
            UnMergeCase{"ColumnMeetingNothing", "A:A", {"$B$2:$B$4", "$B$6:$C$7", "$E$1:$F$1"}},
            UnMergeCase{"WholeRowMeetsAWideArea", "1:1", {"$B$2:$B$4", "$B$6:$C$7"}},
            UnMergeCase{"WholeColumnMeetsTwo", "C:C", {"$B$2:$B$4", "$E$1:$F$1"}},
            UnMergeCase{"SeveralAreas", "B2,F1", {"$B$6:$C$7"}},
            UnMergeCase{"WholeSheet", "1:1048576", {}},
            UnMergeCase{"RangeStraddlingTwoAreas",
                        "A2:A5",
                        {"$A$8:$A$9", "$C$1:$C$2"},
                        {"A1:A3", "A5:A6", "A8:A9", "C1:C2"}})),
    caseName<UnMergeCase>);

}  // namespace
}  // namespace gridmoor::contract
