#include "window/win32/Form8.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h first: commctrl.h relies on its definitions.
#include <commctrl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <vector>

#include "host/Failure.h"
#include "texts/Texts.h"
#include "merge/SmartMerge.h"
#include "merge/UnmergeFill.h"
#include "platform/win/WinText.h"
#include "window/Form8Layout.h"
#include "window/StatusDisplay.h"

namespace gridmoor::win32 {

namespace {

constexpr int kFirstControlId = 1001;
constexpr int kIconResource = 1;

// The density Windows calls 100 %, assumed where the screen's cannot be read.
constexpr UINT kDefaultDpi = 96;
// A font's height is given in points, 72 to the inch.
constexpr double kPointsPerInch = 72.0;
// WM_DPICHANGED: the window moved to a screen of another density. Spelt out because the
// headers declare it only when WINVER targets Windows 7 or later.
constexpr UINT kWmDpiChanged = 0x02E0;
// The window's size when it is created: a placeholder, as the real size depends on the
// density of the screen it lands on, known only once the window exists.
constexpr int kProvisionalSize = 100;
// SetWindowPos's flags for the keep-above request: neither move nor resize the window.
constexpr UINT kKeepPlaceAndSize = SWP_NOMOVE | SWP_NOSIZE;

// A GDI object (font, brush) owned by the window.
struct GdiDelete {
    void operator()(HGDIOBJ o) const noexcept { DeleteObject(o); }
};
using GdiObject = std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, GdiDelete>;

HFONT asFont(const GdiObject& o) {
    return static_cast<HFONT>(o.get());
}

COLORREF colour(layout::Rgb c) {
    return RGB(c.red, c.green, c.blue);
}

// A function of a system library, looked up by name when first needed, so the program
// still starts on a Windows that lacks it. Null when it is missing.
template <class F>
F systemFunction(const wchar_t* library, const char* name) {
    HMODULE module = GetModuleHandleW(library);
    if (!module) module = LoadLibraryW(library);
    if (!module) return nullptr;
    // Through void(*)(), the one function pointer type that converts to any other.
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

UINT systemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

UINT dpiOfWindow(HWND window) {
    using Fn = UINT(WINAPI*)(HWND);
    static_assert(sizeof(Fn) == sizeof(void*));
    if (const auto f = systemFunction<Fn>(L"user32.dll", "GetDpiForWindow")) {
        const UINT dpi = f(window);
        if (dpi > 0) return dpi;
    }
    return systemDpi();
}

int pixels(int twips, UINT dpi) {
    return layout::toPixels(twips, static_cast<int>(dpi));
}

std::wstring wide(std::string_view utf8) {
    return win::widen(utf8);
}

// Whether a font family with Simplified Chinese glyphs is installed under this name.
bool chineseFontInstalled(std::wstring_view family) {
    LOGFONTW wanted{};
    wanted.lfCharSet = GB2312_CHARSET;
    const std::size_t n = std::min(family.size(), std::size_t{LF_FACESIZE - 1});
    std::copy_n(family.data(), n, wanted.lfFaceName);
    bool found = false;
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(
        screen, &wanted,
        [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM flag) -> int {
            *reinterpret_cast<bool*>(flag) = true;
            return 0;
        },
        reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

// The first installed family of the list that covers Simplified Chinese, or nothing.
std::optional<std::wstring> installedChineseFamily(std::initializer_list<const wchar_t*> families) {
    for (const wchar_t* family : families)
        if (chineseFontInstalled(family)) return family;
    return std::nullopt;
}

constexpr std::initializer_list<const wchar_t*> kChineseFallbacks = {
    L"Microsoft YaHei UI", L"Microsoft YaHei",    L"SimSun", L"NSimSun", L"Noto Sans CJK SC",
    L"Source Han Sans SC", L"WenQuanYi Micro Hei"};

// The layout's family where it is installed; else the first installed family that covers
// Simplified Chinese; else the layout's family, which the font mapper then replaces by
// a font of the GB2312 character set.
std::wstring chineseFace(std::string_view family) {
    const std::wstring wanted = wide(family);
    if (chineseFontInstalled(wanted)) return wanted;
    return installedChineseFamily(kChineseFallbacks).value_or(wanted);
}

GdiObject createFont(const layout::Font& font, const std::wstring& face, UINT dpi) {
    LOGFONTW f{};
    f.lfHeight = -static_cast<LONG>(std::lround(font.points * dpi / kPointsPerInch));
    f.lfWeight = font.weight;
    f.lfCharSet = font.gb2312Charset ? GB2312_CHARSET : DEFAULT_CHARSET;
    f.lfQuality = CLEARTYPE_QUALITY;
    const std::size_t n = std::min(face.size(), std::size_t{LF_FACESIZE - 1});
    std::copy_n(face.data(), n, f.lfFaceName);
    return GdiObject(CreateFontIndirectW(&f));
}

// The system's message font (the default interface font) at the given DPI. Windows links
// its interface fonts to its Chinese fonts, so it shows the Chinese captions.
GdiObject interfaceFont(UINT dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    using Fn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
    if (const auto f = systemFunction<Fn>(L"user32.dll", "SystemParametersInfoForDpi");
        f && f(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
        return GdiObject(CreateFontIndirectW(&metrics.lfMessageFont));
    }
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        return GdiObject(nullptr);
    metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi),
                                            static_cast<int>(systemDpi()));
    return GdiObject(CreateFontIndirectW(&metrics.lfMessageFont));
}

// The outer window rectangle whose client area is `client`, for the window's styles.
RECT frameAround(RECT client, DWORD style, DWORD exStyle, UINT dpi) {
    using Fn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    if (const auto f = systemFunction<Fn>(L"user32.dll", "AdjustWindowRectExForDpi"))
        if (f(&client, style, FALSE, exStyle, dpi)) return client;
    AdjustWindowRectEx(&client, style, FALSE, exStyle);
    return client;
}

constexpr DWORD kFormStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = 0;

}  // namespace

int controlId(std::string_view controlName) {
    for (std::size_t i = 0; i < layout::kControls.size(); ++i)
        if (layout::kControls[i].name == controlName) return kFirstControlId + static_cast<int>(i);
    throw std::invalid_argument("no control named " + std::string(controlName));
}

struct Form8::Impl {
    Impl(SpreadsheetHost& h, Form8& s) : host(h), self(s) {}

    SpreadsheetHost& host;
    Form8& self;
    HWND window = nullptr;
    std::array<HWND, layout::kControls.size()> controls{};
    std::array<GdiObject, layout::kControls.size()> backgrounds;
    GdiObject formBrush;
    GdiObject chineseFont;
    GdiObject defaultFont;
    std::wstring chineseFontFace;
    UINT dpi = kDefaultDpi;
    bool loaded = false;
    bool busy = false;
    bool destroyedByOwner = false;
    HWND lastFocus = nullptr;
    // SetWindowPos of user32, bound by name at the first keep-above request.
    using SetWindowPosFn = BOOL(WINAPI*)(HWND, HWND, int, int, int, int, UINT);
    std::optional<SetWindowPosFn> setWindowPos;

    HWND control(std::string_view name) const {
        return controls[static_cast<std::size_t>(controlId(name) - kFirstControlId)];
    }

    void create();
    void placeControls();
    void runClick(void (*handler)(SpreadsheetHost&, FormView&));
    LRESULT handle(HWND hwnd, UINT message, WPARAM w, LPARAM l);
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM w, LPARAM l);
};

void Form8::Impl::create() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    const layout::Form& form = layout::kForm8;
    formBrush.reset(CreateSolidBrush(colour(form.background)));

