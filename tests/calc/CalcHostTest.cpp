// Host operations against a real Calc: the effects the commands rely on, in particular where
// Calc's own behaviour differs from the object model's.
#include <gtest/gtest.h>

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

// NumberFormat type codes of Calc (com.sun.star.util.NumberFormat).
constexpr short kDate = 2, kCurrency = 8, kLogical = 1024;

TEST_F(CalcTest, ActiveWorkbookSheetAndCount) {
    inRun(host(), [&](AppHandle app, SheetHandle sheet) {
        const std::string name = host().Name(host().Activeworkbook(app));
        EXPECT_FALSE(name.empty());
        EXPECT_EQ(name.find('/'), std::string::npos);
        EXPECT_EQ(host().Name(sheet), "Sheet1");
        EXPECT_EQ(host().SheetsCount(app), 1);
        EXPECT_EQ(host().Name(host().Sheets(app, "SHEET1")), "Sheet1");
        EXPECT_EQ(causeOf([&] { host().Sheets(app, 2); }), Cause::NotFound);
        EXPECT_EQ(causeOf([&] { host().Sheets(app, "nope"); }), Cause::NotFound);
    });
}

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

struct ReadCase {
    const char* name;
    const char* content;
    short format;  // 0: none
    CellValue expected;
};

// Test names and failure messages show the case's name, not its bytes.
void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

class CalcReadTest : public CalcTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(CalcReadTest, ValueKeepsItsKind) {
    const ReadCase& c = GetParam();
    probe().enter("Sheet1", "B2", c.content);
    if (c.format != 0) probe().setNumberFormat("Sheet1", "B2", c.format);
    inRun(host(), [&](AppHandle, SheetHandle sheet) {
        const CellValue single = host().Value(host().Range(sheet, "B2")).single();
        EXPECT_TRUE(identical(single, c.expected)) << describe(single);
        // The same through a block read and through a walk over the block.
        const RangeValue block = host().Value(host().Range(sheet, "B1:B3"));
        EXPECT_TRUE(identical(block.at(2, 1), c.expected)) << describe(block.at(2, 1));
        const CellEnumHandle e = host().enumerateCells(host().Range(sheet, "B1:B3"));
        host().nextCell(e);
        const auto second = host().nextCell(e);
        ASSERT_TRUE(second.has_value());
        EXPECT_TRUE(identical(host().Value(*second).single(), c.expected));
    });
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, CalcReadTest,
    ::testing::Values(ReadCase{"text", "a", 0, CellValue::text("a")},
                      ReadCase{"number", "12.5", 0, CellValue::floating(12.5)},
                      ReadCase{"empty", "", 0, CellValue()},
                      ReadCase{"formulaEmptyText", "=\"\"", 0, CellValue::text("")},
                      ReadCase{"divByZero", "=1/0", 0, CellValue::error(2007)},
                      ReadCase{"notAvailable", "=NA()", 0, CellValue::error(2042)},
                      ReadCase{"booleanTrue", "1", kLogical, CellValue::boolean(true)},
                      ReadCase{"booleanFalse", "0", kLogical, CellValue::boolean(false)},
                      ReadCase{"date", "45000", kDate, CellValue::date(45000)},
                      ReadCase{"currency", "12.5", kCurrency, CellValue::currency(125000)},
                      ReadCase{"chinese", "类别", 0, CellValue::text("类别")}),
    [](const ::testing::TestParamInfo<ReadCase>& p) { return std::string(p.param.name); });

struct WriteCase {
    const char* name;
    CellValue written;
    CellValue readBack;
};

// Test names and failure messages show the case's name, not its bytes.
void PrintTo(const WriteCase& c, std::ostream* os) {
    *os << c.name;
}

