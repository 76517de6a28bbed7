#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "host/BatchingHost.h"
#include "host/memory/MemoryHost.h"
#include "merge/UnmergeFill.h"
#include "support/MemoryRig.h"
#include "support/RecordingView.h"
#include "support/Values.h"
#include "texts/Texts.h"

namespace gridmoor {
namespace {

using namespace testing;  // the rig, the view and the value helpers

struct FillCase {
    const char* name;
    const char* typed;
    const char* block;                // the cells set before and compared after
    std::vector<CellValue> before;    // row by row
    std::vector<const char*> merged;  // merged areas before
    std::vector<CellValue> after;
};

// Test names and failure messages show the case's name, not its bytes.
void PrintTo(const FillCase& c, std::ostream* os) {
    *os << c.name;
}

// How the command reaches the workbook: call by call, or through the batching layer.
enum class Route { Direct, Batched };

class UnmergeFillTest : public ::testing::TestWithParam<std::tuple<Route, FillCase>> {};

TEST_P(UnmergeFillTest, SplitsAndFillsBlanksFromTheCellBefore) {
    const auto& [route, c] = GetParam();
    MemoryRig rig;
    MemoryHost& host = rig.model;
    host.addWorkbook("Book1.xlsx", {"Sheet1"});
    host.setCells("Sheet1", c.block, c.before);
    for (const char* area : c.merged) host.mergeCells("Sheet1", area);
    host.setDisplayAlerts(false);
    host.setScreenUpdating(false);
    RecordingView view(c.typed);

    if (route == Route::Direct) {
        Command4_Click(rig.host, view);
    } else {
        BatchingHost layer(rig.host);
        Command4_Click(layer, view);
        // Reads and writes go by block, not by cell: no cell is asked about on its own.
        EXPECT_TRUE(rig.host.argsOf("Value").empty());
        EXPECT_TRUE(rig.host.argsOf("Value=").empty());
    }

    EXPECT_EQ(view.messages, std::vector<std::string>{msg(texts::kUnmergeDone)});
    EXPECT_TRUE(host.mergedAreas("Sheet1").empty());
    const auto after = host.cells("Sheet1", c.block);
    ASSERT_EQ(after.size(), c.after.size());
    for (std::size_t k = 0; k < after.size(); ++k)
        EXPECT_TRUE(identical(after[k], c.after[k])) << "cell " << k << ": " << describe(after[k]);
    EXPECT_TRUE(host.displayAlerts());
    EXPECT_TRUE(host.screenUpdating());
    EXPECT_EQ(view.Text1(), c.typed);
    EXPECT_EQ(host.liveHandles(), 0u);
}

// What the contract suite's scenario table leaves out; its unmerge rows run on this host
// directly and through the batching layer as well.
INSTANTIATE_TEST_SUITE_P(
    Examples, UnmergeFillTest,
    ::testing::Combine(
        ::testing::Values(Route::Direct, Route::Batched),
        ::testing::Values(
            FillCase{"LeadingBlanksStayBlank",
                     "B2:B5",
                     "B2:B5",
                     {kBlank, txt(""), txt("x"), kBlank},
                     {},
                     {kBlank, kBlank, txt("x"), txt("x")}},
            FillCase{
                "KindsTravel",
                "B2:B7",
                "B2:B7",
                {CellValue::date(45658), kBlank, CellValue::currency(12500), kBlank,
                 CellValue::floating(2.5), kBlank},
                {},
                {CellValue::date(45658), CellValue::date(45658), CellValue::currency(12500),
                 CellValue::currency(12500), CellValue::floating(2.5), CellValue::floating(2.5)}},
            FillCase{"AreaMetByTheRangeIsSplitWhole",
                     "B3:B4",
                     "B2:B4",
                     {txt("x"), kBlank, kBlank},
                     {"B2:B4"},
                     {txt("x"), kBlank, kBlank}},
            FillCase{"SingleCell", "B2", "B2:B3", {kBlank, kBlank}, {"B2:B3"}, {kBlank, kBlank}})),
    [](const auto& p) {
        return std::string(std::get<0>(p.param) == Route::Direct ? "Direct" : "Batched") +
               std::get<1>(p.param).name;
    });

TEST(UnmergeFillTest, EarlyEnds) {
    struct Case {
        const char* name;
        bool running;
        const char* typed;
        std::string_view message;
    };
    const Case cases[] = {
        {"NoApplication", false, "B2:B3", texts::kNoWorkbook},
        {"NoApplicationEmptyBox", false, "", texts::kNoWorkbook},
        {"EmptyBox", true, "", texts::kUnmergeBadAddress},
    };
    for (const auto& c : cases) {
        MemoryHost host;
        host.addWorkbook("Book1.xlsx", {"Sheet1"});
        host.mergeCells("Sheet1", "B2:B3");
        host.setDisplayAlerts(false);
        host.setRunning(c.running);
        RecordingView view(c.typed);
        Command4_Click(host, view);
        EXPECT_EQ(view.messages, std::vector<std::string>{std::string(c.message)}) << c.name;
        EXPECT_EQ(host.mergedAreas("Sheet1"), std::vector<std::string>{"$B$2:$B$3"}) << c.name;
        EXPECT_FALSE(host.displayAlerts()) << c.name << ": no setting is written";
    }
}

// Blanks only, or a text that is no address, stops the command before it changes anything;
// the settings are on again afterwards.
TEST(UnmergeFillTest, NoAddressStopsBeforeAnyChangeAndSaysWhy) {
    const std::vector<CellValue> column = {txt("x"), kBlank, kBlank, kBlank};
    for (const char* typed : {"   ", "B2:B"}) {
        MemoryHost host;
        host.addWorkbook("Book1.xlsx", {"Sheet1"});
        host.setCells("Sheet1", "B2:B5", column);
        host.setDisplayAlerts(false);
        host.setScreenUpdating(false);
        RecordingView view(typed);
        Command4_Click(host, view);
        EXPECT_EQ(view.messages,
                  std::vector<std::string>{msg(texts::kUnmergeStopped, texts::kReasonBadAddress)})
            << typed;
        const auto after = host.cells("Sheet1", "B2:B5");
        for (std::size_t k = 0; k < after.size(); ++k)
            EXPECT_TRUE(identical(after[k], column[k])) << typed << " cell " << k;
        EXPECT_TRUE(host.displayAlerts()) << typed;
        EXPECT_TRUE(host.screenUpdating()) << typed;
        EXPECT_EQ(host.liveHandles(), 0u) << typed;
    }
}

TEST(UnmergeFillTest, WritesOnlyIntoBlankCellsOneWriteEach) {
    MemoryRig rig;
    rig.model.addWorkbook("Book1.xlsx", {"Sheet1"});
    rig.model.setCells("Sheet1", "B2:B4", {txt("x"), num(5), kBlank});
    RecordingView view("B2:B4");
    Command4_Click(rig.host, view);
    // One write, into the one blank cell.
    EXPECT_EQ(rig.host.argsOf("Value="),
              (std::vector<std::vector<std::string>>{{"Sheet1!$B$4", "5"}}));
}

// A walk over a long column holds the objects of one cell at a time, not one per cell visited.
TEST(UnmergeFillTest, HoldsAFewObjectsWhateverTheLengthOfTheRange) {
    MemoryHost host;
    host.addWorkbook("Book1.xlsx");
    std::vector<CellValue> column;
    for (long i = 0; i < 5000; ++i) column.push_back(i % 2 == 0 ? num(i) : kBlank);
    host.setCells("Sheet1", "B1:B5000", column);
    RecordingView view("B1:B5000");
    std::size_t heldAtMessage = 0;
    view.onMessage = [&] { heldAtMessage = host.liveHandles(); };
    Command4_Click(host, view);
    EXPECT_EQ(view.messages, std::vector<std::string>{msg(texts::kUnmergeDone)});
    EXPECT_LT(heldAtMessage, 10u);
    EXPECT_TRUE(identical(host.cell("Sheet1", "B5000"), num(4998)));
}

}  // namespace
}  // namespace gridmoor
