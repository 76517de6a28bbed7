// The table of objects a backend hands out: what a handle names after its object is
// released and after the run ends, under either rule for ids.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "host/HandleTable.h"

namespace gridmoor {
namespace {

// The reason of the NotFound that at(id) throws; fails the test when it throws nothing or
// something else.
template <class Table>
std::string notFoundReason(Table& table, std::uint32_t id) {
    try {
        table.at(id, "range");
    } catch (const HostError& e) {
        EXPECT_EQ(e.cause(), HostError::Cause::NotFound);
        return e.what();
    }
    ADD_FAILURE() << "id " << id << " names an object";
    return {};
}

template <IdReuse R>
struct Mode {
    static constexpr IdReuse reuse = R;
};

template <class M>
class HandleTableTest : public ::testing::Test {
protected:
    HandleTable<std::string, M::reuse> table;
};

using Modes = ::testing::Types<Mode<IdReuse::Reuse>, Mode<IdReuse::Never>>;
TYPED_TEST_SUITE(HandleTableTest, Modes);

TYPED_TEST(HandleTableTest, IdsNameTheirObjectsUntilReleased) {
    auto& t = this->table;
    const std::uint32_t a = t.insert("a"), b = t.insert("b"), c = t.insert("c");
    EXPECT_EQ(std::set<std::uint32_t>({a, b, c}).size(), 3u);
    EXPECT_EQ(std::set<std::uint32_t>({a, b, c}).count(0), 0u);
    EXPECT_EQ(t.at(b, "range"), "b");
    EXPECT_EQ(t.size(), 3u);

    t.erase(b);
    EXPECT_EQ(t.find(b), nullptr);
    EXPECT_EQ(notFoundReason(t, b), "range: object was released");
    EXPECT_EQ(notFoundReason(t, 0), "range: object is not set");
    EXPECT_EQ(notFoundReason(t, c + 100), "range: object was released");
    EXPECT_EQ(t.size(), 2u);
    // Releasing what names nothing changes nothing.
    t.erase(b);
    t.erase(0);
    t.erase(c + 100);
    EXPECT_EQ(t.size(), 2u);
    EXPECT_EQ(*t.find(a), "a");
    EXPECT_EQ(*t.find(c), "c");
}

TYPED_TEST(HandleTableTest, ObjectsStayPutWhileOthersComeAndGo) {
    auto& t = this->table;
    const std::uint32_t first = t.insert("first");
    const std::string* held = t.find(first);
    std::vector<std::uint32_t> ids;
    for (int i = 0; i < 5000; ++i) ids.push_back(t.insert(std::to_string(i)));
    for (std::size_t i = 0; i < ids.size(); i += 2) t.erase(ids[i]);
    for (int i = 0; i < 3000; ++i) t.insert("again");
    EXPECT_EQ(t.find(first), held);
    EXPECT_EQ(*held, "first");
    EXPECT_EQ(*t.find(ids[1]), "1");
    EXPECT_EQ(*t.find(ids[4999]), "4999");
    EXPECT_EQ(t.size(), 1u + 2500u + 3000u);
}

TYPED_TEST(HandleTableTest, EndOfRunReleasesEverything) {
    auto& t = this->table;
    const std::uint32_t a = t.insert("a");
    t.clear();
    EXPECT_EQ(t.size(), 0u);
    const std::uint32_t next = t.insert("next");
    EXPECT_EQ(*t.find(next), "next");
    if constexpr (TypeParam::reuse == IdReuse::Reuse) {
        EXPECT_EQ(next, 1u);  // the run starts again from the first id
    } else {
        EXPECT_GT(next, a);
        EXPECT_EQ(t.find(a), nullptr);
        EXPECT_EQ(notFoundReason(t, a), "range: object was released at the end of its run");
    }
}

TEST(HandleTableReuse, TheIdReleasedLastComesBackFirst) {
    HandleTable<int, IdReuse::Reuse> t;
    const std::uint32_t a = t.insert(1), b = t.insert(2), c = t.insert(3);
    t.erase(b);
    t.erase(c);
    EXPECT_EQ(t.insert(4), c);
    EXPECT_EQ(t.insert(5), b);
    EXPECT_EQ(t.insert(6), c + 1);
    EXPECT_EQ(*t.find(a), 1);
    EXPECT_EQ(*t.find(b), 5);
}

// A walk that releases each object as it goes, past many blocks of slots: no id comes back,
// the object held from the start stays, and released ones stay released.
TEST(HandleTableNever, NoIdComesBackDuringALongWalk) {
    HandleTable<std::string, IdReuse::Never> t;
    const std::uint32_t sheet = t.insert("sheet");
    std::uint32_t last = sheet;
    std::vector<std::uint32_t> released;
    for (int i = 0; i < 5000; ++i) {
        const std::uint32_t cell = t.insert("cell");
        ASSERT_GT(cell, last);
        last = cell;
        if (i % 1000 == 0) released.push_back(cell);
        t.erase(cell);
    }
    EXPECT_EQ(t.size(), 1u);
    EXPECT_EQ(t.at(sheet, "worksheet"), "sheet");
    for (const std::uint32_t id : released) EXPECT_EQ(t.find(id), nullptr) << id;
    const std::uint32_t after = t.insert("after");
    EXPECT_GT(after, last);
    EXPECT_EQ(*t.find(after), "after");
}

}  // namespace
}  // namespace gridmoor