class CalcWriteTest : public CalcTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(CalcWriteTest, WrittenValueReadsBackWithItsKind) {
    const WriteCase& c = GetParam();
    probe().enter("Sheet1", "A3", "old");
    inRun(host(), [&](AppHandle, SheetHandle sheet) {
        host().setValue(host().Range(sheet, "A3"), c.written);
    });
    inRun(host(), [&](AppHandle, SheetHandle sheet) {
        const CellValue v = host().Value(host().Range(sheet, "A3")).single();
        EXPECT_TRUE(identical(v, c.readBack)) << describe(v);
    });
    // And as a deferred write into a walked block.
    probe().enter("Sheet1", "A3", "");
    inRun(host(), [&](AppHandle, SheetHandle sheet) {
        const CellEnumHandle e = host().enumerateCells(host().Range(sheet, "A1:A5"));
        for (int i = 0; i < 3; ++i) host().nextCell(e);
        host().setValue(host().Range(sheet, "$A$3"), c.written);
        EXPECT_TRUE(identical(host().Value(host().Range(sheet, "A3")).single(), c.readBack));
    });
    inRun(host(), [&](AppHandle, SheetHandle sheet) {
        const CellValue v = host().Value(host().Range(sheet, "A3")).single();
        EXPECT_TRUE(identical(v, c.readBack)) << describe(v);
    });
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, CalcWriteTest,
    ::testing::Values(
        WriteCase{"text", CellValue::text("x"), CellValue::text("x")},
        WriteCase{"floating", CellValue::floating(2.25), CellValue::floating(2.25)},
        WriteCase{"integerReadsAsDouble", CellValue::integer(7), CellValue::floating(7)},
        WriteCase{"booleanTrue", CellValue::boolean(true), CellValue::boolean(true)},
        WriteCase{"booleanFalse", CellValue::boolean(false), CellValue::boolean(false)},
        WriteCase{"date", CellValue::date(45123), CellValue::date(45123)},
        WriteCase{"currency", CellValue::currency(15000), CellValue::currency(15000)},
        WriteCase{"empty", CellValue(), CellValue()},
        WriteCase{"emptyTextClears", CellValue::text(""), CellValue()}),
    [](const ::testing::TestParamInfo<WriteCase>& p) { return std::string(p.param.name); });

TEST_F(CalcTest, BooleanIsStoredAsCalcStoresIt) {
    inRun(host(), [&](AppHandle, SheetHandle sheet) {
        host().setValue(host().Range(sheet, "C1"), CellValue::boolean(true));
    });
    EXPECT_EQ(probe().formula("Sheet1", "C1"), "1");
}

TEST_F(CalcTest, DescendingPairMergesCoalesceIntoOneAreaPerRun) {
    probe().enterColumn("Sheet1", "A1", {"a", "a", "b", "b", "b", "c", "c"});
    inRun(host(), [&](AppHandle, SheetHandle sheet) {
        for (const long k : {7, 5, 4, 2}) {
            host().Merge(
                host().Range(sheet, host().Cells(sheet, k - 1, 1), host().Cells(sheet, k, 1)));
        }
    });
    EXPECT_EQ(probe().mergedAreas("Sheet1"), (Strings{"$A$1:$A$2", "$A$3:$A$5", "$A$6:$A$7"}));
    // Calc keeps what the covered cells hold.
    EXPECT_EQ(probe().formula("Sheet1", "A5"), "b");
    EXPECT_EQ(probe().formula("Sheet1", "A7"), "c");
}

TEST_F(CalcTest, MergeTakesInTheMergedAreaItMeets) {
    probe().merge("Sheet1", "B2:B3");
    probe().merge("Sheet1", "D1:E1");
    inRun(host(), [&](AppHandle, SheetHandle sheet) {
        host().Merge(host().Range(sheet, "B1:B2"));
        host().Merge(host().Range(sheet, "C1:D1"));
    });
    EXPECT_EQ(probe().mergedAreas("Sheet1"), (Strings{"$B$1:$B$3", "$C$1:$E$1"}));
}

TEST_F(CalcTest, UnMergeSplitsExactlyTheAreasThatMeetTheRange) {
    probe().merge("Sheet1", "A1:A3");
    probe().merge("Sheet1", "A5:A6");
    probe().merge("Sheet1", "A8:A9");
    probe().merge("Sheet1", "C1:C2");
    inRun(host(),
          [&](AppHandle, SheetHandle sheet) { host().UnMerge(host().Range(sheet, "A2:A5")); });
    EXPECT_EQ(probe().mergedAreas("Sheet1"), (Strings{"$A$8:$A$9", "$C$1:$C$2"}));
}

