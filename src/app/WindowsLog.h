// The log on Windows: every line goes to the debugger (OutputDebugStringW, seen in a
// debugger or DebugView) and is appended to a file the user can find and send us.
#pragma once

#include <string>
#include <string_view>

#include "host/ErrorLog.h"

namespace gridmoor::win32 {

class WindowsLogSink : public LogSink {
public:
    // Appends to `file` (UTF-8, one line each, CRLF), creating its folder if it is
    // missing; an empty path logs to the debugger only.
    explicit WindowsLogSink(std::wstring file) : file_(std::move(file)) {}

    void write(std::string_view line) noexcept override;

    const std::wstring& file() const noexcept { return file_; }

private:
    std::wstring file_;
};

// %LOCALAPPDATA%\Gridmoor\gridmoor.log: the folder from the shell, or the environment
// variable if the shell does not know it; empty if neither does.
std::wstring defaultLogFile();

}  // namespace gridmoor::win32
