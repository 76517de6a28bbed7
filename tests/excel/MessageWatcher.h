// Finds the message boxes (dialog class "#32770") that appear while a test acts, records
// what each showed, and closes it with its OK button, from a thread of its own, so that a
// modal box on the tested thread (or in another process) does not block the test.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/excel/ComSupport.h"

namespace gridmoor::fake {

// The text of a window of this or another process, as UTF-8. The window is asked for it
// (WM_GETTEXT), which reaches controls of other processes too, within a time limit, so that
// a hung window cannot hang the test.
std::string windowText(HWND w);
// The name of a window's class.
std::wstring windowClass(HWND w);

struct SeenMessage {
    std::string title;
    std::string text;
    std::vector<std::string> buttons;  // captions of the visible buttons
    bool hasIcon = false;              // a visible icon in the box
    HWND owner = nullptr;
    bool ownerVisible = false;  // whether the owning window was shown while the box was
};

class MessageWatcher {
public:
    MessageWatcher();
    ~MessageWatcher();
    MessageWatcher(const MessageWatcher&) = delete;
    MessageWatcher& operator=(const MessageWatcher&) = delete;

    // The boxes seen and closed so far.
    std::vector<SeenMessage> seen() const;
    std::size_t count() const;

private:
    void watch();

    mutable std::mutex mutex_;
    std::vector<SeenMessage> seen_;
    std::vector<HWND> closing_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace gridmoor::fake
