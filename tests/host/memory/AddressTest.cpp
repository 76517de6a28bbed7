// Addresses as Range(text) reads them and `address` prints them, Cells and offset at the
// sheet's limits.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "HostFixture.h"

namespace gridmoor::testing {
namespace {

struct AddressCase {
    const char* name;
    std::string typed;
    const char* printed;  // nullptr: Range refuses the text with BadArgument
    const char* sheet = "Sheet1";
};

class AddressTest : public HostFixture, public ::testing::WithParamInterface<AddressCase> {
protected:
    AddressTest() : HostFixture({"Sheet1", "Sheet2", "Data 2024", "It's", "合并临时单元格"}) {}
};

TEST_P(AddressTest, ReadsAndPrintsAsTheObjectModel) {
    const auto& c = GetParam();
    const SheetHandle s = sheet(c.sheet);
    if (c.printed == nullptr) {
        EXPECT_EQ(causeOf([&] { host.Range(s, c.typed); }), HostError::Cause::BadArgument)
            << c.typed;
        return;
    }
    EXPECT_EQ(host.address(host.Range(s, c.typed)), c.printed) << c.typed;
}

// The parser's own cases are in tests/host/A1AddressTest.cpp; these check what the host adds:
// the sheet whose name a qualifier must carry, and BadArgument for every refusal.
INSTANTIATE_TEST_SUITE_P(
    Table, AddressTest,
    ::testing::Values(AddressCase{"Column", "B2:B8", "$B$2:$B$8"},
                      AddressCase{"TwoAreas", "B2:B8,D2:D8", "$B$2:$B$8,$D$2:$D$8"},
                      AddressCase{"AllColumnsIsWholeSheet", "A:XFD", "$1:$1048576"},
                      AddressCase{"OwnSheetQualified", "Sheet1!B2:B8", "$B$2:$B$8"},
                      AddressCase{"QuotedNameWithBlank", "'Data 2024'!A1:B2", "$A$1:$B$2",
                                  "Data 2024"},
                      AddressCase{"QualifiedWithTheOtherSheet", "Sheet2!B2", "$B$2", "Sheet2"},
                      AddressCase{"OtherSheet", "Sheet2!B2", nullptr},
                      AddressCase{"Intersection", "A1 B2", nullptr},
                      AddressCase{"Empty", "", nullptr},
                      AddressCase{"Row1048577", "A1048577", nullptr},
                      AddressCase{"UnquotedNameWithBlank", "Data 2024!C3", nullptr, "Data 2024"}),
    [](const ::testing::TestParamInfo<AddressCase>& p) { return std::string(p.param.name); });

class AddressOnSheetTest : public HostFixture {
protected:
    AddressOnSheetTest() : HostFixture({"Sheet1", "It's", "合并临时单元格"}) {}
};

TEST_F(AddressOnSheetTest, QualifierMustNameTheVerySheet) {
    EXPECT_EQ(host.address(host.Range(sheet("It's"), "'It''s'!A1")), "$A$1");
    EXPECT_EQ(causeOf([&] { host.Range(sheet("It's"), "'It'!A1"); }),
              HostError::Cause::BadArgument);
    EXPECT_EQ(host.address(host.Range(sheet("合并临时单元格"), "合并临时单元格!b3:b2")),
              "$B$2:$B$3");
    EXPECT_EQ(causeOf([&] { host.Range(sheet("合并临时单元格"), "Sheet1!A1"); }),
              HostError::Cause::BadArgument);
}

struct CellsCase {
    const char* name;
    long row;
    long column;
    const char* printed;  // nullptr: BadArgument
};

class CellsTest : public HostFixture, public ::testing::WithParamInterface<CellsCase> {};

TEST_P(CellsTest, NumbersCellsFromOneUpToTheLimits) {
    const auto& c = GetParam();
    if (c.printed == nullptr) {
        EXPECT_EQ(causeOf([&] { host.Cells(sheet(), c.row, c.column); }),
                  HostError::Cause::BadArgument);
        return;
    }
    EXPECT_EQ(host.address(host.Cells(sheet(), c.row, c.column)), c.printed);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CellsTest,
    ::testing::Values(CellsCase{"A1", 1, 1, "$A$1"}, CellsCase{"Z", 6, 26, "$Z$6"},
                      CellsCase{"AA", 6, 27, "$AA$6"}, CellsCase{"AZ", 1, 52, "$AZ$1"},
                      CellsCase{"BA", 1, 53, "$BA$1"}, CellsCase{"ZZ", 1, 702, "$ZZ$1"},
                      CellsCase{"AAA", 1, 703, "$AAA$1"},
                      CellsCase{"XFD", 1048576, 16384, "$XFD$1048576"},
                      CellsCase{"ColumnBeyond", 1, 16385, nullptr},
                      CellsCase{"RowBeyond", 1048577, 1, nullptr},
                      CellsCase{"RowZero", 0, 1, nullptr}, CellsCase{"ColumnZero", 1, 0, nullptr},
                      CellsCase{"Negative", -1, 2, nullptr}),
    [](const ::testing::TestParamInfo<CellsCase>& p) { return std::string(p.param.name); });

TEST_F(HostFixture, RangeOfTwoRangesSpansBoth) {
    const SheetHandle s = sheet();
    EXPECT_EQ(host.address(host.Range(s, host.Cells(s, 7, 1), host.Cells(s, 6, 1))), "$A$6:$A$7");
    EXPECT_EQ(host.address(host.Range(s, host.Range(s, "C5"), host.Range(s, "A1:B2"))),
              "$A$1:$C$5");
    EXPECT_EQ(
        causeOf([&] { host.Range(s, host.Cells(s, 1, 1), host.Cells(sheet("Sheet2"), 2, 1)); }),
        HostError::Cause::BadArgument);
}

TEST_F(HostFixture, CountsAndOffsetOfTheFirstArea) {
    const SheetHandle s = sheet();
    EXPECT_EQ(host.RowsCount(host.Range(s, "B2:D8")), 7);
    EXPECT_EQ(host.ColumnsCount(host.Range(s, "B2:D8")), 3);
    EXPECT_EQ(host.RowsCount(host.Range(s, "B:B")), 1048576);
    EXPECT_EQ(host.ColumnsCount(host.Range(s, "3:3")), 16384);
    EXPECT_EQ(host.RowsCount(host.Range(s, "B2:B8,D2:D3")), 7);
    EXPECT_EQ(host.address(host.offset(host.Range(s, "A1"), std::nullopt, 5)), "$F$1");
    EXPECT_EQ(host.address(host.offset(host.Range(s, "B2:C3,E5"), 2, -1)), "$A$4:$B$5,$D$7");
    EXPECT_EQ(host.address(host.offset(host.Range(s, "A1"), std::nullopt, 16383)), "$XFD$1");
    EXPECT_EQ(causeOf([&] { host.offset(host.Range(s, "A1"), std::nullopt, 16384); }),
              HostError::Cause::BadArgument);
    EXPECT_EQ(causeOf([&] { host.offset(host.Range(s, "B:B"), 1, 0); }),
              HostError::Cause::BadArgument);
    EXPECT_EQ(causeOf([&] { host.offset(host.Range(s, "B2"), -2, 0); }),
              HostError::Cause::BadArgument);
}

}  // namespace
}  // namespace gridmoor::testing
