#include "host/FaultInjectingHost.h"

#include <array>

namespace gridmoor {

namespace {

// The op name RecordingHost's log gives a member function, where the object model's name
// differs from the member's, so a fault is planned with the name a test reads in the log.
std::string_view opName(std::string_view member) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kRenamed{{
        {"SheetsCount", "Sheets.Count"},
        {"SheetsAdd", "Sheets.Add"},
        {"setName", "Name="},
        {"RowsCount", "Rows.Count"},
        {"ColumnsCount", "Columns.Count"},
        {"setValue", "Value="},
    }};
    for (const auto& [from, to] : kRenamed)
        if (member == from) return to;
    return member;
}

}  // namespace

void FaultPlan::failCall(std::uint64_t k, HostError::Cause cause) {
    failAt_ = k;
    failAtCause_ = cause;
}

void FaultPlan::failOp(std::string op, HostError::Cause cause) {
    failOps_.emplace_back(std::move(op), cause);
}

void FaultPlan::goneFrom(std::uint64_t k) {
    goneAt_ = k;
}

void FaultPlan::clearFaults() {
    failAt_.reset();
    failOps_.clear();
    goneAt_.reset();
    gone_ = false;
}

bool FaultPlan::admit(std::string_view member) {
    const std::string_view op = opName(member);
    const bool isAttach = op == "attach";
    const std::uint64_t n = ++count_;
    if (goneAt_ && n >= *goneAt_) gone_ = true;
    if (gone_ && !isAttach)
        throw HostError(HostError::Cause::Gone, "the application has gone away (injected at call " +
                                                    std::to_string(*goneAt_) + ")");
    if (failAt_ && *failAt_ == n)
        throw HostError(failAtCause_, "injected failure of call " + std::to_string(n) + " (" +
                                          std::string(op) + ")");
    for (const auto& [name, cause] : failOps_)
        if (name == op) throw HostError(cause, "injected failure of every " + name + " call");
    return !gone_;
}

}  // namespace gridmoor
