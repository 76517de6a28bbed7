#include "ChildProcess.h"

#include <filesystem>
#include <fstream>

#include "platform/win/WinText.h"

namespace gridmoor::fake {

std::wstring programDirectory() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::wstring temporaryFile(std::wstring_view tag) {
    wchar_t dir[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, dir);
    return std::wstring(dir) + L"gridmoor-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::wstring(tag) + L".txt";
}

std::vector<std::string> readLines(const std::wstring& path) {
    std::ifstream in{std::filesystem::path(path), std::ios::binary};
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

ChildProcess::ChildProcess(std::wstring_view program, const std::vector<std::wstring>& args) {
    const std::wstring path = programDirectory() + std::wstring(program);
    std::wstring commandLine = L"\"" + path + L"\"";
    for (const std::wstring& a : args) commandLine += L" \"" + a + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info_))
        throw std::runtime_error("cannot start " + win::narrow(path) + ": error " +
                                 std::to_string(GetLastError()));
}

ChildProcess::~ChildProcess() {
    kill();
    if (info_.hThread) CloseHandle(info_.hThread);
    if (info_.hProcess) CloseHandle(info_.hProcess);
}

bool ChildProcess::running() const noexcept {
    return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

void ChildProcess::kill() noexcept {
    if (running()) {
        TerminateProcess(info_.hProcess, 99);
        WaitForSingleObject(info_.hProcess, 5000);
    }
}

std::optional<DWORD> ChildProcess::wait(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() < 0) return std::nullopt;
        const DWORD r = MsgWaitForMultipleObjects(1, &info_.hProcess, FALSE,
                                                  static_cast<DWORD>(left.count()), QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) break;
        if (r == WAIT_TIMEOUT) return std::nullopt;
        pumpFor(std::chrono::milliseconds(0));
    }
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

void pumpFor(std::chrono::milliseconds d) {
    const auto end = std::chrono::steady_clock::now() + d;
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (d.count() > 0) MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (std::chrono::steady_clock::now() < end);
}

}  // namespace gridmoor::fake
