#include "MessageWatcher.h"

#include <algorithm>
#include <chrono>

#include "platform/win/WinText.h"

namespace gridmoor::fake {

std::string windowText(HWND w) {
    constexpr UINT kAnswerWithinMs = 5000;
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kAnswerWithinMs, &length))
        return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(w, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, kAnswerWithinMs, &got);
    text.resize(std::min<std::size_t>(got, length));
    return win::narrow(text);
}

std::wstring windowClass(HWND w) {
    wchar_t name[64] = {};
    GetClassNameW(w, name, 64);
    return name;
}

namespace {

SeenMessage describeBox(HWND box) {
    SeenMessage m;
    m.title = windowText(box);
    m.owner = GetWindow(box, GW_OWNER);
    m.ownerVisible = m.owner && IsWindowVisible(m.owner);
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child)) continue;
        const std::wstring cls = windowClass(child);
        if (_wcsicmp(cls.c_str(), L"Button") == 0) {
            m.buttons.push_back(windowText(child));
        } else if (_wcsicmp(cls.c_str(), L"Static") == 0) {
            if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
                m.hasIcon = m.hasIcon || SendMessageW(child, STM_GETICON, 0, 0) != 0;
            } else {
                const std::string t = windowText(child);
                if (!t.empty()) m.text = t;
            }
        }
    }
    return m;
}

}  // namespace

MessageWatcher::MessageWatcher() : thread_([this] { watch(); }) {}

MessageWatcher::~MessageWatcher() {
    stop_ = true;
    thread_.join();
}

std::vector<SeenMessage> MessageWatcher::seen() const {
    std::lock_guard lock(mutex_);
    return seen_;
}

std::size_t MessageWatcher::count() const {
    std::lock_guard lock(mutex_);
    return seen_.size();
}

void MessageWatcher::watch() {
    while (!stop_) {
        std::vector<HWND> boxes;
        EnumWindows(
            [](HWND w, LPARAM found) -> BOOL {
                if (IsWindowVisible(w) && windowClass(w) == L"#32770")
                    reinterpret_cast<std::vector<HWND>*>(found)->push_back(w);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&boxes));
        for (HWND box : boxes) {
            {
                std::lock_guard lock(mutex_);
                if (std::find(closing_.begin(), closing_.end(), box) != closing_.end()) continue;
            }
            // Give the box a moment to finish laying itself out before reading it.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            SeenMessage m = describeBox(box);
            {
                std::lock_guard lock(mutex_);
                seen_.push_back(std::move(m));
                closing_.push_back(box);
            }
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
        // Forget boxes that are gone, so a new box that reuses a handle is seen.
        {
            std::lock_guard lock(mutex_);
            std::erase_if(closing_, [](HWND w) { return !IsWindow(w); });
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace gridmoor::fake
