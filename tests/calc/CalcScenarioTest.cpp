// The range commands on long columns of a real Calc: the routes a merge takes (the bulk
// route of a format paste, one area at a time), the bands of the bulk route, and one undo
// entry for a whole command. The scenario table of both commands runs against Calc with the
// host contract suite (tests/host/contract, in calc_host_tests).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "CalcFixture.h"
#include "merge/SmartMerge.h"
#include "merge/UnmergeFill.h"
#include "support/RecordingView.h"
#include "texts/Texts.h"

namespace gridmoor::calctest {
namespace {

using Strings = std::vector<std::string>;
using testing::RecordingView;

// Many merges at once: with plain values the backend takes its bulk route, with a formula in
// the range the one-area-at-a-time route; both must leave every value, kind and format.
class CalcLargeMergeTest : public CalcTest, public ::testing::WithParamInterface<bool> {};

TEST_P(CalcLargeMergeTest, EveryValueKindAndFormatSurvivesManyMerges) {
    const bool withFormula = GetParam();
    // The one-by-one route sends one merge per area: 300 of them, three times the 100 actions
    // Calc keeps in one undo group, and still one undo must take them all back.
    const long n = withFormula ? 600 : 300;
    std::vector<std::string> column;
    for (long i = 0; i < n; ++i) {
        const long pair = i / 2;
        column.push_back(pair % 3 == 0 ? "t" + std::to_string(pair) : std::to_string(pair));
    }
    if (withFormula) column[n - 1] = "=B" + std::to_string(n - 1);
    probe().enterColumn("Sheet1", "B1", column);
    probe().setNumberFormat("Sheet1", "B11:B20", 2);  // dates
    probe().setBold("Sheet1", "B5:B6");
    auto snapshot = [&] {
        HostLink link(host());
        link.attach();
        const SheetHandle sheet = host().Sheets(link.app(), "Sheet1");
        const RangeValue v = host().Value(host().Range(sheet, "B1:B" + std::to_string(n)));
        Strings out;
        for (long r = 1; r <= n; ++r) {
            const CellValue& c = v.at(r, 1);
            out.push_back(describe(c) + "/" + std::to_string(static_cast<int>(c.kind())) + "." +
                          std::to_string(static_cast<int>(c.numberKind())));
        }
        return out;
    };
    const Strings before = snapshot();
    RecordingView view("B1:B" + std::to_string(n));
    Command3_Click(commands(), view);
    ASSERT_EQ(view.messages, Strings{std::string(texts::kMergeDone)});
    EXPECT_EQ(host().bulkPastes(), withFormula ? 0 : 1);
    // The scratch sheet's merges reach Calc only through the format paste.
    EXPECT_EQ(host().bulkMergeCalls(), 0);
    const Strings merged = probe().mergedAreas("Sheet1", n + 5);
    EXPECT_EQ(merged.size(), static_cast<std::size_t>(n / 2));
    EXPECT_NE(std::find(merged.begin(), merged.end(), "$B$1:$B$2"), merged.end());
    EXPECT_NE(std::find(merged.begin(), merged.end(),
                        "$B$" + std::to_string(n - 1) + ":$B$" + std::to_string(n)),
              merged.end());
    EXPECT_EQ(snapshot(), before);
    EXPECT_TRUE(probe().isBold("Sheet1", "B5"));
    EXPECT_FALSE(probe().isBold("Sheet1", "B7"));
    EXPECT_EQ(probe().sheetNames(), Strings{"Sheet1"});
    if (withFormula) {
        EXPECT_EQ(probe().formula("Sheet1", "B" + std::to_string(n)), column[n - 1]);
    }
    // One undo takes the whole command back.
    probe().undo();
    EXPECT_EQ(probe().mergedAreas("Sheet1", n + 5), Strings{});
    EXPECT_EQ(snapshot(), before);
}

// A column long enough that the bulk route lays it out in several bands, with runs that
// straddle where a band would end: every area and every value arrives.
TEST_F(CalcTest, BulkRouteKeepsEveryAreaAndValueOfAColumnOfManyBands) {
    const long n = 12000;
    std::vector<double> column;
    for (long i = 0; i < n; ++i) column.push_back(static_cast<double>(i / 3) + 0.5);
    probe().fillNumbers("Sheet1", "B1", column);
    auto values = [&] {
        HostLink link(host());
        link.attach();
        const SheetHandle sheet = host().Sheets(link.app(), "Sheet1");
        return host().Value(host().Range(sheet, "B1:B" + std::to_string(n)));
    };
    const RangeValue before = values();
    RecordingView view("B1:B" + std::to_string(n));
    Command3_Click(commands(), view);
    ASSERT_EQ(view.messages, Strings{std::string(texts::kMergeDone)});
    Strings expected;
    for (long r = 1; r <= n; r += 3) {
        expected.push_back("$B$" + std::to_string(r) + ":$B$" + std::to_string(r + 2));
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(probe().mergedAreas("Sheet1", n + 5), expected);
    const RangeValue after = values();
    for (long r = 1; r <= n; ++r) {
        ASSERT_TRUE(identical(after.at(r, 1), before.at(r, 1))) << "row " << r;
    }
    EXPECT_EQ(probe().sheetNames(), Strings{"Sheet1"});
    EXPECT_EQ(host().bulkPastes(), 1);
    EXPECT_EQ(host().bulkMergeCalls(), 0);
}

// Unmerging 200 areas whose covered cells are blank writes 200 cells one by one; one undo
// still takes the whole command back, fills and splits alike.
TEST_F(CalcTest, UnmergeFillOfManyAreasIsUndoneInOneStep) {
    const long n = 400;
    std::vector<std::string> column;
    for (long i = 0; i < n; ++i) column.push_back(i % 2 == 0 ? "v" + std::to_string(i / 2) : "");
    probe().enterColumn("Sheet1", "B1", column);
    for (long r = 1; r < n; r += 2) {
        probe().merge("Sheet1", "B" + std::to_string(r) + ":B" + std::to_string(r + 1));
    }
    RecordingView view("B1:B" + std::to_string(n));
    Command4_Click(commands(), view);
    ASSERT_EQ(view.messages, Strings{std::string(texts::kUnmergeDone)});
    EXPECT_EQ(probe().mergedAreas("Sheet1", n + 5), Strings{});
    EXPECT_EQ(probe().formula("Sheet1", "B2"), "v0");
    EXPECT_EQ(probe().formula("Sheet1", "B" + std::to_string(n)), "v" + std::to_string(n / 2 - 1));
    probe().undo();
    EXPECT_EQ(probe().mergedAreas("Sheet1", n + 5).size(), static_cast<std::size_t>(n / 2));
    for (long r = 1; r <= n; ++r) {
        EXPECT_EQ(probe().formula("Sheet1", "B" + std::to_string(r)),
                  column[static_cast<std::size_t>(r - 1)])
            << "row " << r;
    }
}

INSTANTIATE_TEST_SUITE_P(Routes, CalcLargeMergeTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return std::string(p.param ? "oneByOne" : "bulk");
                         });

}  // namespace
}  // namespace gridmoor::calctest
