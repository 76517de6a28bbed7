// A private LibreOffice for one test program: its own HOME (so its own profile and
// single-instance pipe), started headless (or with windows on the current DISPLAY), killed
// with everything it started at the end.
// The test program's own HOME is pointed at the same directory, as the tool and Calc share
// a HOME for a real user.
#pragma once

#include <sys/types.h>

#include <string>

namespace gridmoor::calctest {

class Soffice {
public:
    // listen: start with --accept on the UNO pipe `pipeName` (otherwise started the
    // ordinary way, listening on nothing).
    // windowed: show Calc's windows on $DISPLAY, for tests that act as the user would.
    Soffice(std::string pipeName, bool listen, bool windowed = false);
    ~Soffice();
    Soffice(const Soffice&) = delete;
    Soffice& operator=(const Soffice&) = delete;

    const std::string& pipeName() const { return pipe_; }
    const std::string& home() const { return home_; }
    // Waits until Calc answers on its single-instance pipe (and on the UNO pipe when it
    // listens); false after the time limit.
    bool waitReady(int seconds);
    // Kills Calc at once (a user quitting, or a crash) and waits until it is gone.
    void kill();
    bool running() const { return pgid_ > 0; }

private:
    std::string pipe_;
    std::string home_;
    pid_t pgid_ = -1;
    bool listen_;
    bool windowed_;
    pid_t watchdog_ = -1;
    int guard_ = -1;
};

// True when a Unix socket at `path` accepts a connection.
bool socketAccepts(const std::string& path);

}  // namespace gridmoor::calctest
