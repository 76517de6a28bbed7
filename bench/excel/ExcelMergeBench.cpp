// Times both commands through the real COM path: this program serves a fake Excel (the
// in-memory model behind IDispatch, registered as the running Excel) while the tool driver,
// a second process, runs the handler through the Excel backend, as gridmoor.exe would.
//   excel_merge_bench [N...] [--compare N...]      (default 1000 2000)
// For each N, Sheet1!A1:A<N> holds runs of equal numbers of random length 1 to 5 (the same
// column as bench/calc); smart merge (Command3_Click) runs on it, then unmerge and fill
// (Command4_Click) on the merged result, both through the batching layer as in the tool.
// Then, on a column merged as Excel merges (the value in each run's first cell only), the
// unmerge and fill that fills every blank ("fill blanks"). Sizes after --compare also run
// on fresh columns call by call, without the layer (the route before batching), and print
// the ratios of round trips. Prints per command the
// seconds, the round trips the fake's channel served and the merged areas afterwards.
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "FakeExcel.h"
#include "platform/win/WinText.h"

namespace {

using namespace gridmoor;

std::vector<CellValue> runsOfRandomLength(long n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> len(1, 5);
    std::vector<CellValue> v;
    long value = 0;
    while (static_cast<long>(v.size()) < n) {
        const int l = len(gen);
        for (int i = 0; i < l && static_cast<long>(v.size()) < n; ++i)
            v.push_back(CellValue::integer(value));
        ++value;
    }
    return v;
}

struct Result {
    bool ok = false;
    long roundTrips = 0;
};

// Runs one handler in the tool driver while this thread serves the fake; not ok when the
// driver failed or did not end.
Result runHandler(fake::FakeExcel& excel, MemoryHost& model, const char* handler,
                  const std::string& address, bool batched, const char* label = nullptr) {
    if (batched)
        SetEnvironmentVariableW(L"GRIDMOOR_UNBATCHED", nullptr);
    else
        SetEnvironmentVariableW(L"GRIDMOOR_UNBATCHED", L"1");
    const std::wstring result = fake::temporaryFile(L"bench-driver");
    DeleteFileW(result.c_str());
    const long tripsBefore = excel.roundTrips();
    const auto start = std::chrono::steady_clock::now();
    std::optional<DWORD> code;
    {
        fake::ChildProcess tool(L"gridmoor_tool_driver.exe",
                                {win::widen(handler), result, win::widen(address)});
        code = tool.wait(std::chrono::minutes(30));
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    const std::vector<std::string> lines = fake::readLines(result);
    DeleteFileW(result.c_str());
    std::string message = "-";
    for (const std::string& line : lines)
        if (line.rfind("message\t", 0) == 0) message = line.substr(8);
    const long trips = excel.roundTrips() - tripsBefore;
    std::printf("%-8s %-9s %-15s %9.2f s %10ld round trips %7zu merged areas  %s\n",
                address.substr(4).c_str(), batched ? "batched" : "calls", label ? label : handler,
                took.count(), trips, model.mergedAreas("Sheet1").size(), message.c_str());
    std::fflush(stdout);
    return {code == std::optional<DWORD>(0), trips};
}

// The column as Excel's own merge leaves it: each run merged, its value in the first cell
// only, the other cells blank.
void mergeAsExcelDoes(MemoryHost& model, const std::vector<CellValue>& values) {
    std::vector<CellValue> firsts = values;
    std::size_t start = 0;
    for (std::size_t i = 1; i <= values.size(); ++i) {
        if (i < values.size() && identical(values[i], values[start])) {
            firsts[i] = CellValue();
            continue;
        }
        if (i - start > 1)
            model.mergeCells("Sheet1", "A" + std::to_string(start + 1) + ":A" + std::to_string(i));
        start = i;
    }
    model.setCells("Sheet1", "A1:A" + std::to_string(values.size()), firsts);
}

// On fresh columns of n rows: the smart merge, the unmerge and fill of its result, and the
// unmerge and fill of a column merged as Excel merges (every blank filled); the round
// trips of each.
Result runAll(long n, bool batched, long trips[3]) {
    const std::string address = "A1:A" + std::to_string(n);
    const std::vector<CellValue> values = runsOfRandomLength(n, 42);
    bool ok = true;
    {
        MemoryHost model;
        model.addWorkbook("Book1.xlsx", {"Sheet1", "Sheet2"});
        model.setCells("Sheet1", address, values);
        fake::FakeExcel excel(model);
        excel.registerRunning();
        const Result merge = runHandler(excel, model, "Command3_Click", address, batched);
        const Result fill = runHandler(excel, model, "Command4_Click", address, batched);
        trips[0] = merge.roundTrips;
        trips[1] = fill.roundTrips;
        ok = merge.ok && fill.ok;
    }
    MemoryHost model;
    model.addWorkbook("Book1.xlsx", {"Sheet1", "Sheet2"});
    model.setCells("Sheet1", address, values);
    mergeAsExcelDoes(model, values);
    fake::FakeExcel excel(model);
    excel.registerRunning();
    const Result blanks =
        runHandler(excel, model, "Command4_Click", address, batched, "fill blanks");
    trips[2] = blanks.roundTrips;
    // Every blank took its run's value.
    if (model.cells("Sheet1", address).back().isEmpty()) {
        std::printf("the blanks were not filled\n");
        ok = false;
    }
    return {ok && blanks.ok, 0};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::pair<long, bool>> sizes;  // rows, compared with the route before
    bool compare = false;
    for (int i = 1; i < argc; ++i) {
        if (std::wstring(argv[i]) == L"--compare") {
            compare = true;
            continue;
        }
        sizes.emplace_back(std::stol(argv[i]), compare);
    }
    if (sizes.empty()) sizes = {{1000, false}, {2000, false}};
    try {
        com::Apartment apartment;
        std::printf("%-8s %-9s %-15s %11s %22s %21s  %s\n", "rows", "route", "command", "time",
                    "round trips", "merged areas", "message");
        bool ok = true;
        for (const auto& [n, compared] : sizes) {
            long batched[3] = {0, 0, 0};
            ok = runAll(n, true, batched).ok && ok;
            if (!compared) continue;
            long calls[3] = {0, 0, 0};
            ok = runAll(n, false, calls).ok && ok;
            auto ratio = [&](int k) {
                return static_cast<double>(calls[k]) / static_cast<double>(batched[k]);
            };
            std::printf(
                "%-8ld round trips, call by call / batched: smart merge %.1f, unmerge and "
                "fill %.1f, fill blanks %.1f\n",
                n, ratio(0), ratio(1), ratio(2));
            std::fflush(stdout);
        }
        return ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "excel_merge_bench: %s\n", e.what());
        return 1;
    }
}
