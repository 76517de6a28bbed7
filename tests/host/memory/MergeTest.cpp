// The in-memory host's merged-area index under many merges: long runs grown pair by pair and
// thousands of areas made, grown, joined and split. What Merge and UnMerge do on every
// backend is the host contract suite's (tests/host/contract).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "HostFixture.h"
#include "host/A1Address.h"

namespace gridmoor::testing {
namespace {

using Areas = std::vector<std::string>;

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

}  // namespace
}  // namespace gridmoor::testing
