// Attach and fault runs: each test starts (and kills) its own soffice, but for the fault
// sweep, which runs on the soffice the program shares.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <ostream>
#include <thread>

#include "CalcFixture.h"
#include "FaultSweep.h"
#include "host/A1Address.h"
#include "host/Failure.h"
#include "host/ForwardingHost.h"
#include "host/calc/OfficeProcess.h"
#include "merge/CommandView.h"
#include "merge/SmartMerge.h"
#include "merge/UnmergeFill.h"
#include "support/RecordingView.h"
#include "texts/Texts.h"

namespace gridmoor::calctest {
namespace {

using testing::RecordingView;

TEST(CalcAttach, OrdinaryCalcIsAskedToListenAndAttached) {
    Soffice office(uniquePipe("ordinary"), false);
    ASSERT_TRUE(office.waitReady(90));
    CalcHost host({office.pipeName(), true});
    {
        HostLink link(host);
        link.attach();
        ASSERT_FALSE(link.empty());
    }
    calc::CalcProbe probe(office.pipeName());
    probe.newWorkbook("Data");
    HostLink link(host);
    link.attach();
    ASSERT_FALSE(link.empty());
    EXPECT_EQ(host.Name(host.ActiveSheet(host.Activeworkbook(link.app()))), "Data");
}

TEST(CalcAttach, NoCalcRunningGivesNothingAndStartsNothing) {
    std::string home = (std::filesystem::temp_directory_path() / "gridmoor-nocalc-XXXXXX").string();
    ASSERT_NE(::mkdtemp(home.data()), nullptr);
    const char* tmpl = home.c_str();
    ::setenv("HOME", tmpl, 1);
    ::unsetenv("XDG_CONFIG_HOME");
    CalcHost host({uniquePipe("none"), true});
    {
        HostLink link(host);
        link.attach();
        EXPECT_TRUE(link.empty());
    }
    // Nothing was started for this profile: no instance answers its pipe, no profile made.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_FALSE(socketAccepts(calc::singleInstancePipePath()));
    EXPECT_FALSE(std::filesystem::exists(std::string(tmpl) + "/.config/libreoffice"));
    std::filesystem::remove_all(tmpl);
}

TEST(CalcFault, CalcQuittingBetweenCallsIsGoneThenNothingToAttach) {
    Soffice office(uniquePipe("quit"), true);
    ASSERT_TRUE(office.waitReady(90));
    calc::CalcProbe probe(office.pipeName());
    probe.newWorkbook();
    CalcHost host({office.pipeName(), true});
    const auto start = std::chrono::steady_clock::now();
    {
        HostLink link(host);
        link.attach();
        ASSERT_FALSE(link.empty());
        const SheetHandle sheet = host.ActiveSheet(host.Activeworkbook(link.app()));
        const std::vector<A1Area> pair{A1Area{1, 1, 2, 1}};
        host.mergeAreas(sheet, pair);  // kept pending: endRun must not hang on it
        office.kill();
        try {
            host.Value(host.Range(sheet, "A1"));
            ADD_FAILURE() << "a call on a Calc that quit succeeded";
        } catch (const HostError& e) {
            EXPECT_EQ(e.cause(), HostError::Cause::Gone) << e.what();
        }
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    HostLink again(host);
    again.attach();
    EXPECT_TRUE(again.empty());
}

TEST(CalcFault, CalcQuittingDuringASmartMergeEndsTheCommandWithoutHangOrCrash) {
    Soffice office(uniquePipe("midmerge"), true);
    ASSERT_TRUE(office.waitReady(90));
    calc::CalcProbe probe(office.pipeName());
    probe.newWorkbook();
    std::vector<double> column(20000);
    for (std::size_t i = 0; i < column.size(); ++i) column[i] = static_cast<double>(i / 3);
    probe.fillNumbers("Sheet1", "B1", column);
    BatchedCalc host({office.pipeName(), true});
    RecordingView view("B1:B20000");
    auto killer = std::async(std::launch::async, [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        office.kill();
    });
    const auto start = std::chrono::steady_clock::now();
    auto done = std::async(std::launch::async, [&] { Command3_Click(host, view); });
    ASSERT_EQ(done.wait_for(std::chrono::seconds(60)), std::future_status::ready)
        << "the command hung";
    done.get();
    killer.get();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    EXPECT_EQ(view.messages.size(), 1u);
    HostLink again(host);
    again.attach();
    EXPECT_TRUE(again.empty());
}

// Calc quits right after the command's last call, as its work is being made final: the
// message says the command did not finish, never that it did.
class KillAtFlush : public ForwardingHost {
public:
    KillAtFlush(SpreadsheetHost& inner, Soffice& office) : ForwardingHost(inner), office_(office) {}

protected:
    void before(const char* op) override {
        if (std::string_view(op) == "flush") office_.kill();
    }

private:
    Soffice& office_;
};

struct QuitCase {
    const char* name;
    void (*click)(SpreadsheetHost&, CommandView&);
    std::string_view failurePrefix;
};

void PrintTo(const QuitCase& c, std::ostream* os) {
    *os << c.name;
}

class CalcQuitAtFlushTest : public ::testing::TestWithParam<QuitCase> {};

TEST_P(CalcQuitAtFlushTest, GivesAFailureMessage) {
    const QuitCase& c = GetParam();
    Soffice office(uniquePipe(c.name), true);
    ASSERT_TRUE(office.waitReady(90));
    calc::CalcProbe probe(office.pipeName());
    probe.newWorkbook();
    probe.enterColumn("Sheet1", "B1", {"a", "a", "", "b", "b", ""});
    probe.merge("Sheet1", "B4:B5");
    BatchedCalc calc({office.pipeName(), true});
    KillAtFlush host(calc, office);
    RecordingView view("B1:B6");
    c.click(host, view);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].rfind(c.failurePrefix, 0), 0u) << view.messages[0];
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CalcQuitAtFlushTest,
    ::testing::Values(QuitCase{"smartMerge", &Command3_Click, texts::kMergeUnconfirmed},
                      QuitCase{"unmerge", &Command4_Click, texts::kUnmergeStopped}),
    [](const ::testing::TestParamInfo<QuitCase>& p) { return std::string(p.param.name); });

// The fault sweep's workbooks in a real Calc: each run on a new document made through the
// probe, read back through the probe and a run of the backend's own. One backend serves
// every run, as one serves the tool through its runs however they fail.
class CalcSweep : public testing::SweepBackend {
public:
    CalcSweep(void (*build)(calc::CalcProbe&), std::string_view range)
        : probe_(sharedOffice().pipeName()),
          backend_({sharedOffice().pipeName(), true, false}),
          build_(build),
          area_(A1Address::parse(range, "").value().areas().front()) {}

