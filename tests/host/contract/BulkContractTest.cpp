// The bulk operations (BulkHost) on every backend: each has the effect of the ordinary calls
// it stands for. Where the bench counts round trips (the fake Excel), the table also bounds
// what each operation may cost.
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "Bench.h"
#include "support/Areas.h"

namespace gridmoor::contract {
namespace {

using gridmoor::testing::runs;

// Round trips `call` costs where the bench counts them.
template <class F>
std::optional<long> tripsOf(Bench& b, F&& call) {
    const std::optional<long> before = b.roundTrips();
    call();
    if (!before) return std::nullopt;
    return *b.roundTrips() - *before;
}

using Bulk = BackendTest;

// Every kind of content a column may hold: the block read gives each cell exactly what Value
// gives it, and marks exactly the formula cells.
TEST_P(Bulk, BlockReadGivesEachCellsValueAndMarksFormulas) {
    Bench& b = bench();
    const bool formulas = b.traits().holdsFormulas;
    const std::vector<Content> contents = {{"a"},
                                           {"12.5"},
                                           {""},
                                           {"=\"\""},
                                           {"=1/0"},
                                           {"1", Format::Boolean},
                                           {"45000", Format::Date},
                                           {formulas ? "=A2*2" : "25"},
                                           {"类别"}};
    for (std::size_t i = 0; i < contents.size(); ++i)
        b.enter("A" + std::to_string(i + 1), contents[i]);
    b.run([&](BulkHost& h, AppHandle, SheetHandle s) {
        const CellBlock block = h.readBlock(s, at("A1:A9"));
        ASSERT_EQ(block.values.size(), contents.size());
        for (std::size_t i = 0; i < contents.size(); ++i) {
            const std::string cell = "A" + std::to_string(i + 1);
            const CellValue one = h.Value(h.Range(s, cell)).single();
            EXPECT_TRUE(identical(block.values[i], one))
                << cell << ": " << describe(block.values[i]) << " vs " << describe(one);
            EXPECT_EQ(block.isFormula(i), formulas && contents[i].typed.starts_with("=")) << cell;
        }
    });
}

TEST_P(Bulk, ChangesOnAProtectedSheetAreRefused) {
    Bench& b = bench();
    b.enter("A1", {"keep"});
    b.protectSheet();
    b.run([&](BulkHost& h, AppHandle, SheetHandle s) {
        const std::vector<A1Area> areas = runs(1, 3, 2);
        EXPECT_EQ(causeOf([&] { h.mergeAreas(s, areas); }), Cause::Protected);
        const std::vector<AreaWrite> writes{{at("A1"), CellValue::text("x")}};
        EXPECT_EQ(causeOf([&] { h.writeAreas(s, writes); }), Cause::Protected);
        EXPECT_TRUE(h.mergedAreasMeeting(s, at("A1:A20")).empty());
    });
    EXPECT_TRUE(b.mergedAreas().empty());
    EXPECT_TRUE(identical(b.read("A1"), CellValue::text("keep")));
}

// Areas given to mergeAreas are seen by a later call that needs them: the merged areas it
// asks for, and an unmerge of the same cells.
TEST_P(Bulk, MergedAreasMeetingSeesAreasGivenToMergeAreasEarlier) {
    bench().run([&](BulkHost& h, AppHandle, SheetHandle s) {
        const std::vector<A1Area> areas{at("B2:B3")};
        h.mergeAreas(s, areas);
        EXPECT_EQ(sortedA1(h.mergedAreasMeeting(s, at("B1:B9"))), Strings{"$B$2:$B$3"});
    });
}

TEST_P(Bulk, UnmergeUndoesAreasGivenToMergeAreasEarlierInTheRun) {
    bench().run([&](BulkHost& h, AppHandle, SheetHandle s) {
        const std::vector<A1Area> areas{at("A1:A2"), at("A4:A5")};
        h.mergeAreas(s, areas);
        h.UnMerge(h.Range(s, "A1:A2"));
    });
    EXPECT_EQ(bench().mergedAreas(), Strings{"$A$4:$A$5"});
}

// More areas than one 255-character address holds, merged in one call.
TEST_P(Bulk, TwoThousandAreasCostAFewHundredRoundTrips) {
    Bench& b = bench();
    const std::vector<A1Area> areas = runs(3, 2000, 2);
    b.run([&](BulkHost& h, AppHandle, SheetHandle s) {
        // About 20 areas fit in one address: some 100 packed Merges of two calls each.
        const auto trips = tripsOf(b, [&] { h.mergeAreas(s, areas); });
        if (trips) {
            EXPECT_LT(*trips, 300);
        }
        EXPECT_EQ(sortedA1(h.mergedAreasMeeting(s, at("C5980:C6000"))),
                  sortedA1({areas.end() - 7, areas.end()}));
    });
}

INSTANTIATE_TEST_SUITE_P(Backends, Bulk, ::testing::ValuesIn(contractBackends()), backendName);

// Merged areas meeting a region: whole, also where they reach outside it.
struct MeetingCase {
    const char* name;
    Strings merged;  // before; "column" stands for 200 areas H1:H2, H4:H5, ... H598:H599
    const char* region;
    Strings found;  // sorted
    long maxTrips;  // where round trips are counted
};

void PrintTo(const MeetingCase& c, std::ostream* os) {
    *os << c.name;
}

const Strings kFour = {"A1:A3", "A5:A6", "C1:D2", "A8:A9"};
const Strings kFar = {"A1:A3", "B5:B6", "A10:C12", "D500000:E500001"};
const Strings kFarAndColumn = {"A1:A3", "B5:B6", "A10:C12", "D500000:E500001", "column"};

using MeetingTest = ContractTest<MeetingCase>;

TEST_P(MeetingTest, MergedAreasMeetingAreWholeAndOnlyThoseThatMeet) {
    const MeetingCase& c = param();
    Bench& b = bench();
    Strings expected = c.found;
    long maxTrips = c.maxTrips;
    for (const auto& m : c.merged) {
        if (m != "column") {
            b.merge(m);
            continue;
        }
        for (const A1Area& a : runs(8, 200, 2)) b.merge(absoluteAddress(a));
        expected = sortedA1(runs(8, 200, 2));
        // Densely merged, the halving asks about every area and gap a few times.
        maxTrips = 14 * 200;
    }
    b.run([&](BulkHost& h, AppHandle, SheetHandle s) {
        std::vector<A1Area> found;
        const auto trips = tripsOf(b, [&] { found = h.mergedAreasMeeting(s, at(c.region)); });
        EXPECT_EQ(sortedA1(found), expected);
        // Beside the member ids asked once each, the calls grow with the areas and the
        // halvings, not with the cells.
        if (trips) {
            EXPECT_LE(*trips, maxTrips + 4);
        }
    });
}

INSTANTIATE_TEST_SUITE_P(
    Regions, MeetingTest,
    ::testing::Combine(
        ::testing::ValuesIn(contractBackends()),
        ::testing::Values(
            MeetingCase{"coveredCellOnly", kFour, "A2", {"$A$1:$A$3"}, 40},
            MeetingCase{"twoAreasAndAGap", kFour, "A2:B5", {"$A$1:$A$3", "$A$5:$A$6"}, 40},
            MeetingCase{"cornerOfAWideArea", kFour, "D2:E4", {"$C$1:$D$2"}, 40},
            MeetingCase{"nextToAreasOnly", kFour, "B3:B9", {}, 40},
            MeetingCase{"gapBetweenAreas", kFour, "A4", {}, 40},
            MeetingCase{"allOfThem",
                        kFour,
                        "A1:D9",
                        {"$A$1:$A$3", "$A$5:$A$6", "$A$8:$A$9", "$C$1:$D$2"},
                        100},
            MeetingCase{"nothingMerged", kFar, "F1:F100000", {}, 2},
            MeetingCase{"areasReachingOut", kFar, "B4:B11", {"$A$10:$C$12", "$B$5:$B$6"}, 40},
            MeetingCase{"insideOneArea", kFar, "B11", {"$A$10:$C$12"}, 5},
            MeetingCase{"fewAreasInAHugeRegion",
                        kFar,
                        "A1:Z1000000",
                        {"$A$10:$C$12", "$A$1:$A$3", "$B$5:$B$6", "$D$500000:$E$500001"},
                        600},
            MeetingCase{"aColumnOfAreas", kFarAndColumn, "H1:H600", {}, 0})),
    caseName<MeetingCase>);

struct AreaWriteCase {
    const char* name;
    CellValue written;
};

void PrintTo(const AreaWriteCase& c, std::ostream* os) {
    *os << c.name;
}

using WriteAreasTest = ContractTest<AreaWriteCase>;

// A value written over an area and over a single cell reads back with its kind, alone and
// in one block read, in this run (the walked block is not served stale) and in the next;
// the cells around stay.
TEST_P(WriteAreasTest, WrittenAreasReadBackWithTheirKind) {
    const AreaWriteCase& c = param();
    Bench& b = bench();
    const Strings column = {"top", "old", "old", "mid", "old", "end"};
    for (std::size_t i = 0; i < column.size(); ++i)
        b.enter("A" + std::to_string(i + 1), {column[i]});
    CellValue expected = c.written;
    if (b.traits().emptyTextClears && expected.isText() && expected.text().empty())
        expected = CellValue();
    const std::vector<AreaWrite> writes{{at("A2:A3"), c.written}, {at("A5"), c.written}};
    const auto check = [&](BulkHost& h, SheetHandle s) {
        for (const char* cell : {"A2", "A3", "A5"}) {
            const CellValue v = h.Value(h.Range(s, cell)).single();
            EXPECT_TRUE(identical(v, expected)) << cell << ": " << describe(v);
        }
        CellBlock block;
        // Range, Value and HasFormula, and the id of one of them not asked before.
        const auto trips = tripsOf(b, [&] { block = h.readBlock(s, at("A1:A6")); });
        if (trips) {
            EXPECT_LE(*trips, 4);
        }
        ASSERT_EQ(block.values.size(), 6u);
        for (const std::size_t i : {1u, 2u, 4u})
            EXPECT_TRUE(identical(block.values[i], expected))
                << i << ": " << describe(block.values[i]);
        // A written text stays a text (an error value may be written as the formula that
        // gives it).
        if (c.written.isText()) {
            for (const std::size_t i : {1u, 2u, 4u}) EXPECT_FALSE(block.isFormula(i)) << i;
        }
    };
    b.run([&](BulkHost& h, AppHandle, SheetHandle s) {
        const CellEnumHandle e = h.enumerateCells(h.Range(s, "A1:A6"));
        h.nextCell(e);
        h.writeAreas(s, writes);
        check(h, s);
    });
    b.run([&](BulkHost& h, AppHandle, SheetHandle s) { check(h, s); });
    EXPECT_TRUE(identical(b.read("A1"), CellValue::text("top")));
    EXPECT_TRUE(identical(b.read("A4"), CellValue::text("mid")));
    EXPECT_TRUE(identical(b.read("A6"), CellValue::text("end")));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, WriteAreasTest,
    ::testing::Combine(
        ::testing::ValuesIn(contractBackends()),
        ::testing::Values(AreaWriteCase{"text", CellValue::text("x")},
                          AreaWriteCase{"number", CellValue::floating(2.25)},
                          AreaWriteCase{"date", CellValue::date(45123)},
                          AreaWriteCase{"dateAndTime", CellValue::date(45000.5)},
                          AreaWriteCase{"currency", CellValue::currency(12345)},
                          AreaWriteCase{"boolean", CellValue::boolean(true)},
                          AreaWriteCase{"empty", CellValue()},
                          AreaWriteCase{"emptyText", CellValue::text("")},
                          AreaWriteCase{"error", CellValue::error(2042)},
                          // Texts an application would read as something else if typed.
                          AreaWriteCase{"textLikeANumber", CellValue::text("001")},
                          AreaWriteCase{"textLikeAFormula", CellValue::text("=A1")})),
    caseName<AreaWriteCase>);

}  // namespace
}  // namespace gridmoor::contract
