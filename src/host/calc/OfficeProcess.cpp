#include "host/calc/OfficeProcess.h"

#include <dirent.h>
#include <rtl/digest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <osl/file.hxx>
#include <rtl/ustring.hxx>
#include <string>
#include <vector>

namespace gridmoor::calc {

using rtl::OStringToOUString;
using rtl::OUString;

namespace {

// Owns a file descriptor.
class Fd {
public:
    explicit Fd(int fd) noexcept : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const noexcept { return fd_; }

private:
    int fd_;
};

// Owns an opendir handle.
class Dir {
public:
    explicit Dir(const char* path) : d_(::opendir(path)) {}
    ~Dir() {
        if (d_) ::closedir(d_);
    }
    Dir(const Dir&) = delete;
    Dir& operator=(const Dir&) = delete;
    DIR* get() const noexcept { return d_; }

private:
    DIR* d_;
};

// LibreOffice's osl layer makes the socket of every named pipe in /tmp, whatever TMPDIR
// says: the one place in the backend where the temporary directory is not the system's.
constexpr std::string_view kPipeDir = "/tmp";

bool isOfficeProcessOf(const std::string& pid, uid_t uid) {
    const std::string base = "/proc/" + pid;
    struct stat st {};
    if (::stat(base.c_str(), &st) != 0 || st.st_uid != uid) return false;
    std::ifstream comm(base + "/comm");
    std::string name;
    std::getline(comm, name);
    return name == "soffice.bin";
}

// Reads until a NUL byte; false on timeout, error or a closed peer.
bool readUntilNul(int fd, std::string& out) {
    out.clear();
    char buf[256];
    while (true) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return false;
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] == '\0') return true;
            out.push_back(buf[i]);
        }
        if (out.size() > 4096) return false;
    }
}

bool sendAll(int fd, const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// One hand-off over one socket path. The instance greets with "InternalIPC::SendArguments",
// takes "InternalIPC::Arguments0" (no working directory) followed by ",argument" with "\",
// "," and NUL escaped, and confirms with "InternalIPC::ProcessingDone".
bool handOffOver(const std::string& path, std::string_view argument) {
    sockaddr_un addr{};
    if (path.size() >= sizeof addr.sun_path) return false;
    Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) return false;
    timeval limit{5, 0};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        return false;  // a stale socket file of a crashed instance refuses
    }
    std::string greeting;
    if (!readUntilNul(fd.get(), greeting) || greeting != "InternalIPC::SendArguments") {
        return false;
    }
    std::string message = "InternalIPC::Arguments0,";
    for (const char c : argument) {
        if (c == '\\' || c == ',') message += '\\';
        message += c;
    }
    message += '\0';
    if (!sendAll(fd.get(), message)) return false;
    std::string reply;
    return readUntilNul(fd.get(), reply) && reply == "InternalIPC::ProcessingDone";
}

}  // namespace

bool officeRunsForThisUser() {
    const uid_t uid = ::getuid();
    Dir proc("/proc");
    if (!proc.get()) return false;
    while (const dirent* e = ::readdir(proc.get())) {
        const std::string name = e->d_name;
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        if (isOfficeProcessOf(name, uid)) return true;
    }
    return false;
}

std::string oslPipePath(std::string_view name) {
    return std::string(kPipeDir) + "/OSL_PIPE_" + std::to_string(::getuid()) + "_" +
           std::string(name);
}

std::string singleInstancePipePath() {
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        config = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home == '/') {
        config = std::string(home) + "/.config";
    } else {
        return {};
    }
    const std::string profile = config + "/libreoffice/4";
    OUString url;
    if (osl::FileBase::getFileURLFromSystemPath(
            OStringToOUString(rtl::OString(profile.c_str()), RTL_TEXTENCODING_UTF8), url) !=
        osl::FileBase::E_None) {
        return {};
    }
    // The instance names its pipe after the MD5 of the profile URL's UTF-16 code units, each
    // byte printed in hex without leading zeros.
    sal_uInt8 digest[RTL_DIGEST_LENGTH_MD5];
    if (rtl_digest_MD5(url.getStr(), static_cast<sal_uInt32>(url.getLength()) * sizeof(sal_Unicode),
                       digest, sizeof digest) != rtl_Digest_E_None) {
        return {};
    }
    std::string hex;
    for (const sal_uInt8 b : digest) {
        char buf[4];
        std::snprintf(buf, sizeof buf, "%x", static_cast<unsigned>(b));
        hex += buf;
    }
    return oslPipePath("SingleOfficeIPC_" + hex);
}

bool handOffToRunningOffice(std::string_view argument) {
    // Only the instance of this user's ordinary profile is asked: an instance started on
    // another profile belongs to someone else's session (or to another test).
    const std::string own = singleInstancePipePath();
    return !own.empty() && handOffOver(own, argument);
}

}  // namespace gridmoor::calc
