#include "Soffice.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "host/calc/OfficeProcess.h"

namespace gridmoor::calctest {

bool socketAccepts(const std::string& path) {
    sockaddr_un addr{};
    if (path.size() >= sizeof addr.sun_path) return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

namespace {

// Gives `home` the finished profile the test run made (see make-profile.sh), so that Calc
// does not restart itself after creating one. Before that test has run (a test program
// started by hand) Calc makes its own profile, and the first seconds may see that restart.
void copyFinishedProfile(const std::string& home) {
    const std::filesystem::path from =
        std::filesystem::path(GRIDMOOR_TEST_CALC_PROFILE) / ".config";
    std::error_code ec;
    if (!std::filesystem::is_directory(from, ec)) return;
    std::filesystem::copy(from, std::filesystem::path(home) / ".config",
                          std::filesystem::copy_options::recursive, ec);
    if (ec) throw std::runtime_error("cannot copy the Calc test profile: " + ec.message());
}

}  // namespace

Soffice::Soffice(std::string pipeName, bool listen, bool windowed)
    : pipe_(std::move(pipeName)), listen_(listen), windowed_(windowed) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "gridmoor-calc-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    home_ = tmpl;
    copyFinishedProfile(home_);
    ::setenv("HOME", home_.c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
    const std::string accept = "--accept=pipe,name=" + pipe_ + ";urp;StarOffice.ComponentContext";
    // Built before the fork: the child only calls what is safe between fork and exec.
    std::vector<const char*> args{"soffice", "--norestore", "--nologo", "--nodefault",
                                  "--nolockcheck"};
    if (!windowed_) args.push_back("--headless");
    if (listen_) args.push_back(accept.c_str());
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::setsid();
        const int devnull = ::open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            ::dup2(devnull, 1);
            ::dup2(devnull, 2);
        }
        ::execvp("soffice", const_cast<char* const*>(args.data()));
        ::_exit(127);
    }
    pgid_ = pid;
    // A watchdog kills Calc if this test program dies without running its destructors: it
    // waits for the end of a pipe whose only writer is this process.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) == 0) {
        const pid_t dog = ::fork();
        if (dog == 0) {
            ::close(fds[1]);
            char c;
            while (::read(fds[0], &c, 1) > 0) {
            }
            ::kill(-pid, SIGKILL);
            ::_exit(0);
        }
        ::close(fds[0]);
        watchdog_ = dog;
        guard_ = fds[1];
    }
}

bool Soffice::waitReady(int seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    const std::string single = calc::singleInstancePipePath();
    const std::string uno = calc::oslPipePath(pipe_);
    while (std::chrono::steady_clock::now() < until) {
        if (socketAccepts(single) && (!listen_ || socketAccepts(uno))) {
            if (listen_) return true;
            // Started the ordinary way, a first start on a fresh profile may restart once:
            // ready is when it still answers a few seconds later.
            std::this_thread::sleep_for(std::chrono::seconds(3));
            if (socketAccepts(single) && (!listen_ || socketAccepts(uno))) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

void Soffice::kill() {
    if (pgid_ <= 0) return;
    ::kill(-pgid_, SIGKILL);
    ::waitpid(pgid_, nullptr, 0);
    // soffice.bin is a child of the launcher; wait until no process of the group is left.
    for (int i = 0; i < 100 && ::kill(-pgid_, 0) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    pgid_ = -1;
}

Soffice::~Soffice() {
    kill();
    if (guard_ >= 0) ::close(guard_);
    if (watchdog_ > 0) ::waitpid(watchdog_, nullptr, 0);
    std::error_code ec;
    std::filesystem::remove_all(home_, ec);
}

}  // namespace gridmoor::calctest
