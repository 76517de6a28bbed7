// The one error type of the host boundary, and the failure of a value operation.
//
// Every backend translates its native errors (UNO exceptions, HRESULTs, refusals of
// the in-memory model) into HostError at its own edge; nothing above a backend sees
// anything else. Handlers that run under the step discipline drop any Failure.
#pragma once

#include <stdexcept>
#include <string>

namespace gridmoor {

// Base of every failure that a step of a handler may drop.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A host call failed. `cause` says what kind of failure it was, so a handler can tell
// the user why in its own words; `what()` carries the backend's readable reason.
class HostError : public Failure {
public:
    enum class Cause {
        Other,        // anything not listed below
        NotFound,     // no such sheet, workbook, range or object (also an unset handle)
        BadArgument,  // an address, name or code the application does not accept
        Protected,    // a protected sheet or workbook structure refused the change
        Gone,         // the application has gone away or stopped answering
        Busy,         // the application is busy (a cell is being edited) and refused the call
    };

    HostError(Cause cause, const std::string& reason) : Failure(reason), cause_(cause) {}

    Cause cause() const noexcept { return cause_; }

private:
    Cause cause_;
};

// An operation on values failed: a comparison involving an error value, the text form of
// an error value, arithmetic on a text that is not a number, an index outside an array.
class ValueError : public Failure {
public:
    using Failure::Failure;
};

}  // namespace gridmoor
