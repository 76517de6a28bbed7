// The fake Excel as a program of its own: serves a small workbook until it is ended.
//   fake_excel [--reject-first N] [--log FILE] [--no-workbook]
// --reject-first N  rejects the first N automation calls as busy
// --log FILE        appends every automation call to FILE as it arrives (UTF-8)
// --no-workbook     runs with no workbook open
// --protect SHEET   protects the worksheet SHEET (may be given more than once)
// --protect-structure protects the workbook's structure
// --rows N          fills Sheet1!D1:D<N> with runs of five equal values, blank every
//                   seventh cell (for timing the commands on long columns)
// The workbook "Book1.xlsx" has the worksheets Sheet1, Sheet2 and 数据; Sheet1 is active
// and holds A1:A4 = 1, 1, 'x', <empty>, B1 = 2.5 and B2 = a date.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FakeExcel.h"
#include "platform/win/WinText.h"

int wmain(int argc, wchar_t** argv) {
    using namespace gridmoor;
    long rejectFirst = 0;
    std::wstring logPath;
    bool workbook = true;
    long rows = 0;
    std::vector<std::wstring> protectedSheets;
    bool protectStructure = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a == L"--reject-first" && i + 1 < argc)
            rejectFirst = std::stol(argv[++i]);
        else if (a == L"--log" && i + 1 < argc)
            logPath = argv[++i];
        else if (a == L"--rows" && i + 1 < argc)
            rows = std::stol(argv[++i]);
        else if (a == L"--protect" && i + 1 < argc)
            protectedSheets.push_back(argv[++i]);
        else if (a == L"--protect-structure")
            protectStructure = true;
        else if (a == L"--no-workbook")
            workbook = false;
        else {
            std::fprintf(stderr, "fake_excel: unknown argument\n");
            return 2;
        }
    }
    try {
        com::Apartment apartment;
        MemoryHost model;
        if (workbook) {
            model.addWorkbook("Book1.xlsx", {"Sheet1", "Sheet2", "数据"});
            model.activateSheet("Sheet1");
            model.setCells(
                "Sheet1", "A1:A4",
                {CellValue::integer(1), CellValue::integer(1), CellValue::text("x"), CellValue()});
            model.setCell("Sheet1", "B1", CellValue::floating(2.5));
            model.setCell("Sheet1", "B2", CellValue::date(45000.25));
            if (rows > 0) {
                std::vector<CellValue> column;
                for (long r = 0; r < rows; ++r)
                    column.push_back(r % 7 == 6 ? CellValue() : CellValue::integer(r / 5));
                model.setCells("Sheet1", "D1:D" + std::to_string(rows), column);
            }
            for (const std::wstring& sheet : protectedSheets)
                model.protectSheet(win::narrow(sheet), true);
            model.protectStructure(protectStructure);
        }
        fake::FakeExcel excel(model);
        std::ofstream log;
        if (!logPath.empty()) {
            log.open(std::filesystem::path(logPath), std::ios::binary | std::ios::app);
            excel.onLog([&log](const std::string& line) { log << line << "\n" << std::flush; });
        }
        excel.rejectNextCalls(rejectFirst);
        excel.registerRunning();
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fake_excel: %s\n", e.what());
        return 1;
    }
}
