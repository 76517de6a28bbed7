// The two range commands, run by the engine against a real Calc: the worked examples and the
// edge cases a real application can show. Each scenario describes a workbook, the address
// typed and what must hold afterwards: the message, every merged area, the sheet list, the
// active sheet, and the value and kind of every cell of the region (unchanged unless listed).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "CalcFixture.h"
#include "host/A1Address.h"
#include "texts/Texts.h"
#include "host/memory/MemoryHost.h"
#include "merge/CommandView.h"
#include "merge/SmartMerge.h"
#include "merge/UnmergeFill.h"
#include "support/RecordingView.h"

namespace gridmoor::calctest {
namespace {

using Strings = std::vector<std::string>;
using Cells = std::map<std::string, std::string>;  // A1 -> content as typed ("=1/0", "'1")

using testing::RecordingView;

enum class Command { SmartMerge, UnmergeFill };

struct Scenario {
    const char* name;
    Command command;
    std::string typed;
    Cells cells;                // on Sheet1
    Strings merged;             // merged areas on Sheet1 before
    Strings extraSheets;        // sheets after Sheet1
    bool protectSheet = false;  // Sheet1
    bool protectStructure = false;
    std::string message;  // the one message, or its beginning when prefixOnly
    bool prefixOnly = false;
    Strings mergedAfter;
    Cells changed;                   // cells whose content differs afterwards
    Strings sheetsAfter;             // empty: Sheet1 and extraSheets minus any scratch sheet
    bool manualCalculation = false;  // the user's setting, which the command leaves alone
};

constexpr const char* kRegion = "A1:H12";

// What a typed content holds as a value; a reference "=B3" takes the value typed at B3.
CellValue typedValue(const std::string& typed, const Cells& cells) {
    if (typed.empty()) return CellValue();
    if (typed[0] == '\'') return CellValue::text(typed.substr(1));
    if (typed == "=\"\"") return CellValue::text("");
    if (typed == "=1/0") return CellValue::error(2007);
    if (typed == "=NA()") return CellValue::error(2042);
    if (typed[0] == '=') {
        const auto it = cells.find(typed.substr(1));
        return it == cells.end() ? CellValue() : typedValue(it->second, cells);
    }
    char* end = nullptr;
    const double d = std::strtod(typed.c_str(), &end);
    if (end && *end == '\0') return CellValue::floating(d);
    return CellValue::text(typed);
}

std::string shown(const CellValue& cell) {
    return describe(cell) + "/" + std::to_string(static_cast<int>(cell.kind())) + "." +
           std::to_string(cell.isNumber() ? static_cast<int>(cell.numberKind()) : 0);
}

// describe() of the value and kind of every cell of the region, read through the host.
std::map<std::string, std::string> valuesOf(SpreadsheetHost& host) {
    HostLink link(host);
    link.attach();
    std::map<std::string, std::string> out;
    const SheetHandle sheet = host.Sheets(link.app(), "Sheet1");
    const RangeValue v = host.Value(host.Range(sheet, kRegion));
    for (long r = 1; r <= v.array().rows(); ++r) {
        for (long c = 1; c <= v.array().columns(); ++c) {
            out[columnLetters(static_cast<std::int32_t>(c)) + std::to_string(r)] =
                shown(v.at(r, c));
        }
    }
    return out;
}

// One backend with its model side: builds the workbook and inspects it.
class Stage {
public:
    virtual ~Stage() = default;
    virtual SpreadsheetHost& host() = 0;
    virtual void enter(const std::string& at, const std::string& typed, const Cells& all) = 0;
    virtual void merge(const std::string& area) = 0;
    virtual void addSheet(const std::string& name) = 0;
    virtual void protectSheet(bool on) = 0;
    virtual void protectStructure(bool on) = 0;
    virtual void setManualCalculation() = 0;
    // The settings the application has: whether the screen shows changes, whether formulas
    // are calculated automatically.
    virtual bool screenUpdating() = 0;
    virtual bool automaticCalculation() = 0;
    virtual Strings mergedAreas() = 0;
    virtual Strings sheetNames() = 0;
    virtual std::string activeSheet() = 0;
    // Typed contents (formulas) of the region; empty where the backend has none.
    virtual Cells contents() = 0;
    // Entries in the workbook's undo list; 0 where the backend keeps none.
    virtual long undoEntries() = 0;
};

class MemoryStage : public Stage {
public:
    MemoryStage() { memory_.addWorkbook("Report.xlsx", {"Sheet1"}); }
    SpreadsheetHost& host() override { return memory_; }
    void enter(const std::string& at, const std::string& typed, const Cells& all) override {
        memory_.setCell("Sheet1", at, typedValue(typed, all));
    }
    void merge(const std::string& area) override { memory_.mergeCells("Sheet1", area); }
    void addSheet(const std::string& name) override { memory_.addWorksheet(name); }
    void protectSheet(bool on) override { memory_.protectSheet("Sheet1", on); }
    void protectStructure(bool on) override { memory_.protectStructure(on); }
    void setManualCalculation() override {
        HostLink link(memory_);
        link.attach();
        memory_.Calculation(link.app(), xlCalculationManual);
    }
    bool screenUpdating() override { return memory_.screenUpdating(); }
    bool automaticCalculation() override { return memory_.calculation() == xlCalculationAutomatic; }
    Strings mergedAreas() override {
        Strings m = memory_.mergedAreas("Sheet1");
        std::sort(m.begin(), m.end());
        return m;
    }
    Strings sheetNames() override { return memory_.sheetNames(); }
    std::string activeSheet() override { return memory_.activeSheetName(); }
    Cells contents() override { return {}; }
    long undoEntries() override { return 0; }

private:
    MemoryHost memory_;
};

class CalcStage : public Stage {
public:
    CalcStage()
        : office_(sharedOffice()), probe_(office_.pipeName()), host_({office_.pipeName(), true}) {
        probe_.newWorkbook("Sheet1");
    }
    SpreadsheetHost& host() override { return host_; }
    void enter(const std::string& at, const std::string& typed, const Cells&) override {
        probe_.enter("Sheet1", at, typed);
    }
    void merge(const std::string& area) override { probe_.merge("Sheet1", area); }
    void addSheet(const std::string& name) override { probe_.addSheet(name); }
    void protectSheet(bool on) override { probe_.protectSheet("Sheet1", on); }
    void protectStructure(bool on) override { probe_.protectStructure(on); }
    void setManualCalculation() override { probe_.setAutomaticCalculation(false); }
    bool screenUpdating() override { return !probe_.controllersLocked(); }
    bool automaticCalculation() override { return probe_.automaticCalculation(); }
    Strings mergedAreas() override { return probe_.mergedAreas("Sheet1"); }
    Strings sheetNames() override { return probe_.sheetNames(); }
    std::string activeSheet() override { return probe_.activeSheet(); }
    Cells contents() override {
        Cells out;
        for (long r = 1; r <= 12; ++r) {
            for (std::int32_t c = 1; c <= 8; ++c) {
                const std::string at = columnLetters(c) + std::to_string(r);
                out[at] = probe_.formula("Sheet1", at);
            }
        }
        return out;
    }
    long undoEntries() override { return probe_.undoCount(); }

private:
    Soffice& office_;
    calc::CalcProbe probe_;
    BatchedCalc host_;
};

enum class Backend { Memory, Calc };

// Test names and failure messages show the backend and the scenario's name, not their bytes.
void PrintTo(Backend b, std::ostream* os) {
    *os << (b == Backend::Memory ? "memory" : "calc");
}
void PrintTo(const Scenario& s, std::ostream* os) {
    *os << s.name;
}

class ScenarioTest : public ::testing::TestWithParam<std::tuple<Backend, Scenario>> {};

TEST_P(ScenarioTest, CommandHasExactlyItsEffect) {
    const auto& [backend, s] = GetParam();
    std::unique_ptr<Stage> stage;
    if (backend == Backend::Memory) {
        stage = std::make_unique<MemoryStage>();
    } else {
        stage = std::make_unique<CalcStage>();
    }
    for (const auto& [at, content] : s.cells) stage->enter(at, content, s.cells);
    for (const auto& m : s.merged) stage->merge(m);
    for (const auto& name : s.extraSheets) stage->addSheet(name);
    auto expectedValues = valuesOf(stage->host());
    Cells expectedContents = stage->contents();
    for (const auto& [at, typed] : s.changed) {
        expectedValues[at] = shown(typedValue(typed, s.cells));
        if (!expectedContents.empty()) expectedContents[at] = typed;
    }
    if (s.protectSheet) stage->protectSheet(true);
    if (s.protectStructure) stage->protectStructure(true);
    if (s.manualCalculation) stage->setManualCalculation();

    // What the workbook shows while the message is on screen, when the user can already
    // type, insert rows or save: it must be the command's final result, undo entry included.
    struct Seen {
        Strings merged, sheets;
        Cells contents;
        long undoEntries;
    };
    std::vector<Seen> seen;
    RecordingView view(s.typed);
    view.onMessage = [&] {
        seen.push_back(Seen{stage->mergedAreas(), stage->sheetNames(), stage->contents(),
                            stage->undoEntries()});
    };
    if (s.command == Command::SmartMerge) {
        Command3_Click(stage->host(), view);
    } else {
        Command4_Click(stage->host(), view);
    }

    ASSERT_EQ(view.messages.size(), 1u);
    if (s.prefixOnly) {
        EXPECT_EQ(view.messages[0].rfind(s.message, 0), 0u) << view.messages[0];
    } else {
        EXPECT_EQ(view.messages[0], s.message);
    }
    EXPECT_EQ(stage->mergedAreas(), s.mergedAfter);
    Strings sheetsAfter = s.sheetsAfter;
    if (sheetsAfter.empty()) {
        sheetsAfter.push_back("Sheet1");
        for (const auto& n : s.extraSheets) {
            if (n != texts::kScratchSheetName) sheetsAfter.push_back(n);
        }
    }
    EXPECT_EQ(stage->sheetNames(), sheetsAfter);
    EXPECT_EQ(stage->activeSheet(), "Sheet1");
    EXPECT_TRUE(stage->screenUpdating());
    EXPECT_EQ(stage->automaticCalculation(), !s.manualCalculation);
    EXPECT_EQ(stage->contents(), expectedContents);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].merged, stage->mergedAreas());
    EXPECT_EQ(seen[0].sheets, stage->sheetNames());
    EXPECT_EQ(seen[0].contents, expectedContents);
    EXPECT_EQ(seen[0].undoEntries, stage->undoEntries());
    EXPECT_EQ(valuesOf(stage->host()), expectedValues);
}

