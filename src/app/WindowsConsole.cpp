#include "app/WindowsConsole.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h first: the shell headers rely on its definitions.
#include <shellapi.h>

#include <memory>
#include <type_traits>

#include "platform/win/WinText.h"
#include "texts/Texts.h"

namespace gridmoor::win32 {
namespace {

struct HandleCloser {
    void operator()(HANDLE h) const noexcept {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

struct LocalFreer {
    void operator()(LPWSTR* p) const noexcept { LocalFree(p); }
};

// Writes to a console handle; false when `h` is no console.
bool writeConsole(HANDLE h, const std::wstring& text) {
    DWORD mode = 0;
    if (!GetConsoleMode(h, &mode)) return false;
    DWORD written = 0;
    return WriteConsoleW(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0;
}

// Writes UTF-8 bytes to a file or a pipe, each line ended as Windows text files end them.
bool writeFile(HANDLE h, std::string_view text) {
    std::string bytes;
    for (const char c : text) {
        if (c == '\n') bytes += '\r';
        bytes += c;
    }
    std::string_view left = bytes;
    while (!left.empty()) {
        DWORD written = 0;
        if (!WriteFile(h, left.data(), static_cast<DWORD>(left.size()), &written, nullptr) ||
            written == 0)
            return false;
        left.remove_prefix(written);
    }
    return true;
}

bool writeToStandardHandle(std::string_view text, const std::wstring& wide, bool isError) {
    const HANDLE h = GetStdHandle(isError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (!h || h == INVALID_HANDLE_VALUE) return false;
    return writeConsole(h, wide) || writeFile(h, text);
}

// The console of the program that started this one, if it has one. Its prompt may already
// be shown (a command prompt does not wait for a GUI program), so the text starts on a
// line of its own.
bool writeToParentConsole(const std::wstring& wide) {
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return false;
    const UniqueHandle console(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    const bool written =
        console.get() != INVALID_HANDLE_VALUE && writeConsole(console.get(), L"\n" + wide);
    FreeConsole();
    return written;
}

}  // namespace

std::vector<std::string> commandLineArguments() {
    int count = 0;
    const std::unique_ptr<LPWSTR, LocalFreer> argv(CommandLineToArgvW(GetCommandLineW(), &count));
    std::vector<std::string> arguments;
    for (int i = 1; argv && i < count; ++i) arguments.push_back(win::narrow(argv.get()[i]));
    return arguments;
}

void showText(std::string_view text, bool isError) noexcept {
    try {
        const std::wstring wide = win::widenLossy(text);
        if (writeToStandardHandle(text, wide, isError) || writeToParentConsole(wide)) return;
        MessageBoxW(nullptr, wide.c_str(), win::widen(texts::kMessageTitle).c_str(),
                    MB_OK | (isError ? MB_ICONERROR : MB_ICONINFORMATION));
    } catch (...) {
        // Out of memory: nothing can be shown; the exit code still tells.
    }
}

}  // namespace gridmoor::win32
