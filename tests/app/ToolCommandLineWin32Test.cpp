// gridmoor.exe (copied next to this program) under Wine: the command lines of the table the
// Linux program check runs too, with the standard output and error redirected to pipes as a
// script would, and the version information in the file as Explorer reads it.
#include <gtest/gtest.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <memory>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "CommandLineCases.h"
#include "app/CommandLine.h"
#include "platform/win/WinText.h"
#include "texts/Texts.h"

namespace gridmoor {
namespace {

struct HandleCloser {
    void operator()(HANDLE h) const noexcept { CloseHandle(h); }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

std::wstring programDirectory() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L"\\/") + 1);
}

const std::wstring kTool = programDirectory() + L"gridmoor.exe";

// One end of a pipe for the child (inheritable) and one for this process.
struct Pipe {
    UniqueHandle read, write;
    Pipe() {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE r = nullptr, w = nullptr;
        if (!CreatePipe(&r, &w, &inherit, 0)) throw std::runtime_error("CreatePipe failed");
        read.reset(r);
        write.reset(w);
        SetHandleInformation(r, HANDLE_FLAG_INHERIT, 0);
    }
};

// Everything written to the pipe until its last writer closes it.
std::string drain(HANDLE h) {
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    return bytes;
}

struct ToolRun {
    DWORD exitCode = 0;
    std::string out, err;
};

// Runs the tool with `arguments` and its standard handles on pipes; it must end within
// 20 s (a tool that opened its window would wait for it to be closed).
ToolRun runTool(const std::wstring& arguments) {
    Pipe out, err;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = out.write.get();
    startup.hStdError = err.write.get();
    std::wstring commandLine = L"\"" + kTool + L"\" " + arguments;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(kTool.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &info))
        throw std::runtime_error("cannot start gridmoor.exe: error " +
                                 std::to_string(GetLastError()));
    const UniqueHandle process(info.hProcess), thread(info.hThread);
    out.write.reset();  // only the child writes now, so reading ends when it ends
    err.write.reset();
    ToolRun run;
    std::thread readErr([&] { run.err = drain(err.read.get()); });
    run.out = drain(out.read.get());
    readErr.join();
    if (WaitForSingleObject(process.get(), 20000) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 99);
        ADD_FAILURE() << "gridmoor.exe " << win::narrow(arguments) << " did not end";
    }
    GetExitCodeProcess(process.get(), &run.exitCode);
    return run;
}

// What the parser gives, with lines ended as in a Windows text file.
std::string windowsLines(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// Every case of command-line-cases.tsv (copied next to this program), each argument quoted
// as CommandLineToArgvW reads it back, so Chinese, spaces and an empty argument arrive
// intact: the tool prints exactly the parser's text, with Windows line ends, on the table's
// stream, the other stream stays empty, and it ends with the table's code.
TEST(ToolCommandLine, RunsEveryCaseOfTheSharedTable) {
    const auto cases = testing_cases::readCommandLineCases(
        win::narrow(programDirectory()) + "command-line-cases.tsv", GRIDMOOR_PROJECT_VERSION);
    ASSERT_FALSE(cases.empty());
    for (const auto& c : cases) {
        std::wstring commandLine;
        for (const std::string& a : c.arguments) commandLine += L" \"" + win::widen(a) + L"\"";
        SCOPED_TRACE("gridmoor.exe" + win::narrow(commandLine));
        const ToolRun run = runTool(commandLine);
        const std::string& printed = c.onErr ? run.err : run.out;
        EXPECT_EQ(run.exitCode, static_cast<DWORD>(c.exitCode));
        EXPECT_EQ(printed, windowsLines(readCommandLine(c.arguments).text));
        EXPECT_EQ(c.onErr ? run.out : run.err, "");
        EXPECT_EQ(c.whole ? printed : printed.substr(0, c.start.size()),
                  c.whole ? c.start + "\r\n" : c.start);
    }
}

// One string of the version information, in the block its translation names.
std::wstring versionString(const std::vector<char>& info, const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\080404B0\\") + name;
    if (!VerQueryValueW(info.data(), key.c_str(), &value, &length) || !value) return L"<none>";
    std::wstring text(static_cast<const wchar_t*>(value), length);
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

TEST(ToolVersionResource, NamesTheProductVersionAndFile) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(kTool.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "gridmoor.exe has no version information";
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(kTool.c_str(), 0, size, info.data()));

    void* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", &fixed, &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    const auto& numbers = *static_cast<const VS_FIXEDFILEINFO*>(fixed);
    const unsigned version[] = {GRIDMOOR_PROJECT_VERSION_NUMBERS};
    EXPECT_EQ(numbers.dwFileVersionMS, (version[0] << 16) | version[1]);
    EXPECT_EQ(numbers.dwFileVersionLS, version[2] << 16);
    EXPECT_EQ(numbers.dwProductVersionMS, numbers.dwFileVersionMS);
    EXPECT_EQ(numbers.dwProductVersionLS, numbers.dwFileVersionLS);
    EXPECT_EQ(numbers.dwFileType, static_cast<DWORD>(VFT_APP));

    void* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &translation, &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(static_cast<const WORD*>(translation)[0], 0x0804);  // Chinese (PRC)
    EXPECT_EQ(static_cast<const WORD*>(translation)[1], 1200);    // UTF-16

    const std::wstring projectVersion = win::widen(GRIDMOOR_PROJECT_VERSION);
    EXPECT_EQ(versionString(info, L"ProductName"), L"Gridmoor");
    EXPECT_EQ(versionString(info, L"FileDescription"), win::widen(texts::kFileDescription));
    EXPECT_EQ(versionString(info, L"FileVersion"), projectVersion);
    EXPECT_EQ(versionString(info, L"ProductVersion"), projectVersion);
    EXPECT_EQ(versionString(info, L"OriginalFilename"), L"gridmoor.exe");
    EXPECT_EQ(versionString(info, L"LegalCopyright").rfind(L"Copyright \x00A9 ", 0), 0u);
}

}  // namespace
}  // namespace gridmoor
