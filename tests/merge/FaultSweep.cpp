#include "FaultSweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

#include "host/BatchingHost.h"
#include "host/FaultInjectingHost.h"
#include "host/RecordingHost.h"
#include "merge/SmartMerge.h"
#include "merge/UnmergeFill.h"
#include "support/RecordingView.h"
#include "texts/Texts.h"

namespace gridmoor::testing {

namespace {

void runCommand(const SweepCommand& command, BulkHost& host, RecordingView& view) {
    if (!command.batched) {
        command.click(host, view);
        return;
    }
    BatchingHost layer(host);
    command.click(layer, view);
}

std::string firstFailedOp(const CallLog& log) {
    for (const auto& c : log.calls())
        if (c.failed) return c.op;
    return {};
}

// The command ended before it changed anything: it found no workbook, refused the
// address, or could not add its scratch sheet.
bool isEarlyEnd(const std::vector<std::string>& messages) {
    for (std::string_view early : {texts::kNoWorkbook, texts::kMergeBadAddress, texts::kNoSheetName,
                                   texts::kScratchNotCreated}) {
        if (messages == std::vector<std::string>{std::string(early)}) return true;
    }
    return false;
}

// Settings a command switches off must be on again after it, unless switching them back on
// was the call that failed.
void expectSettingsOn(const FaultedRun& run) {
    if (run.failedOp != "DisplayAlerts" && run.after.displayAlerts) {
        EXPECT_TRUE(*run.after.displayAlerts);
    }
    if (run.failedOp != "ScreenUpdating") {
        EXPECT_TRUE(run.after.screenUpdating);
    }
}

}  // namespace

SweepResult sweep(SweepBackend& backend, const SweepCommand& command, const SweepCheck& check,
                  std::uint64_t every) {
    SweepResult result;
    WorkbookState before;
    {
        BulkHost& host = backend.fresh();
        before = backend.state();
        RecordingBulkHost log(host, backend.describer());
        RecordingView view(command.typed);
        runCommand(command, log, view);
        EXPECT_EQ(view.messages, std::vector<std::string>{std::string(command.doneMessage)});
        result.calls = log.callCount();
        result.done = backend.state();
    }
    for (Fault fault : {Fault::OneCall, Fault::GoneFrom}) {
        for (std::uint64_t k = 1; k <= result.calls; k += every) {
            SCOPED_TRACE((fault == Fault::OneCall ? "call " : "gone from call ") +
                         std::to_string(k));
            FaultInjectingBulkHost faults(backend.fresh());
            RecordingBulkHost log(faults, backend.describer());
            if (fault == Fault::OneCall)
                faults.failCall(k);
            else
                faults.goneFrom(k);
            RecordingView view(command.typed);
            runCommand(command, log, view);
            ++result.runs;
            const std::string failed = firstFailedOp(log);
            SCOPED_TRACE("failed op " + failed);
            const WorkbookState after = backend.state();
            check(FaultedRun{fault, failed, view.messages, before, result.done, after});
            if (after.liveHandles) {
                EXPECT_EQ(*after.liveHandles, 0u);
            }
        }
    }
    std::cout << "[ sweep    ] " << command.name << (command.batched ? ", batched" : "") << ": "
              << result.calls << " calls, " << result.runs << " faulted runs\n";
    return result;
}

SweepCommand smartMergeSweep(bool batched) {
    return {"smart merge", "B2:B10", texts::kMergeDone, &Command3_Click, batched};
}

SweepCommand unmergeFillSweep(bool batched) {
    return {"unmerge and fill", "B2:B9", texts::kUnmergeDone, &Command4_Click, batched};
}

void checkSmartMerge(const FaultedRun& run) {
    EXPECT_EQ(run.messages.size(), 1u);
    // No value of the source range changed.
    ASSERT_EQ(run.after.values.size(), run.before.values.size());
    for (std::size_t i = 0; i < run.after.values.size(); ++i)
        EXPECT_TRUE(identical(run.after.values[i], run.before.values[i])) << "B" << i + 2;
    // Every sheet of the user's is there, in order, under its name; the interrupted run's
    // scratch sheet and the one the command adds are not the user's.
    const auto isUsers = [&](const std::string& s) {
        return s != texts::kScratchSheetName &&
               std::find(run.before.sheets.begin(), run.before.sheets.end(), s) !=
                   run.before.sheets.end();
    };
    std::vector<std::string> userBefore;
    std::copy_if(run.before.sheets.begin(), run.before.sheets.end(), std::back_inserter(userBefore),
                 isUsers);
    std::vector<std::string> user;
    std::vector<std::string> extra;
    for (const auto& s : run.after.sheets) (isUsers(s) ? user : extra).push_back(s);
    EXPECT_EQ(user, userBefore);
    EXPECT_TRUE(run.after.prompts.empty());
    if (run.fault != Fault::OneCall) return;
    // The sheet the command added is gone unless deleting it was the failed call; the
    // stale scratch sheet is gone unless the command ended before or at the purge (a
    // failed read there leaves it).
    const std::string& failed = run.failedOp;
    const bool mayKeepOne = isEarlyEnd(run.messages) || failed == "Delete" || failed == "Sheets" ||
                            failed == "worksheets" || failed == "nextWorksheet" ||
                            failed == "Name" || failed == "DisplayAlerts";
    EXPECT_LE(extra.size(), mayKeepOne ? 1u : 0u);
    if (isEarlyEnd(run.messages)) return;
    expectSettingsOn(run);
    if (failed != "Select" && failed != "Activeworkbook" && failed != "ActiveSheet") {
        EXPECT_EQ(run.after.activeSheet, run.before.activeSheet);
    }
}

void checkUnmergeFill(const FaultedRun& run) {
    ASSERT_EQ(run.messages.size(), 1u);
    // Every cell holds either what it held or what the completed command gives it: a walk
    // that stopped keeps what it did and nothing else.
    ASSERT_EQ(run.after.values.size(), run.before.values.size());
    for (std::size_t i = 0; i < run.after.values.size(); ++i)
        EXPECT_TRUE(identical(run.after.values[i], run.before.values[i]) ||
                    identical(run.after.values[i], run.done.values[i]))
            << "B" << i + 2;
    EXPECT_EQ(run.after.sheets, run.before.sheets);
    if (run.fault != Fault::OneCall || run.messages[0] == texts::kNoWorkbook) return;
    expectSettingsOn(run);
    EXPECT_NE(run.messages[0], texts::kUnmergeDone);
}

}  // namespace gridmoor::testing
