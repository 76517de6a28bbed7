// What Excel makes of a string put into Range.Value, for the fake Excel: Excel reads such a
// string as if it were typed into the cell. The model here is an English (United States)
// Excel:
// - A leading apostrophe makes the rest a text, kept without it (Excel keeps the apostrophe
//   as the cell's PrefixCharacter: learn.microsoft.com/office/vba/api/excel.range.prefixcharacter).
// - A leading "=" is a formula. The fake evaluates none and refuses the write, so a text
//   that turns into a formula fails the run instead of passing unnoticed.
// - The error names #NULL! #DIV/0! #VALUE! #REF! #NAME? #NUM! #N/A (any case) are those
//   errors (the XlCVError codes).
// - With spaces around: TRUE or FALSE in any case is a boolean; a decimal number with an
//   optional sign, point and exponent is a number ("001" is 1); m/d and m-d are that day
//   of the current year (support article Q90830: "4/15" and "4-15" are April 15);
//   m/d/yyyy, yyyy-m-d and yyyy/m/d are that date.
// Anything else stays a text, though Excel reads more (percentages, currency signs,
// thousands separators, month names, times, localized names): the tool must depend on
// none of it. The empty string passes on as it is.
#pragma once

#include <string>

#include "host/CellValue.h"

namespace gridmoor::fake {

// The cell value Excel makes of `typed`, as described above. A formula (a leading "="):
// HostError (BadArgument).
CellValue enteredValue(const std::string& typed);

}  // namespace gridmoor::fake
