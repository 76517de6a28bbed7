// The bulk operations against a real Calc: each has the effect of the ordinary calls it
// stands for and keeps a run one undo entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "CalcFixture.h"
#include "host/Failure.h"

namespace gridmoor::calctest {
namespace {

using Strings = std::vector<std::string>;
using Cause = HostError::Cause;

constexpr short kDate = 2, kLogical = 1024;

A1Area at(std::string_view a1) {
    const auto parsed = A1Address::parse(a1, "Sheet1");
    if (!parsed) throw std::runtime_error("bad address in a test");
    return parsed->areas().front();
}

Strings sortedA1(const std::vector<A1Area>& areas) {
    Strings out;
    for (const auto& a : areas) out.push_back(absoluteAddress(a));
    std::sort(out.begin(), out.end());
    return out;
}

// Every kind of content a column may hold: the block read gives each cell exactly what Value
// gives it, and marks exactly the formula cells.
TEST_F(CalcTest, BlockReadGivesEachCellsValueAndMarksFormulas) {
    const Strings contents{"a", "12.5", "", "=\"\"", "=1/0", "1", "45000", "=A2*2", "类别"};
    probe().enterColumn("Sheet1", "A1", contents);
    probe().setNumberFormat("Sheet1", "A6", kLogical);
    probe().setNumberFormat("Sheet1", "A7", kDate);
    inRun(host(), [&](AppHandle, SheetHandle sheet) {
        const CellBlock block = host().readBlock(sheet, at("A1:A9"));
        ASSERT_EQ(block.values.size(), contents.size());
        for (std::size_t i = 0; i < contents.size(); ++i) {
            const std::string cell = "A" + std::to_string(i + 1);
            const CellValue one = host().Value(host().Range(sheet, cell)).single();
            EXPECT_TRUE(identical(block.values[i], one))
                << cell << ": " << describe(block.values[i]) << " vs " << describe(one);
            EXPECT_EQ(block.isFormula(i), contents[i].starts_with("=")) << cell;
        }
    });
}

struct MeetingCase {
    const char* name;
    const char* region;
    Strings expected;
};

void PrintTo(const MeetingCase& c, std::ostream* os) {
    *os << c.name;
}

class CalcMeetingTest : public CalcTest, public ::testing::WithParamInterface<MeetingCase> {};

// Merged areas A1:A3, A5:A6, C1:D2 and A8:A9.
TEST_P(CalcMeetingTest, MergedAreasMeetingAreWholeAndOnlyThoseThatMeet) {
    for (const char* a : {"A1:A3", "A5:A6", "C1:D2", "A8:A9"}) probe().merge("Sheet1", a);
    inRun(host(), [&](AppHandle, SheetHandle sheet) {
        EXPECT_EQ(sortedA1(host().mergedAreasMeeting(sheet, at(GetParam().region))),
                  GetParam().expected);
    });
}

INSTANTIATE_TEST_SUITE_P(
    Regions, CalcMeetingTest,
    ::testing::Values(
        MeetingCase{"coveredCellOnly", "A2", {"$A$1:$A$3"}},
        MeetingCase{"twoAreasAndAGap", "A2:B5", {"$A$1:$A$3", "$A$5:$A$6"}},
        MeetingCase{"cornerOfAWideArea", "D2:E4", {"$C$1:$D$2"}},
        MeetingCase{"nextToAreasOnly", "B3:B9", {}}, MeetingCase{"gapBetweenAreas", "A4", {}},
        MeetingCase{"allOfThem", "A1:D9", {"$A$1:$A$3", "$A$5:$A$6", "$A$8:$A$9", "$C$1:$D$2"}}),
    [](const ::testing::TestParamInfo<MeetingCase>& p) { return std::string(p.param.name); });

struct MergeCase {
    const char* name;
    long pairs;         // merged areas of two cells down column A, from row 1
    const char* odd;    // content of A1 (the rest are numbers), or nullptr
    bool existing;      // A1:A2 is merged beforehand
    bool failReadBack;  // the bulk route finds its read-back differing
    bool bulk;          // whether the bulk route is expected to have done it
};

void PrintTo(const MergeCase& c, std::ostream* os) {
    *os << c.name;
}

class CalcMergeAreasTest : public CalcTest, public ::testing::WithParamInterface<MergeCase> {};

// Pairs of rows merged in one call: the merged areas are exactly the pairs, every cell keeps
// its value and its formatting, and one undo takes the whole run back.
TEST_P(CalcMergeAreasTest, EveryAreaMergedValuesAndFormatsKeptOneUndo) {
    const MergeCase& c = GetParam();
    const long rows = 2 * c.pairs;
    std::vector<double> numbers;
    for (long r = 1; r <= rows; ++r) numbers.push_back(static_cast<double>(r));
    probe().fillNumbers("Sheet1", "A1", numbers);
    if (c.odd) probe().enter("Sheet1", "A1", c.odd);
    probe().setBold("Sheet1", "A1:A" + std::to_string(rows / 2));
    if (c.existing) probe().merge("Sheet1", "A1:A2");
    const auto before = probe().recordCells("Sheet1", "A1:A" + std::to_string(rows));
    const long undoBefore = probe().undoCount();
    CalcHost backend({office_->pipeName(), true, c.failReadBack});

    std::vector<A1Area> pairs;
    Strings expected;
    for (long r = 1; r < rows; r += 2) {
        pairs.push_back({static_cast<std::int32_t>(r), 1, static_cast<std::int32_t>(r + 1), 1});
        expected.push_back(absoluteAddress(pairs.back()));
    }
    std::sort(expected.begin(), expected.end());
    inRun(backend, [&](AppHandle, SheetHandle sheet) { backend.mergeAreas(sheet, pairs); });

    EXPECT_EQ(backend.bulkMergeCalls(), c.bulk ? 1 : 0);
    Strings merged = probe().mergedAreas("Sheet1", rows + 5);
    std::sort(merged.begin(), merged.end());
    EXPECT_EQ(merged, expected);
    const auto after = probe().recordCells("Sheet1", "A1:A" + std::to_string(rows));
    EXPECT_EQ(calc::CalcProbe::differences(*before, *after), Strings{});
    EXPECT_EQ(probe().undoCount(), undoBefore + 1);
    probe().undo();
    EXPECT_EQ(probe().mergedAreas("Sheet1", rows + 5),
              c.existing ? Strings{"$A$1:$A$2"} : Strings{});
}

INSTANTIATE_TEST_SUITE_P(
    Routes, CalcMergeAreasTest,
    ::testing::Values(MergeCase{"fewOneByOne", 3, nullptr, false, false, false},
                      MergeCase{"fewOverAnExistingArea", 3, nullptr, true, false, false},
                      MergeCase{"manyInBulk", 100, nullptr, false, false, true},
                      MergeCase{"manyOverAnExistingArea", 100, nullptr, true, false, true},
                      // The file format folds runs of blanks: the bulk route declines.
                      MergeCase{"manyTextTheBulkRouteDeclines", 100, "a  b", false, false, false},
                      MergeCase{"manyBulkReadBackDiffers", 100, nullptr, false, true, false}),
    [](const ::testing::TestParamInfo<MergeCase>& p) { return std::string(p.param.name); });

TEST_F(CalcTest, MergeAreasOnAProtectedSheetIsRefused) {
    probe().protectSheet("Sheet1", true);
    inRun(host(), [&](AppHandle, SheetHandle sheet) {
        const std::vector<A1Area> areas{at("A1:A2")};
        EXPECT_EQ(causeOf([&] { host().mergeAreas(sheet, areas); }), Cause::Protected);
    });
    EXPECT_TRUE(probe().mergedAreas("Sheet1").empty());
}

// Merges given to mergeAreas are sent before a later call that needs them: the merged
// areas it asks for, and an unmerge of the same cells.
TEST_F(CalcTest, MergedAreasMeetingSeesAreasGivenToMergeAreasEarlier) {
    inRun(host(), [&](AppHandle, SheetHandle sheet) {
        const std::vector<A1Area> areas{at("B2:B3")};
        host().mergeAreas(sheet, areas);
        EXPECT_EQ(sortedA1(host().mergedAreasMeeting(sheet, at("B1:B9"))), Strings{"$B$2:$B$3"});
    });
}

TEST_F(CalcTest, UnmergeUndoesAreasGivenToMergeAreasEarlierInTheRun) {
    inRun(host(), [&](AppHandle, SheetHandle sheet) {
        const std::vector<A1Area> areas{at("A1:A2"), at("A4:A5")};
        host().mergeAreas(sheet, areas);
        host().UnMerge(host().Range(sheet, "A1:A2"));
    });
    EXPECT_EQ(probe().mergedAreas("Sheet1"), Strings{"$A$4:$A$5"});
}

// The smart merge's pattern: a scratch copy of the column, many areas merged there, the
// scratch block pasted back as formats and the scratch sheet deleted. The paste carries the
// areas; they never reach the scratch sheet. Kept, the sheet gets them at flush.
class CalcScratchMergeTest : public CalcTest, public ::testing::WithParamInterface<bool> {};

TEST_P(CalcScratchMergeTest, FormatPasteCarriesAreasGivenToMergeAreas) {
    const bool deleteScratch = GetParam();
    const long rows = 200;
    std::vector<double> numbers;
    for (long r = 1; r <= rows; ++r) numbers.push_back(static_cast<double>(r));
    probe().fillNumbers("Sheet1", "A1", numbers);
    const std::string column = "A1:A" + std::to_string(rows);
    std::vector<A1Area> pairs;
    Strings expected;
    for (long r = 1; r < rows; r += 2) {
        pairs.push_back({static_cast<std::int32_t>(r), 1, static_cast<std::int32_t>(r + 1), 1});
        expected.push_back(absoluteAddress(pairs.back()));
    }
    std::sort(expected.begin(), expected.end());
    const long undoBefore = probe().undoCount();
    inRun(host(), [&](AppHandle app, SheetHandle sheet) {
        const SheetHandle scratch = host().SheetsAdd(app, After{sheet});
        host().setName(scratch, "scratch");
        host().Copy(host().Range(sheet, column), Destination{host().Range(scratch, "A1")});
        host().mergeAreas(scratch, pairs);
        host().Copy(host().Range(scratch, column));
        host().PasteSpecial(host().Range(sheet, "A1"),
                            {xlPasteFormats, xlPasteSpecialOperationNone, false, false});
        if (deleteScratch) host().Delete(scratch);
    });
    Strings merged = probe().mergedAreas("Sheet1", rows + 5);
    std::sort(merged.begin(), merged.end());
    EXPECT_EQ(merged, expected);
    EXPECT_EQ(host().bulkPastes(), 1);
    EXPECT_EQ(host().bulkMergeCalls(), deleteScratch ? 0 : 1);
    if (deleteScratch) {
        EXPECT_EQ(probe().sheetNames(), Strings{"Sheet1"});
    } else {
        Strings onScratch = probe().mergedAreas("scratch", rows + 5);
        std::sort(onScratch.begin(), onScratch.end());
        EXPECT_EQ(onScratch, expected);
    }
    EXPECT_EQ(probe().undoCount(), undoBefore + 1);
}

INSTANTIATE_TEST_SUITE_P(Scratch, CalcScratchMergeTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return std::string(p.param ? "deleted" : "kept");
                         });

struct AreaWriteCase {
    const char* name;
    CellValue written;
    CellValue readBack;
};

void PrintTo(const AreaWriteCase& c, std::ostream* os) {
    *os << c.name;
}

class CalcWriteAreasTest : public CalcTest, public ::testing::WithParamInterface<AreaWriteCase> {};

// A value written over an area and over a single cell reads back with its kind, in this run
// (the walked block is not served stale) and in the next; the cells around stay.
TEST_P(CalcWriteAreasTest, WrittenAreasReadBackWithTheirKind) {
    const AreaWriteCase& c = GetParam();
    probe().enterColumn("Sheet1", "A1", {"top", "old", "old", "mid", "old", "end"});
    const std::vector<AreaWrite> writes{{at("A2:A3"), c.written}, {at("A5"), c.written}};
    auto check = [&](SheetHandle sheet) {
        for (const char* cell : {"A2", "A3", "A5"}) {
            const CellValue v = host().Value(host().Range(sheet, cell)).single();
            EXPECT_TRUE(identical(v, c.readBack)) << cell << ": " << describe(v);
        }
    };
    inRun(host(), [&](AppHandle, SheetHandle sheet) {
        const CellEnumHandle e = host().enumerateCells(host().Range(sheet, "A1:A6"));
        host().nextCell(e);
        host().writeAreas(sheet, writes);
        check(sheet);
    });
    inRun(host(), [&](AppHandle, SheetHandle sheet) { check(sheet); });
    EXPECT_EQ(probe().formula("Sheet1", "A1"), "top");
    EXPECT_EQ(probe().formula("Sheet1", "A4"), "mid");
    EXPECT_EQ(probe().formula("Sheet1", "A6"), "end");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, CalcWriteAreasTest,
    ::testing::Values(AreaWriteCase{"text", CellValue::text("x"), CellValue::text("x")},
                      AreaWriteCase{"number", CellValue::floating(2.25), CellValue::floating(2.25)},
                      AreaWriteCase{"date", CellValue::date(45123), CellValue::date(45123)},
                      AreaWriteCase{"boolean", CellValue::boolean(true), CellValue::boolean(true)},
                      AreaWriteCase{"empty", CellValue(), CellValue()},
                      AreaWriteCase{"error", CellValue::error(2042), CellValue::error(2042)}),
    [](const ::testing::TestParamInfo<AreaWriteCase>& p) { return std::string(p.param.name); });

TEST_F(CalcTest, AreaWriteOnALockedCellOfAProtectedSheetIsRefused) {
    probe().enter("Sheet1", "A1", "keep");
    probe().protectSheet("Sheet1", true);
    inRun(host(), [&](AppHandle, SheetHandle sheet) {
        const std::vector<AreaWrite> writes{{at("A1"), CellValue::text("x")}};
        EXPECT_EQ(causeOf([&] { host().writeAreas(sheet, writes); }), Cause::Protected);
    });
    EXPECT_EQ(probe().formula("Sheet1", "A1"), "keep");
}

}  // namespace
}  // namespace gridmoor::calctest
