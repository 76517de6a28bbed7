// Test programs start the fake Excel or the tool as child processes. A child is killed
// when its owner goes, so a failing test leaves no process behind. While waiting for a
// child, the caller keeps serving COM calls (its apartment's messages are pumped).
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "host/excel/ComSupport.h"

namespace gridmoor::fake {

// The directory of the running program, with a trailing backslash.
std::wstring programDirectory();
// A temporary file name, unique to the test program and the tag.
std::wstring temporaryFile(std::wstring_view tag);
// The UTF-8 lines of a file; none when it cannot be read.
std::vector<std::string> readLines(const std::wstring& path);

class ChildProcess {
public:
    // Starts `program` (a file next to the running program) with arguments, each quoted.
    ChildProcess(std::wstring_view program, const std::vector<std::wstring>& args);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Waits for the child to end, pumping messages. Its exit code, or nothing when it
    // did not end in time.
    std::optional<DWORD> wait(std::chrono::milliseconds timeout);
    void kill() noexcept;
    bool running() const noexcept;

private:
    PROCESS_INFORMATION info_{};
};

// Pumps this thread's messages for `d` (serving COM calls meanwhile).
void pumpFor(std::chrono::milliseconds d);

// Waits, pumping messages, until `done()` holds or `timeout` passes; whether it holds.
template <class F>
bool pumpUntil(F&& done, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        pumpFor(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace gridmoor::fake
