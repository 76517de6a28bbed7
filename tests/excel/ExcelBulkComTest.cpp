// mergeAreas across processes, against the fake Excel in a child process, under every way
// Excel might merge a range of several areas: the workbook ends as after one Merge per area,
// within a bound on round trips. What the bulk operations do on every backend, with what
// they cost through COM, is the host contract suite's (ExcelBench.cpp runs it here).
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "WithFakeExcel.h"
#include "host/HostLink.h"
#include "host/excel/ExcelHost.h"
#include "host/memory/MemoryHost.h"
#include "platform/win/WinText.h"
#include "support/Areas.h"

namespace gridmoor {
namespace {

const char* const kMergeModels[] = {
    "AreaByArea+Union", "AreaByArea+Refused", "FirstAreaOnly+Union", "FirstAreaOnly+Refused",
    "Refused+Union",    "Refused+Refused",    "BoundingBox+Union",   "BoundingBox+Refused",
};

void setMergeModel(IDispatch* app, const char* model) {
    com::invoke(app, L"GridmoorMergeModel", DISPATCH_PROPERTYPUT,
                {com::Variant::text(win::widen(model))});
}

A1Area area(const char* text) {
    return A1Address::parse(text, "").value().areas().front();
}

using gridmoor::testing::runs;

// A workbook state to start from on Sheet2, the areas to merge, and where to look after.
struct MergeCase {
    const char* name;
    std::vector<A1Area> existing;  // merged first, one Merge each
    std::vector<A1Area> areas;     // then merged with mergeAreas
    A1Area checked;                // every cell filled before, compared after
};

void PrintTo(const MergeCase& c, std::ostream* os) {
    *os << c.name;
}

const MergeCase kMergeCases[] = {
    // More areas than one 255-character address holds, values in every cell between.
    {"ManyAreasWithValuesBetween", {}, runs(1, 90, 2), area("A1:A270")},
    // Merged areas inside the areas to merge (the caller's precondition allows them).
    {"AreasHoldingMergedAreas",
     {area("A2:A3"), area("A9:B10")},
     {area("A1:A4"), area("A6:A7"), area("A9:B12"), area("A14:A15")},
     area("A1:B16")},
    // A merged area in a gap between the areas: a probe could not undo its own UnMerge.
    {"AMergedAreaBetweenAreas",
     {area("A3:B3")},
     {area("A1:A2"), area("A4:A5"), area("A7:A9"), area("A11:A12")},
     area("A1:B13")},
};

// Fills every cell of `box` with a value of its own, then merges `existing`.
void prepare(SpreadsheetHost& h, SheetHandle sheet, const MergeCase& c) {
    for (std::int32_t row = c.checked.top; row <= c.checked.bottom; ++row)
        for (std::int32_t column = c.checked.left; column <= c.checked.right; ++column)
            h.setValue(h.Cells(sheet, row, column), CellValue::integer(row * 100 + column));
    for (const A1Area& a : c.existing) h.Merge(h.Range(sheet, absoluteAddress(a)));
}

std::vector<std::string> sortedAddresses(const std::vector<A1Area>& areas) {
    std::vector<std::string> out;
    for (const A1Area& a : areas) out.push_back(absoluteAddress(a));
    std::sort(out.begin(), out.end());
    return out;
}

// The reference: the same workbook in the in-memory model, each area merged on its own.
struct Reference {
    std::vector<std::string> merged;
    std::vector<CellValue> values;
};

Reference mergedOneByOne(const MergeCase& c) {
    MemoryHost model;
    model.addWorkbook("Book1.xlsx", {"Sheet1", "Sheet2"});
    model.setDisplayAlerts(false);
    model.beginRun();
    const AppHandle app = *model.attach(kApplicationClass);
    const SheetHandle sheet = model.Sheets(app, "Sheet2");
    prepare(model, sheet, c);
    for (const A1Area& a : c.areas) model.Merge(model.Range(sheet, absoluteAddress(a)));
    Reference r{{}, model.cells("Sheet2", absoluteAddress(c.checked))};
    for (const std::string& m : model.mergedAreas("Sheet2")) r.merged.push_back(m);
    std::sort(r.merged.begin(), r.merged.end());
    model.endRun();
    return r;
}

class MergeAreas : public WithFakeExcel,
                   public ::testing::WithParamInterface<std::tuple<MergeCase, const char*>> {};

// Whatever Excel makes of one Merge over several areas, the workbook ends as after one
// Merge per area; only the round trips differ.
TEST_P(MergeAreas, EndAsOneMergePerAreaUnderEveryModel) {
    const auto& [c, mergeModel] = GetParam();
    start();
    ExcelHost host;
    HostLink link(host);
    link.attach();
    const com::Ref<IDispatch> app = rawApplication();
    setMergeModel(app.get(), mergeModel);
    host.DisplayAlerts(link.app(), false);
    const SheetHandle sheet = host.Sheets(link.app(), "Sheet2");
    prepare(host, sheet, c);

    const long before = roundTrips(app.get());
    host.mergeAreas(sheet, c.areas);
    const long trips = roundTrips(app.get()) - before - 2;

    const Reference expected = mergedOneByOne(c);
    EXPECT_EQ(sortedAddresses(host.mergedAreasMeeting(sheet, c.checked)), expected.merged);
    const CellBlock block = host.readBlock(sheet, c.checked);
    ASSERT_EQ(block.values.size(), expected.values.size());
    for (std::size_t i = 0; i < block.values.size(); ++i) {
        EXPECT_TRUE(identical(block.values[i], expected.values[i]))
            << "cell " << i << ": " << describe(block.values[i]) << " instead of "
            << describe(expected.values[i]);
    }
    // One Range and one Merge per area at most, beside the probe and its undoing.
    const auto areas = static_cast<long>(c.areas.size());
    EXPECT_LE(trips, 2 * areas + 120) << trips;
    if (std::string(mergeModel).starts_with("AreaByArea") && areas > 50) {
        EXPECT_LT(trips, areas) << "areas were not merged several per call";
    }
}

INSTANTIATE_TEST_SUITE_P(Bulk, MergeAreas,
                         ::testing::Combine(::testing::ValuesIn(kMergeCases),
                                            ::testing::ValuesIn(kMergeModels)),
                         [](const ::testing::TestParamInfo<std::tuple<MergeCase, const char*>>& p) {
                             std::string model = std::get<1>(p.param);
                             model.replace(model.find('+'), 1, "_");
                             return std::string(std::get<0>(p.param).name) + "_" + model;
                         });

}  // namespace
}  // namespace gridmoor
