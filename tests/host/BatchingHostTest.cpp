// The batching layer must be invisible: both range commands end exactly as when they call
// the backend cell by cell, on workbooks drawn at random (runs, blanks, every kind of value,
// merged areas already there, blocks and ranges of several areas) and on a backend that
// keeps some written values as another kind.
#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "host/BatchingHost.h"
#include "host/ForwardingHost.h"
#include "host/memory/MemoryHost.h"
#include "merge/SmartMerge.h"
#include "merge/UnmergeFill.h"
#include "support/RecordingView.h"

namespace gridmoor {
namespace {

using testing::RecordingView;

constexpr const char* kRegion = "A1:G42";

// A backend that keeps a whole number written into column C as a date of the same serial,
// as an application does under a date format: the value read back is not the one written.
class DatesInColumnC : public ForwardingBulkHost {
public:
    using ForwardingBulkHost::ForwardingBulkHost;

    void setValue(RangeHandle range, const CellValue& value) override {
        const auto parsed = A1Address::parse(inner().address(range), "");
        const bool inC = parsed && parsed->areas().size() == 1 && parsed->areas()[0].left == 3 &&
                         parsed->areas()[0].right == 3;
        inner().setValue(range, inC ? kept(value) : value);
    }
    // Each cell of column C keeps the written value its own way, however the area is cut.
    void writeAreas(SheetHandle sheet, std::span<const AreaWrite> writes) override {
        std::vector<AreaWrite> parts;
        for (const AreaWrite& w : writes) {
            A1Area left = w.area, middle = w.area, right = w.area;
            left.right = std::min(w.area.right, 2);
            middle.left = std::max(w.area.left, 3);
            middle.right = std::min(w.area.right, 3);
            right.left = std::max(w.area.left, 4);
            if (left.valid()) parts.push_back({left, w.value});
            if (middle.valid()) parts.push_back({middle, kept(w.value)});
            if (right.valid()) parts.push_back({right, w.value});
        }
        inner().writeAreas(sheet, parts);
    }

private:
    static CellValue kept(const CellValue& v) {
        if (v.isNumber() && v.numberKind() == NumberKind::Integer)
            return CellValue::date(v.number());
        return v;
    }
};

// A value drawn from few enough choices that neighbours are often equal.
CellValue drawValue(std::mt19937& gen) {
    switch (std::uniform_int_distribution<int>(0, 9)(gen)) {
        case 0:
        case 1:
            return CellValue();
        case 2:
            return CellValue::text("");
        case 3:
            return CellValue::text("a");
        case 4:
            return CellValue::text("b");
        case 5:
            return CellValue::integer(std::uniform_int_distribution<int>(0, 1)(gen));
        case 6:
            return CellValue::date(45000);
        case 7:
            return CellValue::boolean(true);
        case 8:
            return CellValue::floating(1.5);
        default:
            return CellValue::error(2042);
    }
}

// Sheet1 (active) and Sheet2; B2:F41 on Sheet1 drawn from `seed`, with a few vertical
// merged areas laid over it without overlapping.
void drawWorkbook(MemoryHost& m, unsigned seed) {
    std::mt19937 gen(seed);
    m.addWorkbook("Book1.xlsx", {"Sheet1", "Sheet2"});
    std::vector<CellValue> values;
    for (int i = 0; i < 40 * 5; ++i) values.push_back(drawValue(gen));
    m.setCells("Sheet1", "B2:F41", values);
    for (const char column : {'B', 'C', 'D', 'E', 'F'}) {
        for (int row = 2; row < 41;) {
            const int length = std::uniform_int_distribution<int>(1, 6)(gen);
            const int last = std::min(row + length - 1, 41);
            if (length > 1 && std::uniform_int_distribution<int>(0, 2)(gen) == 0)
                m.mergeCells("Sheet1", std::string(1, column) + std::to_string(row) + ":" +
                                           std::string(1, column) + std::to_string(last));
            row = last + 1;
        }
    }
}

// Everything a command can change, as lines.
std::vector<std::string> stateOf(const MemoryHost& m, const RecordingView& view) {
    std::vector<std::string> out = view.messages;
    out.push_back("alerts " + std::to_string(m.displayAlerts()) + " updating " +
                  std::to_string(m.screenUpdating()) + " active " + m.activeSheetName());
    for (const auto& p : m.prompts()) out.push_back("prompt " + p);
    for (const std::string& sheet : m.sheetNames()) {
        out.push_back("sheet " + sheet);
        for (const auto& area : m.mergedAreas(sheet)) out.push_back("merged " + area);
        const auto values = m.cells(sheet, kRegion);
        for (std::size_t k = 0; k < values.size(); ++k) {
            out.push_back(std::to_string(k) + " " + describe(values[k]) + " " +
                          std::to_string(static_cast<int>(values[k].kind())) + "/" +
                          std::to_string(static_cast<int>(values[k].numberKind())));
        }
    }
    return out;
}

struct Case {
    const char* name;
    bool smartMerge;
    const char* typed;
};

enum class Backend { Memory, DatesInColumnC };

// Test names and failure messages show the case's name, not its bytes.
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}
void PrintTo(Backend b, std::ostream* os) {
    *os << (b == Backend::Memory ? "memory" : "dates in column C");
}

// The state after running the case on the seed's workbook, with or without the layer.
std::vector<std::string> run(const Case& c, unsigned seed, Backend backend, bool batched) {
    MemoryHost m;
    drawWorkbook(m, seed);
    DatesInColumnC dates(m);
    BulkHost& target = backend == Backend::Memory ? static_cast<BulkHost&>(m) : dates;
    BatchingHost layer(target);
    SpreadsheetHost& host = batched ? static_cast<SpreadsheetHost&>(layer) : target;
    RecordingView view(c.typed);
    if (c.smartMerge)
        Command3_Click(host, view);
    else
        Command4_Click(host, view);
    EXPECT_EQ(m.liveHandles(), 0u);
    return stateOf(m, view);
}

class BatchingHostTest : public ::testing::TestWithParam<std::tuple<Backend, Case>> {};

TEST_P(BatchingHostTest, EndsExactlyAsCallByCall) {
    const auto& [backend, c] = GetParam();
    for (unsigned seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const auto direct = run(c, seed, backend, false);
        const auto batched = run(c, seed, backend, true);
        ASSERT_EQ(batched.size(), direct.size());
        for (std::size_t i = 0; i < direct.size(); ++i)
            ASSERT_EQ(batched[i], direct[i]) << "line " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Random, BatchingHostTest,
    ::testing::Combine(::testing::Values(Backend::Memory, Backend::DatesInColumnC),
                       ::testing::Values(Case{"MergeColumn", true, "C2:C41"},
                                         Case{"MergeRow", true, "B7:F7"},
                                         Case{"FillColumn", false, "C2:C41"},
                                         Case{"FillBlock", false, "B2:F41"},
                                         Case{"FillAreas", false, "C2:C20,B30:D41"})),
    [](const auto& p) {
        return std::string(std::get<0>(p.param) == Backend::Memory ? "Memory" : "Dates") +
               std::get<1>(p.param).name;
    });

}  // namespace
}  // namespace gridmoor
