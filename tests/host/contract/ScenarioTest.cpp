// The two range commands as scenarios, one table run against every backend: a workbook, the
// address typed, and what must hold afterwards: the one message, every merged area, the
// sheet list, the active sheet, the settings, and the value and kind of every cell of
// A1:H12 (unchanged unless listed), its formulas too where the backend holds them. Where the
// command runs in this process, the workbook seen while the message is on screen must
// already be the final one, undo entry included.
#include <algorithm>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "Bench.h"
#include "texts/Texts.h"

namespace gridmoor::contract {
namespace {

using Cells = std::vector<std::pair<std::string, Content>>;
using Command = Bench::Command;
using enum Bench::Command;
using namespace texts;

struct Scenario {
    const char* name;
    Command command;
    std::string typed = {};
    Cells cells = {};           // on Sheet1
    Strings merged = {};        // merged areas on Sheet1 before
    Strings extraSheets = {};   // added after the workbook's own sheets
    bool protectSheet = false;  // Sheet1
    bool protectStructure = false;
    bool manualCalculation = false;  // the user's setting, which the command leaves alone
    std::string_view message;        // the one message
    std::string_view reason = {};    // the reason the message goes on with
    Strings mergedAfter = {};
    Cells changed = {};  // cells whose content differs afterwards
    Strings bold = {};   // areas made bold before, which stay bold
    // The sheets added to the workbook's own that are there afterwards; by default the
    // extra sheets but a scratch sheet.
    std::optional<Strings> sheetsAfter = {};
};

void PrintTo(const Scenario& s, std::ostream* os) {
    *os << s.name;
}

constexpr const char* kRegion = "A1:H12";

std::string shown(const CellValue& cell) {
    return describe(cell) + "/" + std::to_string(static_cast<int>(cell.kind())) + "." +
           std::to_string(cell.isNumber() ? static_cast<int>(cell.numberKind()) : 0);
}

// The value and kind of every cell of the region, read through the backend.
std::map<std::string, std::string> valuesOf(Bench& bench) {
    std::map<std::string, std::string> out;
    bench.run([&](BulkHost& h, AppHandle, SheetHandle s) {
        const RangeValue v = h.Value(h.Range(s, kRegion));
        for (long r = 1; r <= v.array().rows(); ++r)
            for (long c = 1; c <= v.array().columns(); ++c)
                out[columnLetters(static_cast<std::int32_t>(c)) + std::to_string(r)] =
                    shown(v.at(r, c));
    });
    return out;
}

// The formulas of the region where the backend holds them; empty otherwise.
std::map<std::string, std::string> contentsOf(Bench& bench) {
    std::map<std::string, std::string> out;
    if (!bench.traits().holdsFormulas) return out;
    for (long r = 1; r <= 12; ++r) {
        for (std::int32_t c = 1; c <= 8; ++c) {
            const std::string at = columnLetters(c) + std::to_string(r);
            out[at] = bench.formula(at).value_or("");
        }
    }
    return out;
}

using ScenarioTest = ContractTest<Scenario>;

TEST_P(ScenarioTest, CommandHasExactlyItsEffect) {
    const Scenario& s = param();
    Bench& b = bench();
    Strings sheetsAfter = b.sheetNames();
    for (const auto& n : s.sheetsAfter.value_or(s.extraSheets)) {
        if (s.sheetsAfter || n != kScratchSheetName) sheetsAfter.push_back(n);
    }
    b.enterAll(s.cells);
    for (const auto& m : s.merged) b.merge(m);
    for (const auto& name : s.extraSheets) b.addSheet(name);
    auto expectedValues = valuesOf(b);
    const auto contentsBefore = contentsOf(b);
    auto expectedContents = contentsBefore;
    for (const auto& [at, typed] : s.changed) {
        expectedValues[at] = shown(valueOf(typed, s.cells));
        if (expectedContents.empty()) continue;
        // A cell given what another cell holds shows it as that cell did: the backend
        // decides how a text that reads as another kind is written back (Calc: "'001").
        const auto source = std::find_if(s.cells.begin(), s.cells.end(), [&](const auto& c) {
            return c.second.typed == typed.typed && c.second.format == typed.format;
        });
        expectedContents[at] =
            source == s.cells.end() ? typed.typed : contentsBefore.at(source->first);
    }
    for (const auto& area : s.bold) b.setBold(area);
    if (s.protectSheet) b.protectSheet();
    if (s.protectStructure) b.protectStructure();
    if (s.manualCalculation) b.setManualCalculation();

    struct Seen {
        Strings merged, sheets;
        std::map<std::string, std::string> contents;
        long undoEntries;
    };
    std::vector<Seen> seen;
    const Strings messages = b.runCommand(s.command, s.typed, [&] {
        seen.push_back(Seen{b.mergedAreas(), b.sheetNames(), contentsOf(b), b.undoEntries()});
    });

    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], std::string(s.message) + std::string(s.reason));
    EXPECT_EQ(b.mergedAreas(), s.mergedAfter);
    EXPECT_EQ(b.sheetNames(), sheetsAfter);
    EXPECT_EQ(b.activeSheet(), "Sheet1");
    EXPECT_TRUE(b.screenUpdating());
    if (b.traits().countsPrompts) {
        EXPECT_EQ(b.prompts(), 0u);
    }
    EXPECT_EQ(b.automaticCalculation(), !s.manualCalculation);
    EXPECT_EQ(contentsOf(b), expectedContents);
    if (b.traits().commandInProcess) {
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].merged, b.mergedAreas());
        EXPECT_EQ(seen[0].sheets, b.sheetNames());
        EXPECT_EQ(seen[0].contents, expectedContents);
        EXPECT_EQ(seen[0].undoEntries, b.undoEntries());
    }
    EXPECT_EQ(valuesOf(b), expectedValues);
    for (const auto& area : s.bold) {
        const A1Area a = at(area);
        for (std::int32_t r = a.top; r <= a.bottom; ++r)
            for (std::int32_t c = a.left; c <= a.right; ++c)
                EXPECT_TRUE(b.isBold(columnLetters(c) + std::to_string(r)))
                    << columnLetters(c) << r << " lost its format";
    }
}

