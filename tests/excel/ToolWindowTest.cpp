// The shipped program, gridmoor.exe, clicked through against the fake Excel served from
// this process: start-up status, smart merge, unmerge and fill, refresh, the messages
// (found and closed here) and closing. Needs a display (Xvfb under Wine).
#include <gtest/gtest.h>

#include <chrono>

#include "ChildProcess.h"
#include "FakeExcel.h"
#include "MessageWatcher.h"
#include "platform/win/WinText.h"
#include "texts/Texts.h"
#include "window/win32/Form8.h"

namespace gridmoor {
namespace {

using namespace std::chrono_literals;
using fake::MessageWatcher;
using fake::windowText;
using win32::controlId;

class ToolWindow : public testing::Test {
protected:
    void SetUp() override { model.addWorkbook("Book1.xlsx", {"Sheet1", "Sheet2"}); }

    // Starts the tool and waits until its window is shown, closing (and keeping) any
    // message that comes first.
    void startTool() {
        tool.emplace(L"gridmoor.exe", std::vector<std::wstring>{});
        ASSERT_TRUE(fake::pumpUntil(
            [&] {
                window = FindWindowW(win32::kForm8Class.data(), nullptr);
                return window && IsWindowVisible(window);
            },
            30s))
            << "the tool's window did not appear";
        fake::pumpFor(200ms);
    }
    HWND control(const char* name) const { return GetDlgItem(window, controlId(name)); }
    std::vector<std::string> texts() const {
        return {windowText(control("Label1")), windowText(control("Label2")),
                windowText(control("Text1"))};
    }
    // Every message was an icon-less OK box with the tool's title, owned by the window.
    void expectEveryMessageABoxOfTheWindow() const {
        for (const fake::SeenMessage& m : boxes.seen()) {
            EXPECT_EQ(m.title, std::string(texts::kMessageTitle)) << m.text;
            EXPECT_EQ(m.owner, window) << m.text;
            EXPECT_EQ(m.buttons.size(), 1u) << m.text;
            EXPECT_FALSE(m.hasIcon) << m.text;
        }
    }
    // Closing the window ends the tool.
    void close() {
        PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(tool->wait(30s), std::optional<DWORD>(0));
    }

    // Clicks a button and waits, serving the tool's calls, until its handler has shown
    // its message and the watcher has closed it.
    fake::SeenMessage clickAndCatchMessage(const char* button) {
        const std::size_t before = boxes.count();
        PostMessageW(control(button), BM_CLICK, 0, 0);
        EXPECT_TRUE(fake::pumpUntil([&] { return boxes.count() > before; }, 60s))
            << "no message after " << button;
        fake::pumpFor(200ms);
        const auto seen = boxes.seen();
        return seen.size() > before ? seen.back() : fake::SeenMessage{};
    }

    void type(const char* text) {
        const std::wstring w = win::widen(text);
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(control("Text1"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(w.c_str()),
                            SMTO_ABORTIFHUNG, 5000, &ignored);
    }

    com::Apartment apartment;
    MemoryHost model;
    MessageWatcher boxes;
    std::optional<fake::ChildProcess> tool;
    HWND window = nullptr;
};

TEST_F(ToolWindow, ClickThroughAllThreeButtons) {
    model.setCells("Sheet1", "B2:B7",
                   {CellValue::text("a"), CellValue::text("a"), CellValue::integer(2),
                    CellValue::integer(2), CellValue::integer(2), CellValue::text("c")});
    fake::FakeExcel excel(model);
    excel.registerRunning();
    startTool();

    // Start-up: status lines filled, address box empty, kept in front, no message.
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_EQ(texts(), (std::vector<std::string>{"当前工作簿名称: Book1.xlsx",
                                                 "当前工作表名称: Sheet1", ""}));
    EXPECT_EQ(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST, WS_EX_TOPMOST);
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gui));
    EXPECT_EQ(gui.hwndFocus, control("Command2"));

    // Smart merge.
    type("B2:B7");
    EXPECT_EQ(clickAndCatchMessage("Command3").text, std::string(texts::kMergeDone));
    EXPECT_EQ(model.mergedAreas("Sheet1"), (std::vector<std::string>{"$B$2:$B$3", "$B$4:$B$6"}));
    EXPECT_EQ(model.sheetNames(), (std::vector<std::string>{"Sheet1", "Sheet2"}));
    EXPECT_TRUE(identical(model.cell("Sheet1", "B3"), CellValue::text("a")));

    // Unmerge and fill: the merged cells keep their values, so nothing is blank.
    model.setCell("Sheet1", "B5", CellValue());
    EXPECT_EQ(clickAndCatchMessage("Command4").text, std::string(texts::kUnmergeDone));
    EXPECT_TRUE(model.mergedAreas("Sheet1").empty());
    EXPECT_TRUE(identical(model.cell("Sheet1", "B5"), CellValue::integer(2)));

    // Refresh after the user switched sheets: new status, settings back on, no message.
    model.activateSheet("Sheet2");
    model.setScreenUpdating(false);
    const std::size_t before = boxes.count();
    const std::size_t callsBefore = excel.log().size();
    PostMessageW(control("Command2"), BM_CLICK, 0, 0);
    EXPECT_TRUE(fake::pumpUntil(
        [&] {
            return excel.log().size() > callsBefore &&
                   excel.log().back() == "Application.Calculation = 1 (VT_I2)";
        },
        30s));
    fake::pumpFor(300ms);
    EXPECT_EQ(boxes.count(), before);
    EXPECT_EQ(windowText(control("Label2")), "当前工作表名称: Sheet2");
    EXPECT_EQ(windowText(control("Text1")), "B2:B7");
    EXPECT_TRUE(model.screenUpdating());

    // A bad address: the command's own message, the workbook untouched.
    type("B2");
    EXPECT_EQ(clickAndCatchMessage("Command3").text, std::string(texts::kMergeBadAddress));
    expectEveryMessageABoxOfTheWindow();

    // Closing the window ends the tool, touching nothing.
    const std::size_t callsAtClose = excel.log().size();
    close();
    EXPECT_EQ(excel.log().size(), callsAtClose);
}

TEST_F(ToolWindow, StartWithoutExcelShowsTheMessageBeforeTheWindow) {
    startTool();
    const auto seen = boxes.seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, std::string(texts::kNoWorkbook));
    EXPECT_FALSE(seen[0].ownerVisible);
    EXPECT_EQ(texts(), (std::vector<std::string>{"", "", ""}));

    // Every button says the same while nothing runs, and the window keeps its texts.
    for (const char* button : {"Command2", "Command3", "Command4"}) {
        EXPECT_EQ(clickAndCatchMessage(button).text, std::string(texts::kNoWorkbook)) << button;
    }
    EXPECT_EQ(texts(), (std::vector<std::string>{"", "", ""}));
    expectEveryMessageABoxOfTheWindow();
    close();
}

}  // namespace
}  // namespace gridmoor
