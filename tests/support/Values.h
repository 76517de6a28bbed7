// Short ways to write cell values and messages in the command tests' tables.
#pragma once

#include <string>
#include <string_view>

#include "host/CellValue.h"

namespace gridmoor::testing {

inline CellValue txt(const char* s) {
    return CellValue::text(s);
}
inline CellValue num(long v) {
    return CellValue::integer(v);
}
inline const CellValue kBlank{};

// A message as the window shows it: its beginning and the reason it goes on with.
inline std::string msg(std::string_view a, std::string_view b = {}) {
    return std::string(a) + std::string(b);
}

}  // namespace gridmoor::testing