TEST_F(CalcTest, FormatPasteBringsMergedAreasAndFormatsAndKeepsEveryValue) {
    probe().enterColumn("Sheet1", "B2", {"a", "a", "b", "b", "b", "c", "c"});
    probe().setBold("Sheet1", "B2");
    inRun(host(), [&](AppHandle app, SheetHandle source) {
        const SheetHandle scratch = host().SheetsAdd(app, After{host().Sheets(app, 1L)});
        host().setName(scratch, "合并临时单元格");
        host().Copy(host().Range(source, "B2:B8"), Destination{host().Range(scratch, "A1")});
        for (const long k : {7, 5, 4, 2}) {
            host().Merge(host().Range(scratch, host().Cells(scratch, k - 1, 1),
                                      host().Cells(scratch, k, 1)));
        }
        host().Copy(host().Range(scratch, "A1:A7"));
        host().PasteSpecial(host().Range(source, "B2:B8"),
                            {.Paste = xlPasteFormats,
                             .Operation = xlPasteSpecialOperationNone,
                             .SkipBlanks = false,
                             .Transpose = false});
        host().Delete(host().Sheets(app, "合并临时单元格"));
        host().Select(source);
    });
    EXPECT_EQ(probe().mergedAreas("Sheet1"), (Strings{"$B$2:$B$3", "$B$4:$B$6", "$B$7:$B$8"}));
    EXPECT_EQ(probe().sheetNames(), (Strings{"Sheet1"}));
    EXPECT_TRUE(probe().isBold("Sheet1", "B2"));
    const Strings expected{"a", "a", "b", "b", "b", "c", "c"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(probe().formula("Sheet1", "B" + std::to_string(i + 2)),
                  expected[static_cast<std::size_t>(i)]);
    }
}

// The paste leaves alone the cells that already have the block's formats; every other cell
// takes them, also where the first cell of a group of equally formatted cells already had them.
TEST_F(CalcTest, FormatPasteGivesEachCellItsBlockCellsFormats) {
    probe().enterColumn("Sheet1", "A1", {"x", "x", "x", "x"});
    probe().setBold("Sheet1", "A1");
    probe().setNumberFormat("Sheet1", "A2", kDate);
    probe().setBold("Sheet1", "A4");
    probe().enterColumn("Sheet1", "C1", {"1", "2", "3", "4"});
    probe().setBold("Sheet1", "C1:C3");
    inRun(host(), [&](AppHandle, SheetHandle sheet) {
        host().Copy(host().Range(sheet, "A1:A4"));
        host().PasteSpecial(host().Range(sheet, "C1:C4"),
                            {xlPasteFormats, xlPasteSpecialOperationNone, false, false});
    });
    EXPECT_TRUE(probe().isBold("Sheet1", "C1"));
    EXPECT_FALSE(probe().isBold("Sheet1", "C2"));
    EXPECT_FALSE(probe().isBold("Sheet1", "C3"));
    EXPECT_TRUE(probe().isBold("Sheet1", "C4"));
    inRun(host(), [&](AppHandle, SheetHandle sheet) {
        const CellValue c2 = host().Value(host().Range(sheet, "C2")).single();
        EXPECT_EQ(c2.numberKind(), NumberKind::Date);
        EXPECT_TRUE(
            identical(host().Value(host().Range(sheet, "C3")).single(), CellValue::floating(3)));
    });
    for (int row = 1; row <= 4; ++row) {
        EXPECT_EQ(probe().formula("Sheet1", "C" + std::to_string(row)), std::to_string(row));
    }
}

TEST_F(CalcTest, ProtectedSheetRefusesWritesMergesAndPastes) {
    probe().enter("Sheet1", "A1", "keep");
    probe().enter("Sheet1", "A2", "keep");
    probe().protectSheet("Sheet1", true);
    inRun(host(), [&](AppHandle app, SheetHandle sheet) {
        EXPECT_EQ(
            causeOf([&] { host().setValue(host().Range(sheet, "A1"), CellValue::text("x")); }),
            Cause::Protected);
        EXPECT_EQ(causeOf([&] { host().Merge(host().Range(sheet, "A1:A2")); }), Cause::Protected);
        EXPECT_EQ(causeOf([&] { host().UnMerge(host().Range(sheet, "A1:A2")); }), Cause::Protected);
        host().Copy(host().Range(sheet, "A1:A2"));
        EXPECT_EQ(causeOf([&] {
                      host().PasteSpecial(
                          host().Range(sheet, "A1:A2"),
                          {xlPasteFormats, xlPasteSpecialOperationNone, false, false});
                  }),
                  Cause::Protected);
        // Walking and writing into a walked block is refused as well.
        const CellEnumHandle e = host().enumerateCells(host().Range(sheet, "A1:A3"));
        host().nextCell(e);
        EXPECT_EQ(
            causeOf([&] { host().setValue(host().Range(sheet, "A3"), CellValue::text("x")); }),
            Cause::Protected);
        (void)app;
    });
    EXPECT_EQ(probe().formula("Sheet1", "A1"), "keep");
    EXPECT_EQ(probe().formula("Sheet1", "A3"), "");
    EXPECT_TRUE(probe().mergedAreas("Sheet1").empty());
}

