// The fault sweep: a command run once for every host call it makes, failing that one call,
// and once more with the application gone from that call on, over any backend. Each run
// gets a fresh workbook; checks judge what it left there against what must hold whatever
// fails: no crash, no value lost, no sheet of the user's renamed or deleted, no stray
// scratch sheet, settings switched back on.
//
// The faults are injected beneath the command (and beneath the batching layer, for a
// batched command), so they hit the calls that reach the backend.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/BulkHost.h"
#include "host/HandleDescriber.h"
#include "merge/CommandView.h"

namespace gridmoor::testing {

enum class Fault { OneCall, GoneFrom };

// What a run left in the workbook, as far as the backend lets a test read it.
struct WorkbookState {
    std::vector<CellValue> values;  // of the command's range, row by row
    std::vector<std::string> sheets;
    std::string activeSheet;
    std::optional<bool> displayAlerts;  // nothing: the backend keeps no such setting
    bool screenUpdating = true;
    std::vector<std::string> prompts;        // the prompts a user would have seen
    std::optional<std::size_t> liveHandles;  // nothing: the backend does not tell
};

// A backend the sweep runs on.
class SweepBackend {
public:
    virtual ~SweepBackend() = default;
    // A fresh workbook, the same for every run, and the host the command's calls reach;
    // valid until the next call of fresh().
    virtual BulkHost& fresh() = 0;
    // How the call log shows the backend's objects: by id unless the backend knows better.
    virtual const HandleDescriber& describer() const { return byId_; }
    // Reads the workbook back after a run.
    virtual WorkbookState state() = 0;

private:
    HandleDescriber byId_;
};

// One command as the sweep runs it.
struct SweepCommand {
    const char* name;
    std::string typed;             // the address typed into the window
    std::string_view doneMessage;  // how the run without faults must end
    void (*click)(SpreadsheetHost&, CommandView&);
    bool batched;  // through the batching layer, as the product runs
};

// One faulted run, as the checks see it.
struct FaultedRun {
    Fault fault;
    std::string failedOp;  // the first call in the log that failed, or empty
    const std::vector<std::string>& messages;
    const WorkbookState& before;  // the fresh workbook
    const WorkbookState& done;    // after the run without faults
    const WorkbookState& after;
};
using SweepCheck = std::function<void(const FaultedRun&)>;

struct SweepResult {
    std::uint64_t calls = 0;  // of the run without faults
    int runs = 0;             // faulted runs made
    WorkbookState done;
};

// Runs `command` without faults, which must end with its done message, then faulted at
// call 1, 1 + every, 1 + 2 * every, ... of that run, once failing the call and once gone
// from it. Prints the counts.
SweepResult sweep(SweepBackend& backend, const SweepCommand& command, const SweepCheck& check,
                  std::uint64_t every = 1);

// The smart merge over Sheet1!B2:B10 of a workbook whose active sheet is Sheet1, with an
// interrupted run's scratch sheet left in it, and the unmerge and fill over Sheet1!B2:B9.
SweepCommand smartMergeSweep(bool batched);
SweepCommand unmergeFillSweep(bool batched);
void checkSmartMerge(const FaultedRun& run);
void checkUnmergeFill(const FaultedRun& run);

}  // namespace gridmoor::testing