    WNDCLASSEXW cls{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = &Impl::procedure;
    cls.hInstance = instance;
    cls.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    // No class brush: each window paints its own background (WM_ERASEBKGND) with a brush
    // it owns, which a class registered once per process could not.
    cls.hbrBackground = nullptr;
    cls.lpszClassName = kForm8Class.data();
    cls.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                              0, 0, LR_DEFAULTSIZE | LR_SHARED));
    cls.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource),
                                                IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    // The class lives as long as the process; a second window reuses it.
    if (!RegisterClassExW(&cls) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw std::runtime_error("cannot register the window class");

    // The place is on the primary screen's scale; the window then takes the DPI of the
    // screen it lands on.
    const UINT placeDpi = systemDpi();
    const int left = pixels(form.screenLeft, placeDpi);
    const int top = pixels(form.screenTop, placeDpi);
    const std::wstring caption = wide(form.caption);
    window =
        CreateWindowExW(kFormExStyle, kForm8Class.data(), caption.c_str(), kFormStyle, left, top,
                        kProvisionalSize, kProvisionalSize, nullptr, nullptr, instance, this);
    if (!window) throw std::runtime_error("cannot create the window");
    dpi = dpiOfWindow(window);

    const RECT client{left, top, left + pixels(form.clientWidth, dpi),
                      top + pixels(form.clientHeight, dpi)};
    const RECT frame = frameAround(client, kFormStyle, kFormExStyle, dpi);
    SetWindowPos(window, nullptr, frame.left, frame.top, frame.right - frame.left,
                 frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);

    chineseFontFace = chineseFace(layout::kChineseFont.family);
    for (std::size_t i = 0; i < layout::kControls.size(); ++i) {
        const layout::Control& c = layout::kControls[i];
        const std::wstring text = wide(c.text);
        const wchar_t* kind = L"STATIC";
        DWORD style = WS_CHILD | WS_VISIBLE;
        DWORD exStyle = 0;
        switch (c.kind) {
            case layout::ControlKind::PushButton:
                kind = L"BUTTON";
                style |= WS_TABSTOP | BS_PUSHBUTTON;  // never the default button
                break;
            case layout::ControlKind::Label:
                // Left aligned, cut at its edge rather than wrapped, "&" shown as itself.
                style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX;
                break;
            case layout::ControlKind::TextBox:
                kind = L"EDIT";
                style |= WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
                exStyle = WS_EX_CLIENTEDGE;
                break;
        }
        controls[i] = CreateWindowExW(
            exStyle, kind, text.c_str(), style, 0, 0, 0, 0, window,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + i)), instance, nullptr);
        if (!controls[i]) throw std::runtime_error("cannot create a control");
        if (c.kind == layout::ControlKind::TextBox)
            SendMessageW(controls[i], EM_SETLIMITTEXT, 0, 0);
        if (c.background) backgrounds[i].reset(CreateSolidBrush(colour(*c.background)));
    }
    // Tab order is the order of the siblings: put them in order of their tab index.
    std::vector<std::size_t> byTab(layout::kControls.size());
    for (std::size_t i = 0; i < byTab.size(); ++i) byTab[i] = i;
    std::ranges::sort(byTab, {}, [](std::size_t i) { return layout::kControls[i].tabIndex; });
    HWND previous = HWND_TOP;
    for (std::size_t i : byTab) {
        SetWindowPos(controls[i], previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        previous = controls[i];
    }
    placeControls();
}