TEST_F(CalcTest, ProtectedStructureRefusesAddDeleteRename) {
    probe().addSheet("Two");
    probe().protectStructure(true);
    inRun(host(), [&](AppHandle app, SheetHandle sheet) {
        EXPECT_EQ(causeOf([&] { host().SheetsAdd(app, After{sheet}); }), Cause::Protected);
        EXPECT_EQ(causeOf([&] { host().Delete(host().Sheets(app, "Two")); }), Cause::Protected);
        EXPECT_EQ(causeOf([&] { host().setName(host().Sheets(app, "Two"), "Three"); }),
                  Cause::Protected);
    });
    EXPECT_EQ(probe().sheetNames(), (Strings{"Sheet1", "Two"}));
}

TEST_F(CalcTest, SheetAddRenameDeleteFollowTheObjectModel) {
    probe().addSheet("Last");
    inRun(host(), [&](AppHandle app, SheetHandle sheet) {
        const SheetHandle added = host().SheetsAdd(app, After{sheet});
        EXPECT_EQ(host().SheetsCount(app), 3);
        EXPECT_EQ(host().Name(host().Sheets(app, 2L)), host().Name(added));
        EXPECT_EQ(host().Name(host().ActiveSheet(host().Activeworkbook(app))), host().Name(added));
        EXPECT_EQ(causeOf([&] { host().setName(added, "last"); }), Cause::BadArgument);
        EXPECT_EQ(causeOf([&] { host().setName(added, "a/b"); }), Cause::BadArgument);
        EXPECT_EQ(causeOf([&] { host().setName(added, std::string(32, 'x')); }),
                  Cause::BadArgument);
        host().setName(added, "Middle");
        EXPECT_EQ(host().Name(added), "Middle");
        host().Delete(host().Sheets(app, "LAST"));
    });
    EXPECT_EQ(probe().sheetNames(), (Strings{"Sheet1", "Middle"}));
}

TEST_F(CalcTest, CalculationTakesOnlyTheObjectModelsCodes) {
    inRun(host(), [&](AppHandle app, SheetHandle) {
        host().Calculation(app, xlCalculationManual);
        host().Calculation(app, xlCalculationSemiautomatic);
        host().Calculation(app, xlCalculationAutomatic);
        for (const std::int16_t bad :
             {std::int16_t{0}, std::int16_t{1}, std::int16_t{3}, std::int16_t{-4104}}) {
            EXPECT_EQ(causeOf([&] { host().Calculation(app, bad); }), Cause::BadArgument) << bad;
        }
    });
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

TEST_F(CalcTest, UnmergeAndFillWalkWritesOnlyBlanksAndNeverFormulas) {
    probe().enterColumn("Sheet1", "A1", {"x", "", "", "y", "", "=\"\"", "=A4", ""});
    probe().merge("Sheet1", "A1:A3");
    inRun(host(), [&](AppHandle, SheetHandle sheet) {
        host().UnMerge(host().Range(sheet, "A1:A8"));
        CellValue carry;
        const CellEnumHandle e = host().enumerateCells(host().Range(sheet, "A1:A8"));
        while (auto cell = host().nextCell(e)) {
            const std::string at = host().address(*cell);
            if (host().Value(*cell).single().textForm().empty()) {
                host().setValue(host().Range(sheet, at), carry);
            }
            carry = host().Value(*cell).single();
        }
    });
    EXPECT_TRUE(probe().mergedAreas("Sheet1").empty());
    const Strings expected{"x", "x", "x", "y", "y", "y", "=A4", "y"};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(probe().formula("Sheet1", "A" + std::to_string(i + 1)),
                  expected[static_cast<std::size_t>(i)])
            << "row " << i + 1;
    }
}

TEST_F(CalcTest, AddressesUseTheObjectModelsSyntax) {
    inRun(host(), [&](AppHandle, SheetHandle sheet) {
        EXPECT_EQ(host().address(host().Range(sheet, "b8:b2")), "$B$2:$B$8");
        EXPECT_EQ(host().address(host().Range(sheet, "B:B")), "$B:$B");
        EXPECT_EQ(host().address(host().Range(sheet, "3:3")), "$3:$3");
        EXPECT_EQ(host().address(host().Range(sheet, "B2:B8,D2:D8")), "$B$2:$B$8,$D$2:$D$8");
        EXPECT_EQ(host().address(host().offset(host().Range(sheet, "A1"), std::nullopt, 5)),
                  "$F$1");
        EXPECT_EQ(causeOf([&] { host().Range(sheet, "Sheet1.A1"); }), Cause::BadArgument);
        EXPECT_EQ(causeOf([&] { host().Range(sheet, "A1:A"); }), Cause::BadArgument);
    });
}

}  // namespace
}  // namespace gridmoor::calctest
