// The Win32 Form8 in this process, on the in-memory host: the table of cases every Form8
// passes (tests/window/WindowCases.h), and the Win32 window's own controls, geometry, fonts,
// colours, styles, tab order, keep-above state and icon. Needs a display (Xvfb under Wine).
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "MessageWatcher.h"
#include "host/RecordingHost.h"
#include "host/memory/MemoryHost.h"
#include "platform/win/WinText.h"
#include "texts/Texts.h"
#include "window/Form8Layout.h"
#include "window/WindowCases.h"
#include "window/win32/Form8.h"

namespace gridmoor {
namespace {

using namespace std::chrono_literals;
using fake::MessageWatcher;
using fake::windowClass;
using fake::windowText;
using win32::controlId;

// Runs the window's messages as its own loop does (Tab and Enter through the dialog
// manager) for a while.
void pump(HWND window, std::chrono::milliseconds d) {
    const auto end = std::chrono::steady_clock::now() + d;
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (IsDialogMessageW(window, &msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    } while (std::chrono::steady_clock::now() < end);
}

class Form8Win32 : public ::testing::Test {
protected:
    void SetUp() override {
        model.addWorkbook("销售 & 库存.xlsx", {"一月", "Sheet2"});
        form.emplace(calls);
        window = static_cast<HWND>(form->nativeHandle());
    }
    HWND control(const char* name) const { return GetDlgItem(window, controlId(name)); }
    UINT dpi() const {
        HDC dc = GetDC(window);
        const int d = GetDeviceCaps(dc, LOGPIXELSX);
        ReleaseDC(window, dc);
        return static_cast<UINT>(d);
    }
    int px(int twips) const { return layout::toPixels(twips, static_cast<int>(dpi())); }
    // The Chinese font of the table at 10.5 points, or the system's interface font (which
    // Windows links to its Chinese fonts).
    void expectFont(HWND w, const layout::Control& c) const {
        const auto font = reinterpret_cast<HFONT>(SendMessageW(w, WM_GETFONT, 0, 0));
        ASSERT_TRUE(font);
        LOGFONTW f{};
        ASSERT_TRUE(GetObjectW(font, sizeof f, &f));
        if (c.font) {
            EXPECT_EQ(f.lfHeight, -std::lround(10.5 * dpi() / 72.0));
            EXPECT_EQ(f.lfWeight, 400);
            EXPECT_EQ(f.lfCharSet, GB2312_CHARSET);
            EXPECT_FALSE(f.lfItalic || f.lfUnderline || f.lfStrikeOut);
            return;
        }
        NONCLIENTMETRICSW m{};
        m.cbSize = sizeof m;
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0);
        EXPECT_EQ(std::wstring(f.lfFaceName), std::wstring(m.lfMessageFont.lfFaceName));
        EXPECT_EQ(f.lfHeight, m.lfMessageFont.lfHeight);
    }

    MemoryHost model;
    RecordingHost calls{model, model};  // the window's calls of the model
    std::optional<win32::Form8> form;
    HWND window = nullptr;
};

// Each control as created from the layout table: class, text at creation, place and size,
// font, and for labels an opaque background in their colour with "&" shown as itself.
TEST_F(Form8Win32, ControlsFollowTheLayoutTable) {
    ASSERT_TRUE(window);
    EXPECT_FALSE(IsWindowVisible(window)) << "shown before Form_Load ran";
    HDC dc = CreateCompatibleDC(nullptr);
    for (const layout::Control& c : layout::kControls) {
        SCOPED_TRACE(std::string(c.name));
        const HWND w = control(std::string(c.name).c_str());
        ASSERT_TRUE(w);
        const bool label = c.kind == layout::ControlKind::Label;
        const wchar_t* expectedClass = c.kind == layout::ControlKind::PushButton ? L"Button"
                                       : label                                   ? L"Static"
                                                                                 : L"Edit";
        EXPECT_EQ(_wcsicmp(windowClass(w).c_str(), expectedClass), 0);
        EXPECT_EQ(windowText(w), std::string(c.text));
        RECT r;
        GetWindowRect(w, &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, px(c.left));
        EXPECT_EQ(r.top, px(c.top));
        EXPECT_EQ(r.right - r.left, px(c.width));
        EXPECT_EQ(r.bottom - r.top, px(c.height));
        expectFont(w, c);
        if (!label) continue;
        EXPECT_EQ(GetWindowLongW(w, GWL_STYLE) & SS_NOPREFIX, SS_NOPREFIX);
        const auto brush = reinterpret_cast<HBRUSH>(SendMessageW(
            window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(w)));
        ASSERT_TRUE(brush);
        LOGBRUSH b{};
        GetObjectW(brush, sizeof b, &b);
        const COLORREF rgb = RGB(c.background->red, c.background->green, c.background->blue);
        EXPECT_EQ(b.lbColor, rgb);
        EXPECT_EQ(GetBkColor(dc), rgb);
        EXPECT_EQ(GetBkMode(dc), OPAQUE);
    }
    DeleteDC(dc);
}

TEST_F(Form8Win32, WindowHasItsCaptionSizePlaceFrameAndColour) {
    EXPECT_EQ(windowText(window), std::string(texts::kCaption));
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, px(layout::kForm8.clientWidth));
    EXPECT_EQ(client.bottom, px(layout::kForm8.clientHeight));
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    EXPECT_EQ(origin.x, px(layout::kForm8.screenLeft));
    EXPECT_EQ(origin.y, px(layout::kForm8.screenTop));
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    for (const LONG bit : {WS_THICKFRAME, WS_SYSMENU, WS_MINIMIZEBOX, WS_MAXIMIZEBOX, WS_CAPTION})
        EXPECT_EQ(style & bit, bit);
    // The background the window paints, also where a larger window has grown.
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 800, 600);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    SetWindowPos(window, nullptr, 0, 0, 800, 600, SWP_NOMOVE | SWP_NOZORDER);
    SendMessageW(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    EXPECT_EQ(GetPixel(dc, 2, 2), RGB(192, 192, 255));
    EXPECT_EQ(GetPixel(dc, 700, 500), RGB(192, 192, 255));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

TEST_F(Form8Win32, ButtonsAreNeitherDefaultNorCancelAndTheBoxHasNoLimit) {
    for (const char* name : {"Command2", "Command3", "Command4"}) {
        EXPECT_EQ(GetWindowLongW(control(name), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON) << name;
    }
    const HWND text1 = control("Text1");
    EXPECT_GE(static_cast<unsigned long>(SendMessageW(text1, EM_GETLIMITTEXT, 0, 0)), 0x7FFFFFFEul);
    EXPECT_EQ(GetWindowLongW(text1, GWL_STYLE) & (ES_AUTOHSCROLL | ES_MULTILINE | ES_PASSWORD),
              ES_AUTOHSCROLL);
    // A long address is kept whole.
    const std::string longText(5000, 'A');
    form->setText1(longText);
    EXPECT_EQ(form->Text1(), longText);
}

TEST_F(Form8Win32, TabWalksTheFocusableControlsByTabIndex) {
    form->open();
    pump(window, 100ms);
    const auto& forward = windowcases::kTabOrder;
    for (std::size_t i = 0; i + 1 < std::size(forward); ++i) {
        EXPECT_EQ(GetNextDlgTabItem(window, control(forward[i]), FALSE), control(forward[i + 1]))
            << "after " << forward[i];
        EXPECT_EQ(GetNextDlgTabItem(window, control(forward[i + 1]), TRUE), control(forward[i]))
            << "before " << forward[i + 1];
    }
    // The Tab key itself, through the window's message loop.
    for (std::size_t i = 0; i + 1 < std::size(forward); ++i) {
        ASSERT_EQ(GetFocus(), control(forward[i]));
        PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
        pump(window, 50ms);
    }
    EXPECT_EQ(GetFocus(), control("Command2"));
}

TEST_F(Form8Win32, EnterAndEscInTheAddressBoxPressNoButton) {
    MessageWatcher boxes;
    form->open();
    pump(window, 100ms);
    SetFocus(control("Text1"));
    form->setText1("B2");  // an address that makes both range commands show a message
    calls.resetCalls();
    for (const WPARAM key : {WPARAM{VK_RETURN}, WPARAM{VK_ESCAPE}}) {
        PostMessageW(control("Text1"), WM_KEYDOWN, key, 0);
        PostMessageW(control("Text1"), WM_KEYUP, key, 0);
        pump(window, 150ms);
    }
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_EQ(calls.callCount(), 0u);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(form->Text1(), "B2");
}

TEST_F(Form8Win32, ResizingMovesAndStretchesNoControl) {
    form->open();
    pump(window, 50ms);
    auto rects = [&] {
        std::vector<RECT> out;
        for (const layout::Control& c : layout::kControls) {
            RECT r;
            GetWindowRect(control(std::string(c.name).c_str()), &r);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
            out.push_back(r);
        }
        return out;
    };
    const auto before = rects();
    RECT w;
    GetWindowRect(window, &w);
    for (const auto& [dw, dh] : {std::pair{300, 200}, std::pair{-250, -150}}) {
        SetWindowPos(window, nullptr, 0, 0, w.right - w.left + dw, w.bottom - w.top + dh,
                     SWP_NOMOVE | SWP_NOZORDER);
        pump(window, 50ms);
        const auto after = rects();
        for (std::size_t i = 0; i < before.size(); ++i) {
            EXPECT_TRUE(EqualRect(&before[i], &after[i])) << layout::kControls[i].name;
        }
    }
}

// A row of the table every Form8 passes, and on every row what the Win32 window adds: the
// window is kept in front, and each message is an icon-less OK box owned by the window and
// shown before the window only at start-up.
class SharedCases : public ::testing::TestWithParam<windowcases::WindowCase> {};

TEST_P(SharedCases, Win32WindowShowsWhatEveryForm8Shows) {
    const windowcases::WindowCase& c = GetParam();
    windowcases::Bench bench(c);
    MessageWatcher boxes;
    win32::Form8 form(bench.host);
    const auto window = static_cast<HWND>(form.nativeHandle());
    auto control = [&](const char* name) { return GetDlgItem(window, controlId(name)); };
    form.open();  // returns once the watcher has closed a start-up message
    pump(window, 100ms);
    const std::size_t atStart = boxes.count();
    EXPECT_EQ(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST, WS_EX_TOPMOST);
    if (c.typed != nullptr) {
        const std::wstring typed = win::widen(c.typed);
        SendMessageW(control("Text1"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
    }
    bench.beforeClick(c);
    if (c.button != nullptr) {
        PostMessageW(control(c.button), BM_CLICK, 0, 0);
        pump(window, 300ms);
    }

    windowcases::Seen seen{{},
                           windowText(control("Label1")),
                           windowText(control("Label2")),
                           windowText(control("Text1"))};
    const auto shown = boxes.seen();
    for (std::size_t i = 0; i < shown.size(); ++i) {
        SCOPED_TRACE(shown[i].text);
        seen.messages.push_back(shown[i].text);
        EXPECT_EQ(shown[i].title, std::string(texts::kMessageTitle));
        EXPECT_EQ(shown[i].buttons.size(), 1u);
        EXPECT_FALSE(shown[i].hasIcon);
        EXPECT_EQ(shown[i].owner, window);
        EXPECT_EQ(shown[i].ownerVisible, i >= atStart);
    }
    EXPECT_EQ(windowcases::mismatches(c, seen, bench), std::vector<std::string>{});
    EXPECT_TRUE(IsWindowVisible(window));
}

INSTANTIATE_TEST_SUITE_P(Table, SharedCases, ::testing::ValuesIn(windowcases::cases()),
                         [](const ::testing::TestParamInfo<windowcases::WindowCase>& p) {
                             return std::string(p.param.name);
                         });

TEST(Form8Icon, IsOne48PixelImageWith256ColoursAndAMask) {
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC group = FindResourceW(self, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
    ASSERT_TRUE(group);
    auto* dir = static_cast<const BYTE*>(LockResource(LoadResource(self, group)));
    ASSERT_TRUE(dir);
    const WORD count = *reinterpret_cast<const WORD*>(dir + 4);
    ASSERT_EQ(count, 1);
    const BYTE* entry = dir + 6;  // width, height, colours, reserved, planes, bits, size, id
    EXPECT_EQ(entry[0], 48);
    EXPECT_EQ(entry[1], 48);
    const WORD id = *reinterpret_cast<const WORD*>(entry + 12);
    HRSRC image = FindResourceW(self, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(3));  // RT_ICON
    ASSERT_TRUE(image);
    const auto* header =
        static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(self, image)));
    EXPECT_EQ(header->biWidth, 48);
    EXPECT_EQ(header->biHeight, 96);  // the colour image over the transparency mask
    EXPECT_EQ(header->biBitCount, 8);
    EXPECT_TRUE(header->biClrUsed == 0 || header->biClrUsed == 256);
    const DWORD palette = 256 * 4;
    const DWORD colourBytes = 48 * 48;
    const DWORD maskBytes = 48 * ((48 + 31) / 32 * 4);
    EXPECT_EQ(SizeofResource(self, image), header->biSize + palette + colourBytes + maskBytes);
}

}  // namespace
}  // namespace gridmoor
