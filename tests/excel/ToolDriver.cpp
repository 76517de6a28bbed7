// Runs one handler of the tool against the running Excel through the Excel backend, as
// the window would, and writes what the window would show to a file:
//   gridmoor_tool_driver <handler> <result file> [Text1]
// handler: Form_Load, Command2_Click, Command3_Click or Command4_Click. The result file
// gets UTF-8 lines "label1<TAB>...", "label2<TAB>...", "text1<TAB>...", one
// "message<TAB>..." per message, and "held<TAB>n", the objects the backend still held
// after the handler returned (0 unless it leaked).
// The handler runs through the batching layer, as in the tool, unless the environment
// variable GRIDMOOR_UNBATCHED is set (the route before batching, for the benchmark).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "ScriptedForm.h"
#include "host/BatchingHost.h"
#include "host/excel/ComSupport.h"
#include "host/excel/ExcelHost.h"
#include "merge/SmartMerge.h"
#include "merge/UnmergeFill.h"
#include "platform/win/WinText.h"
#include "window/StatusDisplay.h"

int wmain(int argc, wchar_t** argv) {
    using namespace gridmoor;
    if (argc < 3) {
        std::fputs("usage: gridmoor_tool_driver <handler> <result file> [Text1]\n", stderr);
        return 2;
    }
    const std::string handler = win::narrow(argv[1]);
    try {
        ExcelHost excel;
        BatchingHost batched(excel);
        SpreadsheetHost& host =
            _wgetenv(L"GRIDMOOR_UNBATCHED") ? static_cast<SpreadsheetHost&>(excel) : batched;
        fake::ScriptedForm form;
        if (argc > 3) form.text1 = win::narrow(argv[3]);
        if (handler == "Form_Load")
            Form_Load(host, form);
        else if (handler == "Command2_Click")
            Command2_Click(host, form);
        else if (handler == "Command3_Click")
            Command3_Click(host, form);
        else if (handler == "Command4_Click")
            Command4_Click(host, form);
        else {
            std::fprintf(stderr, "unknown handler %s\n", handler.c_str());
            return 2;
        }
        std::ofstream out(std::filesystem::path(argv[2]), std::ios::binary);
        out << "label1\t" << form.label1 << "\n";
        out << "label2\t" << form.label2 << "\n";
        out << "text1\t" << form.text1 << "\n";
        for (const std::string& m : form.messages) out << "message\t" << m << "\n";
        out << "held\t" << excel.heldObjects() << "\n";
        return out ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", handler.c_str(), e.what());
        return 1;
    }
}
