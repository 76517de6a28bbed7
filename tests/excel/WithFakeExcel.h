// What the test programs of the Excel backend across processes share: the fake Excel as a
// child process for each test (WithFakeExcel), and the running fake seen as a plain client.
// Defined in a named namespace: one fixture type for every file of the program, as
// GoogleTest requires of the tests of one suite.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "support/Causes.h"

namespace gridmoor {

// Whether an Excel is registered as running, asked as the tool asks.
inline bool excelRunning() {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(L"Excel.Application", &clsid))) return false;
    com::Ref<IUnknown> unknown;
    return SUCCEEDED(GetActiveObject(clsid, nullptr, unknown.put()));
}

using gridmoor::testing::causeOf;

// start() runs the fake Excel as a child process and waits until it is registered as the
// running Excel; the end of the test kills it and waits until it is no longer found. COM is
// initialised on the test's thread for the whole test (com::Apartment).
class WithFakeExcel : public ::testing::Test {
protected:
    void start(std::vector<std::wstring> args = {}) {
        log_ = fake::temporaryFile(L"fake-log");
        DeleteFileW(log_.c_str());
        args.push_back(L"--log");
        args.push_back(log_);
        child_.emplace(L"fake_excel.exe", args);
        ASSERT_TRUE(fake::pumpUntil([] { return excelRunning(); }, std::chrono::seconds(20)))
            << "the fake Excel did not register";
    }
    void TearDown() override {
        if (child_) child_->kill();
        // A killed server leaves its registration behind until a lookup finds it dead.
        fake::pumpUntil([] { return !excelRunning(); }, std::chrono::seconds(5));
    }
    std::vector<std::string> fakeLog() const { return fake::readLines(log_); }

    com::Apartment apartment_;
    std::optional<fake::ChildProcess> child_;
    std::wstring log_;
};

// The running fake as a client with no retry sees it: GetActiveObject, then IDispatch.
inline com::Ref<IDispatch> rawApplication() {
    CLSID clsid;
    com::check(CLSIDFromProgID(L"Excel.Application", &clsid), "Excel.Application");
    com::Ref<IUnknown> unknown;
    com::check(GetActiveObject(clsid, nullptr, unknown.put()), "GetActiveObject");
    com::Ref<IDispatch> app = unknown.query<IDispatch>();
    if (!app) throw std::runtime_error("the fake's application has no IDispatch");
    return app;
}

// The round trips the fake's channel has served, this read's own two included.
inline long roundTrips(IDispatch* app) {
    return com::toLong(com::invoke(app, L"GridmoorRoundTrips", DISPATCH_PROPERTYGET, {}),
                       "GridmoorRoundTrips");
}

}  // namespace gridmoor
