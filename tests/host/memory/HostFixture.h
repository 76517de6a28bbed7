// A workbook on a MemoryHost, opened for one run, with short ways to reach sheets and
// ranges through the SpreadsheetHost interface.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "host/memory/MemoryHost.h"
#include "support/Causes.h"
#include "support/Values.h"

namespace gridmoor::testing {

// Whether the two lists hold identical values (kind, subkind and payload), saying where
// they differ when they do not.
inline ::testing::AssertionResult sameValues(const std::vector<CellValue>& actual,
                                             const std::vector<CellValue>& expected) {
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure()
               << actual.size() << " values, expected " << expected.size();
    for (std::size_t i = 0; i < actual.size(); ++i)
        if (!identical(actual[i], expected[i]))
            return ::testing::AssertionFailure() << "value " << i << " is " << describe(actual[i])
                                                 << ", expected " << describe(expected[i]);
    return ::testing::AssertionSuccess();
}

class HostFixture : public ::testing::Test {
protected:
    explicit HostFixture(std::vector<std::string> sheets = {"Sheet1", "Sheet2"}) {
        host.addWorkbook("Book1.xlsx", std::move(sheets));
        host.beginRun();
        app = host.attach(kApplicationClass).value();
    }
    ~HostFixture() override { host.endRun(); }

    SheetHandle sheet(std::string_view name = "Sheet1") { return host.Sheets(app, name); }
    RangeHandle range(std::string_view address, std::string_view sheetName = "Sheet1") {
        return host.Range(sheet(sheetName), address);
    }

    MemoryHost host;
    AppHandle app;
};

}  // namespace gridmoor::testing
