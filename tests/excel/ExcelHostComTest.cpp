// The Excel backend across processes: this program is the tool's side, the fake Excel
// runs as a child process registered in the Running Object Table. Covers attach (running,
// not running, not registered), every operation's round trip through IDispatch with its
// named arguments, enumerations, error causes, Excel killed mid-command and a busy Excel.
// The bulk operations are in ExcelBulkComTest.cpp; values of every kind written and read
// back are the contract suite's, run here over Excel through the fake (ExcelBench.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <ostream>

#include "WithFakeExcel.h"
#include "host/HostLink.h"
#include "host/excel/ExcelHost.h"

namespace gridmoor {
namespace {

using namespace std::chrono_literals;
using Cause = HostError::Cause;

TEST(Attach, NothingWhenNoExcelRuns) {
    com::Apartment apartment;
    ASSERT_FALSE(excelRunning());
    ExcelHost host;
    HostLink link(host);
    const auto start = std::chrono::steady_clock::now();
    link.attach();
    EXPECT_TRUE(link.empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

TEST(Attach, NothingWhenTheClassIsNotRegistered) {
    com::Apartment apartment;
    ExcelHost host;
    host.beginRun();
    EXPECT_FALSE(host.attach("Gridmoor.NoSuchApplication"));
    host.endRun();
}

TEST_F(WithFakeExcel, StatusReadsAndSettingWritesTravelByName) {
    start();
    ExcelHost host;
    HostLink link(host);
    link.attach();
    ASSERT_FALSE(link.empty());
    const AppHandle app = link.app();
    EXPECT_EQ(host.Name(host.Activeworkbook(app)), "Book1.xlsx");
    EXPECT_EQ(host.Name(host.ActiveSheet(host.Activeworkbook(app))), "Sheet1");
    host.DisplayAlerts(app, true);
    host.ScreenUpdating(app, false);
    EXPECT_EQ(causeOf([&] { host.Calculation(app, 1); }), Cause::BadArgument);
    host.Calculation(app, xlCalculationManual);
    const std::vector<std::string> expected = {
        "Application.ActiveWorkbook",
        "Workbook.Name",
        "Application.ActiveWorkbook",
        "Workbook.ActiveSheet",
        "Worksheet.Name",
        "Application.DisplayAlerts = True",
        "Application.ScreenUpdating = False",
        "Application.Calculation = 1 (VT_I2)",
        "Application.Calculation = -4135 (VT_I2)",
    };
    EXPECT_EQ(fakeLog(), expected);
}

// What sheets and ranges do is the contract suite's; here, how their calls travel.
TEST_F(WithFakeExcel, SheetAndRangeCallsCarryTheirArguments) {
    start();
    ExcelHost host;
    HostLink link(host);
    link.attach();
    const AppHandle app = link.app();
    host.Sheets(app, 3);
    const SheetHandle sheet = host.Sheets(app, "sheet2");
    host.offset(host.Range(sheet, "B2:B8"), std::nullopt, 2);
    host.Range(sheet, host.Cells(sheet, 5, 3), host.Cells(sheet, 2, 1));
    host.Cells(sheet, 6, 1);
    const auto log = fakeLog();
    for (const char* line :
         {"Sheets.Item('sheet2')", "Sheets.Item(3 (VT_I4))", "Range.Offset(<missing>, 2 (VT_I4))",
          "Cells.Item(6 (VT_I4), 1 (VT_I4))", "Worksheet.Range(<Range>, <Range>)"})
        EXPECT_NE(std::find(log.begin(), log.end(), line), log.end()) << line;
    // Three Cells(row, column) on one sheet fetch the sheet's Cells once.
    EXPECT_EQ(std::count(log.begin(), log.end(), "Worksheet.Cells"), 1);
}

TEST_F(WithFakeExcel, CellsEnumerateRowByRowAcrossBatches) {
    start();
    ExcelHost::Options options;
    options.enumBatch = 3;  // several round trips, and a last batch that is not full
    ExcelHost host(options);
    HostLink link(host);
    link.attach();
    const SheetHandle sheet = host.Sheets(link.app(), "Sheet1");
    std::vector<std::string> seen;
    const CellEnumHandle e = host.enumerateCells(host.Range(sheet, "A1:B4"));
    while (auto cell = host.nextCell(e)) seen.push_back(host.address(*cell));
    EXPECT_EQ(seen, (std::vector<std::string>{"$A$1", "$B$1", "$A$2", "$B$2", "$A$3", "$B$3",
                                              "$A$4", "$B$4"}));
    EXPECT_FALSE(host.nextCell(e));
}

TEST_F(WithFakeExcel, CopyPasteMergeAndUnmergeCarryTheirNamedArguments) {
    start();
    ExcelHost host;
    HostLink link(host);
    link.attach();
    const AppHandle app = link.app();
    const SheetHandle source = host.Sheets(app, "Sheet1");
    const SheetHandle scratch = host.Sheets(app, "Sheet2");
    host.Copy(host.Range(source, "A1:A4"));
    host.Copy(host.Range(source, "A1:A4"), Destination{host.Range(scratch, "A1")});
    host.DisplayAlerts(app, false);
    host.Merge(host.Range(scratch, "A1:A2"));
    host.Copy(host.Range(scratch, "A1:A4"));
    host.PasteSpecial(host.Range(source, "A1:A4"),
                      {xlPasteFormats, xlPasteSpecialOperationNone, false, false});
    // The formats came over, the values stayed.
    EXPECT_TRUE(identical(host.Value(host.Range(source, "A2")).single(), CellValue::integer(1)));
    host.UnMerge(host.Range(source, "A1:A4"));
    // Excel's refusal of a paste on an unprotected sheet names no reason to tell apart.
    EXPECT_EQ(causeOf([&] {
                  host.PasteSpecial(host.Range(source, "A1"), {-4104, -4142, true, false});
              }),
              Cause::Other);

    const auto log = fakeLog();
    for (const char* line : {
             "Range.Copy",
             "Range.Copy Destination:=<Range>",
             "Range.Merge",
             "Range.PasteSpecial Paste:=-4122 (VT_I2), Operation:=-4142 (VT_I2), "
             "SkipBlanks:=False, Transpose:=False",
             "Range.UnMerge",
         }) {
        EXPECT_NE(std::find(log.begin(), log.end(), line), log.end()) << line;
    }
}

TEST_F(WithFakeExcel, EveryObjectIsReleasedAtTheEndOfTheRun) {
    start();
    ExcelHost host;
    {
        HostLink link(host);
        link.attach();
        const SheetHandle sheet = host.Sheets(link.app(), "Sheet1");
        const CellEnumHandle e = host.enumerateCells(host.Range(sheet, "A1:A3"));
        while (host.nextCell(e)) {
        }
        EXPECT_GT(host.heldObjects(), 5u);
    }
    EXPECT_EQ(host.heldObjects(), 0u);
    HostLink next(host);
    next.attach();
    EXPECT_EQ(causeOf([&] { host.Name(SheetHandle{3}); }), Cause::NotFound);
    EXPECT_EQ(causeOf([&] { host.Name(SheetHandle{}); }), Cause::NotFound);
}

TEST_F(WithFakeExcel, AReleasedRangeIsDroppedAtOnceAndFailsCleanlyAfterwards) {
    start();
    ExcelHost host;
    HostLink link(host);
    link.attach();
    const SheetHandle sheet = host.Sheets(link.app(), "Sheet1");
    const CellEnumHandle e = host.enumerateCells(host.Range(sheet, "A1:A4"));
    const std::size_t held = host.heldObjects();
    RangeHandle last;
    while (const auto cell = host.nextCell(e)) {
        host.address(*cell);
        host.release(*cell);
        EXPECT_EQ(host.heldObjects(), held) << "a walk holds one cell at a time";
        last = *cell;
    }
    ASSERT_TRUE(last);
    EXPECT_EQ(causeOf([&] { host.Value(last); }), Cause::NotFound);
    host.release(last);
    host.release(RangeHandle{sheet.id});  // the id of a sheet: not a range to release
    EXPECT_EQ(host.heldObjects(), held);
    EXPECT_EQ(host.Name(sheet), "Sheet1");
}

TEST_F(WithFakeExcel, NoWorkbookOpenFailsTheReadsButNotTheAttach) {
    start({L"--no-workbook"});
    ExcelHost host;
    HostLink link(host);
    link.attach();
    ASSERT_FALSE(link.empty());
    EXPECT_EQ(causeOf([&] { host.Activeworkbook(link.app()); }), Cause::NotFound);
    host.DisplayAlerts(link.app(), true);
}

TEST_F(WithFakeExcel, KilledMidCommandEndsAsGone) {
    start();
    ExcelHost host;
    {
        HostLink link(host);
        link.attach();
        const SheetHandle sheet = host.Sheets(link.app(), "Sheet1");
        child_->kill();
        const auto before = std::chrono::steady_clock::now();
        EXPECT_EQ(causeOf([&] { host.Name(sheet); }), Cause::Gone);
        EXPECT_EQ(causeOf([&] { host.SheetsCount(link.app()); }), Cause::Gone);
        EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
    }  // the run ends and releases references to the dead process without harm
    HostLink again(host);
    again.attach();
    EXPECT_TRUE(again.empty());
}

// Until the registry of running objects learns that a killed Excel has gone, looking it up
// reaches for the dead process and fails. Whether a lookup comes first is a race, so the
// case is met several times over.
TEST_F(WithFakeExcel, AnExcelKilledJustNowIsNotRunning) {
    for (int attempt = 0; attempt < 12; ++attempt) {
        ExcelHost host;
        HostLink link(host);
        start();
        child_->kill();
        link.attach();
        EXPECT_TRUE(link.empty()) << "attempt " << attempt;
        TearDown();
    }
}

TEST_F(WithFakeExcel, BusyThenReadyIsRetried) {
    start({L"--reject-first", L"4"});
    ExcelHost host;
    HostLink link(host);
    link.attach();
    EXPECT_EQ(host.Name(host.Activeworkbook(link.app())), "Book1.xlsx");
}

TEST_F(WithFakeExcel, BusyForLongerThanTheAllowanceFailsAsBusy) {
    start({L"--reject-first", L"1000000"});
    ExcelHost::Options options;
    options.busyAllowance = 500ms;
    ExcelHost host(options);
    HostLink link(host);
    const auto before = std::chrono::steady_clock::now();
    // The channel rejects the attach's QueryInterface as well.
    EXPECT_EQ(causeOf([&] { link.attach(); }), Cause::Busy);
    const auto took = std::chrono::steady_clock::now() - before;
    EXPECT_GE(took, 500ms);
    EXPECT_LT(took, 3s);
}

// Makes the fake reject the next `n` calls it receives, of whatever kind, as busy.
void rejectNext(IDispatch* app, long n) {
    com::invoke(app, L"GridmoorRejectNext", DISPATCH_PROPERTYPUT, {com::Variant::i4(n)});
}

com::Ref<IUnknown> worksheetsEnumeration(IDispatch* app) {
    const com::Variant all = com::invoke(app, L"Worksheets", DISPATCH_PROPERTYGET, {});
    const com::Variant e = com::invokeId(all.get().pdispVal, DISPID_NEWENUM, L"_NewEnum",
                                         DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    if (e.type() != VT_UNKNOWN) throw std::runtime_error("_NewEnum gave no IUnknown");
    return com::Ref<IUnknown>::share(e.get().punkVal);
}

// One kind of call a client makes: prepares what it needs, then (when `armed`) makes the
// fake reject the next call and makes that call; its HRESULT.
struct CallKind {
    const char* name;
    std::function<HRESULT(IDispatch* app, bool armed)> call;
    HRESULT rejected;  // what the client sees of the rejection
};

void PrintTo(const CallKind& k, std::ostream* os) {
    *os << k.name;
}

const CallKind kCallKinds[] = {
    {"GetIDsOfNames",
     [](IDispatch* app, bool armed) {
         if (armed) rejectNext(app, 1);
         wchar_t name[] = L"Sheets";
         LPOLESTR names[] = {name};
         DISPID id = DISPID_UNKNOWN;
         return app->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
     },
     RPC_E_CALL_REJECTED},
    {"Invoke",
     [](IDispatch* app, bool armed) {
         wchar_t name[] = L"Sheets";
         LPOLESTR names[] = {name};
         DISPID id = DISPID_UNKNOWN;
         com::check(app->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), "Sheets");
         if (armed) rejectNext(app, 1);
         DISPPARAMS none{};
         com::Variant result;
         return app->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                            result.put(), nullptr, nullptr);
     },
     RPC_E_CALL_REJECTED},
    {"QueryInterface",
     [](IDispatch* app, bool armed) {
         const com::Ref<IUnknown> e = worksheetsEnumeration(app);
         if (armed) rejectNext(app, 1);
         com::Ref<IEnumVARIANT> items;
         return e->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(items.put()));
     },
     // The proxy sends it as IRemUnknown::RemQueryInterface; Wine's proxy reports the
     // rejection as E_NOINTERFACE.
     E_NOINTERFACE},
    {"IEnumVARIANT::Next",
     [](IDispatch* app, bool armed) {
         const com::Ref<IEnumVARIANT> items = worksheetsEnumeration(app).query<IEnumVARIANT>();
         if (!items) throw std::runtime_error("no IEnumVARIANT");
         if (armed) rejectNext(app, 1);
         com::Variant item;
         ULONG fetched = 0;
         return items->Next(1, item.put(), &fetched);
     },
     RPC_E_CALL_REJECTED},
};

class BusyRejects : public WithFakeExcel, public ::testing::WithParamInterface<CallKind> {};

// A busy Excel's channel rejects every incoming call, not only Invoke; once it is ready
// the same call succeeds.
TEST_P(BusyRejects, EveryKindOfCall) {
    start();
    const com::Ref<IDispatch> app = rawApplication();
    EXPECT_EQ(com::hex(GetParam().call(app.get(), true)), com::hex(GetParam().rejected));
    EXPECT_EQ(com::hex(GetParam().call(app.get(), false)), com::hex(S_OK));
}

INSTANTIATE_TEST_SUITE_P(Calls, BusyRejects, ::testing::ValuesIn(kCallKinds),
                         [](const ::testing::TestParamInfo<CallKind>& p) {
                             std::string name = p.param.name;
                             name.erase(std::remove(name.begin(), name.end(), ':'), name.end());
                             return name;
                         });

// One backend operation and the round trips it may cost: what keeps long commands fast.
struct TripCase {
    const char* name;
    std::function<void(ExcelHost&, AppHandle)> run;
    long trips;
};

void PrintTo(const TripCase& c, std::ostream* os) {
    *os << c.name;
}

const TripCase kTripCases[] = {
    // GetIDsOfNames and Invoke for ActiveWorkbook, again for Name.
    {"PropertyGetsByName", [](ExcelHost& h, AppHandle app) { h.Name(h.Activeworkbook(app)); }, 4},
    {"SheetsCount", [](ExcelHost& h, AppHandle app) { h.SheetsCount(app); }, 4},
    // Sheets, Item, then Cells once and Item for each of three cells: Item's id is asked
    // for once, then each cell is one Invoke.
    {"CellsOfOneSheetAreFetchedOnce",
     [](ExcelHost& h, AppHandle app) {
         const SheetHandle sheet = h.Sheets(app, "Sheet1");
         for (long row = 1; row <= 3; ++row) h.Cells(sheet, row, 1);
     },
     4 + 2 + 1 + 3},
    // Sheets, Item, Range; _NewEnum by its id (no GetIDsOfNames), QueryInterface for
    // IEnumVARIANT, and one Next for all eight cells.
    {"CellsEnumerateInOneBatch",
     [](ExcelHost& h, AppHandle app) {
         const CellEnumHandle e = h.enumerateCells(h.Range(h.Sheets(app, "Sheet1"), "A1:B4"));
         while (h.nextCell(e)) {
         }
     },
     4 + 2 + 1 + 1 + 1},
    // Releasing a range is reference counting only.
    {"ReleaseIsNoRoundTrip",
     [](ExcelHost& h, AppHandle app) {
         const RangeHandle r = h.Range(h.Sheets(app, "Sheet1"), "A1");
         h.release(r);
     },
     4 + 2},
};

class RoundTrips : public WithFakeExcel, public ::testing::WithParamInterface<TripCase> {};

TEST_P(RoundTrips, OfOneOperation) {
    start();
    ExcelHost host;
    HostLink link(host);
    link.attach();
    const com::Ref<IDispatch> app = rawApplication();
    const long before = roundTrips(app.get());
    GetParam().run(host, link.app());
    EXPECT_EQ(roundTrips(app.get()) - before - 2, GetParam().trips);
}

INSTANTIATE_TEST_SUITE_P(Operations, RoundTrips, ::testing::ValuesIn(kTripCases),
                         [](const ::testing::TestParamInfo<TripCase>& p) {
                             return std::string(p.param.name);
                         });

// A refusal the fake reports as Excel does (error 1004, 0x800A03EC, for every reason),
// and the reason the backend must still give, told by the call and the state. Refusals on a
// protected sheet or structure, of a sheet name or of a calculation code are the contract
// suite's, run over Excel through the fake; these are the ones it does not stage.
struct RefusalCase {
    const char* name;
    std::vector<std::wstring> fakeArgs;
    std::function<void(ExcelHost&, AppHandle)> run;
    std::optional<Cause> cause;  // nothing: the call succeeds
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}

RangeHandle rangeOn(ExcelHost& h, AppHandle app, const char* sheet, const char* address) {
    return h.Range(h.Sheets(app, sheet), address);
}

const RefusalCase kRefusals[] = {
    {"BadAddress",
     {},
     [](ExcelHost& h, AppHandle app) { rangeOn(h, app, "Sheet1", "B2:"); },
     Cause::BadArgument},
    {"AddressOfAnotherSheetOnProtectedSheet",
     {L"--protect", L"Sheet1"},
     [](ExcelHost& h, AppHandle app) { rangeOn(h, app, "Sheet1", "Sheet2!B2"); },
     Cause::BadArgument},
    {"MergeBesideAProtectedSheet",
     {L"--protect", L"Sheet2"},
     [](ExcelHost& h, AppHandle app) { h.Merge(rangeOn(h, app, "Sheet1", "C1:C2")); },
     std::nullopt},
};

class Refusals : public WithFakeExcel, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(Refusals, GiveTheirReason) {
    start(GetParam().fakeArgs);
    ExcelHost host;
    HostLink link(host);
    link.attach();
    try {
        GetParam().run(host, link.app());
        EXPECT_FALSE(GetParam().cause) << "the call succeeded";
    } catch (const HostError& e) {
        ASSERT_TRUE(GetParam().cause) << e.what();
        EXPECT_EQ(e.cause(), *GetParam().cause) << e.what();
        // The code is Excel's one for every refusal: the reason did not come from it.
        EXPECT_NE(std::string(e.what()).find("(0x800A03EC)"), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Calls, Refusals, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<RefusalCase>& p) {
                             return std::string(p.param.name);
                         });

}  // namespace
}  // namespace gridmoor
