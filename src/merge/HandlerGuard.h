// The last line of defence of a click handler: nothing it lets escape reaches the window's
// event loop, which would end the program.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "merge/CommandView.h"

namespace gridmoor {

// Runs `body`, a handler's steps. Failures are the body's to handle; anything else it lets
// escape (std::bad_alloc, an exception a backend did not translate, even one that is not a
// std::exception) ends the handler with the one message `prefix` + `reason`. By then the
// body's locals are gone, so its HostLink has already told the backend that the run ended
// by failure. Never throws: if even the message cannot be shown, the handler just returns.
template <class Body>
void runGuarded(CommandView& view, std::string_view prefix, std::string_view reason,
                Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
        return;
    } catch (...) {
    }
    try {
        view.showMessage(std::string(prefix) + std::string(reason));
    } catch (...) {
    }
}

}  // namespace gridmoor
