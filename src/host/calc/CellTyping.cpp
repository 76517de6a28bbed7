#include "host/calc/CellTyping.h"

#include <cmath>

namespace gridmoor::calc {

Typing typingFor(const CellValue& v) {
    if (!v.isNumber()) return Typing::Plain;
    switch (v.numberKind()) {
        case NumberKind::Date:
            return Typing::Date;
        case NumberKind::Boolean:
            return Typing::Boolean;
        case NumberKind::Currency:
            return Typing::Currency;
        default:
            return Typing::Plain;
    }
}

CellValue numberAs(double num, Typing t, long offsetDays) {
    switch (t) {
        case Typing::Date:
            return CellValue::date(num + static_cast<double>(offsetDays));
        case Typing::Boolean:
            return CellValue::boolean(num != 0);
        case Typing::Currency:
            return CellValue::currency(std::llround(num * 10000.0));
        case Typing::Plain:
            break;
    }
    return CellValue::floating(num);
}

std::int32_t objectModelError(std::int32_t calcError) {
    switch (calcError) {
        case 532:
            return 2007;  // #DIV/0!
        case 524:
            return 2023;  // #REF!
        case 525:
            return 2029;  // #NAME?
        case 503:
        case 523:
            return 2036;  // #NUM!
        case 521:
            return 2000;  // #NULL!
        case 32767:
            return 2042;  // #N/A
        default:
            return 2015;  // #VALUE! and everything Calc has beyond the object model's set
    }
}

const char* errorFormula(std::int32_t code) {
    switch (code) {
        case 2007:
            return "=1/0";
        case 2023:
            return "=INDIRECT(\"#\")";
        case 2036:
            return "=SQRT(-1)";
        case 2042:
            return "=NA()";
        default:
            return "=\"\"+\"a\"";
    }
}

long daysFromCivil(long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long>(doe) - 719468;
}

}  // namespace gridmoor::calc
