#include "merge/SmartMerge.h"

#include <optional>
#include <string>

#include "host/HostLink.h"
#include "host/ScopeExit.h"
#include "host/StepRunner.h"
#include "merge/HandlerGuard.h"
#include "merge/Reasons.h"
#include "merge/RunMerging.h"
#include "texts/Texts.h"

namespace gridmoor {

namespace {

// Steps that must have worked for the merge to have a source and a scratch block.
constexpr std::string_view kStepSource = "record source sheet";
constexpr std::string_view kStepAddSheet = "add scratch sheet";
constexpr std::string_view kStepScratchCopy = "copy to scratch sheet";
constexpr std::string_view kStepSnapshot = "read values";
constexpr std::string_view kStepAlertsOff = "alerts off";
constexpr std::string_view kStepCommit = "commit";

// The message after a smart merge that got past the input checks. `result` is empty when
// the range was no line and nothing was attempted.
std::string finalMessage(const StepRunner& runner, std::optional<RunMergingResult> result) {
    const bool pasted = result == RunMergingResult::Pasted;
    if (runner.failureOf(kStepAddress) && !pasted)
        return std::string(texts::kMergeNothing) + std::string(texts::kReasonBadAddress);
    if (!result) return std::string(texts::kMergeNothing) + std::string(texts::kReasonNotLine);
    // Work the host could not make final may be missing from the workbook.
    if (const DroppedStep* f = runner.failureOf(kStepCommit); f && pasted)
        return std::string(texts::kMergeUnconfirmed) + std::string(reasonText(*f));
    if (pasted) {
        if (const DroppedStep* f = runner.failureOf(kStepPairMerge))
            return std::string(texts::kMergePartly) + std::string(reasonText(*f));
        return std::string(texts::kMergeDone);
    }
    // The first failure on the way from the source to the paste explains the rest.
    for (std::string_view step : {kStepSource, kStepAddSheet, kStepScratchCopy, kStepSnapshot,
                                  kStepAlertsOff, kStepBlockCopy, kStepFormatPaste, kStepCommit}) {
        if (const DroppedStep* f = runner.failureOf(step))
            return std::string(texts::kMergeNothing) + std::string(reasonText(*f));
    }
    return std::string(texts::kMergeNothing) + std::string(texts::kReasonOther);
}

// One smart merge, from attaching to the message. The steps are members so that run()
// reads as the list of them, in the order the host sees them.
class SmartMergeRun {
public:
    SmartMergeRun(SpreadsheetHost& host, CommandView& view)
        : host_(host), view_(view), link_(host) {}

    void run() {
        if (!attachAndCheckInput()) return;
        runner_.run(kStepSource, [&] { source_ = host_.ActiveSheet(host_.Activeworkbook(app_)); });
        purgeStaleScratchSheets();
        const RangeCorners corners = decomposeRange(runner_, host_, source_, view_);
        // A range that is no line is refused here, before anything is copied or read: its
        // size is no measure of what the command may cost.
        const std::optional<Line> line = lineOf(runner_, corners);
        if (!line) {
            finish(std::nullopt);
            return;
        }
        const CellValue lastName = addScratchSheet();
        // Whatever escapes from here on (memory running out, a defect), an added scratch
        // sheet goes and the alerts come back on; each clean-up call is tried on its own.
        const ScopeFail cleanUp([&] { removeScratchQuietly(); });
        if (!scratchWasCreated(lastName)) {
            dropUncreatedScratch();
            return;
        }
        finish(mergeThroughScratch(corners, *line));
    }

private:
    // Attaches, then checks the typed address and the sheet name. False when the command
    // ended here with its message.
    bool attachAndCheckInput() {
        runner_.run("attach", [&] { link_.attach(); });
        if (link_.empty()) {
            view_.showMessage(texts::kNoWorkbook);
            return false;
        }
        app_ = link_.app();
        // Something with a ":" in it; the host judges the rest.
        if (runner_.test("input check", [&] {
                const std::string text = view_.Text1();
                return text.empty() || text.find(':') == std::string::npos;
            })) {
            view_.showMessage(texts::kMergeBadAddress);
            return false;
        }
        // The name is kept: the purge must never take the source sheet.
        if (runner_.test("sheet name check", [&] {
                sourceName_ =
                    CellValue::text(host_.Name(host_.ActiveSheet(host_.Activeworkbook(app_))));
                return equalsText(sourceName_, "");
            })) {
            view_.showMessage(texts::kNoSheetName);
            return false;
        }
        return true;
    }

    // Deletes scratch sheets left by an interrupted run. A source sheet that carries the
    // reserved name is the user's data and stays.
    void purgeStaleScratchSheets() {
        runner_.forEach(
            "purge loop", [&] { return host_.worksheets(app_); },
            [&](SheetEnumHandle e) { return host_.nextWorksheet(e); },
            [&](std::optional<SheetHandle> item) {
                if (!runner_.test("purge test", [&] {
                        return equalsText(CellValue::text(host_.Name(item.value_or(SheetHandle{}))),
                                          texts::kScratchSheetName);
                    }))
                    return;
                const bool alertsOff =
                    runner_.run("purge alerts off", [&] { host_.DisplayAlerts(app_, false); });
                runner_.run("purge delete", [&] {
                    // With alerts on the deletion would stop at a prompt; the stale sheet can wait.
                    if (!alertsOff || equalsText(sourceName_, texts::kScratchSheetName)) return;
                    host_.Delete(host_.Sheets(app_, texts::kScratchSheetName));
                });
                runner_.run("purge alerts on", [&] { host_.DisplayAlerts(app_, true); });
            });
    }

