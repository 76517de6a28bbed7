// The SpreadsheetHost contract on every backend: the workbook and its sheets, values read
// and written with their kinds, addresses, refusals and the format paste the smart merge
// relies on.
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "Bench.h"

namespace gridmoor::contract {
namespace {

using Sheets = BackendTest;

TEST_P(Sheets, ActiveWorkbookSheetAndCount) {
    bench().run([&](BulkHost& h, AppHandle app, SheetHandle) {
        const std::string name = h.Name(h.Activeworkbook(app));
        EXPECT_FALSE(name.empty());
        EXPECT_EQ(name.find('/'), std::string::npos);
        EXPECT_EQ(h.Name(h.ActiveSheet(h.Activeworkbook(app))), "Sheet1");
        EXPECT_EQ(h.SheetsCount(app), 3);
        EXPECT_EQ(h.Name(h.Sheets(app, "SHEET1")), "Sheet1");
        EXPECT_EQ(h.Name(h.Sheets(app, 3L)), "数据");
        EXPECT_EQ(causeOf([&] { h.Sheets(app, 4L); }), Cause::NotFound);
        EXPECT_EQ(causeOf([&] { h.Sheets(app, "nope"); }), Cause::NotFound);
        Strings names;
        const SheetEnumHandle e = h.worksheets(app);
        while (auto s = h.nextWorksheet(e)) names.push_back(h.Name(*s));
        EXPECT_EQ(names, (Strings{"Sheet1", "Sheet2", "数据"}));
    });
}

TEST_P(Sheets, SheetAddRenameDeleteFollowTheObjectModel) {
    bench().run([&](BulkHost& h, AppHandle app, SheetHandle sheet) {
        const SheetHandle added = h.SheetsAdd(app, After{sheet});
        EXPECT_EQ(h.SheetsCount(app), 4);
        EXPECT_EQ(h.Name(h.Sheets(app, 2L)), h.Name(added));
        EXPECT_EQ(h.Name(h.ActiveSheet(h.Activeworkbook(app))), h.Name(added));
        EXPECT_EQ(causeOf([&] { h.setName(added, "sheet2"); }), Cause::BadArgument);
        EXPECT_EQ(causeOf([&] { h.setName(added, "a/b"); }), Cause::BadArgument);
        EXPECT_EQ(causeOf([&] { h.setName(added, std::string(32, 'x')); }), Cause::BadArgument);
        h.setName(added, "Middle");
        EXPECT_EQ(h.Name(added), "Middle");
        h.Delete(h.Sheets(app, "SHEET2"));
        h.Select(sheet);
    });
    EXPECT_EQ(bench().sheetNames(), (Strings{"Sheet1", "Middle", "数据"}));
}

TEST_P(Sheets, ProtectedStructureRefusesAddDeleteRename) {
    bench().protectStructure();
    bench().run([&](BulkHost& h, AppHandle app, SheetHandle sheet) {
        EXPECT_EQ(causeOf([&] { h.SheetsAdd(app, After{sheet}); }), Cause::Protected);
        EXPECT_EQ(causeOf([&] { h.Delete(h.Sheets(app, "Sheet2")); }), Cause::Protected);
        EXPECT_EQ(causeOf([&] { h.setName(h.Sheets(app, "Sheet2"), "Three"); }), Cause::Protected);
        // Cells stay writable.
        h.setValue(h.Range(sheet, "A1"), CellValue::text("ok"));
    });
    EXPECT_EQ(bench().sheetNames(), (Strings{"Sheet1", "Sheet2", "数据"}));
    EXPECT_TRUE(identical(bench().read("A1"), CellValue::text("ok")));
}

// A refused code leaves the setting as it was, manual or automatic.
TEST_P(Sheets, CalculationTakesOnlyTheObjectModelsCodes) {
    for (const std::int16_t last : {xlCalculationManual, xlCalculationAutomatic}) {
        bench().run([&](BulkHost& h, AppHandle app, SheetHandle) {
            h.Calculation(app, xlCalculationSemiautomatic);
            h.Calculation(app, last);
            for (const int bad : {0, 1, 3, -4104})
                EXPECT_EQ(causeOf([&] { h.Calculation(app, static_cast<std::int16_t>(bad)); }),
                          Cause::BadArgument)
                    << bad;
        });
        EXPECT_EQ(bench().automaticCalculation(), last == xlCalculationAutomatic) << last;
    }
}

TEST_P(Sheets, AddressesUseTheObjectModelsSyntax) {
    bench().run([&](BulkHost& h, AppHandle, SheetHandle s) {
        const RangeHandle r = h.Range(s, "b8:$B$2");
        EXPECT_EQ(h.address(r), "$B$2:$B$8");
        EXPECT_EQ(h.RowsCount(r), 7);
        EXPECT_EQ(h.ColumnsCount(r), 1);
        EXPECT_EQ(h.address(h.offset(r, std::nullopt, 2)), "$D$2:$D$8");
        EXPECT_EQ(h.address(h.offset(r, 1, -1)), "$A$3:$A$9");
        EXPECT_EQ(h.address(h.Cells(s, 6, 1)), "$A$6");
        EXPECT_EQ(h.address(h.Range(s, h.Cells(s, 5, 3), h.Cells(s, 2, 1))), "$A$2:$C$5");
        EXPECT_EQ(h.address(h.Range(s, "B:B")), "$B:$B");
        EXPECT_EQ(h.address(h.Range(s, "3:3")), "$3:$3");
        EXPECT_EQ(h.address(h.Range(s, "B2:B8,D2:D8")), "$B$2:$B$8,$D$2:$D$8");
        EXPECT_EQ(h.address(h.offset(h.Range(s, "A1"), std::nullopt, 5)), "$F$1");
        EXPECT_EQ(causeOf([&] { h.Range(s, "Sheet1.A1"); }), Cause::BadArgument);
        EXPECT_EQ(causeOf([&] { h.Range(s, "A1:A"); }), Cause::BadArgument);
        EXPECT_EQ(causeOf([&] { h.Range(s, "B2:"); }), Cause::BadArgument);
        EXPECT_EQ(causeOf([&] { h.Range(s, "Sheet2!B2"); }), Cause::BadArgument);
    });
}

TEST_P(Sheets, ProtectedSheetRefusesWritesMergesAndPastes) {
    Bench& b = bench();
    b.enter("A1", {"keep"});
    b.enter("A2", {"keep"});
    b.merge("B1:B2");
    b.protectSheet();
    b.run([&](BulkHost& h, AppHandle app, SheetHandle s) {
        EXPECT_EQ(causeOf([&] { h.setValue(h.Range(s, "A1"), CellValue::text("x")); }),
                  Cause::Protected);
        EXPECT_EQ(causeOf([&] { h.setValue(h.Range(s, "A1:A2"), CellValue()); }), Cause::Protected);
        EXPECT_EQ(causeOf([&] { h.Merge(h.Range(s, "A1:A2")); }), Cause::Protected);
        EXPECT_EQ(causeOf([&] { h.UnMerge(h.Range(s, "B1:B2")); }), Cause::Protected);
        const SheetHandle other = h.Sheets(app, "Sheet2");
        EXPECT_EQ(causeOf([&] { h.Copy(h.Range(other, "A1"), Destination{h.Range(s, "A1")}); }),
                  Cause::Protected);
        // Copying from the sheet is reading it.
        h.Copy(h.Range(s, "A1:B2"), Destination{h.Range(other, "D4")});
        h.Copy(h.Range(s, "A1:A2"));
        EXPECT_EQ(causeOf([&] {
                      h.PasteSpecial(h.Range(s, "A1:A2"),
                                     {xlPasteFormats, xlPasteSpecialOperationNone, false, false});
                  }),
                  Cause::Protected);
        // Writing into a block being walked is refused as well.
        const CellEnumHandle e = h.enumerateCells(h.Range(s, "A1:A3"));
        h.nextCell(e);
        EXPECT_EQ(causeOf([&] { h.setValue(h.Range(s, "A3"), CellValue::text("x")); }),
                  Cause::Protected);
    });
    EXPECT_TRUE(identical(b.read("A1"), CellValue::text("keep")));
    EXPECT_TRUE(b.read("A3").isEmpty());
    EXPECT_EQ(b.mergedAreas(), Strings{"$B$1:$B$2"});
    EXPECT_EQ(b.mergedAreas("Sheet2"), Strings{"$E$4:$E$5"});
}

// The smart merge's pattern: a scratch copy, pair merges there, the block pasted back as
// formats, the scratch sheet deleted. Merged areas and formats arrive; every value stays.
TEST_P(Sheets, FormatPasteBringsMergedAreasAndFormatsAndKeepsEveryValue) {
    Bench& b = bench();
    const Strings column = {"a", "a", "b", "b", "b", "c", "c"};
    for (std::size_t i = 0; i < column.size(); ++i)
        b.enter("B" + std::to_string(i + 2), {column[i]});
    b.setBold("B2");
    b.run([&](BulkHost& h, AppHandle app, SheetHandle source) {
        h.DisplayAlerts(app, false);
        const SheetHandle scratch = h.SheetsAdd(app, After{h.Sheets(app, 1L)});
        h.setName(scratch, "合并临时单元格");
        h.Copy(h.Range(source, "B2:B8"), Destination{h.Range(scratch, "A1")});
        for (const long k : {7L, 5L, 4L, 2L})
            h.Merge(h.Range(scratch, h.Cells(scratch, k - 1, 1), h.Cells(scratch, k, 1)));
        h.Copy(h.Range(scratch, "A1:A7"));
        h.PasteSpecial(h.Range(source, "B2:B8"), {.Paste = xlPasteFormats,
                                                  .Operation = xlPasteSpecialOperationNone,
                                                  .SkipBlanks = false,
                                                  .Transpose = false});
        h.Delete(h.Sheets(app, "合并临时单元格"));
        h.Select(source);
        h.DisplayAlerts(app, true);
    });
    EXPECT_EQ(b.mergedAreas(), (Strings{"$B$2:$B$3", "$B$4:$B$6", "$B$7:$B$8"}));
    EXPECT_EQ(b.sheetNames(), (Strings{"Sheet1", "Sheet2", "数据"}));
    EXPECT_TRUE(b.isBold("B2"));
    for (std::size_t i = 0; i < column.size(); ++i) {
        const std::string cell = "B" + std::to_string(i + 2);
        EXPECT_TRUE(identical(b.read(cell), CellValue::text(column[i]))) << cell;
    }
}

// The paste gives every cell its block cell's formats, also where a group of equally
// formatted cells began with a cell that already had them.
TEST_P(Sheets, FormatPasteGivesEachCellItsBlockCellsFormats) {
    Bench& b = bench();
    for (const char* cell : {"A1", "A2", "A3", "A4"}) b.enter(cell, {"x"});
    b.setBold("A1");
    b.setDateFormat("A2");
    b.setBold("A4");
    for (int row = 1; row <= 4; ++row) b.enter("C" + std::to_string(row), {std::to_string(row)});
    b.setBold("C1:C3");
    b.run([&](BulkHost& h, AppHandle, SheetHandle s) {
        h.Copy(h.Range(s, "A1:A4"));
        h.PasteSpecial(h.Range(s, "C1:C4"),
                       {xlPasteFormats, xlPasteSpecialOperationNone, false, false});
    });
    EXPECT_TRUE(b.isBold("C1"));
    EXPECT_FALSE(b.isBold("C2"));
    EXPECT_FALSE(b.isBold("C3"));
    EXPECT_TRUE(b.isBold("C4"));
    const CellValue c2 = b.read("C2");
    if (b.traits().kindFollowsFormat) {
        EXPECT_EQ(c2.numberKind(), NumberKind::Date);
    }
    EXPECT_EQ(c2.number(), 2);
    for (int row = 1; row <= 4; ++row)
        EXPECT_EQ(b.read("C" + std::to_string(row)).number(), row) << row;
}

// The unmerge-and-fill walk: every blank cell (also a formula giving the empty text) takes
// the value before it; a formula giving a value is left alone.
TEST_P(Sheets, UnmergeAndFillWalkWritesOnlyBlanksAndNeverFormulas) {
    Bench& b = bench();
    b.enter("A1", {"x"});
    b.enter("A4", {"y"});
    b.enter("A6", {"=\"\""});
    // Where the backend holds no formulas, the cell holds what the formula gives.
    b.enter("A7", {b.traits().holdsFormulas ? "=A4" : "y"});
    b.merge("A1:A3");
    b.run([&](BulkHost& h, AppHandle, SheetHandle s) {
        h.UnMerge(h.Range(s, "A1:A8"));
        CellValue carry;
        const CellEnumHandle e = h.enumerateCells(h.Range(s, "A1:A8"));
        while (auto cell = h.nextCell(e)) {
            const std::string where = h.address(*cell);
            if (h.Value(*cell).single().textForm().empty()) h.setValue(h.Range(s, where), carry);
            carry = h.Value(*cell).single();
        }
    });
    EXPECT_TRUE(b.mergedAreas().empty());
    for (int row = 1; row <= 8; ++row) {
        const std::string cell = "A" + std::to_string(row);
        const CellValue v = b.read(cell);
        EXPECT_TRUE(identical(v, CellValue::text(row <= 3 ? "x" : "y")))
            << cell << " holds " << describe(v);
    }
    if (b.traits().holdsFormulas) {
        EXPECT_EQ(b.formula("A7"), "=A4");
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, Sheets, ::testing::ValuesIn(contractBackends()), backendName);

struct ReadCase {
    const char* name;
    Content content;
    CellValue expected;
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

using ReadTest = ContractTest<ReadCase>;

// A cell reads the same alone, in a block and through a walk over the block.
TEST_P(ReadTest, ValueKeepsItsKind) {
    const ReadCase& c = param();
    bench().enter("B2", c.content);
    bench().run([&](BulkHost& h, AppHandle, SheetHandle s) {
        const CellValue single = h.Value(h.Range(s, "B2")).single();
        EXPECT_TRUE(identical(single, c.expected)) << describe(single);
        // A block reads as one 1-based array, rows by columns.
        const RangeValue block = h.Value(h.Range(s, "B1:C3"));
        ASSERT_TRUE(block.isArray());
        ASSERT_EQ(block.array().rows(), 3);
        ASSERT_EQ(block.array().columns(), 2);
        EXPECT_TRUE(identical(block.at(2, 1), c.expected)) << describe(block.at(2, 1));
        EXPECT_TRUE(block.at(2, 2).isEmpty());
        const CellEnumHandle e = h.enumerateCells(h.Range(s, "B1:B3"));
        h.nextCell(e);
        const auto second = h.nextCell(e);
        ASSERT_TRUE(second.has_value());
        EXPECT_TRUE(identical(h.Value(*second).single(), c.expected));
    });
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ReadTest,
    ::testing::Combine(
        ::testing::ValuesIn(contractBackends()),
        ::testing::Values(
            ReadCase{"text", {"a"}, CellValue::text("a")},
            ReadCase{"number", {"12.5"}, CellValue::floating(12.5)},
            ReadCase{"empty", {""}, CellValue()},
            ReadCase{"formulaEmptyText", {"=\"\""}, CellValue::text("")},
            ReadCase{"divByZero", {"=1/0"}, CellValue::error(2007)},
            ReadCase{"notAvailable", {"=NA()"}, CellValue::error(2042)},
            ReadCase{"booleanTrue", {"1", Format::Boolean}, CellValue::boolean(true)},
            ReadCase{"booleanFalse", {"0", Format::Boolean}, CellValue::boolean(false)},
            ReadCase{"date", {"45000", Format::Date}, CellValue::date(45000)},
            ReadCase{"currency", {"12.5", Format::Currency}, CellValue::currency(125000)},
            ReadCase{"chinese", {"类别"}, CellValue::text("类别")})),
    caseName<ReadCase>);

struct WriteCase {
    const char* name;
    CellValue written;
};

void PrintTo(const WriteCase& c, std::ostream* os) {
    *os << c.name;
}

// What a written value reads back as on a backend with these traits.
CellValue readBack(const CellValue& written, const Traits& t) {
    if (t.integersReadAsFloating && written.isNumber() &&
        written.numberKind() == NumberKind::Integer)
        return CellValue::floating(written.number());
    if (t.emptyTextClears && written.isText() && written.text().empty()) return CellValue();
    return written;
}

using WriteTest = ContractTest<WriteCase>;

// A value written to a cell, alone and into a block being walked, reads back with its kind
// in the same run and in the next.
TEST_P(WriteTest, WrittenValueReadsBackWithItsKind) {
    const WriteCase& c = param();
    Bench& b = bench();
    const CellValue expected = readBack(c.written, b.traits());
    b.enter("A3", {"old"});
    b.run([&](BulkHost& h, AppHandle, SheetHandle s) { h.setValue(h.Range(s, "A3"), c.written); });
    EXPECT_TRUE(identical(b.read("A3"), expected)) << describe(b.read("A3"));
    b.enter("A3", {""});
    b.run([&](BulkHost& h, AppHandle, SheetHandle s) {
        const CellEnumHandle e = h.enumerateCells(h.Range(s, "A1:A5"));
        for (int i = 0; i < 3; ++i) h.nextCell(e);
        h.setValue(h.Range(s, "$A$3"), c.written);
        EXPECT_TRUE(identical(h.Value(h.Range(s, "A3")).single(), expected));
    });
    EXPECT_TRUE(identical(b.read("A3"), expected)) << describe(b.read("A3"));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, WriteTest,
    ::testing::Combine(::testing::ValuesIn(contractBackends()),
                       ::testing::Values(WriteCase{"text", CellValue::text("x")},
                                         WriteCase{"floating", CellValue::floating(2.25)},
                                         WriteCase{"integer", CellValue::integer(7)},
                                         WriteCase{"booleanTrue", CellValue::boolean(true)},
                                         WriteCase{"booleanFalse", CellValue::boolean(false)},
                                         WriteCase{"date", CellValue::date(45123)},
                                         WriteCase{"currency", CellValue::currency(15000)},
                                         WriteCase{"empty", CellValue()},
                                         WriteCase{"emptyText", CellValue::text("")},
                                         WriteCase{"negative", CellValue::integer(-42)},
                                         WriteCase{"tenth", CellValue::floating(0.1)},
                                         WriteCase{"bigCurrency", CellValue::currency(123456)},
                                         WriteCase{"dateAndTime", CellValue::date(45000.75)},
                                         WriteCase{"errorNA", CellValue::error(2042)},
                                         WriteCase{"errorDivByZero", CellValue::error(2007)},
                                         WriteCase{"negativeCurrency", CellValue::currency(-12345)},
                                         WriteCase{"chinese", CellValue::text("合并 & 撤销")},
                                         // Texts that would read as another kind if typed.
                                         WriteCase{"leadingZeros", CellValue::text("001")},
                                         WriteCase{"spacedNumber", CellValue::text(" 12.5 ")},
                                         WriteCase{"dashedPair", CellValue::text("1-2")},
                                         WriteCase{"isoDate", CellValue::text("2024-01-02")},
                                         WriteCase{"fraction", CellValue::text("1/2")},
                                         WriteCase{"trueText", CellValue::text("TRUE")},
                                         WriteCase{"falseText", CellValue::text("false")},
                                         WriteCase{"formulaText", CellValue::text("=1+1")},
                                         WriteCase{"apostrophe", CellValue::text("'x")},
                                         WriteCase{"errorText", CellValue::text("#N/A")})),
    caseName<WriteCase>);

}  // namespace
}  // namespace gridmoor::contract
