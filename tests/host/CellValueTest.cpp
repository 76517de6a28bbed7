#include <gtest/gtest.h>

#include <ostream>

#include "host/CellValue.h"
#include "host/Failure.h"

namespace gridmoor {
namespace {

struct EqualityCase {
    const char* name;
    CellValue left;
    CellValue right;
    bool equal;
};

// Test names and failure messages show the case's name, not its bytes.
void PrintTo(const EqualityCase& c, std::ostream* os) {
    *os << c.name;
}

class EqualityTest : public ::testing::TestWithParam<EqualityCase> {};

TEST_P(EqualityTest, FollowsTheEqualityTableBothWays) {
    const auto& c = GetParam();
    EXPECT_EQ(valuesEqual(c.left, c.right), c.equal)
        << describe(c.left) << " vs " << describe(c.right);
    EXPECT_EQ(valuesEqual(c.right, c.left), c.equal)
        << describe(c.right) << " vs " << describe(c.left);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EqualityTest,
    ::testing::Values(
        EqualityCase{"EmptyEmpty", CellValue{}, CellValue{}, true},
        EqualityCase{"EmptyZero", CellValue{}, CellValue::integer(0), true},
        EqualityCase{"EmptyZeroFloating", CellValue{}, CellValue::floating(0.0), true},
        EqualityCase{"EmptyFalse", CellValue{}, CellValue::boolean(false), true},
        EqualityCase{"EmptyOne", CellValue{}, CellValue::integer(1), false},
        EqualityCase{"EmptyEmptyText", CellValue{}, CellValue::text(""), true},
        EqualityCase{"EmptyBlankText", CellValue{}, CellValue::text(" "), false},
        EqualityCase{"ZeroEmptyText", CellValue::integer(0), CellValue::text(""), false},
        EqualityCase{"OneTextOne", CellValue::integer(1), CellValue::text("1"), false},
        EqualityCase{"CaseMatters", CellValue::text("a"), CellValue::text("A"), false},
        EqualityCase{"SameText", CellValue::text("合并"), CellValue::text("合并"), true},
        EqualityCase{"IntegerFloating", CellValue::integer(1), CellValue::floating(1.0), true},
        EqualityCase{"CurrencyFloating", CellValue::currency(15000), CellValue::floating(1.5),
                     true},
        EqualityCase{"TrueMinusOne", CellValue::boolean(true), CellValue::integer(-1), true},
        EqualityCase{"TrueOne", CellValue::boolean(true), CellValue::integer(1), false},
        EqualityCase{"DateSerial", CellValue::date(45000), CellValue::integer(45000), true},
        EqualityCase{"DifferentNumbers", CellValue::floating(0.1), CellValue::floating(0.2),
                     false}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(EqualityTest, AnErrorOnEitherSideFailsTheComparison) {
    const CellValue others[] = {CellValue{}, CellValue::integer(0), CellValue::text("x"),
                                CellValue::error(2007)};
    for (const auto& other : others) {
        EXPECT_THROW(valuesEqual(CellValue::error(2007), other), ValueError) << describe(other);
        EXPECT_THROW(valuesEqual(other, CellValue::error(2042)), ValueError) << describe(other);
    }
}

TEST(EqualsTextTest, ComparesTextForms) {
    EXPECT_TRUE(equalsText(CellValue{}, ""));
    EXPECT_TRUE(equalsText(CellValue::text("合并临时单元格"), "合并临时单元格"));
    EXPECT_FALSE(equalsText(CellValue::text("Sheet1"), "sheet1"));
    EXPECT_TRUE(equalsText(CellValue::integer(12), "12"));
    EXPECT_THROW(equalsText(CellValue::error(2007), ""), ValueError);
}

struct TextFormCase {
    const char* name;
    CellValue value;
    const char* text;
};

// Test names and failure messages show the case's name, not its bytes.
void PrintTo(const TextFormCase& c, std::ostream* os) {
    *os << c.name;
}

class TextFormTest : public ::testing::TestWithParam<TextFormCase> {};

TEST_P(TextFormTest, MatchesTheObjectModelsConversion) {
    EXPECT_EQ(GetParam().value.textForm(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TextFormTest,
    ::testing::Values(TextFormCase{"Empty", CellValue{}, ""},
                      TextFormCase{"EmptyText", CellValue::text(""), ""},
                      TextFormCase{"Zero", CellValue::integer(0), "0"},
                      TextFormCase{"Negative", CellValue::integer(-42), "-42"},
                      TextFormCase{"Fraction", CellValue::floating(1.5), "1.5"},
                      TextFormCase{"RoundsTo15Digits", CellValue::floating(0.1 + 0.2), "0.3"},
                      TextFormCase{"NegativeZero", CellValue::floating(-0.0), "0"},
                      TextFormCase{"Large", CellValue::floating(1e20), "1E+20"},
                      TextFormCase{"Small", CellValue::floating(1.25e-7), "1.25E-07"},
                      TextFormCase{"CurrencyWhole", CellValue::currency(20000), "2"},
                      TextFormCase{"CurrencyCents", CellValue::currency(-12500), "-1.25"},
                      TextFormCase{"True", CellValue::boolean(true), "True"},
                      TextFormCase{"False", CellValue::boolean(false), "False"},
                      TextFormCase{"Date", CellValue::date(45658), "2025/1/1"},
                      TextFormCase{"DateEpoch", CellValue::date(0), "1899/12/30"},
                      TextFormCase{"DateWithTime", CellValue::date(45658.75), "2025/1/1 18:00:00"},
                      TextFormCase{"LeapDay", CellValue::date(45351), "2024/2/29"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(TextFormTest, AnErrorValueHasNone) {
    EXPECT_THROW(CellValue::error(2007).textForm(), ValueError);
}

TEST(CellValueTest, KindsSurviveCopies) {
    const CellValue values[] = {CellValue::integer(3),      CellValue::floating(3),
                                CellValue::currency(30000), CellValue::date(3),
                                CellValue::boolean(true),   CellValue::text("3"),
                                CellValue::error(2042),     CellValue{}};
    for (const auto& v : values) {
        CellValue copy = v;
        EXPECT_TRUE(identical(copy, v)) << describe(v);
        for (const auto& other : values) {
            if (&other == &v) continue;
            EXPECT_FALSE(identical(copy, other)) << describe(v) << " " << describe(other);
        }
    }
}

TEST(RangeValueTest, IndexesOnlyArraysAndOnlyWithinBounds) {
    ValueArray a(2, 3);
    a.at(2, 3) = CellValue::text("last");
    const RangeValue array{a};
    EXPECT_EQ(array.at(2, 3).text(), "last");
    EXPECT_TRUE(array.at(1, 1).isEmpty());
    EXPECT_THROW(array.at(0, 1), ValueError);
    EXPECT_THROW(array.at(3, 1), ValueError);
    EXPECT_THROW(array.at(1, 4), ValueError);
    EXPECT_THROW(array.single(), ValueError);

    const RangeValue single{CellValue::integer(5)};
    EXPECT_THROW(single.at(1, 1), ValueError);
    EXPECT_EQ(single.single().number(), 5);
}

}  // namespace
}  // namespace gridmoor
