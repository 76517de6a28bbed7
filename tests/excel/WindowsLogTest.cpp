// The Windows log sink: lines appended to its file as UTF-8 with CRLF, its folder made
// when missing, and the file under the user's local application data by default.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

#include "app/WindowsLog.h"

namespace gridmoor::win32 {
namespace {

// A fresh folder under the temporary folder, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder() {
        wchar_t base[MAX_PATH + 1];
        const DWORD n = GetTempPathW(MAX_PATH + 1, base);
        path_ = std::wstring(base, n) + L"gridmoor-log-" + std::to_wstring(GetCurrentProcessId()) +
                L"-" + std::to_wstring(GetTickCount64());
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() {
        DeleteFileW((path_ + L"\\Gridmoor\\gridmoor.log").c_str());
        RemoveDirectoryW((path_ + L"\\Gridmoor").c_str());
        RemoveDirectoryW(path_.c_str());
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

std::string readBytes(const std::wstring& file) {
    std::ifstream in(file.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(WindowsLog, MakesItsFolderAndAppendsEachLine) {
    const TempFolder temp;
    const std::wstring file = temp.path() + L"\\Gridmoor\\gridmoor.log";
    ASSERT_FALSE(exists(temp.path() + L"\\Gridmoor"));
    WindowsLogSink first(file);
    first.write("2024-05-01T09:03:07.042Z [Command3_Click] std::bad_alloc");
    // A later run of the tool adds to the file rather than replacing it.
    WindowsLogSink second(file);
    second.write("2024-05-01T09:04:00.000Z [Form_Load] 合并");
    EXPECT_EQ(readBytes(file),
              "2024-05-01T09:03:07.042Z [Command3_Click] std::bad_alloc\r\n"
              "2024-05-01T09:04:00.000Z [Form_Load] 合并\r\n");
}

// What an exception says need not be UTF-8; the line still reaches the file, byte for byte.
TEST(WindowsLog, ALineWithInvalidUtf8IsWrittenAsItCame) {
    const TempFolder temp;
    const std::wstring file = temp.path() + L"\\Gridmoor\\gridmoor.log";
    WindowsLogSink sink(file);
    const std::string line = "2024-05-01T09:03:07.042Z [Command4_Click] bad \xC3\x28 \xFF end";
    sink.write(line);
    EXPECT_EQ(readBytes(file), line + "\r\n");
}

TEST(WindowsLog, AFileThatCannotBeMadeIsSkipped) {
    const TempFolder temp;
    // Only the file's own folder is made: one two levels down stays missing.
    const std::wstring file = temp.path() + L"\\missing\\Gridmoor\\gridmoor.log";
    WindowsLogSink sink(file);
    sink.write("lost");
    EXPECT_FALSE(exists(file));
    EXPECT_FALSE(exists(temp.path() + L"\\missing"));
}

TEST(WindowsLog, DefaultsToTheLocalApplicationDataFolder) {
    const std::wstring file = defaultLogFile();
    const std::wstring tail = L"\\Gridmoor\\gridmoor.log";
    ASSERT_GT(file.size(), tail.size());
    EXPECT_EQ(file.substr(file.size() - tail.size()), tail);
    // The folder above Gridmoor is one that exists: the sink only makes the last level.
    EXPECT_TRUE(exists(file.substr(0, file.size() - tail.size())));
}

}  // namespace
}  // namespace gridmoor::win32