    // Adds the scratch sheet after the last one and returns the last sheet's name before
    // the addition. The scratch sheet is the object Sheets.Add returned; every later
    // scratch step uses it, never a lookup by name, so no sheet of the user's is touched.
    CellValue addScratchSheet() {
        CellValue lastName;
        runner_.run("record last sheet", [&] {
            lastName = CellValue::text(host_.Name(host_.Sheets(app_, host_.SheetsCount(app_))));
        });
        runner_.run(kStepAddSheet, [&] {
            scratch_ = host_.SheetsAdd(app_, After{host_.Sheets(app_, host_.SheetsCount(app_))});
        });
        return lastName;
    }

    bool scratchWasCreated(const CellValue& lastName) {
        return runner_.test("creation test", [&] {
            const CellValue now =
                CellValue::text(host_.Name(host_.Sheets(app_, host_.SheetsCount(app_))));
            return !valuesEqual(now, lastName);
        });
    }

    // The workbook's last sheet did not change: nothing is merged. A sheet the host handed
    // back anyway is still ours to remove.
    void dropUncreatedScratch() {
        if (scratch_) {
            runner_.run("alerts off", [&] { host_.DisplayAlerts(app_, false); });
            runner_.run("delete scratch sheet", [&] { host_.Delete(scratch_); });
            runner_.run("alerts on", [&] { host_.DisplayAlerts(app_, true); });
        }
        runner_.run(kStepCommit, [&] { link_.commit(); });
        view_.showMessage(texts::kScratchNotCreated);
    }

    void removeScratchQuietly() noexcept {
        if (!scratch_) return;
        tryQuietly([&] { host_.DisplayAlerts(app_, false); });
        tryQuietly([&] { host_.Delete(scratch_); });
        tryQuietly([&] { host_.ScreenUpdating(app_, true); });
        tryQuietly([&] { host_.DisplayAlerts(app_, true); });
    }

    // Copies the range to the scratch sheet, reads its values, merges the runs there and
    // pastes the formats back; then deletes the scratch sheet.
    RunMergingResult mergeThroughScratch(const RangeCorners& corners, const Line& line) {
        runner_.run("name scratch sheet",
                    [&] { host_.setName(scratch_, texts::kScratchSheetName); });
        runner_.run("copy to clipboard", [&] { host_.Copy(host_.Range(source_, view_.Text1())); });
        const bool scratchFilled = runner_.run(kStepScratchCopy, [&] {
            const RangeHandle from = host_.Range(source_, view_.Text1());
            const RangeHandle to = host_.Range(scratch_, "A1");
            host_.Copy(from, Destination{to});
        });
        RangeValue snapshot;
        const bool snapshotRead = runner_.run(
            kStepSnapshot, [&] { snapshot = host_.Value(host_.Range(source_, view_.Text1())); });

        // Merging over values and deleting a sheet prompt the user while alerts are on: the
        // merges only run with alerts off, and the deletion tries once more to switch them off.
        bool alertsOff = runner_.run(kStepAlertsOff, [&] { host_.DisplayAlerts(app_, false); });
        const RunMergingResult result = mergeRunsAndTransferFormats(
            runner_, host_,
            RunMergingInput{corners, line, snapshot, scratch_, source_, view_,
                            scratch_ && scratchFilled && snapshotRead && alertsOff});
        if (!alertsOff && scratch_)
            alertsOff = runner_.run("alerts off again", [&] { host_.DisplayAlerts(app_, false); });
        runner_.run("delete scratch sheet", [&] { host_.Delete(scratch_); });
        return result;
    }

    // The end of every path past the input checks: settings on, the source sheet
    // selected, every effect made final in the workbook, and only then the message.
    void finish(std::optional<RunMergingResult> result) {
        runner_.run("screen updating on", [&] { host_.ScreenUpdating(app_, true); });
        runner_.run("alerts on", [&] { host_.DisplayAlerts(app_, true); });
        runner_.run("select source sheet", [&] { host_.Select(source_); });
        runner_.run(kStepCommit, [&] { link_.commit(); });
        view_.showMessage(finalMessage(runner_, result));
    }

    SpreadsheetHost& host_;
    CommandView& view_;
    HostLink link_;
    StepRunner runner_;
    AppHandle app_{};
    CellValue sourceName_;
    SheetHandle source_{};
    SheetHandle scratch_{};
};

}  // namespace

void Command3_Click(SpreadsheetHost& host, CommandView& view) {
    runGuarded(view, "Command3_Click", texts::kMergeNothing, texts::kReasonUnexpected,
               [&] { SmartMergeRun(host, view).run(); });
}

}  // namespace gridmoor