// A column of texts and numbers, runs of two, three and two.
const Cells kColumn = {{"B2", {"a"}}, {"B3", {"a"}}, {"B4", {"b"}}, {"B5", {"b"}},
                       {"B6", {"b"}}, {"B7", {"3"}}, {"B8", {"3"}}};

const Scenario kScenarios[] = {
    Scenario{.name = "verticalWorkedExample",
             .command = SmartMerge,
             .typed = "B2:B8",
             .cells = {{"B2", {"a"}},
                       {"B3", {"a"}},
                       {"B4", {"b"}},
                       {"B5", {"b"}},
                       {"B6", {"b"}},
                       {"B7", {"c"}},
                       {"B8", {"c"}}},
             .message = kMergeDone,
             .mergedAfter = {"$B$2:$B$3", "$B$4:$B$6", "$B$7:$B$8"}},
    Scenario{.name = "horizontalWorkedExample",
             .command = SmartMerge,
             .typed = "A3:F3",
             .cells = {{"A3", {"x"}},
                       {"B3", {"x"}},
                       {"C3", {"x"}},
                       {"D3", {"y"}},
                       {"E3", {"z"}},
                       {"F3", {"z"}}},
             .message = kMergeDone,
             .mergedAfter = {"$A$3:$C$3", "$E$3:$F$3"}},
    Scenario{.name = "allEqualIsOneArea",
             .command = SmartMerge,
             .typed = "B2:B5",
             .cells = {{"B2", {"7"}}, {"B3", {"7"}}, {"B4", {"7"}}, {"B5", {"7"}}},
             .message = kMergeDone,
             .mergedAfter = {"$B$2:$B$5"}},
    Scenario{.name = "noEqualNeighbours",
             .command = SmartMerge,
             .typed = "B2:B4",
             .cells = {{"B2", {"1"}}, {"B3", {"2"}}, {"B4", {"1"}}},
             .message = kMergeDone},
    Scenario{.name = "zeroBlankEmptyTextIsOneRun",
             .command = SmartMerge,
             .typed = "B2:B4",
             .cells = {{"B2", {"0"}}, {"B4", {"=\"\""}}},
             .message = kMergeDone,
             .mergedAfter = {"$B$2:$B$4"}},
    Scenario{.name = "numberAndTextOneNotJoined",
             .command = SmartMerge,
             .typed = "C1:C4",
             .cells = {{"C1", {"1"}}, {"C2", {"'1"}}, {"C3", {"a"}}, {"C4", {"A"}}},
             .message = kMergeDone},
    Scenario{.name = "errorJoinsBothNeighbours",
             .command = SmartMerge,
             .typed = "B2:B4",
             .cells = {{"B2", {"1"}}, {"B3", {"=1/0"}}, {"B4", {"2"}}},
             .message = kMergeDone,
             .mergedAfter = {"$B$2:$B$4"}},
    Scenario{.name = "existingAreaGrows",
             .command = SmartMerge,
             .typed = "B2:B6",
             .cells = {{"B2", {"a"}}, {"B3", {"a"}}, {"B5", {"a"}}, {"B6", {"b"}}},
             .merged = {"B3:B4"},
             .message = kMergeDone,
             .mergedAfter = {"$B$2:$B$4"}},
    Scenario{.name = "staleScratchSheetIsPurged",
             .command = SmartMerge,
             .typed = "B2:B3",
             .cells = {{"B2", {"a"}}, {"B3", {"a"}}},
             .extraSheets = {"合并临时单元格"},
             .message = kMergeDone,
             .mergedAfter = {"$B$2:$B$3"}},
    Scenario{.name = "emptyAddress",
             .command = SmartMerge,
             .typed = "",
             .cells = {{"B2", {"a"}}, {"B3", {"a"}}},
             .message = kMergeBadAddress},
    Scenario{.name = "addressWithoutColon",
             .command = SmartMerge,
             .typed = "B2",
             .cells = {{"B2", {"a"}}},
             .message = kMergeBadAddress},
    Scenario{.name = "protectedStructure",
             .command = SmartMerge,
             .typed = "B2:B3",
             .cells = {{"B2", {"a"}}, {"B3", {"a"}}},
             .extraSheets = {"Two"},
             .protectStructure = true,
             .message = kScratchNotCreated},
    // A stale scratch sheet that cannot be deleted (the structure is protected) stays, and
    // no sheet is added beside it.
    Scenario{.name = "undeletableStaleScratchSheetStays",
             .command = SmartMerge,
             .typed = "B2:B3",
             .cells = {{"B2", {"a"}}, {"B3", {"a"}}},
             .extraSheets = {"合并临时单元格"},
             .protectStructure = true,
             .message = kScratchNotCreated,
             .sheetsAfter = Strings{"合并临时单元格"}},
    Scenario{.name = "protectedSheetChangesNothing",
             .command = SmartMerge,
             .typed = "B2:B3",
             .cells = {{"B2", {"a"}}, {"B3", {"a"}}},
             .protectSheet = true,
             .message = kMergeNothing,
             .reason = kReasonProtected},
    Scenario{.name = "mixedColumnKeepsItsFormat",
             .command = SmartMerge,
             .typed = "B2:B8",
             .cells = kColumn,
             .message = kMergeDone,
             .mergedAfter = {"$B$2:$B$3", "$B$4:$B$6", "$B$7:$B$8"},
             .bold = {"B2:B8"}},
    Scenario{.name = "swappedLowerCaseCorners",
             .command = SmartMerge,
             .typed = "f3:a3",
             .cells = {{"A3", {"x"}},
                       {"B3", {"x"}},
                       {"C3", {"x"}},
                       {"D3", {"y"}},
                       {"E3", {"z"}},
                       {"F3", {"z"}}},
             .message = kMergeDone,
             .mergedAfter = {"$A$3:$C$3", "$E$3:$F$3"}},
    Scenario{.name = "kindsSurviveTheMerge",
             .command = SmartMerge,
             .typed = "C1:C8",
             .cells = {{"C1", {"45000", Format::Date}},
                       {"C2", {"45000", Format::Date}},
                       {"C3", {"1.5", Format::Currency}},
                       {"C4", {"1.5"}},
                       {"C5", {"1", Format::Boolean}},
                       {"C6", {"-1"}},
                       {"C7", {"合并"}},
                       {"C8", {"合并"}}},
             .message = kMergeDone,
             // A currency and a number, True and -1 are equal values.
             .mergedAfter = {"$C$1:$C$2", "$C$3:$C$4", "$C$5:$C$6", "$C$7:$C$8"}},
    Scenario{.name = "existingAreaInsideARun",
             .command = SmartMerge,
             .typed = "B2:B8",
             .cells = kColumn,
             .merged = {"B5:B6"},
             .message = kMergeDone,
             .mergedAfter = {"$B$2:$B$3", "$B$4:$B$6", "$B$7:$B$8"}},
    Scenario{.name = "addressWithoutSecondCorner",
             .command = SmartMerge,
             .typed = "B2:",
             .cells = kColumn,
             .message = kMergeNothing,
             .reason = kReasonBadAddress},
    Scenario{.name = "blockIsNoLine",
             .command = SmartMerge,
             .typed = "A1:B3",
             .cells = kColumn,
             .message = kMergeNothing,
             .reason = kReasonNotLine},
    Scenario{.name = "unmergeColumnOfTwoAreas",
             .command = UnmergeFill,
             .typed = "A1:A6",
             .cells = {{"A1", {"x"}}, {"A4", {"y"}}},
             .merged = {"A1:A3", "A4:A6"},
             .message = kUnmergeDone,
             .changed = {{"A2", {"x"}}, {"A3", {"x"}}, {"A5", {"y"}}, {"A6", {"y"}}}},
    Scenario{.name = "unmergeRow",
             .command = UnmergeFill,
             .typed = "A2:D2",
             .cells = {{"A2", {"p"}}, {"C2", {"q"}}},
             .merged = {"A2:B2", "C2:D2"},
             .message = kUnmergeDone,
             .changed = {{"B2", {"p"}}, {"D2", {"q"}}}},
    Scenario{.name = "fillBlanksWithoutMerges",
             .command = UnmergeFill,
             .typed = "A1:A4",
             .cells = {{"A1", {"x"}}, {"A4", {"y"}}},
             .message = kUnmergeDone,
             .changed = {{"A2", {"x"}}, {"A3", {"x"}}}},
    Scenario{.name = "leadingBlanksStayBlank",
             .command = UnmergeFill,
             .typed = "A1:A4",
             .cells = {{"A3", {"x"}}},
             .message = kUnmergeDone,
             .changed = {{"A4", {"x"}}}},
    Scenario{.name = "zeroAndFalsePassOn",
             .command = UnmergeFill,
             .typed = "A1:A2",
             .cells = {{"A1", {"0"}}},
             .message = kUnmergeDone,
             .changed = {{"A2", {"0"}}}},
    Scenario{.name = "blockWalksRowByRow",
             .command = UnmergeFill,
             .typed = "B2:C3",
             .cells = {{"C2", {"x"}}, {"B2", {"w"}}},
             .message = kUnmergeDone,
             .changed = {{"B3", {"x"}}, {"C3", {"x"}}}},
    Scenario{.name = "emptyTextIsOverwrittenFormulaKept",
             .command = UnmergeFill,
             .typed = "A1:A4",
             .cells = {{"A1", {"x"}}, {"A2", {"=\"\""}}, {"A3", {"=A1"}}},
             .message = kUnmergeDone,
             .changed = {{"A2", {"x"}}, {"A4", {"x"}}}},
    // Both commands leave the user's calculation setting as it was.
    Scenario{.name = "manualCalculationStaysManualMerge",
             .command = SmartMerge,
             .typed = "B2:B4",
             .cells = {{"B2", {"a"}}, {"B3", {"a"}}, {"B4", {"=B2"}}},
             .manualCalculation = true,
             .message = kMergeDone,
             .mergedAfter = {"$B$2:$B$4"}},
    Scenario{.name = "manualCalculationStaysManualUnmerge",
             .command = UnmergeFill,
             .typed = "A1:A3",
             .cells = {{"A1", {"x"}}},
             .merged = {"A1:A3"},
             .manualCalculation = true,
             .message = kUnmergeDone,
             .changed = {{"A2", {"x"}}, {"A3", {"x"}}}},
    Scenario{
        .name = "unmergeCarriesKinds",
        .command = UnmergeFill,
        .typed = "B2:B9",
        .cells = {{"B2", {"a"}}, {"B5", {"45001", Format::Date}}, {"B7", {"=\"\""}}, {"B8", {"0"}}},
        .merged = {"B2:B4", "B5:B6"},
        .message = kUnmergeDone,
        .changed = {{"B3", {"a"}},
                    {"B4", {"a"}},
                    {"B6", {"45001", Format::Date}},
                    {"B7", {"45001", Format::Date}},
                    {"B9", {"0"}}}},
    // Each carried text is one that would read as something else if typed.
    Scenario{.name = "unmergeKeepsTextsThatLookLikeValues",
             .command = UnmergeFill,
             .typed = "B2:B11",
             .cells = {{"B2", {"'001"}},
                       {"B4", {"'1-2"}},
                       {"B6", {"'TRUE"}},
                       {"B8", {"'=1+1"}},
                       {"B10", {"''x"}}},
             .merged = {"B2:B3", "B4:B5", "B6:B7", "B8:B9", "B10:B11"},
             .message = kUnmergeDone,
             .changed = {{"B3", {"'001"}},
                         {"B5", {"'1-2"}},
                         {"B7", {"'TRUE"}},
                         {"B9", {"'=1+1"}},
                         {"B11", {"''x"}}}},
    Scenario{.name = "unmergeBlock",
             .command = UnmergeFill,
             .typed = "A1:C3",
             .cells = {{"A1", {"x"}}, {"C1", {"2"}}, {"A3", {"0", Format::Boolean}}, {"C3", {"y"}}},
             .merged = {"A1:B2"},
             .message = kUnmergeDone,
             // Row by row, each blank takes the value before it in that order.
             .changed = {{"B1", {"x"}},
                         {"A2", {"2"}},
                         {"B2", {"2"}},
                         {"C2", {"2"}},
                         {"B3", {"0", Format::Boolean}}}},
    Scenario{.name = "unmergeAddressWithoutColon",
             .command = UnmergeFill,
             .typed = "B2B9",
             .cells = kColumn,
             .message = kUnmergeStopped,
             .reason = kReasonBadAddress},
    Scenario{.name = "unmergeEmptyAddress",
             .command = UnmergeFill,
             .typed = "",
             .cells = {{"A1", {"x"}}},
             .merged = {"A1:A2"},
             .message = kUnmergeBadAddress,
             .mergedAfter = {"$A$1:$A$2"}},
    Scenario{.name = "errorCellStopsTheWalk",
             .command = UnmergeFill,
             .typed = "A1:A4",
             .cells = {{"A1", {"x"}}, {"A3", {"=1/0"}}},
             .message = kUnmergeStopped,
             .reason = kReasonErrorValue,
             .changed = {{"A2", {"x"}}}},
    Scenario{.name = "protectedSheetStopsUnmerge",
             .command = UnmergeFill,
             .typed = "A1:A3",
             .cells = {{"A1", {"x"}}},
             .merged = {"A1:A2"},
             .protectSheet = true,
             .message = kUnmergeStopped,
             .reason = kReasonProtected,
             .mergedAfter = {"$A$1:$A$2"}},
};

INSTANTIATE_TEST_SUITE_P(Table, ScenarioTest,
                         ::testing::Combine(::testing::ValuesIn(commandBackends()),
                                            ::testing::ValuesIn(kScenarios)),
                         caseName<Scenario>);

}  // namespace
}  // namespace gridmoor::contract
