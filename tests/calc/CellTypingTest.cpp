#include <gtest/gtest.h>

#include "host/calc/CellTyping.h"

namespace gridmoor::calc {
namespace {

TEST(CellTyping, DaysFromCivil) {
    EXPECT_EQ(daysFromCivil(1970, 1, 1), 0);
    EXPECT_EQ(daysFromCivil(1899, 12, 30), -25569);
    EXPECT_EQ(daysFromCivil(1904, 1, 1) - daysFromCivil(1899, 12, 30), 1462);
    EXPECT_EQ(daysFromCivil(2000, 3, 1) - daysFromCivil(2000, 2, 28), 2);  // a leap year
    EXPECT_EQ(daysFromCivil(1900, 3, 1) - daysFromCivil(1900, 2, 28), 1);  // not one
}

TEST(CellTyping, CalcErrorsToTheObjectModels) {
    const struct {
        std::int32_t calc, objectModel;
    } cases[] = {{532, 2007}, {524, 2023},   {525, 2029}, {503, 2036}, {523, 2036},
                 {521, 2000}, {32767, 2042}, {504, 2015}, {0, 2015}};
    for (const auto& c : cases) EXPECT_EQ(objectModelError(c.calc), c.objectModel) << c.calc;
}

TEST(CellTyping, NumbersTypedByTheirFormat) {
    EXPECT_TRUE(identical(numberAs(10, Typing::Date, 1462), CellValue::date(1472)));
    EXPECT_TRUE(identical(numberAs(-1, Typing::Boolean, 0), CellValue::boolean(true)));
    EXPECT_TRUE(identical(numberAs(0, Typing::Boolean, 0), CellValue::boolean(false)));
    EXPECT_TRUE(identical(numberAs(1.23456, Typing::Currency, 0), CellValue::currency(12346)));
    EXPECT_TRUE(identical(numberAs(2.5, Typing::Plain, 99), CellValue::floating(2.5)));
    EXPECT_EQ(typingFor(CellValue::date(3)), Typing::Date);
    EXPECT_EQ(typingFor(CellValue::text("1")), Typing::Plain);
    EXPECT_EQ(typingFor(CellValue::floating(1)), Typing::Plain);
}

}  // namespace
}  // namespace gridmoor::calc
