// Form8 for Windows: the tool's one window as a plain Win32 window.
//
// Built from the layout table in window/Form8Layout.h: each control at its place and size
// in twips turned into pixels at the window's DPI (the process is per-monitor DPI aware;
// a move to a screen of another density re-places and re-fonts the controls), colours
// from the table, the Chinese font with a fallback that covers Simplified Chinese, tab
// order by tab index. An ordinary sizable top-level window whose controls neither move
// nor stretch; not a dialog, so Enter and Esc press no button. Labels show "&" as itself;
// the address box scrolls and has no length limit.
//
// The constructor creates the window (hidden) and its seven controls; open() runs
// Form_Load and then shows the window with the focus on Command2. The buttons run their
// handlers under the busy cursor, which is gone before any message box appears. Message
// boxes are modal, OK only, without icon, titled with the tool's name and owned by the
// window. The keep-above request binds SetWindowPos of user32 by name at its first call.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "host/SpreadsheetHost.h"
#include "window/FormView.h"

namespace gridmoor::win32 {

// The window class of Form8, and the child-window id of each control: 1001 + its index
// in the layout table. Tests find the controls by these ids.
inline constexpr std::wstring_view kForm8Class = L"Gridmoor.Form8";
int controlId(std::string_view controlName);

class Form8 final : public FormView {
public:
    // `host` must outlive the window. Throws std::runtime_error when the window cannot
    // be created.
    explicit Form8(SpreadsheetHost& host);
    ~Form8() override;
    Form8(const Form8&) = delete;
    Form8& operator=(const Form8&) = delete;

    // Runs Form_Load (on the first call only), then shows the window.
    void open();
    // Runs the window's messages until it is closed; the process's exit code.
    int run();

    std::string Text1() const override;
    void showMessage(std::string_view text) override;
    void setLabel1(std::string_view text) override;
    void setLabel2(std::string_view text) override;
    void setText1(std::string_view text) override;
    void requestTopmost() override;

    // The window's HWND.
    void* nativeHandle() const noexcept;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace gridmoor::win32