// Places and fonts every control for the current DPI.
void Form8::Impl::placeControls() {
    chineseFont = createFont(layout::kChineseFont, chineseFontFace, dpi);
    defaultFont = interfaceFont(dpi);
    for (std::size_t i = 0; i < layout::kControls.size(); ++i) {
        const layout::Control& c = layout::kControls[i];
        MoveWindow(controls[i], pixels(c.left, dpi), pixels(c.top, dpi), pixels(c.width, dpi),
                   pixels(c.height, dpi), TRUE);
        const GdiObject& font = c.font ? chineseFont : defaultFont;
        SendMessageW(controls[i], WM_SETFONT, reinterpret_cast<WPARAM>(asFont(font)), TRUE);
    }
}

void Form8::Impl::runClick(void (*handler)(SpreadsheetHost&, FormView&)) {
    busy = true;
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
    struct Restore {
        Impl& impl;
        HCURSOR previous;
        ~Restore() {
            if (impl.busy) SetCursor(previous);
            impl.busy = false;
        }
    } restore{*this, previous};
    try {
        handler(host, self);
    } catch (const std::exception&) {
        // The handlers end every failure they expect themselves; anything else still
        // must not take the window down.
        self.showMessage(texts::kReasonOther);
    }
}

LRESULT CALLBACK Form8::Impl::procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(l);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* impl = reinterpret_cast<Impl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!impl || impl->window != window) return DefWindowProcW(window, message, w, l);
    return impl->handle(window, message, w, l);
}

