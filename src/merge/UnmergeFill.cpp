#include "merge/UnmergeFill.h"

#include <optional>
#include <string>

#include "host/Failure.h"
#include "host/HostLink.h"
#include "host/Texts.h"
#include "merge/Reasons.h"

namespace gridmoor {

namespace {

// Switches both settings on; each write is tried on its own, so an application that
// refuses one still gets the other.
void switchSettingsOn(SpreadsheetHost& host, AppHandle app) noexcept {
    try {
        host.ScreenUpdating(app, true);
    } catch (const Failure&) {
    }
    try {
        host.DisplayAlerts(app, true);
    } catch (const Failure&) {
    }
}

}  // namespace

void Command4_Click(SpreadsheetHost& host, CommandView& view) {
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
    try {
        const SheetHandle target = host.ActiveSheet(host.Activeworkbook(app));
        host.UnMerge(host.Range(target, address));
        addressAccepted = true;

        CellValue carry;
        const CellEnumHandle cells = host.enumerateCells(host.Range(target, address));
        while (const std::optional<RangeHandle> cell = host.nextCell(cells)) {
            const std::string cellAddress = host.address(*cell);
            carry = [&] {
                CellValue value = host.Value(*cell).single();
                if (!value.textForm().empty()) return value;
                host.setValue(host.Range(target, cellAddress), carry);
                // The cell's value as it now stands is what the next blank receives.
                return host.Value(*cell).single();
            }();
        }
    } catch (const Failure& failure) {
        link->fail();
        switchSettingsOn(host, app);
        const auto* hostError = dynamic_cast<const HostError*>(&failure);
        std::string_view reason;
        if (hostError && hostError->cause() == HostError::Cause::BadArgument && !addressAccepted)
            reason = texts::kReasonBadAddress;
        else
            reason = reasonText(DroppedStep{
                "", failure.what(), hostError ? std::optional{hostError->cause()} : std::nullopt});
        view.showMessage(std::string(texts::kUnmergeStopped) + std::string(reason));
        return;
    }

    switchSettingsOn(host, app);
    view.showMessage(texts::kUnmergeDone);
}

}  // namespace gridmoor
