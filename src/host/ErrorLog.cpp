#include "host/ErrorLog.h"

#include <atomic>
#include <cstdio>

namespace gridmoor {
namespace {

class StderrSink : public LogSink {
public:
    void write(std::string_view line) noexcept override {
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }
};

StderrSink stderrSink;
std::atomic<LogSink*> installed{nullptr};

}  // namespace

LogSink* installLogSink(LogSink* sink) noexcept {
    return installed.exchange(sink);
}

std::string formatLogLine(std::chrono::system_clock::time_point when, std::string_view context,
                          std::string_view reason) {
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(when);
    const auto day = floor<days>(ms);
    const year_month_day date{day};
    const hh_mm_ss time{ms - day};
    char stamp[32];
    std::snprintf(
        stamp, sizeof stamp, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
        static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
    std::string line(stamp);
    line += " [";
    line += context;
    line += "] ";
    line += reason;
    return line;
}

void logUnexpected(std::string_view context, std::string_view reason) noexcept {
    LogSink* sink = installed.load();
    if (sink == nullptr) sink = &stderrSink;
    try {
        sink->write(formatLogLine(std::chrono::system_clock::now(), context, reason));
    } catch (...) {
    }
}

}  // namespace gridmoor
