#include "merge/SmartMerge.h"

#include <optional>
#include <string>

#include "host/HostLink.h"
#include "host/ScopeExit.h"
#include "host/StepRunner.h"
#include "texts/Texts.h"
#include "merge/HandlerGuard.h"
#include "merge/Reasons.h"
#include "merge/RunMerging.h"

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

void smartMerge(SpreadsheetHost& host, CommandView& view) {
    HostLink link(host);
    StepRunner runner;
    // Attach.
    runner.run("attach", [&] { link.attach(); });
    if (link.empty()) {
        view.showMessage(texts::kNoWorkbook);
        return;
    }
    const AppHandle application = link.app();

    // Input check: something with a ":" in it; the host judges the rest.
    if (runner.test("input check", [&] {
            const std::string text = view.Text1();
            return text.empty() || text.find(':') == std::string::npos;
        })) {
        view.showMessage(texts::kMergeBadAddress);
        return;
    }

    // Sheet-name check. The name is kept: the purge must never take the source sheet.
    CellValue sourceName;
    if (runner.test("sheet name check", [&] {
            sourceName =
                CellValue::text(host.Name(host.ActiveSheet(host.Activeworkbook(application))));
            return equalsText(sourceName, "");
        })) {
        view.showMessage(texts::kNoSheetName);
        return;
    }

    SheetHandle source;
    runner.run(kStepSource, [&] { source = host.ActiveSheet(host.Activeworkbook(application)); });

    // Purge of scratch sheets left by an interrupted run. A source sheet that carries the
    // reserved name is the user's data and stays.
    runner.forEach(
        "purge loop", [&] { return host.worksheets(application); },
        [&](SheetEnumHandle e) { return host.nextWorksheet(e); },
        [&](std::optional<SheetHandle> item) {
            if (!runner.test("purge test", [&] {
                    return equalsText(CellValue::text(host.Name(item.value_or(SheetHandle{}))),
                                      texts::kScratchSheetName);
                }))
                return;
            const bool alertsOff =
                runner.run("purge alerts off", [&] { host.DisplayAlerts(application, false); });
            runner.run("purge delete", [&] {
                // With alerts on the deletion would stop at a prompt; the stale sheet can wait.
                if (!alertsOff || equalsText(sourceName, texts::kScratchSheetName)) return;
                host.Delete(host.Sheets(application, texts::kScratchSheetName));
            });
            runner.run("purge alerts on", [&] { host.DisplayAlerts(application, true); });
        });

    const RangeCorners corners = decomposeRange(runner, host, source, view);

    // The end of every path from here: settings on, the source sheet selected, every
    // effect made final in the workbook, and only then the message.
    auto finish = [&](std::optional<RunMergingResult> result) {
        runner.run("screen updating on", [&] { host.ScreenUpdating(application, true); });
        runner.run("alerts on", [&] { host.DisplayAlerts(application, true); });
        runner.run("select source sheet", [&] { host.Select(source); });
        runner.run(kStepCommit, [&] { link.commit(); });
        view.showMessage(finalMessage(runner, result));
    };

    // A range that is no line is refused here, before anything is copied or read: its
    // size is no measure of what the command may cost.
    const std::optional<Line> line = lineOf(runner, corners);
    if (!line) {
        finish(std::nullopt);
        return;
    }

    // The scratch sheet is the sheet Sheets.Add returned; every later scratch step uses
    // that object, never a lookup by name, so no sheet of the user's is ever touched.
    CellValue lastName;
    runner.run("record last sheet", [&] {
        lastName =
            CellValue::text(host.Name(host.Sheets(application, host.SheetsCount(application))));
    });
    SheetHandle scratch;
    runner.run(kStepAddSheet, [&] {
        scratch = host.SheetsAdd(application,
                                 After{host.Sheets(application, host.SheetsCount(application))});
    });
    // Whatever escapes from here on (memory running out, a defect), an added scratch sheet
    // goes and the alerts come back on; each clean-up call is tried on its own.
    const ScopeFail cleanUp([&] {
        if (!scratch) return;
        tryQuietly([&] { host.DisplayAlerts(application, false); });
        tryQuietly([&] { host.Delete(scratch); });
        tryQuietly([&] { host.ScreenUpdating(application, true); });
        tryQuietly([&] { host.DisplayAlerts(application, true); });
    });
    if (!runner.test("creation test", [&] {
            const CellValue now =
                CellValue::text(host.Name(host.Sheets(application, host.SheetsCount(application))));
            return !valuesEqual(now, lastName);
        })) {
        // A sheet the host handed back although the workbook's last sheet did not change
        // is still ours to remove.
        if (scratch) {
            runner.run("alerts off", [&] { host.DisplayAlerts(application, false); });
            runner.run("delete scratch sheet", [&] { host.Delete(scratch); });
            runner.run("alerts on", [&] { host.DisplayAlerts(application, true); });
        }
        runner.run(kStepCommit, [&] { link.commit(); });
        view.showMessage(texts::kScratchNotCreated);
        return;
    }
    runner.run("name scratch sheet", [&] { host.setName(scratch, texts::kScratchSheetName); });
    runner.run("copy to clipboard", [&] { host.Copy(host.Range(source, view.Text1())); });
    const bool scratchFilled = runner.run(kStepScratchCopy, [&] {
        const RangeHandle from = host.Range(source, view.Text1());
        const RangeHandle to = host.Range(scratch, "A1");
        host.Copy(from, Destination{to});
    });
    RangeValue snapshot;
    const bool snapshotRead =
        runner.run(kStepSnapshot, [&] { snapshot = host.Value(host.Range(source, view.Text1())); });

    // Merging over values and deleting a sheet prompt the user while alerts are on: the
    // merges only run with alerts off, and the deletion tries once more to switch them off.
    bool alertsOff = runner.run(kStepAlertsOff, [&] { host.DisplayAlerts(application, false); });
    const RunMergingResult result = mergeRunsAndTransferFormats(
        runner, host,
        RunMergingInput{corners, *line, snapshot, scratch, source, view,
                        scratch && scratchFilled && snapshotRead && alertsOff});

    if (!alertsOff && scratch)
        alertsOff = runner.run("alerts off again", [&] { host.DisplayAlerts(application, false); });
    runner.run("delete scratch sheet", [&] { host.Delete(scratch); });
    finish(result);
}

}  // namespace

void Command3_Click(SpreadsheetHost& host, CommandView& view) {
    runGuarded(view, "Command3_Click", texts::kMergeNothing, texts::kReasonUnexpected,
               [&] { smartMerge(host, view); });
}

}  // namespace gridmoor