LRESULT Form8::Impl::handle(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_COMMAND: {
            if (HIWORD(w) != BN_CLICKED) break;
            const int id = LOWORD(w);
            // Enter and Esc arrive as IDOK and IDCANCEL: the window has no default or
            // cancel button, so they do nothing.
            if (id == controlId("Command2"))
                runClick(&gridmoor::Command2_Click);
            else if (id == controlId("Command3"))
                runClick([](SpreadsheetHost& h, FormView& v) { gridmoor::Command3_Click(h, v); });
            else if (id == controlId("Command4"))
                runClick([](SpreadsheetHost& h, FormView& v) { gridmoor::Command4_Click(h, v); });
            return 0;
        }
        case WM_CTLCOLORSTATIC: {
            const HWND child = reinterpret_cast<HWND>(l);
            for (std::size_t i = 0; i < controls.size(); ++i) {
                if (controls[i] != child || !backgrounds[i]) continue;
                const HDC dc = reinterpret_cast<HDC>(w);
                SetBkColor(dc, colour(*layout::kControls[i].background));
                SetBkMode(dc, OPAQUE);
                return reinterpret_cast<LRESULT>(backgrounds[i].get());
            }
            break;
        }
        case WM_ERASEBKGND: {
            // The window's colour fills the client area, including any area a resize adds.
            RECT client;
            GetClientRect(hwnd, &client);
            FillRect(reinterpret_cast<HDC>(w), &client, static_cast<HBRUSH>(formBrush.get()));
            return 1;
        }
        case WM_SETCURSOR:
            if (busy) {
                SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
                return TRUE;
            }
            break;
        case WM_ACTIVATE:
            // Give the focus back to the control that had it when the window is activated
            // again.
            if (LOWORD(w) == WA_INACTIVE) {
                lastFocus = GetFocus();
            } else if (lastFocus && IsChild(window, lastFocus)) {
                SetFocus(lastFocus);
                return 0;
            }
            break;
        case kWmDpiChanged: {
            dpi = LOWORD(w);
            const RECT* suggested = reinterpret_cast<const RECT*>(l);
            SetWindowPos(window, nullptr, suggested->left, suggested->top,
                         suggested->right - suggested->left, suggested->bottom - suggested->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            placeControls();
            return 0;
        }
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            // The user closed the window: that ends the tool. A window its owner destroys
            // leaves the thread's message loop alone.
            if (!destroyedByOwner) PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            window = nullptr;
            break;
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, w, l);
}

Form8::Form8(SpreadsheetHost& host) : impl_(std::make_unique<Impl>(host, *this)) {
    impl_->create();
}

Form8::~Form8() {
    impl_->destroyedByOwner = true;
    if (impl_->window) DestroyWindow(impl_->window);
}

void* Form8::nativeHandle() const noexcept {
    return impl_->window;
}

void Form8::open() {
    if (!impl_->loaded) {
        impl_->loaded = true;
        // Before the window is first shown: a message it shows comes before the window.
        gridmoor::Form_Load(impl_->host, *this);
    }
    if (!impl_->window) return;
    ShowWindow(impl_->window, SW_SHOWNORMAL);
    UpdateWindow(impl_->window);
    SetFocus(impl_->control("Command2"));
}

int Form8::run() {
    MSG msg;
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1) return 1;
        // Tab and Shift+Tab walk the controls as in a dialog.
        if (impl_->window && IsDialogMessageW(impl_->window, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

std::string Form8::Text1() const {
    const HWND edit = impl_->control("Text1");
    const int length = GetWindowTextLengthW(edit);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(edit, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(got, 0)));
    return win::narrow(text);
}

void Form8::showMessage(std::string_view text) {
    if (impl_->busy) {
        // The user never sees the busy cursor over a message.
        SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
        impl_->busy = false;
    }
    const std::wstring body = wide(text);
    const std::wstring title = wide(texts::kMessageTitle);
    MessageBoxW(impl_->window, body.c_str(), title.c_str(), MB_OK);
}

void Form8::setLabel1(std::string_view text) {
    SetWindowTextW(impl_->control("Label1"), wide(text).c_str());
}

void Form8::setLabel2(std::string_view text) {
    SetWindowTextW(impl_->control("Label2"), wide(text).c_str());
}

void Form8::setText1(std::string_view text) {
    SetWindowTextW(impl_->control("Text1"), wide(text).c_str());
}

void Form8::requestTopmost() {
    if (!impl_->window) throw Failure("the window has no handle");
    if (!impl_->setWindowPos)
        impl_->setWindowPos = systemFunction<Impl::SetWindowPosFn>(L"user32.dll", "SetWindowPos");
    if (!*impl_->setWindowPos) throw Failure("SetWindowPos is not available");
    // In front of every window that is not itself kept in front; the result is not looked at.
    (*impl_->setWindowPos)(impl_->window, HWND_TOPMOST, 0, 0, 0, 0, kKeepPlaceAndSize);
}

}  // namespace gridmoor::win32
