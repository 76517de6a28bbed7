#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "host/calc/MergeSet.h"

namespace gridmoor::calc {
namespace {

std::vector<std::string> printed(std::vector<Area> areas) {
    std::vector<std::string> out;
    for (const auto& a : areas) out.push_back(printA1(a));
    std::sort(out.begin(), out.end());
    return out;
}

Area at(const char* a1) {
    return fromA1(A1Address::parse(a1, "Sheet1")->areas().front());
}

struct MergeCase {
    const char* name;
    std::vector<const char*> existing;
    std::vector<const char*> merges;
    std::vector<std::string> after;
    std::vector<std::string> removed;
    std::vector<std::string> added;
};

// Test names and failure messages show the case's name, not its bytes.
void PrintTo(const MergeCase& c, std::ostream* os) {
    *os << c.name;
}

class MergeSetTest : public ::testing::TestWithParam<MergeCase> {};

TEST_P(MergeSetTest, MergesTakeInWhatTheyMeet) {
    const MergeCase& c = GetParam();
    std::vector<Area> existing;
    for (const char* e : c.existing) existing.push_back(at(e));
    MergeSet set(existing);
    for (const char* m : c.merges) set.merge(at(m));
    EXPECT_EQ(printed(set.current()), c.after);
    const auto d = set.diff();
    EXPECT_EQ(printed(d.removed), c.removed);
    EXPECT_EQ(printed(d.added), c.added);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MergeSetTest,
    ::testing::Values(
        MergeCase{"descendingPairs",
                  {},
                  {"A6:A7", "A4:A5", "A3:A4", "A1:A2"},
                  {"$A$1:$A$2", "$A$3:$A$5", "$A$6:$A$7"},
                  {},
                  {"$A$1:$A$2", "$A$3:$A$5", "$A$6:$A$7"}},
        MergeCase{"horizontalPairs",
                  {},
                  {"E1:F1", "B1:C1", "A1:B1"},
                  {"$A$1:$C$1", "$E$1:$F$1"},
                  {},
                  {"$A$1:$C$1", "$E$1:$F$1"}},
        MergeCase{
            "growsExisting", {"B2:B3"}, {"B1:B2"}, {"$B$1:$B$3"}, {"$B$2:$B$3"}, {"$B$1:$B$3"}},
        MergeCase{"insideExistingChangesNothing", {"B2:B5"}, {"B3:B4"}, {"$B$2:$B$5"}, {}, {}},
        MergeCase{"bridgesTwoAreas",
                  {"A1:A2", "A4:A5"},
                  {"A2:A4"},
                  {"$A$1:$A$5"},
                  {"$A$1:$A$2", "$A$4:$A$5"},
                  {"$A$1:$A$5"}},
        MergeCase{"boundingBlockPullsInAThirdArea",
                  {"A1:B1", "C2:C3"},
                  {"B1:C2"},
                  {"$A$1:$C$3"},
                  {"$A$1:$B$1", "$C$2:$C$3"},
                  {"$A$1:$C$3"}},
        MergeCase{"oneCellDoesNothing", {}, {"C3"}, {}, {}, {}},
        MergeCase{
            "untouchedStays", {"D1:D2"}, {"A1:A2"}, {"$A$1:$A$2", "$D$1:$D$2"}, {}, {"$A$1:$A$2"}}),
    [](const ::testing::TestParamInfo<MergeCase>& p) { return std::string(p.param.name); });

TEST(MergeSetScale, AllEqualHundredThousandRowsStaysLinear) {
    MergeSet set({});
    for (long k = 100000; k >= 2; --k) set.merge({k - 1, 1, k, 1});
    const auto now = set.current();
    ASSERT_EQ(now.size(), 1u);
    EXPECT_EQ(printA1(now.front()), "$A$1:$A$100000");
}

}  // namespace
}  // namespace gridmoor::calc
