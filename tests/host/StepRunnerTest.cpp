#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "host/StepRunner.h"

namespace gridmoor {
namespace {

TEST(StepRunnerTest, DropsAFailingStepKeepsItsReasonAndGoesOn) {
    StepRunner runner;
    int target = 7;
    std::vector<int> ran;
    EXPECT_FALSE(runner.run("first", [&] {
        ran.push_back(1);
        throw HostError(HostError::Cause::Protected, "sheet is protected");
        target = 1;  // the assignment after the failing call never happens
    }));
    EXPECT_TRUE(runner.run("second", [&] { ran.push_back(2); }));
    EXPECT_FALSE(runner.run("third", [&] { throw ValueError("bad compare"); }));

    EXPECT_EQ(target, 7);
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
    ASSERT_EQ(runner.dropped().size(), 2u);
    EXPECT_EQ(runner.dropped()[0].step, "first");
    EXPECT_EQ(runner.dropped()[0].reason, "sheet is protected");
    EXPECT_EQ(runner.dropped()[0].cause, HostError::Cause::Protected);
    EXPECT_EQ(runner.dropped()[1].step, "third");
    EXPECT_FALSE(runner.dropped()[1].cause.has_value());
    EXPECT_NE(runner.failureOf("third"), nullptr);
    EXPECT_EQ(runner.failureOf("second"), nullptr);
}

TEST(StepRunnerTest, OtherExceptionsAreNotSwallowed) {
    StepRunner runner;
    EXPECT_THROW(runner.run("bug", [] { throw std::logic_error("bug"); }), std::logic_error);
}

TEST(StepRunnerTest, AFailingConditionTakesTheThenBranch) {
    StepRunner runner;
    EXPECT_TRUE(runner.test("fails", []() -> bool { throw ValueError("x"); }));
    EXPECT_FALSE(runner.test("false", [] { return false; }));
    EXPECT_TRUE(runner.test("true", [] { return true; }));
}

// A collection of ints whose enumeration can fail at the head or at a given item.
struct FakeCollection {
    std::vector<int> items;
    bool headFails = false;
    std::optional<std::size_t> nextFailsAt;

    int head() {
        if (headFails) throw HostError(HostError::Cause::Gone, "gone");
        return 0;
    }
    std::optional<int> next(int& position) {
        auto i = static_cast<std::size_t>(position);
        if (nextFailsAt && *nextFailsAt == i) throw HostError(HostError::Cause::Gone, "gone");
        if (i >= items.size()) return std::nullopt;
        ++position;
        return items[i];
    }
};

TEST(StepRunnerTest, CollectionLoop) {
    struct Case {
        const char* name;
        FakeCollection collection;
        std::vector<std::optional<int>> bodies;
    };
    const std::vector<Case> cases = {
        {"AllItems", {{1, 2, 3}, false, {}}, {1, 2, 3}},
        {"Empty", {{}, false, {}}, {}},
        {"HeadFailsBodyOnceWithNoItem", {{1, 2, 3}, true, {}}, {std::nullopt}},
        {"FirstFetchFailsIsAHeadFailure", {{1, 2}, false, 0}, {std::nullopt}},
        {"LoopEndFailsEndsTheLoop", {{1, 2, 3}, false, 2}, {1, 2}},
    };
    for (auto c : cases) {
        StepRunner runner;
        std::vector<std::optional<int>> bodies;
        runner.forEach(
            "loop", [&] { return c.collection.head(); },
            [&](int& e) { return c.collection.next(e); },
            [&](std::optional<int> item) { bodies.push_back(item); });
        EXPECT_EQ(bodies, c.bodies) << c.name;
    }
}

TEST(StepRunnerTest, CountedLoop) {
    struct Case {
        const char* name;
        std::optional<std::pair<long, long>> bounds;  // empty: the head fails
        long by;
        std::vector<std::optional<long>> bodies;
    };
    const std::vector<Case> cases = {
        {"Descending", std::pair{5L, 2L}, -1, {5, 4, 3, 2}},
        {"DescendingNoPass", std::pair{1L, 2L}, -1, {}},
        {"SinglePass", std::pair{2L, 2L}, -1, {2}},
        {"Ascending", std::pair{1L, 3L}, 1, {1, 2, 3}},
        {"HeadFailsBodyOnceUnsetThenEnds", std::nullopt, -1, {std::nullopt}},
    };
    for (const auto& c : cases) {
        StepRunner runner;
        std::vector<std::optional<long>> bodies;
        runner.forCount(
            "loop",
            [&] {
                if (!c.bounds) throw ValueError("not a number");
                return *c.bounds;
            },
            c.by, [&](std::optional<long> k) { bodies.push_back(k); });
        EXPECT_EQ(bodies, c.bodies) << c.name;
    }
}

}  // namespace
}  // namespace gridmoor
