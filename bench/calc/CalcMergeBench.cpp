// Smart merge and unmerge-fill against a real Calc, end to end through the engine: a column of
// n rows holding runs of random length 1 to 5, merged, then unmerged and filled. Compares the
// backend under the batching layer with the backend alone sending every host call at once
// (one round trip per call, no bulk route), and shows where the batched time goes by host
// operation.
// Usage: calc_merge_bench PIPE N [N...]   (Calc must listen on PIPE; see run.sh)
// GRIDMOOR_PERCALL_MAX (default 10000): the largest size also run one round trip per call.
// GRIDMOOR_BENCH_BOLD=1: the column is bold, so a format paste has formatting to carry.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "TimedHost.h"
#include "host/calc/BatchedCalc.h"
#include "host/calc/CalcHost.h"
#include "host/calc/CalcProbe.h"
#include "merge/CommandView.h"
#include "merge/SmartMerge.h"
#include "merge/UnmergeFill.h"

namespace {

class QuietView : public gridmoor::CommandView {
public:
    explicit QuietView(std::string text) : text_(std::move(text)) {}
    std::string Text1() const override { return text_; }
    void showMessage(std::string_view text) override { last = text; }
    std::string last;

private:
    std::string text_;
};

std::vector<double> runsOfRandomLength(long n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> len(1, 5);
    std::vector<double> v;
    double value = 0;
    while (static_cast<long>(v.size()) < n) {
        const int l = len(gen);
        for (int i = 0; i < l && static_cast<long>(v.size()) < n; ++i) v.push_back(value);
        value += 1;
    }
    return v;
}

double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

template <class F>
double timed(F&& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return seconds(std::chrono::steady_clock::now() - t0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PIPE N [N...]\n", argv[0]);
        return 2;
    }
    const std::string pipe = argv[1];
    // A first start with a fresh profile restarts once: wait until Calc answers.
    std::unique_ptr<gridmoor::calc::CalcProbe> connected;
    for (int attempt = 0; !connected; ++attempt) {
        try {
            connected = std::make_unique<gridmoor::calc::CalcProbe>(pipe);
        } catch (const std::exception& e) {
            if (attempt == 120) {
                std::fprintf(stderr, "%s\n", e.what());
                return 1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
    }
    gridmoor::calc::CalcProbe& probe = *connected;
    // One round trip per call takes minutes from 10,000 rows on: only up to this size.
    const char* limit = std::getenv("GRIDMOOR_PERCALL_MAX");
    const long percallMax = limit ? std::atol(limit) : 10000;
    // GRIDMOOR_BENCH_BOLD=1: the column is bold.
    const char* boldSetting = std::getenv("GRIDMOOR_BENCH_BOLD");
    const bool bold = boldSetting && std::string(boldSetting) == "1";
    std::printf("%-10s %-8s %12s %12s %s\n", "rows", "mode", "merge_s", "unmerge_s", "message");
    for (int i = 2; i < argc; ++i) {
        const long n = std::atol(argv[i]);
        const auto column = runsOfRandomLength(n, 42);
        const std::string address = "B1:B" + std::to_string(n);
        for (const bool batch : {true, false}) {
            if (!batch && n > percallMax) {
                std::printf("%-10ld %-8s %12s %12s %s\n", n, "percall", "-", "-",
                            "skipped (too slow)");
                continue;
            }
            try {
                probe.newWorkbook("Sheet1", false);
                probe.fillNumbers("Sheet1", "B1", column);
                // Formatting the bulk route has to give back after laying its pattern over it.
                if (bold) probe.setBold("Sheet1", address);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "setting up the workbook failed: %s\n", e.what());
                return 1;
            } catch (...) {
                std::fprintf(stderr, "setting up the workbook failed: Calc has gone away\n");
                return 1;
            }
            gridmoor::BatchedCalc batched({pipe, true});
            gridmoor::CalcHost alone({pipe, false});
            gridmoor::bench::TimedHost host(batch ? static_cast<gridmoor::SpreadsheetHost&>(batched)
                                                  : alone);
            QuietView merge(address), unmerge(address);
            const double m = timed([&] { gridmoor::Command3_Click(host, merge); });
            const gridmoor::bench::TimedHost mergeTimes = host;
            host.clear();
            const double u = timed([&] { gridmoor::Command4_Click(host, unmerge); });
            std::printf("%-10ld %-8s %12.3f %12.3f %s | %s\n", n, batch ? "batched" : "percall", m,
                        u, merge.last.c_str(), unmerge.last.c_str());
            if (batch) {
                std::printf("  smart merge, by host operation:\n");
                mergeTimes.print(stdout);
                std::printf("  unmerge, by host operation:\n");
                host.print(stdout);
            }
            std::fflush(stdout);
        }
    }
    // The documents stay open: run.sh ends Calc.
    return 0;
}
