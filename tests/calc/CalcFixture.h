// Test fixture for host-level tests against a real Calc: one private soffice per test
// program (started on first use, killed at exit), a fresh workbook per test, a CalcHost, the
// batching layer over it on which the commands run, and a probe connected to Calc.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "Soffice.h"
#include "host/BatchingHost.h"
#include "host/HostLink.h"
#include "host/calc/BatchedCalc.h"
#include "host/calc/CalcHost.h"
#include "host/calc/CalcProbe.h"
#include "host/calc/OfficeProcess.h"
#include "support/Causes.h"

namespace gridmoor::calctest {

inline std::string uniquePipe(const char* what) {
    return std::string("gridmoor_test_") + what + "_" + std::to_string(::getpid());
}

inline std::unique_ptr<Soffice>& sharedOfficeSlot() {
    static std::unique_ptr<Soffice> office;
    return office;
}

// The soffice shared by the tests of one program, started on first use, and started anew
// when the one before no longer answers (LibreOffice now and then goes away on a loaded
// machine; the cases after it still get a Calc of their own).
inline Soffice& sharedOffice() {
    std::unique_ptr<Soffice>& office = sharedOfficeSlot();
    if (office && !socketAccepts(calc::oslPipePath(office->pipeName()))) office.reset();
    if (!office) {
        office = std::make_unique<Soffice>(uniquePipe("shared"), true);
        if (!office->waitReady(90)) throw std::runtime_error("soffice did not start");
    }
    return *office;
}

// Ends the shared soffice, if one was started, and removes its private HOME.
inline void endSharedOffice() {
    sharedOfficeSlot().reset();
}

class CalcTest : public ::testing::Test {
protected:
    void SetUp() override {
        office_ = &sharedOffice();
        probe_ = std::make_unique<calc::CalcProbe>(office_->pipeName());
        probe_->newWorkbook("Sheet1");
        host_ = std::make_unique<CalcHost>(
            CalcHost::Options{office_->pipeName(), bulkRoute(), failBulkReadBack()});
        layer_ = std::make_unique<BatchingHost>(*host_);
    }
    virtual bool bulkRoute() const { return true; }
    virtual bool failBulkReadBack() const { return false; }

    calc::CalcProbe& probe() { return *probe_; }
    CalcHost& host() { return *host_; }
    // The host the commands run on, as in the product.
    SpreadsheetHost& commands() { return *layer_; }

    Soffice* office_ = nullptr;
    std::unique_ptr<calc::CalcProbe> probe_;
    std::unique_ptr<CalcHost> host_;
    std::unique_ptr<BatchingHost> layer_;
};

// Runs `body` as one handler run: attach, then body(app, sheet of the active sheet), then
// the commit a handler makes before its message.
template <class Body>
void inRun(CalcHost& host, Body body) {
    HostLink link(host);
    link.attach();
    ASSERT_FALSE(link.empty());
    const SheetHandle sheet = host.ActiveSheet(host.Activeworkbook(link.app()));
    body(link.app(), sheet);
    link.commit();
}

using gridmoor::testing::causeOf;

}  // namespace gridmoor::calctest
