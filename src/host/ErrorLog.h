// Where the reason for an unexpected failure goes. The user only ever sees the one
// message a handler shows; the reason (what a backend or the runtime said) is written
// here as one line a user can send us. The program's entry point installs the
// platform's sink; until then, and whenever none is installed, lines go to stderr.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace gridmoor {

class LogSink {
public:
    virtual ~LogSink() = default;
    // Takes one complete line, without its line end. Must not throw: it runs while a
    // handler is already failing.
    virtual void write(std::string_view line) noexcept = 0;
};

// Installs `sink` (nullptr: back to stderr) and returns the one it replaces. The sink
// must outlive its installation.
LogSink* installLogSink(LogSink* sink) noexcept;

// Installs a sink for the life of a scope and puts the previous one back.
class ScopedLogSink {
public:
    explicit ScopedLogSink(LogSink& sink) noexcept : previous_(installLogSink(&sink)) {}
    ~ScopedLogSink() { installLogSink(previous_); }
    ScopedLogSink(const ScopedLogSink&) = delete;
    ScopedLogSink& operator=(const ScopedLogSink&) = delete;

private:
    LogSink* previous_;
};

// "2024-05-01T09:03:07.042Z [context] reason": the time in UTC to the millisecond, so
// lines from users in any time zone sort together.
std::string formatLogLine(std::chrono::system_clock::time_point when, std::string_view context,
                          std::string_view reason);

// Writes one line, stamped now, to the installed sink. Never throws: a line that cannot
// even be put together is dropped.
void logUnexpected(std::string_view context, std::string_view reason) noexcept;

}  // namespace gridmoor
