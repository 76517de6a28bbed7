#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "host/calc/UndoTree.h"

namespace gridmoor::calc {
namespace {

// The groups Calc would hold, as a stack of entry counts; the run's own group at the bottom.
struct Groups {
    std::vector<long> open{0};
    long largestNested = 0;  // entries of the fullest group inside the run's group

    void enter() {
        ++open.back();
        open.push_back(0);
    }
    void leave() {
        ASSERT_GT(open.size(), 1u) << "a group closed that was never opened";
        largestNested = std::max(largestNested, open.back());
        open.pop_back();
    }
};

class UndoTreeTest : public ::testing::TestWithParam<long> {};

// Every group holds at most kUndoFanOut entries (the run's own group that many plus one per
// tree), and every action lands in some group, however long the run.
TEST_P(UndoTreeTest, NoGroupOverflowsAndEveryActionIsPlaced) {
    const long actions = GetParam();
    UndoTree tree;
    Groups groups;
    long placed = 0;
    for (long i = 0; i < actions; ++i) {
        tree.place([&] { groups.leave(); }, [&] { groups.enter(); });
        ++groups.open.back();
        ++placed;
        ASSERT_EQ(static_cast<long>(groups.open.size()) - 1, tree.open);
    }
    for (long i = 1; i < static_cast<long>(groups.open.size()); ++i)
        groups.largestNested = std::max(groups.largestNested, groups.open[i]);
    EXPECT_EQ(placed, actions);
    EXPECT_LE(groups.largestNested, UndoTree::kUndoFanOut);
    EXPECT_LE(groups.open.front(), UndoTree::kUndoFanOut + tree.depth);
}

INSTANTIATE_TEST_SUITE_P(Lengths, UndoTreeTest,
                         ::testing::Values(1L, 16L, 17L, 32L, 33L, 273L, 4369L, 4370L, 100000L));

TEST(UndoTree, AFailedEnterIsNotCounted) {
    UndoTree tree;
    for (long i = 0; i < UndoTree::kUndoFanOut; ++i) tree.place([] {}, [] {});
    EXPECT_THROW(tree.place([] {}, [] { throw 1; }), int);
    EXPECT_EQ(tree.open, 0);
    long entered = 0;
    tree.place([] {}, [&] { ++entered; });
    EXPECT_EQ(entered, 1);
    EXPECT_EQ(tree.open, 1);
}

}  // namespace
}  // namespace gridmoor::calc
