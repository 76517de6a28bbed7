// The merged-area index's union rule (a merge takes in every merged area it meets, again
// and again) and the projection a backend builds on it to send only what a sequence of
// merges changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "host/MergeIndex.h"

namespace gridmoor {
namespace {

std::vector<std::string> printed(const std::vector<A1Area>& areas) {
    std::vector<std::string> out;
    for (const auto& a : areas) out.push_back(absoluteAddress(a));
    std::sort(out.begin(), out.end());
    return out;
}

A1Area at(const char* a1) {
    return A1Address::parse(a1, "Sheet1")->areas().front();
}

std::vector<A1Area> areasAt(const std::vector<const char*>& texts) {
    std::vector<A1Area> out;
    for (const char* t : texts) out.push_back(at(t));
    return out;
}

struct MergeCase {
    const char* name;
    std::vector<const char*> existing;
    std::vector<const char*> merges;
    std::vector<std::string> after;
    std::vector<std::string> removed;  // only the projection reports these two
    std::vector<std::string> added;
};

// Test names and failure messages show the case's name, not its bytes.
void PrintTo(const MergeCase& c, std::ostream* os) {
    *os << c.name;
}

std::string caseName(const ::testing::TestParamInfo<MergeCase>& p) {
    return p.param.name;
}

class MergeProjectionTest : public ::testing::TestWithParam<MergeCase> {};

TEST_P(MergeProjectionTest, MergesTakeInWhatTheyMeet) {
    const MergeCase& c = GetParam();
    MergeProjection projection(areasAt(c.existing));
    for (const char* m : c.merges) projection.merge(at(m));
    EXPECT_EQ(printed(projection.current()), c.after);
    const auto d = projection.diff();
    EXPECT_EQ(printed(d.removed), c.removed);
    EXPECT_EQ(printed(d.added), c.added);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MergeProjectionTest,
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
        MergeCase{"sameAsExistingChangesNothing", {"B2:C5"}, {"B2:C5"}, {"$B$2:$C$5"}, {}, {}},
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
        MergeCase{"oneCellInsideAnAreaDoesNothing", {"C2:C4"}, {"C3"}, {"$C$2:$C$4"}, {}, {}},
        MergeCase{
            "untouchedStays", {"D1:D2"}, {"A1:A2"}, {"$A$1:$A$2", "$D$1:$D$2"}, {}, {"$A$1:$A$2"}},
        MergeCase{"atTheSheetsCorner",
                  {"XFC1048575:XFD1048575"},
                  {"XFD1048575:XFD1048576"},
                  {"$XFC$1048575:$XFD$1048576"},
                  {"$XFC$1048575:$XFD$1048575"},
                  {"$XFC$1048575:$XFD$1048576"}}),
    caseName);

TEST(MergeProjectionScale, AllEqualHundredThousandRowsStaysLinear) {
    MergeProjection projection({});
    for (std::int32_t k = 100000; k >= 2; --k) projection.merge({k - 1, 1, k, 1});
    const auto now = projection.current();
    ASSERT_EQ(now.size(), 1u);
    EXPECT_EQ(absoluteAddress(now.front()), "$A$1:$A$100000");
}

// The index itself, as the batching layer grows the merges it collected: the same union
// rule, but a lone cell is an area like any other (the layer drops such cells when it sends).
class AddGrownTest : public ::testing::TestWithParam<MergeCase> {};

TEST_P(AddGrownTest, GrowsOverEveryAreaItMeets) {
    const MergeCase& c = GetParam();
    MergeIndex index;
    for (const A1Area& a : areasAt(c.existing)) index.add(a, true);
    for (const char* m : c.merges) {
        const std::uint32_t id = index.addGrown(at(m));
        EXPECT_TRUE(at(m).inside(index.get(id).area)) << m;
        EXPECT_FALSE(index.get(id).coveredClean) << m;
    }
    EXPECT_EQ(printed(index.all()), c.after);
    EXPECT_EQ(index.size(), c.after.size());
}

INSTANTIATE_TEST_SUITE_P(
    Table, AddGrownTest,
    ::testing::Values(
        MergeCase{"loneCellIsKept", {}, {"C3"}, {"$C$3"}, {}, {}},
        MergeCase{"loneCellTakenIntoALaterMerge", {}, {"C3", "C2:C4"}, {"$C$2:$C$4"}, {}, {}},
        MergeCase{"chainOfThree", {"A1:A2", "A4:A5", "A7:A8"}, {"A2:A7"}, {"$A$1:$A$8"}, {}, {}},
        MergeCase{
            "boundingBlockPullsInAThirdArea", {"A1:B1", "C2:C3"}, {"B1:C2"}, {"$A$1:$C$3"}, {}, {}},
        MergeCase{"rowStripMeetsColumnStrip", {"B1:B9", "D5:H5"}, {"B5:D5"}, {"$B$1:$H$9"}, {}, {}},
        MergeCase{"disjointStay", {"A1:A2"}, {"C1:C2"}, {"$A$1:$A$2", "$C$1:$C$2"}, {}, {}}),
    caseName);

}  // namespace
}  // namespace gridmoor
