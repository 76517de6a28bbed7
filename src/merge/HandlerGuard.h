// The last line of defence of a click handler: nothing it lets escape reaches the window's
// event loop, which would end the program.
#pragma once

#include <exception>
#include <string>
#include <string_view>
#include <utility>

#include "host/ErrorLog.h"
#include "merge/CommandView.h"

namespace gridmoor {

// What the log says of something thrown that is not a std::exception, which has no text.
inline constexpr std::string_view kNotAStdException = "an exception that is not a std::exception";

// Runs `body`, a handler's steps. Failures are the body's to handle; anything else it lets
// escape (std::bad_alloc, an exception a backend did not translate, even one that is not a
// std::exception) ends the handler with the one message `prefix` + `reason`, and leaves one
// line in the log: `handler` (which handler failed) and what the exception said, since the
// message cannot tell us. By then the body's locals are gone, so its HostLink has already
// told the backend that the run ended by failure. Never throws: if even the message cannot
// be shown, the handler just returns.
template <class Body>
void runGuarded(CommandView& view, std::string_view handler, std::string_view prefix,
                std::string_view reason, Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
        return;
    } catch (const std::exception& e) {
        logUnexpected(handler, e.what());
    } catch (...) {
        logUnexpected(handler, kNotAStdException);
    }
    try {
        view.showMessage(std::string(prefix) + std::string(reason));
    } catch (...) {
    }
}

}  // namespace gridmoor
