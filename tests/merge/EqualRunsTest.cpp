#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "merge/EqualRuns.h"
#include "support/Values.h"

namespace gridmoor {
namespace {

using testing::kBlank;
using testing::num;
using testing::txt;

struct RunsCase {
    const char* name;
    std::vector<CellValue> line;
    std::vector<RunSpan> runs;
};

// Test names and failure messages show the case's name, not its bytes.
void PrintTo(const RunsCase& c, std::ostream* os) {
    *os << c.name;
}

class FindEqualRunsTest : public ::testing::TestWithParam<RunsCase> {};

TEST_P(FindEqualRunsTest, FindsTheMaximalRunsOfJoinedPairs) {
    EXPECT_EQ(findEqualRuns(GetParam().line), GetParam().runs);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, FindEqualRunsTest,
    ::testing::Values(
        RunsCase{"Empty", {}, {}}, RunsCase{"OneCell", {txt("a")}, {}},
        RunsCase{"ColumnExample",
                 {txt("a"), txt("a"), txt("b"), txt("b"), txt("b"), txt("c"), txt("c")},
                 {{1, 2}, {3, 5}, {6, 7}}},
        RunsCase{"RowExample",
                 {txt("x"), txt("x"), txt("x"), txt("y"), txt("z"), txt("z")},
                 {{1, 3}, {5, 6}}},
        RunsCase{"AllEqual", {num(4), num(4), num(4), num(4)}, {{1, 4}}},
        RunsCase{"NoneEqual", {num(1), num(2), num(1), num(2)}, {}},
        RunsCase{"TwoEqual", {txt("q"), txt("q")}, {{1, 2}}},
        RunsCase{"AdjacentRuns", {num(1), num(1), num(2), num(2), num(2)}, {{1, 2}, {3, 5}}},
        RunsCase{"TwoBlanks", {kBlank, kBlank}, {{1, 2}}},
        RunsCase{"BlankAndZero", {kBlank, num(0)}, {{1, 2}}},
        RunsCase{"BlankAndEmptyText", {kBlank, txt("")}, {{1, 2}}},
        RunsCase{"ZeroAndEmptyTextApart", {num(0), txt("")}, {}},
        // Joining is pair by pair: 0 = blank and blank = "" although 0 <> "".
        RunsCase{"NotTransitive", {num(0), kBlank, txt("")}, {{1, 3}}},
        RunsCase{"NumberAndTextOneApart", {num(1), txt("1")}, {}},
        RunsCase{"CaseMatters", {txt("a"), txt("A")}, {}},
        RunsCase{"SameNumberOtherKind",
                 {num(1), CellValue::floating(1.0), CellValue::currency(10000)},
                 {{1, 3}}},
        RunsCase{"ErrorJoinsBothNeighbours",
                 {txt("a"), CellValue::error(2007), txt("b"), txt("c")},
                 {{1, 3}}},
        RunsCase{"ErrorsJoinEachOther", {CellValue::error(2007), CellValue::error(2042)}, {{1, 2}}},
        RunsCase{"RunAtTheEnd", {num(1), num(2), num(3), num(3)}, {{3, 4}}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(FindEqualRunsTest, RunsCoverExactlyTheJoinedPairs) {
    // Every pair inside a run is joined, every pair between runs is not.
    std::vector<CellValue> line;
    unsigned seed = 12345;
    for (int k = 0; k < 2000; ++k) {
        seed = seed * 1103515245u + 12345u;
        line.push_back(CellValue::integer((seed >> 16) % 3));
    }
    const auto runs = findEqualRuns(line);
    std::vector<bool> inRun(line.size() + 1, false);  // pair k joined per the runs
    long previousLast = 0;
    for (const auto& r : runs) {
        ASSERT_GT(r.last, r.first);
        ASSERT_GT(r.first, previousLast);
        previousLast = r.last;
        for (long k = r.first + 1; k <= r.last; ++k) inRun[static_cast<std::size_t>(k)] = true;
    }
    for (std::size_t k = 2; k <= line.size(); ++k)
        EXPECT_EQ(inRun[k], joined(line[k - 2], line[k - 1])) << "pair " << k;
}

}  // namespace
}  // namespace gridmoor
