#include "app/WindowsLog.h"

#include <windows.h>
// windows.h first: the shell headers rely on its definitions.
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <memory>
#include <type_traits>

#include "platform/win/WinText.h"

namespace gridmoor::win32 {
namespace {

struct HandleCloser {
    void operator()(HANDLE h) const noexcept { CloseHandle(h); }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

struct TaskMemFree {
    void operator()(wchar_t* p) const noexcept { CoTaskMemFree(p); }
};

// Creates the folder that holds `file` when it is missing; only the last level, as the
// folder above (the user's local application data) always exists.
void createParentFolder(const std::wstring& file) {
    const auto slash = file.find_last_of(L"\\/");
    if (slash == std::wstring::npos || slash == 0) return;
    CreateDirectoryW(file.substr(0, slash).c_str(), nullptr);  // fails if it exists: fine
}

void appendLine(const std::wstring& file, std::string_view line) {
    createParentFolder(file);
    // FILE_APPEND_DATA without FILE_WRITE_DATA: every write lands at the end, even when two
    // instances of the tool log at once.
    const UniqueHandle out(CreateFileW(file.c_str(), FILE_APPEND_DATA,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (out.get() == INVALID_HANDLE_VALUE) return;
    std::string bytes(line);
    bytes += "\r\n";
    DWORD written = 0;
    WriteFile(out.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring localAppData() {
    wchar_t* raw = nullptr;
    const HRESULT hr = SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &raw);
    const std::unique_ptr<wchar_t, TaskMemFree> path(raw);  // freed even when the call failed
    if (SUCCEEDED(hr) && path) return path.get();
    const DWORD size = GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0);
    if (size == 0) return {};
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", value.data(), size);
    value.resize(length < size ? length : 0);
    return value;
}

}  // namespace

void WindowsLogSink::write(std::string_view line) noexcept {
    try {
        // Lossy: a line is never dropped for the bytes it quotes.
        OutputDebugStringW((win::widenLossy(line) + L"\n").c_str());
        if (!file_.empty()) appendLine(file_, line);
    } catch (...) {
        // Out of memory while logging: the line is lost, the handler carries on.
    }
}

std::wstring defaultLogFile() {
    const std::wstring folder = localAppData();
    if (folder.empty()) return {};
    return folder + L"\\Gridmoor\\gridmoor.log";
}

}  // namespace gridmoor::win32
