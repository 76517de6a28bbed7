// Values and their arrays, enumeration order, and the life of the objects handed out.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "HostFixture.h"

namespace gridmoor::testing {
namespace {

TEST_F(HostFixture, ValueOfSeveralCellsIsTheOneBasedArrayOfTheFirstArea) {
    host.setCells("Sheet1", "B2:C3", {txt("b2"), CellValue::integer(3), {}, txt("c3")});
    const RangeValue block = host.Value(range("C3:B2"));
    ASSERT_TRUE(block.isArray());
    EXPECT_EQ(block.array().rows(), 2);
    EXPECT_EQ(block.array().columns(), 2);
    EXPECT_TRUE(identical(block.at(1, 1), txt("b2")));
    EXPECT_TRUE(identical(block.at(1, 2), CellValue::integer(3)));
    EXPECT_TRUE(block.at(2, 1).isEmpty());
    EXPECT_TRUE(identical(block.at(2, 2), txt("c3")));
    EXPECT_THROW(block.at(3, 1), ValueError);

    const RangeValue areas = host.Value(range("B2:B3,C2:C3"));
    ASSERT_TRUE(areas.isArray());
    EXPECT_EQ(areas.array().columns(), 1);
    EXPECT_TRUE(identical(areas.at(1, 1), txt("b2")));

    const RangeValue one = host.Value(range("C2"));
    ASSERT_FALSE(one.isArray());
    EXPECT_TRUE(identical(one.single(), CellValue::integer(3)));
    EXPECT_TRUE(identical(host.Value(range("C2,B2")).single(), CellValue::integer(3)));
}

TEST_F(HostFixture, ValueWriteReachesEveryCellOfEveryArea) {
    host.setValue(range("A1:B2,D5"), txt("x"));
    EXPECT_TRUE(sameValues(host.cells("Sheet1", "A1:D5"),
                           {txt("x"), txt("x"), {}, {}, txt("x"), txt("x"), {}, {}, {}, {},
                            {},       {},       {}, {}, {},       {},       {}, {}, {}, txt("x")}));
    host.setValue(range("B:B"), CellValue{});  // the empty value clears a whole column at once
    EXPECT_TRUE(sameValues(host.cells("Sheet1", "A1:B2"), {txt("x"), {}, txt("x"), {}}));
    EXPECT_EQ(causeOf([&] { host.setValue(range("A:E"), txt("y")); }), HostError::Cause::Other);
    EXPECT_EQ(causeOf([&] { host.Value(range("A:E")); }), HostError::Cause::Other);
    EXPECT_TRUE(host.cell("Sheet1", "E9").isEmpty());
}

TEST_F(HostFixture, ValueOfACoveredCellIsItsOwn) {
    host.setCells("Sheet1", "A1:A2", {txt("top"), txt("hidden")});
    host.mergeCells("Sheet1", "A1:A2");
    EXPECT_TRUE(identical(host.Value(range("A2")).single(), txt("hidden")));
    host.setValue(range("A2"), CellValue{});
    EXPECT_TRUE(host.Value(range("A2")).single().isEmpty());
    EXPECT_TRUE(identical(host.Value(range("A1")).single(), txt("top")));
}

std::vector<std::string> enumerate(MemoryHost& host, RangeHandle r) {
    std::vector<std::string> seen;
    const CellEnumHandle e = host.enumerateCells(r);
    while (auto cell = host.nextCell(e)) seen.push_back(host.address(*cell));
    return seen;
}

TEST_F(HostFixture, EnumerationGoesRowByRowLeftToRightAreaByArea) {
    EXPECT_EQ(enumerate(host, range("C3:B2")),
              (std::vector<std::string>{"$B$2", "$C$2", "$B$3", "$C$3"}));
    EXPECT_EQ(enumerate(host, range("E1,A1:A2")),
              (std::vector<std::string>{"$E$1", "$A$1", "$A$2"}));
    EXPECT_EQ(enumerate(host, range("B5")), std::vector<std::string>{"$B$5"});
}

TEST_F(HostFixture, EnumerationOfAWholeColumnIsLazy) {
    const RangeHandle column = range("B:B");
    const std::size_t before = host.liveHandles();
    const CellEnumHandle e = host.enumerateCells(column);
    EXPECT_EQ(host.liveHandles(), before + 1);
    for (int i = 0; i < 3; ++i) host.nextCell(e);
    EXPECT_EQ(host.liveHandles(), before + 4);
    EXPECT_EQ(host.address(*host.nextCell(e)), "$B$4");
}

TEST(MemoryHostTest, EveryObjectIsReleasedWhenTheRunEnds) {
    MemoryHost host;
    host.addWorkbook("Book1.xlsx", {"Sheet1", "Sheet2"});
    host.beginRun();
    const AppHandle app = *host.attach(kApplicationClass);
    const WorkbookHandle book = host.Activeworkbook(app);
    const SheetHandle s = host.ActiveSheet(book);
    const RangeHandle r = host.Range(s, "A1:A3");
    const CellEnumHandle cells = host.enumerateCells(r);
    const SheetEnumHandle sheets = host.worksheets(app);
    const RangeHandle two = host.Range(s, "A1,B2");
    EXPECT_EQ(host.liveHandles(), 7u);
    host.endRun();
    EXPECT_EQ(host.liveHandles(), 0u);

    const struct {
        const char* op;
        std::function<void()> call;
    } dead[] = {
        {"DisplayAlerts", [&] { host.DisplayAlerts(app, true); }},
        {"Name book", [&] { host.Name(book); }},
        {"Name sheet", [&] { host.Name(s); }},
        {"address", [&] { host.address(r); }},
        {"address two", [&] { host.address(two); }},
        {"nextCell", [&] { host.nextCell(cells); }},
        {"nextWorksheet", [&] { host.nextWorksheet(sheets); }},
        {"unset sheet", [&] { host.Range(SheetHandle{}, "A1"); }},
        {"unset range", [&] { host.Value(RangeHandle{}); }},
    };
    for (const auto& d : dead) EXPECT_EQ(causeOf(d.call), HostError::Cause::NotFound) << d.op;

    // A new run's objects never take the ids of the last run's.
    host.beginRun();
    const AppHandle again = *host.attach(kApplicationClass);
    const SheetHandle s2 = host.ActiveSheet(host.Activeworkbook(again));
    EXPECT_NE(again, app);
    EXPECT_NE(s2, s);
    EXPECT_EQ(host.Name(s2), "Sheet1");
    host.endRun();
    EXPECT_EQ(host.liveHandles(), 0u);
}

TEST_F(HostFixture, HandlesFollowTheSheetObjectNotItsName) {
    host.setDisplayAlerts(false);
    const SheetHandle s2 = sheet("Sheet2");
    const RangeHandle cell = host.Range(s2, "A1");
    const CellEnumHandle e = host.enumerateCells(host.Range(s2, "A1:A2"));
    host.setName(s2, "Renamed");
    EXPECT_EQ(host.Name(s2), "Renamed");
    EXPECT_EQ(host.address(cell), "$A$1");
    host.SheetsAdd(app, After{s2});
    host.setName(host.Sheets(app, 3L), "Sheet2");
    host.Delete(s2);
    EXPECT_EQ(host.sheetNames(), (std::vector<std::string>{"Sheet1", "Sheet2"}));
    const struct {
        const char* op;
        std::function<void()> call;
    } dead[] = {
        {"Name", [&] { host.Name(s2); }},
        {"Delete", [&] { host.Delete(s2); }},
        {"Range", [&] { host.Range(s2, "A1"); }},
        {"Value", [&] { host.Value(cell); }},
        {"Value=", [&] { host.setValue(cell, txt("x")); }},
        {"Merge", [&] { host.Merge(cell); }},
        {"address", [&] { host.address(cell); }},
        {"nextCell", [&] { host.nextCell(e); }},
        {"Copy", [&] { host.Copy(cell); }},
        {"Copy onto", [&] { host.Copy(range("A1"), Destination{cell}); }},
        {"SheetsAdd", [&] { host.SheetsAdd(app, After{s2}); }},
    };
    for (const auto& d : dead) EXPECT_EQ(causeOf(d.call), HostError::Cause::NotFound) << d.op;
    EXPECT_TRUE(host.cell("Sheet2", "A1").isEmpty());
    EXPECT_EQ(host.sheetNames(), (std::vector<std::string>{"Sheet1", "Sheet2"}));
}

}  // namespace
}  // namespace gridmoor::testing
