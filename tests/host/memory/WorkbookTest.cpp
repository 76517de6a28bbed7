// Sheets and chart sheets, names, protection, the application's settings and attach.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "HostFixture.h"

namespace gridmoor::testing {
namespace {

using Names = std::vector<std::string>;

class ChartBookTest : public HostFixture {
protected:
    ChartBookTest() : HostFixture({"Sheet1"}) {
        host.addChartSheet("Chart1");
        host.addWorksheet("Sheet2");
    }
};

TEST_F(ChartBookTest, SheetsCountsChartSheetsWorksheetsDoesNot) {
    EXPECT_EQ(host.SheetsCount(app), 3);
    EXPECT_EQ(host.Name(host.Sheets(app, 2L)), "Chart1");
    EXPECT_EQ(host.Name(host.Sheets(app, "chart1")), "Chart1");
    Names enumerated;
    const SheetEnumHandle e = host.worksheets(app);
    while (auto s = host.nextWorksheet(e)) enumerated.push_back(host.Name(*s));
    EXPECT_EQ(enumerated, (Names{"Sheet1", "Sheet2"}));
    EXPECT_EQ(host.nextWorksheet(e), std::nullopt);
    EXPECT_EQ(causeOf([&] { host.Range(host.Sheets(app, 2L), "A1"); }), HostError::Cause::Other);
    EXPECT_EQ(causeOf([&] { host.Cells(host.Sheets(app, 2L), 1, 1); }), HostError::Cause::Other);
    for (long bad : {0L, 4L, -1L})
        EXPECT_EQ(causeOf([&] { host.Sheets(app, bad); }), HostError::Cause::NotFound) << bad;
    EXPECT_EQ(causeOf([&] { host.Sheets(app, "Sheet3"); }), HostError::Cause::NotFound);
}

TEST_F(ChartBookTest, AddPutsTheNewWorksheetAfterTheGivenSheetAndActivatesIt) {
    const SheetHandle added = host.SheetsAdd(app, After{host.Sheets(app, "Chart1")});
    EXPECT_EQ(host.sheetNames(), (Names{"Sheet1", "Chart1", "Sheet3", "Sheet2"}));
    EXPECT_EQ(host.Name(added), "Sheet3");
    EXPECT_EQ(host.activeSheetName(), "Sheet3");
    EXPECT_EQ(host.Name(host.ActiveSheet(host.Activeworkbook(app))), "Sheet3");
    EXPECT_FALSE(host.isChartSheet("Sheet3"));
    const SheetHandle last = host.SheetsAdd(app, After{host.Sheets(app, host.SheetsCount(app))});
    EXPECT_EQ(host.Name(last), "Sheet4");
    EXPECT_EQ(host.Name(host.Sheets(app, host.SheetsCount(app))), "Sheet4");
}

TEST_F(ChartBookTest, EnumerationSkipsSheetsDeletedWhileItRuns) {
    host.setDisplayAlerts(false);
    const SheetEnumHandle e = host.worksheets(app);
    EXPECT_EQ(host.Name(*host.nextWorksheet(e)), "Sheet1");
    host.Delete(host.Sheets(app, "Sheet2"));
    EXPECT_EQ(host.nextWorksheet(e), std::nullopt);
}

TEST_F(HostFixture, DeleteWithAlertsOnIsAPromptAndTheNextSheetBecomesActive) {
    host.addWorksheet("Sheet3");
    host.activateSheet("Sheet2");
    host.setDisplayAlerts(false);
    host.Delete(sheet("Sheet2"));
    EXPECT_TRUE(host.prompts().empty());
    EXPECT_EQ(host.activeSheetName(), "Sheet3");
    host.DisplayAlerts(app, true);
    host.Delete(sheet("Sheet3"));
    EXPECT_EQ(host.prompts(), Names{"Delete Sheet3"});
    EXPECT_EQ(host.activeSheetName(), "Sheet1");
    EXPECT_EQ(causeOf([&] { host.Delete(sheet("Sheet1")); }), HostError::Cause::Other);
    EXPECT_EQ(host.sheetNames(), Names{"Sheet1"});
}

TEST_F(HostFixture, SelectNeedsTheSheetsWorkbookToBeActive) {
    const SheetHandle s2 = sheet("Sheet2");
    host.Select(s2);
    EXPECT_EQ(host.activeSheetName(), "Sheet2");
    host.addWorkbook("Book2.xlsx", {"Other"});
    EXPECT_EQ(causeOf([&] { host.Select(s2); }), HostError::Cause::Other);
    EXPECT_EQ(host.Name(host.Activeworkbook(app)), "Book2.xlsx");
    // Sheets goes to the active workbook; a handle keeps its own sheet.
    EXPECT_EQ(host.SheetsCount(app), 1);
    EXPECT_EQ(host.Name(s2), "Sheet2");
    EXPECT_EQ(causeOf([&] { host.SheetsAdd(app, After{s2}); }), HostError::Cause::BadArgument);
    host.deactivateWorkbooks();
    EXPECT_EQ(causeOf([&] { host.Activeworkbook(app); }), HostError::Cause::NotFound);
    EXPECT_EQ(causeOf([&] { host.SheetsCount(app); }), HostError::Cause::NotFound);
    EXPECT_EQ(causeOf([&] { host.worksheets(app); }), HostError::Cause::NotFound);
}

struct NameCase {
    const char* name;
    std::string newName;
    bool accepted;
};

class NameTest : public HostFixture, public ::testing::WithParamInterface<NameCase> {};

TEST_P(NameTest, FollowsTheApplicationsNameRules) {
    const auto& c = GetParam();
    const SheetHandle s = sheet("Sheet1");
    if (c.accepted) {
        host.setName(s, c.newName);
        EXPECT_EQ(host.Name(s), c.newName);
        EXPECT_EQ(host.Name(host.Sheets(app, c.newName)), c.newName);
    } else {
        EXPECT_EQ(causeOf([&] { host.setName(s, c.newName); }), HostError::Cause::BadArgument);
        EXPECT_EQ(host.sheetNames(), (Names{"Sheet1", "Sheet2"}));
    }
}

std::string repeat(const char* piece, int times) {
    std::string s;
    for (int i = 0; i < times; ++i) s += piece;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Table, NameTest,
    ::testing::Values(
        NameCase{"Plain", "Data", true}, NameCase{"Scratch", "合并临时单元格", true},
        NameCase{"OwnNameOtherCase", "SHEET1", true}, NameCase{"ThirtyOne", repeat("a", 31), true},
        NameCase{"ThirtyOneChinese", repeat("表", 31), true},
        NameCase{"BlanksAndDots", "My data. (2)", true}, NameCase{"Empty", "", false},
        NameCase{"ThirtyTwo", repeat("a", 32), false},
        NameCase{"ThirtyTwoChinese", repeat("表", 32), false},
        NameCase{"TakenOtherCase", "sheet2", false}, NameCase{"OpenBracket", "a[b", false},
        NameCase{"CloseBracket", "a]b", false}, NameCase{"Colon", "a:b", false},
        NameCase{"Star", "a*b", false}, NameCase{"Question", "a?b", false},
        NameCase{"Slash", "a/b", false}, NameCase{"Backslash", "a\\b", false},
        NameCase{"LeadingApostrophe", "'ab", false}, NameCase{"TrailingApostrophe", "ab'", false},
        NameCase{"Reserved", "history", false}),
    [](const ::testing::TestParamInfo<NameCase>& p) { return std::string(p.param.name); });

TEST(MemoryHostTest, SettingsWithoutAWorkbook) {
    MemoryHost host;
    const AppHandle app = host.attach(kApplicationClass).value();
    EXPECT_EQ(causeOf([&] { host.Calculation(app, xlCalculationAutomatic); }),
              HostError::Cause::Other);
    host.DisplayAlerts(app, false);
    host.ScreenUpdating(app, false);
    EXPECT_FALSE(host.displayAlerts());
    EXPECT_FALSE(host.screenUpdating());
    EXPECT_EQ(causeOf([&] { host.DisplayAlerts(AppHandle{}, true); }), HostError::Cause::NotFound);
    EXPECT_FALSE(host.displayAlerts());
    host.endRun();
}

struct AttachCase {
    const char* name;
    const char* registered;
    bool running;
    const char* asked;
    bool found;
};

class AttachTest : public ::testing::TestWithParam<AttachCase> {};

TEST_P(AttachTest, FindsTheRunningApplicationByClassNameWithoutRegardToCase) {
    const auto& c = GetParam();
    MemoryHost host;
    host.setClassName(c.registered);
    host.setRunning(c.running);
    EXPECT_EQ(host.attach(c.asked).has_value(), c.found);
    EXPECT_EQ(host.liveHandles(), c.found ? 1u : 0u);
    host.endRun();
    EXPECT_EQ(host.liveHandles(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AttachTest,
    ::testing::Values(
        AttachCase{"Exact", "excel.Application", true, "excel.Application", true},
        AttachCase{"OtherCase", "Excel.Application", true, "EXCEL.APPLICATION", true},
        AttachCase{"NotRunning", "excel.Application", false, "excel.Application", false},
        AttachCase{"OtherClass", "excel.Application", true, "word.Application", false},
        AttachCase{"TrailingBlank", "excel.Application", true, "excel.Application ", false},
        AttachCase{"Prefix", "excel.Application", true, "excel", false}),
    [](const ::testing::TestParamInfo<AttachCase>& p) { return std::string(p.param.name); });

TEST_F(HostFixture, BusyApplicationRefusesEveryCallButAttach) {
    host.setBusy(true);
    EXPECT_EQ(causeOf([&] { host.SheetsCount(app); }), HostError::Cause::Busy);
    EXPECT_EQ(causeOf([&] { host.DisplayAlerts(app, false); }), HostError::Cause::Busy);
    EXPECT_TRUE(host.attach(kApplicationClass).has_value());
    host.setBusy(false);
    EXPECT_EQ(host.SheetsCount(app), 2);
    EXPECT_TRUE(host.displayAlerts());
}

}  // namespace
}  // namespace gridmoor::testing
