// Times both commands through the real COM path: this program serves a fake Excel (the
// in-memory model behind IDispatch, registered as the running Excel) while the tool driver,
// a second process, runs the handler through the Excel backend, as gridmoor.exe would.
//   excel_merge_bench [N...]      (default 1000 2000)
// For each N, Sheet1!A1:A<N> holds runs of equal numbers of random length 1 to 5 (the same
// column as bench/calc); smart merge (Command3_Click) runs on it, then unmerge and fill
// (Command4_Click) on the merged result. Prints per command the seconds, the round trips
// the fake's channel served and the merged areas afterwards.
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "FakeExcel.h"

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

// Runs one handler in the tool driver while this thread serves the fake; false when the
// driver failed or did not end.
bool runHandler(fake::FakeExcel& excel, MemoryHost& model, const char* handler,
                const std::string& address) {
    const std::wstring result = fake::temporaryFile(L"bench-driver");
    DeleteFileW(result.c_str());
    const long tripsBefore = excel.roundTrips();
    const auto start = std::chrono::steady_clock::now();
    std::optional<DWORD> code;
    {
        fake::ChildProcess tool(L"gridmoor_tool_driver.exe",
                                {com::widen(handler), result, com::widen(address)});
        code = tool.wait(std::chrono::minutes(30));
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    const std::vector<std::string> lines = fake::readLines(result);
    DeleteFileW(result.c_str());
    std::string message = "-";
    for (const std::string& line : lines)
        if (line.rfind("message\t", 0) == 0) message = line.substr(8);
    std::printf("%-8s %-15s %9.2f s %10ld round trips %7zu merged areas  %s\n",
                address.substr(4).c_str(), handler, took.count(), excel.roundTrips() - tripsBefore,
                model.mergedAreas("Sheet1").size(), message.c_str());
    std::fflush(stdout);
    return code == std::optional<DWORD>(0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<long> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::stol(argv[i]));
    if (sizes.empty()) sizes = {1000, 2000};
    try {
        com::Apartment apartment;
        std::printf("%-8s %-15s %11s %22s %21s  %s\n", "rows", "command", "time", "round trips",
                    "merged areas", "message");
        bool ok = true;
        for (const long n : sizes) {
            MemoryHost model;
            model.addWorkbook("Book1.xlsx", {"Sheet1", "Sheet2"});
            const std::string address = "A1:A" + std::to_string(n);
            model.setCells("Sheet1", address, runsOfRandomLength(n, 42));
            fake::FakeExcel excel(model);
            excel.registerRunning();
            ok = runHandler(excel, model, "Command3_Click", address) && ok;
            ok = runHandler(excel, model, "Command4_Click", address) && ok;
        }
        return ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "excel_merge_bench: %s\n", e.what());
        return 1;
    }
}
