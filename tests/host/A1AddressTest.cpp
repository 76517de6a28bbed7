// The A1 parser and printer every backend reads and prints addresses with: what Range(text)
// accepts on a given sheet, the absolute form `address` answers, column letters at the
// sheet's limits and the rule by which sheet names are compared.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "host/A1Address.h"

namespace gridmoor {
namespace {

struct AddressCase {
    const char* name;
    std::string typed;
    const char* printed;  // nullptr: refused with a reason
    const char* sheet = "Sheet1";
};

void PrintTo(const AddressCase& c, std::ostream* os) {
    *os << c.name << " (\"" << c.typed << "\" on " << c.sheet << ")";
}

class A1AddressTest : public ::testing::TestWithParam<AddressCase> {};

TEST_P(A1AddressTest, ReadsAndPrintsAsTheObjectModel) {
    const auto& c = GetParam();
    std::string why;
    const auto parsed = A1Address::parse(c.typed, c.sheet, &why);
    if (c.printed == nullptr) {
        EXPECT_FALSE(parsed.has_value()) << c.typed << " read as " << parsed->absolute();
        EXPECT_FALSE(why.empty()) << "no reason given for refusing " << c.typed;
        return;
    }
    ASSERT_TRUE(parsed.has_value()) << c.typed << ": " << why;
    EXPECT_EQ(parsed->absolute(), c.printed) << c.typed;
    for (const A1Area& a : parsed->areas()) EXPECT_TRUE(a.valid()) << absoluteAddress(a);
}

std::string longerThan255() {
    std::string s = "A1";
    while (s.size() <= 255) s += ",A1";
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Table, A1AddressTest,
    ::testing::Values(
        // --- read and printed back in absolute form ---
        AddressCase{"Column", "B2:B8", "$B$2:$B$8"},
        AddressCase{"LowerCaseSwapped", "b8:b2", "$B$2:$B$8"},
        AddressCase{"DollarsLowerCaseSwapped", "$b$8:b2", "$B$2:$B$8"},
        AddressCase{"DollarsOnOneCornerSwapped", "$b$8:B2", "$B$2:$B$8"},
        AddressCase{"MixedDollars", "B$2:$B8", "$B$2:$B$8"},
        AddressCase{"DiagonalSwapped", "D2:B8", "$B$2:$D$8"},
        AddressCase{"DiagonalSwappedOtherWay", "B8:D2", "$B$2:$D$8"},
        AddressCase{"BothCornersSwapped", "D8:B2", "$B$2:$D$8"},
        AddressCase{"Row", "A3:F3", "$A$3:$F$3"},
        AddressCase{"LongRowsAndColumns", "AA10:AA120", "$AA$10:$AA$120"},
        AddressCase{"OneCell", "B2", "$B$2"}, AddressCase{"OneCellTwoCorners", "B2:B2", "$B$2"},
        AddressCase{"WholeColumn", "B:B", "$B:$B"},
        AddressCase{"WholeColumnsSwapped", "d:$b", "$B:$D"},
        AddressCase{"WholeColumnsSwappedUpper", "$C:B", "$B:$C"},
        AddressCase{"WholeRow", "3:3", "$3:$3"}, AddressCase{"WholeRowsSwapped", "$5:2", "$2:$5"},
        AddressCase{"WholeRowsSwappedDollarLast", "5:$2", "$2:$5"},
        AddressCase{"ColumnOfCellsIsWholeColumn", "A1:A1048576", "$A:$A"},
        AddressCase{"ColumnOfCellsIsWholeColumnB", "B1:B1048576", "$B:$B"},
        AddressCase{"RowOfCellsIsWholeRow", "A7:XFD7", "$7:$7"},
        AddressCase{"FirstRowOfCellsIsWholeRow", "A1:XFD1", "$1:$1"},
        AddressCase{"AllColumnsIsWholeSheet", "A:XFD", "$1:$1048576"},
        AddressCase{"AllRowsIsWholeSheet", "1:1048576", "$1:$1048576"},
        AddressCase{"LastCell", "xfd1048576", "$XFD$1048576"},
        AddressCase{"LastCellUpper", "XFD1048576", "$XFD$1048576"},
        AddressCase{"TwoAreas", "B2:B8,D2:D8", "$B$2:$B$8,$D$2:$D$8"},
        AddressCase{"AreasKeepTheirOrder", "D1,B:B,2:2", "$D$1,$B:$B,$2:$2"},
        AddressCase{"OwnSheetQualified", "Sheet1!B2:B8", "$B$2:$B$8"},
        AddressCase{"OwnSheetAnyCase", "sHEET1!$B$2", "$B$2"},
        AddressCase{"OwnSheetQuoted", "'Sheet1'!B2,'SHEET1'!C3", "$B$2,$C$3"},
        AddressCase{"QuotedNameWithBlank", "'Data 2024'!A1:B2", "$A$1:$B$2", "Data 2024"},
        AddressCase{"QuotedNameWithQuote", "'It''s'!A1", "$A$1", "It's"},
        AddressCase{"ChineseSheetName", "合并临时单元格!b3:b2", "$B$2:$B$3", "合并临时单元格"},
        // --- refused ---
        AddressCase{"OtherSheet", "Sheet2!B2", nullptr},
        AddressCase{"OtherSheetQuoted", "'Sheet2'!B2", nullptr},
        AddressCase{"QualifiedOnAnotherSheet", "Sheet1!A1", nullptr, "Data 2024"},
        AddressCase{"QuotedPrefixOfTheName", "'It'!A1", nullptr, "It's"},
        AddressCase{"OneAreaOnOtherSheet", "B2,Sheet2!C3", nullptr},
        AddressCase{"OtherWorkbook", "[Book2.xlsx]Sheet1!B2", nullptr},
        AddressCase{"UnclosedQuote", "'Sheet1!B2", nullptr},
        AddressCase{"CalcSheetSeparator", "Sheet1.A1", nullptr},
        AddressCase{"ColumnXFE", "XFE1", nullptr}, AddressCase{"WholeColumnXFE", "A:XFE", nullptr},
        AddressCase{"FourLetters", "AAAA1", nullptr}, AddressCase{"RowZero", "A0", nullptr},
        AddressCase{"Row1048577", "A1048577", nullptr},
        AddressCase{"EightDigitRow", "A99999999", nullptr},
        AddressCase{"WholeRow1048577", "1:1048577", nullptr}, AddressCase{"Empty", "", nullptr},
        AddressCase{"Blank", " ", nullptr}, AddressCase{"TrailingBlank", "B2:B8 ", nullptr},
        AddressCase{"TrailingBlankOneCell", "B2 ", nullptr},
        AddressCase{"LeadingBlank", " B2", nullptr}, AddressCase{"Intersection", "A1 B2", nullptr},
        AddressCase{"BlankBeforeComma", "B2:B8 ,D2:D8", nullptr},
        AddressCase{"Tab", "B2\tB8", nullptr}, AddressCase{"ColumnAlone", "B", nullptr},
        AddressCase{"RowAlone", "3", nullptr}, AddressCase{"CellAndColumn", "B2:C", nullptr},
        AddressCase{"CellAndSameColumn", "A1:A", nullptr},
        AddressCase{"ColumnAndRow", "B:3", nullptr},
        AddressCase{"ThreeCorners", "B2:B8:B9", nullptr},
        AddressCase{"ThreeCellCorners", "B2:C3:D4", nullptr},
        AddressCase{"TrailingComma", "B2,", nullptr}, AddressCase{"LeadingComma", ",B2", nullptr},
        AddressCase{"OpenCorner", "A1:", nullptr}, AddressCase{"OpenCornerB", "B2:", nullptr},
        AddressCase{"DollarAlone", "$", nullptr}, AddressCase{"DollarAfterColumn", "B$", nullptr},
        AddressCase{"TwoDollars", "$$B2", nullptr}, AddressCase{"DigitsFirst", "2B", nullptr},
        AddressCase{"R1C1", "R1C1", nullptr}, AddressCase{"Semicolon", "B2;B8", nullptr},
        AddressCase{"Chinese", "合并", nullptr}, AddressCase{"ErrorText", "#REF!", nullptr},
        AddressCase{"TooLong", longerThan255(), nullptr},
        AddressCase{"UnquotedNameWithBlank", "Data 2024!C3", nullptr, "Data 2024"}),
    [](const ::testing::TestParamInfo<AddressCase>& p) { return std::string(p.param.name); });

struct ColumnCase {
    std::int32_t number;
    const char* letters;  // "": the number names no column
};

void PrintTo(const ColumnCase& c, std::ostream* os) {
    *os << "column " << c.number << " (\"" << c.letters << "\")";
}

class ColumnLettersTest : public ::testing::TestWithParam<ColumnCase> {};

TEST_P(ColumnLettersTest, NumbersAndLettersMatchBothWays) {
    const auto& c = GetParam();
    EXPECT_EQ(columnLetters(c.number), c.letters);
    if (*c.letters != '\0') {
        EXPECT_EQ(columnNumber(c.letters), c.number);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ColumnLettersTest,
                         ::testing::Values(ColumnCase{1, "A"}, ColumnCase{26, "Z"},
                                           ColumnCase{27, "AA"}, ColumnCase{52, "AZ"},
                                           ColumnCase{53, "BA"}, ColumnCase{702, "ZZ"},
                                           ColumnCase{703, "AAA"}, ColumnCase{16384, "XFD"},
                                           ColumnCase{0, ""}, ColumnCase{-1, ""},
                                           ColumnCase{16385, ""}));

TEST(ColumnNumber, AnyCaseUpToXfdAndNothingElse) {
    EXPECT_EQ(columnNumber("xfd"), 16384);
    EXPECT_EQ(columnNumber("aA"), 27);
    EXPECT_EQ(columnNumber("XFE"), std::nullopt);
    EXPECT_EQ(columnNumber("AAAA"), std::nullopt);
    EXPECT_EQ(columnNumber("A1"), std::nullopt);
    EXPECT_EQ(columnNumber("$A"), std::nullopt);
    EXPECT_EQ(columnNumber(""), std::nullopt);
}

// Moving and sizing an area at the sheet's limits: a result that would leave the sheet is
// nothing, and no offset, however large, wraps around into the sheet.
struct ReshapeCase {
    const char* name;
    const char* area;
    std::int64_t rows;
    std::int64_t columns;
    const char* printed;  // nullptr: nothing
};

void PrintTo(const ReshapeCase& c, std::ostream* os) {
    *os << c.name << " (" << c.area << " by " << c.rows << ", " << c.columns << ")";
}

A1Area areaOf(const char* text) {
    return A1Address::parse(text, "Sheet1")->areas().front();
}

std::optional<std::string> printedOrNothing(const std::optional<A1Area>& a) {
    if (!a) return std::nullopt;
    return absoluteAddress(*a);
}

std::optional<std::string> expected(const char* printed) {
    if (!printed) return std::nullopt;
    return std::string(printed);
}

class OffsetByTest : public ::testing::TestWithParam<ReshapeCase> {};

TEST_P(OffsetByTest, MovesWithinTheSheetOnly) {
    const auto& c = GetParam();
    EXPECT_EQ(printedOrNothing(areaOf(c.area).offsetBy(c.rows, c.columns)), expected(c.printed));
}

INSTANTIATE_TEST_SUITE_P(
    Table, OffsetByTest,
    ::testing::Values(ReshapeCase{"Down", "B2:C3", 1, 0, "$B$3:$C$4"},
                      ReshapeCase{"UpLeft", "B2:C3", -1, -1, "$A$1:$B$2"},
                      ReshapeCase{"AboveRowOne", "B2:C3", -2, 0, nullptr},
                      ReshapeCase{"BeforeColumnA", "B2", 0, -2, nullptr},
                      ReshapeCase{"ToTheLastRow", "A1048575", 1, 0, "$A$1048576"},
                      ReshapeCase{"PastTheLastRow", "A1048576", 1, 0, nullptr},
                      ReshapeCase{"ToXfd", "XFC1", 0, 1, "$XFD$1"},
                      ReshapeCase{"PastXfd", "XFD1", 0, 1, nullptr},
                      ReshapeCase{"WholeColumnDown", "B:B", 1, 0, nullptr},
                      ReshapeCase{"WholeColumnAcross", "B:B", 0, 2, "$D:$D"},
                      ReshapeCase{"HugeRows", "A1", std::int64_t{1} << 40, 0, nullptr},
                      ReshapeCase{"HugeNegativeColumns", "XFD1", 0, -(std::int64_t{1} << 40),
                                  nullptr},
                      ReshapeCase{"WrapsNotAround", "A2", 4294967295, 0, nullptr}),
    [](const ::testing::TestParamInfo<ReshapeCase>& p) { return std::string(p.param.name); });

class ResizedTest : public ::testing::TestWithParam<ReshapeCase> {};

TEST_P(ResizedTest, KeepsTheTopLeftCell) {
    const auto& c = GetParam();
    EXPECT_EQ(printedOrNothing(areaOf(c.area).resized(c.rows, c.columns)), expected(c.printed));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ResizedTest,
    ::testing::Values(ReshapeCase{"CellToBlock", "B2", 3, 2, "$B$2:$C$4"},
                      ReshapeCase{"BlockToCell", "B2:D9", 1, 1, "$B$2"},
                      ReshapeCase{"ToTheLastRow", "A2", 1048575, 1, "$A$2:$A$1048576"},
                      ReshapeCase{"PastTheLastRow", "A2", 1048576, 1, nullptr},
                      ReshapeCase{"ToXfd", "B1", 1, 16383, "$B$1:$XFD$1"},
                      ReshapeCase{"PastXfd", "B1", 1, 16384, nullptr},
                      ReshapeCase{"NoRows", "B2", 0, 1, nullptr},
                      ReshapeCase{"NegativeColumns", "B2", 1, -1, nullptr},
                      ReshapeCase{"Huge", "A1", std::int64_t{1} << 40, 1, nullptr}),
    [](const ::testing::TestParamInfo<ReshapeCase>& p) { return std::string(p.param.name); });

struct NameCase {
    const char* a;
    const char* b;
    bool same;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << "\"" << c.a << "\" vs \"" << c.b << "\"";
}

class SameNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(SameNameTest, OnlyAsciiLettersFoldCase) {
    const auto& c = GetParam();
    EXPECT_EQ(sameNameIgnoringCase(c.a, c.b), c.same);
    EXPECT_EQ(sameNameIgnoringCase(c.b, c.a), c.same);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SameNameTest,
    ::testing::Values(NameCase{"Sheet1", "Sheet1", true}, NameCase{"Sheet1", "sHEET1", true},
                      NameCase{"合并临时单元格", "合并临时单元格", true},
                      NameCase{"Sheet1", "Sheet2", false}, NameCase{"Sheet", "Sheet1", false},
                      NameCase{"Sheet[1]", "Sheet{1}", false}, NameCase{"Étape", "étape", false},
                      NameCase{"", "", true}));

}  // namespace
}  // namespace gridmoor
