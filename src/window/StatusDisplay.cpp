#include "window/StatusDisplay.h"

#include <cstdint>
#include <optional>
#include <string>

#include "host/HostLink.h"
#include "host/StepRunner.h"
#include "texts/Texts.h"
#include "merge/HandlerGuard.h"

namespace gridmoor {
namespace {

// The value the refresh writes to Calculation: the integer 1 of the 16-bit kind, on
// purpose not the object model's constant for automatic calculation.
constexpr std::int16_t kRefreshCalculation = 1;

// The attach step. The link is opened inside the step, so a backend that cannot even
// begin a run counts as "no application" instead of ending the handler with an error.
void attachStep(StepRunner& steps, SpreadsheetHost& host, std::optional<HostLink>& link) {
    steps.run("attach", [&] {
        link.emplace(host);
        link->attach();
    });
}

bool linkEmpty(const std::optional<HostLink>& link) {
    return !link || link->empty();
}

// A status line is one step: every read happens before the caption is set, so a failing
// read leaves the caption as it was.
std::string workbookLine(SpreadsheetHost& host, AppHandle app) {
    std::string line(texts::kWorkbookLinePrefix);
    line += host.Name(host.Activeworkbook(app));
    return line;
}

std::string worksheetLine(SpreadsheetHost& host, AppHandle app) {
    std::string line(texts::kSheetLinePrefix);
    // Activeworkbook is read again: the line never reuses the workbook of the line before.
    line += host.Name(host.ActiveSheet(host.Activeworkbook(app)));
    return line;
}

}  // namespace

namespace {

void load(SpreadsheetHost& host, FormView& view) {
    StepRunner steps;
    std::optional<HostLink> link;

    steps.run("topmost", [&] { view.requestTopmost(); });
    steps.run("empty Label1", [&] { view.setLabel1(""); });
    steps.run("empty Label2", [&] { view.setLabel2(""); });
    steps.run("empty Text1", [&] { view.setText1(""); });
    attachStep(steps, host, link);
    if (steps.test("no application", [&] { return linkEmpty(link); })) {
        steps.run("no application message", [&] { view.showMessage(texts::kNoWorkbook); });
        return;
    }
    steps.run("workbook line", [&] { view.setLabel1(workbookLine(host, link->app())); });
    steps.run("worksheet line", [&] { view.setLabel2(worksheetLine(host, link->app())); });
}

}  // namespace

void Form_Load(SpreadsheetHost& host, FormView& view) {
    runGuarded(view, "Form_Load", {}, texts::kReasonUnexpected, [&] { load(host, view); });
}

namespace {

void refresh(SpreadsheetHost& host, FormView& view) {
    StepRunner steps;
    std::optional<HostLink> link;

    attachStep(steps, host, link);
    // Before the lines are emptied: a refresh that finds no application keeps the old lines.
    if (steps.test("no application", [&] { return linkEmpty(link); })) {
        steps.run("no application message", [&] { view.showMessage(texts::kNoWorkbook); });
        return;
    }
    // Emptied first, so a line whose name cannot be read ends empty, never with an old name.
    steps.run("empty Label1", [&] { view.setLabel1(""); });
    steps.run("empty Label2", [&] { view.setLabel2(""); });
    steps.run("workbook line", [&] { view.setLabel1(workbookLine(host, link->app())); });
    steps.run("worksheet line", [&] { view.setLabel2(worksheetLine(host, link->app())); });
    // Each setting is its own step: one the application refuses does not stop the next.
    steps.run("alerts on", [&] { host.DisplayAlerts(link->app(), true); });
    steps.run("screen updating on", [&] { host.ScreenUpdating(link->app(), true); });
    steps.run("calculation", [&] { host.Calculation(link->app(), kRefreshCalculation); });
    // The settings are in the application when the handler returns, not later.
    steps.run("commit", [&] { link->commit(); });
}

}  // namespace

// A refresh that fails silently step by step still tells the user when it was stopped
// altogether: the bare reason, as it has no message of its own.
void Command2_Click(SpreadsheetHost& host, FormView& view) {
    runGuarded(view, "Command2_Click", {}, texts::kReasonUnexpected, [&] { refresh(host, view); });
}

}  // namespace gridmoor
