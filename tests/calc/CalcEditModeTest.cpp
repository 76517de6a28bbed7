// A user editing a cell in a visible Calc: the object model refuses every call then, so each
// command is refused with the busy reason and leaves the workbook as it was; once the edit
// ends, the same command runs. Needs an X display with a window manager and xdotool (run
// under tests/window/run-under-xvfb.sh).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "CalcFixture.h"
#include "texts/Texts.h"
#include "merge/SmartMerge.h"
#include "merge/UnmergeFill.h"
#include "support/RecordingView.h"

namespace gridmoor::calctest {
namespace {

using Strings = std::vector<std::string>;
using gridmoor::testing::RecordingView;

Soffice& windowedOffice() {
    static Soffice office(uniquePipe("edit"), true, true);
    static const bool ready = office.waitReady(120);
    if (!ready) throw std::runtime_error("soffice did not start");
    return office;
}

// Presses keys in the visible Calc document window, as the user would. Waits first until
// the windows of documents closed before are gone, so the keys reach this one.
bool pressKeys(const std::string& keys) {
    const std::string one =
        "test \"$(xdotool search --onlyvisible --class libreoffice-calc | wc -l)\" = 1";
    for (int i = 0; i < 100 && std::system(one.c_str()) != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const std::string command =
        "xdotool search --sync --onlyvisible --class libreoffice-calc windowactivate --sync "
        "key --clearmodifiers " +
        keys + " >/dev/null 2>&1";
    const bool ok = std::system(command.c_str()) == 0;
    std::this_thread::sleep_for(std::chrono::seconds(1));
    return ok;
}

struct EditCase {
    const char* name;
    void (*command)(SpreadsheetHost&, CommandView&);
    Strings mergedBefore;
    Strings mergedAfter;
    std::string_view refusal;  // what the message says while the cell is edited
    std::string_view done;
};

void PrintTo(const EditCase& c, std::ostream* os) {
    *os << c.name;
}

class CalcEditModeTest : public ::testing::TestWithParam<EditCase> {};

TEST_P(CalcEditModeTest, RefusedWhileACellIsEditedAndRunsOnceTheEditEnds) {
    const EditCase& c = GetParam();
    Soffice& office = windowedOffice();
    calc::CalcProbe probe(office.pipeName());
    probe.newWorkbook("Sheet1");
    probe.enterColumn("Sheet1", "A1", {"a", "a", "b"});
    for (const auto& area : c.mergedBefore) probe.merge("Sheet1", area);
    BatchedCalc host({office.pipeName(), true});
    {
        // The tool stays connected between clicks: the refusal must come on a later run too.
        HostLink earlier(host);
        earlier.attach();
        ASSERT_FALSE(earlier.empty());
    }

    ASSERT_TRUE(pressKeys("F2"));
    RecordingView refused("A1:A3");
    c.command(host, refused);
    ASSERT_EQ(refused.messages.size(), 1u);
    EXPECT_NE(refused.messages[0].find(c.refusal), std::string::npos) << refused.messages[0];
    ASSERT_TRUE(pressKeys("Escape"));
    EXPECT_EQ(probe.mergedAreas("Sheet1"), c.mergedBefore);
    EXPECT_EQ(probe.sheetNames(), Strings{"Sheet1"});

    RecordingView again("A1:A3");
    c.command(host, again);
    EXPECT_EQ(again.messages, Strings{std::string(c.done)});
    EXPECT_EQ(probe.mergedAreas("Sheet1"), c.mergedAfter);
    for (const auto& [cell, text] : {std::pair{"A1", "a"}, {"A2", "a"}, {"A3", "b"}}) {
        EXPECT_EQ(probe.formula("Sheet1", cell), text) << cell;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CalcEditModeTest,
    // The smart merge's first step asks for the sheet's name: its failure has its own text.
    ::testing::Values(EditCase{"smartMerge",
                               &Command3_Click,
                               {},
                               {"$A$1:$A$2"},
                               texts::kNoSheetName,
                               texts::kMergeDone},
                      EditCase{"unmerge",
                               &Command4_Click,
                               {"$A$1:$A$2"},
                               {},
                               texts::kReasonBusy,
                               texts::kUnmergeDone}),
    [](const ::testing::TestParamInfo<EditCase>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace gridmoor::calctest
