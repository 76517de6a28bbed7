// HostLink: the span of one handler run against the spreadsheet application.
//
// Created empty when a handler starts; it tells the backend that a run begins, holds
// the application object once attached, and on destruction tells the backend that the
// run ended, however it ended, which releases every object the handler took and drops
// work never committed. Nothing outlives it.
#pragma once

#include <optional>

#include "host/SpreadsheetHost.h"

namespace gridmoor {

class HostLink {
public:
    explicit HostLink(SpreadsheetHost& host) : host_(host) { host_.beginRun(); }
    ~HostLink() { host_.endRun(); }
    HostLink(const HostLink&) = delete;
    HostLink& operator=(const HostLink&) = delete;

    // Takes the running application registered under the tool's class name into the
    // link. Throws HostError only if the backend fails while looking.
    void attach() { app_ = host_.attach(kApplicationClass); }

    bool empty() const noexcept { return !app_.has_value(); }
    // The attached application; an unset handle when the link is empty, so host calls
    // on it fail like calls on an object that was never set.
    AppHandle app() const noexcept { return app_.value_or(AppHandle{}); }
    SpreadsheetHost& host() const noexcept { return host_; }

    // Makes every effect of the run final in the application (SpreadsheetHost::flush).
    // A handler calls it before its final message; a HostError it throws is a failure of
    // the handler's last step.
    void commit() { host_.flush(); }

private:
    SpreadsheetHost& host_;
    std::optional<AppHandle> app_;
};

}  // namespace gridmoor
