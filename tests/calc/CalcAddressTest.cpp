#include <gtest/gtest.h>

#include "host/calc/CalcAddress.h"

namespace gridmoor::calc {
namespace {

struct ParseCase {
    const char* text;
    const char* printed;  // nullptr: refused
};

class A1Test : public ::testing::TestWithParam<ParseCase> {};

TEST_P(A1Test, ParsesAndPrintsInAbsoluteForm) {
    const ParseCase& c = GetParam();
    const auto areas = parseA1(c.text);
    if (c.printed == nullptr) {
        EXPECT_FALSE(areas.has_value()) << c.text;
    } else {
        ASSERT_TRUE(areas.has_value()) << c.text;
        EXPECT_EQ(printA1(*areas), c.printed);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, A1Test,
    ::testing::Values(
        ParseCase{"B2:B8", "$B$2:$B$8"}, ParseCase{"b8:b2", "$B$2:$B$8"},
        ParseCase{"$b$8:B2", "$B$2:$B$8"}, ParseCase{"D8:B2", "$B$2:$D$8"}, ParseCase{"B2", "$B$2"},
        ParseCase{"B2:B2", "$B$2"}, ParseCase{"B:B", "$B:$B"}, ParseCase{"$C:B", "$B:$C"},
        ParseCase{"3:3", "$3:$3"}, ParseCase{"5:$2", "$2:$5"},
        ParseCase{"B2:B8,D2:D8", "$B$2:$B$8,$D$2:$D$8"}, ParseCase{"XFD1048576", "$XFD$1048576"},
        ParseCase{"A1:XFD1", "$1:$1"}, ParseCase{"B1:B1048576", "$B:$B"},
        ParseCase{"XFE1", nullptr}, ParseCase{"A1048577", nullptr}, ParseCase{"A0", nullptr},
        ParseCase{"", nullptr}, ParseCase{" B2", nullptr}, ParseCase{"B2 ", nullptr},
        ParseCase{"B2:", nullptr}, ParseCase{"A1:A", nullptr}, ParseCase{"B:3", nullptr},
        ParseCase{"B", nullptr}, ParseCase{"3", nullptr}, ParseCase{"B2,", nullptr},
        ParseCase{"Sheet1!A1", nullptr}, ParseCase{"Sheet1.A1", nullptr}, ParseCase{"B$", nullptr},
        ParseCase{"$$B2", nullptr}, ParseCase{"AAAA1", nullptr}, ParseCase{"A99999999", nullptr},
        ParseCase{"B2:C3:D4", nullptr}));

TEST(ColumnLetters, Limits) {
    EXPECT_EQ(columnLetters(1), "A");
    EXPECT_EQ(columnLetters(26), "Z");
    EXPECT_EQ(columnLetters(27), "AA");
    EXPECT_EQ(columnLetters(16384), "XFD");
}

}  // namespace
}  // namespace gridmoor::calc
