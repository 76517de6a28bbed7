// The merge engine end to end on the in-memory host, and findEqualRuns alone, on one
// column of 100,000 and 1,048,575 rows holding runs of random length 1 to 5.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "host/Texts.h"
#include "host/memory/MemoryHost.h"
#include "merge/CommandView.h"
#include "merge/EqualRuns.h"
#include "merge/SmartMerge.h"
#include "merge/UnmergeFill.h"

namespace gridmoor {
namespace {

// Category texts in runs of 1 to 5 equal cells, the same for every run of the program.
std::vector<CellValue> column(long rows) {
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> length(1, 5);
    std::vector<CellValue> values;
    values.reserve(static_cast<std::size_t>(rows));
    for (long run = 0; static_cast<long>(values.size()) < rows; ++run) {
        const CellValue v = CellValue::text("类别" + std::to_string(run));
        for (int k = length(random); k > 0 && static_cast<long>(values.size()) < rows; --k)
            values.push_back(v);
    }
    return values;
}

class SilentView : public CommandView {
public:
    explicit SilentView(std::string text) : text_(std::move(text)) {}
    std::string Text1() const override { return text_; }
    void showMessage(std::string_view text) override { last = text; }
    std::string last;

private:
    std::string text_;
};

// The column's cells from row 2 down: a range of every row of the sheet would be the whole
// column, which the smart merge leaves alone, so the largest column is 1,048,575 rows.
std::string address(long rows) {
    return "B2:B" + std::to_string(rows + 1);
}

void prepare(MemoryHost& host, const std::vector<CellValue>& values, long rows) {
    host.setRecording(false);
    host.addWorkbook("Book1.xlsx", {"Sheet1", "Sheet2"});
    host.setCells("Sheet1", address(rows), values);
}

void BM_FindEqualRuns(benchmark::State& state) {
    const auto values = column(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(findEqualRuns(values));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SmartMerge(benchmark::State& state) {
    const long rows = state.range(0);
    const auto values = column(rows);
    for (auto _ : state) {
        state.PauseTiming();
        auto host = std::make_unique<MemoryHost>();
        prepare(*host, values, rows);
        SilentView view(address(rows));
        state.ResumeTiming();
        Command3_Click(*host, view);
        state.PauseTiming();
        if (view.last != texts::kMergeDone) {
            state.SkipWithError(("the smart merge did not complete: " + view.last).c_str());
            break;
        }
        host.reset();  // freeing the model is not the command's cost
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * rows);
}

void BM_UnmergeFill(benchmark::State& state) {
    const long rows = state.range(0);
    const auto values = column(rows);
    for (auto _ : state) {
        state.PauseTiming();
        auto host = std::make_unique<MemoryHost>();
        prepare(*host, values, rows);
        SilentView view(address(rows));
        Command3_Click(*host, view);  // the merged column is the starting point
        state.ResumeTiming();
        Command4_Click(*host, view);
        state.PauseTiming();
        if (view.last != texts::kUnmergeDone) {
            state.SkipWithError(("the unmerge did not complete: " + view.last).c_str());
            break;
        }
        host.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * rows);
}

BENCHMARK(BM_FindEqualRuns)->Arg(100000)->Arg(1048575)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SmartMerge)
    ->Arg(100000)
    ->Arg(1048575)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5);
BENCHMARK(BM_UnmergeFill)
    ->Arg(100000)
    ->Arg(1048575)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5);

}  // namespace
}  // namespace gridmoor

BENCHMARK_MAIN();