    BulkHost& fresh() override {
        probe_.newWorkbook("Sheet1");
        build_(probe_);
        return backend_;
    }
    testing::WorkbookState state() override {
        testing::WorkbookState s;
        try {
            HostLink link(backend_);
            link.attach();
            if (link.empty()) throw HostError(HostError::Cause::Gone, "no Calc to attach");
            s.values = backend_.readBlock(backend_.Sheets(link.app(), "Sheet1"), area_).values;
        } catch (const HostError& e) {
            ADD_FAILURE() << "the workbook cannot be read back: " << e.what();
        }
        s.sheets = probe_.sheetNames();
        s.activeSheet = probe_.activeSheet();
        // Calc has no setting for prompts (calls through the API never prompt) and shows none.
        s.screenUpdating = !probe_.controllersLocked();
        return s;
    }

private:
    calc::CalcProbe probe_;
    CalcHost backend_;
    void (*build_)(calc::CalcProbe&);
    A1Area area_;
};

// The smart merge's workbook as the in-memory sweep has it, less the chart sheet (Calc has
// none): Sheet1 with the bold column, Sheet2, and an interrupted run's scratch sheet.
void buildMergeWorkbook(calc::CalcProbe& probe) {
    probe.addSheet("Sheet2");
    probe.addSheet(texts::kScratchSheetName);
    probe.enterColumn("Sheet1", "B2", {"a", "a", "b", "b", "b", "=1/0", "c", "", ""});
    probe.setBold("Sheet1", "B2:B10");
}

// The unmerge's workbook as the in-memory sweep has it; a Calc cell holds no empty text, so
// B7 is blank here.
void buildFillWorkbook(calc::CalcProbe& probe) {
    probe.addSheet("Sheet2");
    probe.enterColumn("Sheet1", "B2", {"x", "", "", "y", "", "", "0", ""});
    probe.merge("Sheet1", "B2:B4");
    probe.merge("Sheet1", "B5:B6");
}

// Each command through the batching layer, as the product runs it, and call by call, so
// that the single calls the layer turns into bulk ones fail in Calc too.
TEST(CalcFaultSweep, SmartMergeSurvivesEveryFailingCall) {
    for (bool batched : {true, false}) {
        SCOPED_TRACE(batched ? "batched" : "call by call");
        CalcSweep calc(buildMergeWorkbook, "B2:B10");
        testing::sweep(calc, testing::smartMergeSweep(batched), testing::checkSmartMerge);
    }
}

TEST(CalcFaultSweep, UnmergeFillSurvivesEveryFailingCall) {
    for (bool batched : {true, false}) {
        SCOPED_TRACE(batched ? "batched" : "call by call");
        CalcSweep calc(buildFillWorkbook, "B2:B9");
        testing::sweep(calc, testing::unmergeFillSweep(batched), testing::checkUnmergeFill);
    }
}

}  // namespace
}  // namespace gridmoor::calctest