const std::string kDone(texts::kMergeDone);
const std::string kUnDone(texts::kUnmergeDone);

const Scenario kScenarios[] = {
    Scenario{
        "verticalWorkedExample",
        Command::SmartMerge,
        "B2:B8",
        {{"B2", "a"}, {"B3", "a"}, {"B4", "b"}, {"B5", "b"}, {"B6", "b"}, {"B7", "c"}, {"B8", "c"}},
        {},
        {},
        false,
        false,
        kDone,
        false,
        {"$B$2:$B$3", "$B$4:$B$6", "$B$7:$B$8"},
        {},
        {}},
    Scenario{"horizontalWorkedExample",
             Command::SmartMerge,
             "A3:F3",
             {{"A3", "x"}, {"B3", "x"}, {"C3", "x"}, {"D3", "y"}, {"E3", "z"}, {"F3", "z"}},
             {},
             {},
             false,
             false,
             kDone,
             false,
             {"$A$3:$C$3", "$E$3:$F$3"},
             {},
             {}},
    Scenario{"allEqualIsOneArea",
             Command::SmartMerge,
             "B2:B5",
             {{"B2", "7"}, {"B3", "7"}, {"B4", "7"}, {"B5", "7"}},
             {},
             {},
             false,
             false,
             kDone,
             false,
             {"$B$2:$B$5"},
             {},
             {}},
    Scenario{"noEqualNeighbours",
             Command::SmartMerge,
             "B2:B4",
             {{"B2", "1"}, {"B3", "2"}, {"B4", "1"}},
             {},
             {},
             false,
             false,
             kDone,
             false,
             {},
             {},
             {}},
    Scenario{"zeroBlankEmptyTextIsOneRun",
             Command::SmartMerge,
             "B2:B4",
             {{"B2", "0"}, {"B4", "=\"\""}},
             {},
             {},
             false,
             false,
             kDone,
             false,
             {"$B$2:$B$4"},
             {},
             {}},
    Scenario{"numberAndTextOneNotJoined",
             Command::SmartMerge,
             "C1:C4",
             {{"C1", "1"}, {"C2", "'1"}, {"C3", "a"}, {"C4", "A"}},
             {},
             {},
             false,
             false,
             kDone,
             false,
             {},
             {},
             {}},
    Scenario{"errorJoinsBothNeighbours",
             Command::SmartMerge,
             "B2:B4",
             {{"B2", "1"}, {"B3", "=1/0"}, {"B4", "2"}},
             {},
             {},
             false,
             false,
             kDone,
             false,
             {"$B$2:$B$4"},
             {},
             {}},
    Scenario{"existingAreaGrows",
             Command::SmartMerge,
             "B2:B6",
             {{"B2", "a"}, {"B3", "a"}, {"B5", "a"}, {"B6", "b"}},
             {"B3:B4"},
             {},
             false,
             false,
             kDone,
             false,
             {"$B$2:$B$4"},
             {},
             {}},
    Scenario{"staleScratchSheetIsPurged",
             Command::SmartMerge,
             "B2:B3",
             {{"B2", "a"}, {"B3", "a"}},
             {},
             {"合并临时单元格"},
             false,
             false,
             kDone,
             false,
             {"$B$2:$B$3"},
             {},
             {"Sheet1"}},
    Scenario{"emptyAddress",
             Command::SmartMerge,
             "",
             {{"B2", "a"}, {"B3", "a"}},
             {},
             {},
             false,
             false,
             std::string(texts::kMergeBadAddress),
             false,
             {},
             {},
             {}},
    Scenario{"addressWithoutColon",
             Command::SmartMerge,
             "B2",
             {{"B2", "a"}},
             {},
             {},
             false,
             false,
             std::string(texts::kMergeBadAddress),
             false,
             {},
             {},
             {}},
    Scenario{"protectedStructure",
             Command::SmartMerge,
             "B2:B3",
             {{"B2", "a"}, {"B3", "a"}},
             {},
             {"Two"},
             false,
             true,
             std::string(texts::kScratchNotCreated),
             false,
             {},
             {},
             {}},
    // A stale scratch sheet that cannot be deleted (the structure is protected) stays, and
    // no sheet is added beside it.
    Scenario{"undeletableStaleScratchSheetStays",
             Command::SmartMerge,
             "B2:B3",
             {{"B2", "a"}, {"B3", "a"}},
             {},
             {"合并临时单元格"},
             false,
             true,
             std::string(texts::kScratchNotCreated),
             false,
             {},
             {},
             {"Sheet1", "合并临时单元格"}},
    Scenario{"protectedSheetChangesNothing",
             Command::SmartMerge,
             "B2:B3",
             {{"B2", "a"}, {"B3", "a"}},
             {},
             {},
             true,
             false,
             std::string(texts::kMergeNothing),
             true,
             {},
             {},
             {}},
    Scenario{"unmergeColumnOfTwoAreas",
             Command::UnmergeFill,
             "A1:A6",
             {{"A1", "x"}, {"A4", "y"}},
             {"A1:A3", "A4:A6"},
             {},
             false,
             false,
             kUnDone,
             false,
             {},
             {{"A2", "x"}, {"A3", "x"}, {"A5", "y"}, {"A6", "y"}},
             {}},
    Scenario{"unmergeRow",
             Command::UnmergeFill,
             "A2:D2",
             {{"A2", "p"}, {"C2", "q"}},
             {"A2:B2", "C2:D2"},
             {},
             false,
             false,
             kUnDone,
             false,
             {},
             {{"B2", "p"}, {"D2", "q"}},
             {}},
    Scenario{"fillBlanksWithoutMerges",
             Command::UnmergeFill,
             "A1:A4",
             {{"A1", "x"}, {"A4", "y"}},
             {},
             {},
             false,
             false,
             kUnDone,
             false,
             {},
             {{"A2", "x"}, {"A3", "x"}},
             {}},
    Scenario{"leadingBlanksStayBlank",
             Command::UnmergeFill,
             "A1:A4",
             {{"A3", "x"}},
             {},
             {},
             false,
             false,
             kUnDone,
             false,
             {},
             {{"A4", "x"}},
             {}},
    Scenario{"zeroAndFalsePassOn",
             Command::UnmergeFill,
             "A1:A2",
             {{"A1", "0"}},
             {},
             {},
             false,
             false,
             kUnDone,
             false,
             {},
             {{"A2", "0"}},
             {}},
    Scenario{"blockWalksRowByRow",
             Command::UnmergeFill,
             "B2:C3",
             {{"C2", "x"}, {"B2", "w"}},
             {},
             {},
             false,
             false,
             kUnDone,
             false,
             {},
             {{"B3", "x"}, {"C3", "x"}},
             {}},
    Scenario{"emptyTextIsOverwrittenFormulaKept",
             Command::UnmergeFill,
             "A1:A4",
             {{"A1", "x"}, {"A2", "=\"\""}, {"A3", "=A1"}},
             {},
             {},
             false,
             false,
             kUnDone,
             false,
             {},
             {{"A2", "x"}, {"A4", "x"}},
             {}},
    // Both commands leave the user's calculation setting as it was.
    Scenario{"manualCalculationStaysManualMerge",
             Command::SmartMerge,
             "B2:B4",
             {{"B2", "a"}, {"B3", "a"}, {"B4", "=B2"}},
             {},
             {},
             false,
             false,
             kDone,
             false,
             {"$B$2:$B$4"},
             {},
             {},
             true},
    Scenario{"manualCalculationStaysManualUnmerge",
             Command::UnmergeFill,
             "A1:A3",
             {{"A1", "x"}},
             {"A1:A3"},
             {},
             false,
             false,
             kUnDone,
             false,
             {},
             {{"A2", "x"}, {"A3", "x"}},
             {},
             true},
    Scenario{"unmergeEmptyAddress",
             Command::UnmergeFill,
             "",
             {{"A1", "x"}},
             {"A1:A2"},
             {},
             false,
             false,
             std::string(texts::kUnmergeBadAddress),
             false,
             {"$A$1:$A$2"},
             {},
             {}},
    Scenario{"errorCellStopsTheWalk",
             Command::UnmergeFill,
             "A1:A4",
             {{"A1", "x"}, {"A3", "=1/0"}},
             {},
             {},
             false,
             false,
             std::string(texts::kUnmergeStopped),
             true,
             {},
             {{"A2", "x"}},
             {}},
    Scenario{"protectedSheetStopsUnmerge",
             Command::UnmergeFill,
             "A1:A3",
             {{"A1", "x"}},
             {"A1:A2"},
             {},
             true,
             false,
             std::string(texts::kUnmergeStopped),
             true,
             {"$A$1:$A$2"},
             {},
             {}}};

INSTANTIATE_TEST_SUITE_P(Table, ScenarioTest,
                         ::testing::Combine(::testing::Values(Backend::Memory, Backend::Calc),
                                            ::testing::ValuesIn(kScenarios)),
                         [](const ::testing::TestParamInfo<std::tuple<Backend, Scenario>>& p) {
                             return std::string(std::get<0>(p.param) == Backend::Memory ? "memory_"
                                                                                        : "calc_") +
                                    std::get<1>(p.param).name;
                         });

}  // namespace
}  // namespace gridmoor::calctest

namespace gridmoor::calctest {
namespace {

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
