#include "merge/UnmergeFill.h"

#include <optional>
#include <string>

#include "host/Failure.h"
#include "host/HostLink.h"
#include "host/ScopeExit.h"
#include "merge/HandlerGuard.h"
#include "merge/Reasons.h"
#include "texts/Texts.h"

namespace gridmoor {

namespace {

// The reason shown when the command stopped at `failure`. A rejected address is told
// apart from a refusal met on the way.
std::string_view whyStopped(const Failure& failure, bool addressAccepted) {
    const auto* hostError = dynamic_cast<const HostError*>(&failure);
    if (!hostError) return reasonText(DroppedStep{"", failure.what(), std::nullopt});
    if (hostError->cause() == HostError::Cause::BadArgument && !addressAccepted)
        return texts::kReasonBadAddress;
    return reasonText(DroppedStep{"", failure.what(), hostError->cause()});
}

void unmergeFill(SpreadsheetHost& host, CommandView& view) {
    std::optional<HostLink> link;
    try {
        link.emplace(host);
        link->attach();
    } catch (const Failure&) {
        // A backend that cannot begin a run or look for the application finds none.
    }
    if (!link || link->empty()) {
        view.showMessage(texts::kNoWorkbook);
        return;
    }
    const AppHandle app = link->app();

    const std::string address = view.Text1();
    if (address.empty()) {
        view.showMessage(texts::kUnmergeBadAddress);
        return;
    }

    // Which part failed decides the reason: the address, or what the walk met.
    bool addressAccepted = false;
    std::string_view stoppedBecause;  // empty while nothing has failed
    try {
        const SheetHandle target = host.ActiveSheet(host.Activeworkbook(app));
        host.UnMerge(host.Range(target, address));
        addressAccepted = true;

        CellValue carry;
        const CellEnumHandle cells = host.enumerateCells(host.Range(target, address));
        while (const std::optional<RangeHandle> cell = host.nextCell(cells)) {
            // Each cell's objects go as soon as it is handled: a walk over a whole column
            // holds one cell at a time, not one object per cell visited.
            const ScopeExit releaseCell([&] { host.release(*cell); });
            const std::string cellAddress = host.address(*cell);
            carry = [&] {
                CellValue value = host.Value(*cell).single();
                if (!value.textForm().empty()) return value;
                const RangeHandle same = host.Range(target, cellAddress);
                const ScopeExit releaseSame([&] { host.release(same); });
                host.setValue(same, carry);
                // The cell's value as it now stands is what the next blank receives.
                return host.Value(*cell).single();
            }();
        }
    } catch (const Failure& failure) {
        stoppedBecause = whyStopped(failure, addressAccepted);
    }

    // Both settings end switched on, after a failure too, and what was done is made final
    // in the workbook before anything is reported; each call is tried on its own.
    auto attempt = [&](auto&& call) {
        try {
            call();
        } catch (const Failure& failure) {
            if (stoppedBecause.empty()) stoppedBecause = whyStopped(failure, true);
        }
    };
    attempt([&] { host.ScreenUpdating(app, true); });
    attempt([&] { host.DisplayAlerts(app, true); });
    attempt([&] { link->commit(); });

    if (!stoppedBecause.empty()) {
        view.showMessage(std::string(texts::kUnmergeStopped) + std::string(stoppedBecause));
        return;
    }
    view.showMessage(texts::kUnmergeDone);
}

}  // namespace

void Command4_Click(SpreadsheetHost& host, CommandView& view) {
    runGuarded(view, "Command4_Click", texts::kUnmergeStopped, texts::kReasonUnexpected,
               [&] { unmergeFill(host, view); });
}

}  // namespace gridmoor
