// Runs a clean-up when a scope is left, on every path or only when it is left by an
// exception: the one place where "whatever happens, undo this" is written, instead of
// pairs of calls that an exception between them would split.
#pragma once

#include <exception>
#include <utility>

namespace gridmoor {

template <class F>
class ScopeExit {
public:
    explicit ScopeExit(F f) : f_(std::move(f)) {}
    ~ScopeExit() { f_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    F f_;
};

// Runs the clean-up only when the scope is left by an exception.
template <class F>
class ScopeFail {
public:
    explicit ScopeFail(F f) : f_(std::move(f)), uncaught_(std::uncaught_exceptions()) {}
    ~ScopeFail() {
        if (std::uncaught_exceptions() > uncaught_) f_();
    }
    ScopeFail(const ScopeFail&) = delete;
    ScopeFail& operator=(const ScopeFail&) = delete;

private:
    F f_;
    int uncaught_;
};

// Runs `f` and swallows whatever it throws: for clean-up steps that must not stop the
// clean-ups after them, nor replace the exception being handled.
template <class F>
void tryQuietly(F&& f) noexcept {
    try {
        std::forward<F>(f)();
    } catch (...) {
    }
}

}  // namespace gridmoor
