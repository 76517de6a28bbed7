// The merge engine end to end on the in-memory host, and findEqualRuns alone, on one
// column of 100,000 and 1,048,575 rows holding runs of random length 1 to 5.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "host/BatchingHost.h"
#include "texts/Texts.h"
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
    host.addWorkbook("Book1.xlsx", {"Sheet1", "Sheet2"});
    host.setCells("Sheet1", address(rows), values);
}

void BM_FindEqualRuns(benchmark::State& state) {
    const auto values = column(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(findEqualRuns(values));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

using Handler = void (*)(SpreadsheetHost&, CommandView&);

// Times `command` alone, once per iteration, on a fresh host holding the column; `before`,
// when given, runs first and untimed to bring the sheet into the command's starting state.
// A run that does not end with the `done` message stops the benchmark with what it showed.
void timeCommand(benchmark::State& state, Handler before, Handler command, std::string_view done,
                 std::string_view what) {
    const long rows = state.range(0);
    const auto values = column(rows);
    for (auto _ : state) {
        state.PauseTiming();
        auto host = std::make_unique<MemoryHost>();
        prepare(*host, values, rows);
        SilentView view(address(rows));
        if (before) before(*host, view);
        state.ResumeTiming();
        command(*host, view);
        state.PauseTiming();
        if (view.last != done) {
            state.SkipWithError((std::string(what) + " did not complete: " + view.last).c_str());
            break;
        }
        host.reset();  // freeing the model is not the command's cost
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * rows);
}

void BM_SmartMerge(benchmark::State& state) {
    timeCommand(state, nullptr, &Command3_Click, texts::kMergeDone, "the smart merge");
}

// The merged column is the starting point.
void BM_UnmergeFill(benchmark::State& state) {
    timeCommand(state, &Command3_Click, &Command4_Click, texts::kUnmergeDone, "the unmerge");
}

// The same commands through the batching layer, as the tool runs them against a real
// application: what the layer itself costs.
template <Handler command>
void throughLayer(SpreadsheetHost& host, CommandView& view) {
    BatchingHost layer(dynamic_cast<BulkHost&>(host));
    command(layer, view);
}

void BM_SmartMergeBatched(benchmark::State& state) {
    timeCommand(state, nullptr, &throughLayer<&Command3_Click>, texts::kMergeDone,
                "the smart merge");
}

void BM_UnmergeFillBatched(benchmark::State& state) {
    timeCommand(state, &Command3_Click, &throughLayer<&Command4_Click>, texts::kUnmergeDone,
                "the unmerge");
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
BENCHMARK(BM_SmartMergeBatched)
    ->Arg(100000)
    ->Arg(1048575)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5);
BENCHMARK(BM_UnmergeFillBatched)
    ->Arg(100000)
    ->Arg(1048575)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5);

}  // namespace
}  // namespace gridmoor

BENCHMARK_MAIN();
