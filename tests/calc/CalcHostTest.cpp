// What is Calc's own beyond the host contract (the contract suite, tests/host/contract, runs
// against Calc in this program too): attaching while the machine is busy, how values are
// stored, one undo entry per run, locks released on every path, and the routes mergeAreas
// takes (one merge per area, or the bulk route of a format paste) with their read-backs.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "CalcFixture.h"
#include "host/Failure.h"

namespace gridmoor::calctest {
namespace {

using Strings = std::vector<std::string>;
using Cause = HostError::Cause;

// Calc drops a fresh connection now and then during its first call, more often while the
// machine is busy, and stays up. Every attach of a fresh host must still find it: with two
// threads keeping both cores busy, about one in 30 of these connections is dropped once.
TEST_F(CalcTest, EveryFreshAttachFindsCalcWhileTheMachineIsBusy) {
    std::vector<std::jthread> spinners;
    for (int i = 0; i < 2; ++i) {
        spinners.emplace_back([](std::stop_token stop) {
            while (!stop.stop_requested()) {
            }
        });
    }
    constexpr int kAttaches = 150;
    int found = 0;
    for (int i = 0; i < kAttaches; ++i) {
        CalcHost fresh({office_->pipeName(), true});
        HostLink link(fresh);
        link.attach();
        if (!link.empty() &&
            fresh.Name(fresh.ActiveSheet(fresh.Activeworkbook(link.app()))) == "Sheet1") {
            ++found;
        }
    }
    EXPECT_EQ(found, kAttaches);
}

TEST_F(CalcTest, BooleanIsStoredAsCalcStoresIt) {
    inRun(host(), [&](AppHandle, SheetHandle sheet) {
        host().setValue(host().Range(sheet, "C1"), CellValue::boolean(true));
    });
    EXPECT_EQ(probe().formula("Sheet1", "C1"), "1");
}

TEST_F(CalcTest, OneRunIsOneUndoEntry) {
    probe().enterColumn("Sheet1", "A1", {"x", "x", "y", "y"});
    const long before = probe().undoCount();
    inRun(host(), [&](AppHandle app, SheetHandle sheet) {
        const SheetHandle scratch = host().SheetsAdd(app, After{sheet});
        host().setValue(host().Range(sheet, "C1"), CellValue::text("new"));
        host().Merge(host().Range(sheet, "A1:A2"));
        host().Merge(host().Range(sheet, "A3:A4"));
        host().Delete(scratch);
    });
    EXPECT_EQ(probe().undoCount(), before + 1);
    probe().undo();
    EXPECT_TRUE(probe().mergedAreas("Sheet1").empty());
    EXPECT_EQ(probe().formula("Sheet1", "C1"), "");
}

TEST_F(CalcTest, LocksAreReleasedWhenTheRunEndsEvenByFailure) {
    try {
        inRun(host(), [&](AppHandle app, SheetHandle sheet) {
            host().ScreenUpdating(app, false);
            EXPECT_TRUE(probe().controllersLocked());
            host().Range(sheet, "not an address");
        });
    } catch (const HostError& e) {
        EXPECT_EQ(e.cause(), Cause::BadArgument);
    }
    EXPECT_FALSE(probe().controllersLocked());
}

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

}  // namespace
}  // namespace gridmoor::calctest
