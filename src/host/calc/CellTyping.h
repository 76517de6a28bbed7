// How the object model types a cell's number, and the conversions between Calc's numbers and
// error codes and the object model's. Pure: no UNO, so it is tested without Calc.
#pragma once

#include <cstdint>

#include "host/CellValue.h"

namespace gridmoor::calc {

// How a cell's number format makes the object model type its number.
enum class Typing : std::uint8_t { Plain, Date, Boolean, Currency };

// The typing a written value asks its cell to keep (Plain for texts, errors and plain numbers).
Typing typingFor(const CellValue& v);

// A number read from a cell, typed as its number format says. `offsetDays`: days from
// 1899-12-30 to the document's null date, added to dates so that they count from the
// object model's epoch.
CellValue numberAs(double num, Typing t, long offsetDays);

// Calc's error numbers to the object model's (xlErrDiv0 = 2007, ...); every error the object
// model has no number for becomes #VALUE! (2015).
std::int32_t objectModelError(std::int32_t calcError);

// A formula (ASCII) that gives the object model's error `code`, for writing an error value.
const char* errorFormula(std::int32_t code);

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
long daysFromCivil(long y, unsigned m, unsigned d);

}  // namespace gridmoor::calc
