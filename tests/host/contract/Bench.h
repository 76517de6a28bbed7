// The host contract suite runs one set of cases against every backend a test program can
// reach. A Bench is one backend with a fresh workbook open in it and a model side that sets
// the workbook up and inspects it without going through the backend's own operations.
//
// Every bench opens the same workbook: worksheets Sheet1 (active), Sheet2 and 数据, empty.
// Cells are given as a user types them ("a", "12.5", "'1", "=1/0", "=\"\"") with an optional
// number format; a backend that holds no formulas takes the value the formula gives.
//
// Where backends legitimately differ, a case reads the difference from Traits; each trait
// names the backends that have it and why.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "host/A1Address.h"
#include "host/BulkHost.h"
#include "host/Failure.h"
#include "host/HostLink.h"
#include "support/Causes.h"

namespace gridmoor::contract {

using Strings = std::vector<std::string>;
using Cause = HostError::Cause;

// The number format a cell is given beside what is typed into it.
enum class Format { None, Boolean, Date, Currency };

struct Content {
    std::string typed;
    Format format = Format::None;
};

// The value a typed content holds. A formula "=X1" takes the value typed at X1 in `sheet`
// (cells typed beside it), "=\"\"" the empty text, "=1/0" and "=NA()" their errors.
CellValue valueOf(const Content& c, const std::vector<std::pair<std::string, Content>>& sheet = {});

// What sets the backends apart where the contract leaves room or a backend deviates.
struct Traits {
    // Merge leaves every cell's value where it was instead of moving the first value to the
    // top-left cell and emptying the others. Calc: its API merge keeps covered contents
    // (SpreadsheetHost.h states the move for every backend; reported as a disagreement).
    bool mergeKeepsValues = false;
    // The backend records the prompts the user would have seen, so they can be counted.
    // Calc never prompts for API calls; the in-memory model (also behind the fake Excel)
    // records them.
    bool countsPrompts = true;
    // Cells can hold formulas, and readBlock marks them. The in-memory model (and the fake
    // Excel serving it) holds values only.
    bool holdsFormulas = false;
    // An integer reads back as floating point, as Calc stores every number as a double
    // (dates, currency and booleans keep their kind through their number format).
    bool integersReadAsFloating = false;
    // Writing the empty text clears the cell. Calc does it without saying so (ExcelHost.h
    // states it of Excel, which the fake does not imitate).
    bool emptyTextClears = false;
    // A number's kind follows its cell's number format (a format paste can make it a
    // date). Calc derives the kind from the format; the model keeps the kind it was given.
    bool kindFollowsFormat = false;
    // The commands run in this process, so the workbook can be inspected while a message
    // is on screen (the fake Excel's commands run in the tool's own process).
    bool commandInProcess = true;
};

class Bench {
public:
    virtual ~Bench() = default;
    virtual const Traits& traits() const = 0;

    // Runs `body` as one handler run on the backend: attach, body(app, Sheet1), flush.
    // Every backend call of a case happens inside a run; model-side calls outside one.
    void run(const std::function<void(BulkHost&, AppHandle, SheetHandle)>& body) {
        onHostThread([&] {
            BulkHost& h = host();
            HostLink link(h);
            link.attach();
            ASSERT_FALSE(link.empty()) << "the backend found no application";
            const SheetHandle sheet = h.Sheets(link.app(), "Sheet1");
            body(h, link.app(), sheet);
            link.commit();
        });
    }

    // --- model side (Sheet1 unless named) ---
    virtual void enter(std::string_view cell, const Content& content) = 0;
    // Makes the block one merged area as it stands, no value moving.
    virtual void merge(std::string_view area, std::string_view sheet = "Sheet1") = 0;
    virtual void protectSheet() = 0;
    virtual void protectStructure() = 0;
    virtual void setBold(std::string_view area) = 0;
    virtual bool isBold(std::string_view cell) = 0;
    virtual void setDateFormat(std::string_view cell) = 0;
    // Every merged area of the sheet (of its first 200 rows where the backend can only
    // look there), absolute, sorted.
    virtual Strings mergedAreas(std::string_view sheet = "Sheet1") = 0;
    virtual Strings sheetNames() = 0;
    // How many prompts the user would have seen so far (Traits::countsPrompts).
    virtual std::size_t prompts() = 0;
    // The cell's content as typed, where the backend holds formulas; nothing otherwise.
    virtual std::optional<std::string> formula(std::string_view cell) = 0;
    // Calls that have crossed to the application so far, where the bench can count them
    // (the fake Excel); also callable inside a run.
    virtual std::optional<long> roundTrips() { return std::nullopt; }
    // A worksheet added after the last.
    virtual void addSheet(std::string_view name) = 0;
    virtual std::string activeSheet() = 0;
    // The application's settings: whether the screen shows changes, whether formulas are
    // calculated automatically.
    virtual bool screenUpdating() = 0;
    virtual bool automaticCalculation() = 0;
    virtual void setManualCalculation() {
        run([](BulkHost& h, AppHandle app, SheetHandle) {
            h.Calculation(app, xlCalculationManual);
        });
    }
    // Entries in the document's undo list; 0 where the backend keeps none.
    virtual long undoEntries() { return 0; }

    // Runs a range command as the window does, with `typed` in the address box, and
    // returns the messages it showed. `onMessage` runs while a message is on screen, where
    // the command runs in this process (Traits::commandInProcess).
    enum class Command { SmartMerge, UnmergeFill };
    virtual Strings runCommand(Command command, const std::string& typed,
                               const std::function<void()>& onMessage);

    // Enters every cell of the list; where the backend holds no formulas, a reference
    // to another cell of the list enters what that cell holds.
    void enterAll(const std::vector<std::pair<std::string, Content>>& cells);
    // The cell's value read through the backend in a run of its own.
    CellValue read(std::string_view cell) {
        CellValue out;
        run([&](BulkHost& h, AppHandle, SheetHandle s) {
            out = h.Value(h.Range(s, cell)).single();
        });
        return out;
    }

protected:
    // The host the commands run on, as in the product.
    virtual SpreadsheetHost& commandHost() { return host(); }
    // The backend is used on one thread; a bench whose backend lives on another thread runs
    // the call there and waits.
    virtual void onHostThread(const std::function<void()>& call) { call(); }
    virtual BulkHost& host() = 0;
};

// One backend of the suite: its name in test names, and how to open a bench on it.
struct Backend {
    const char* name;
    std::function<std::unique_ptr<Bench>()> open;
};

inline void PrintTo(const Backend* b, std::ostream* os) {
    *os << b->name;
}

// The backends this test program runs the suite against (defined once per program).
std::vector<const Backend*> contractBackends();

// The in-memory host, available to every program.
const Backend& memoryBackend();
// The range commands through the batching layer over the in-memory host.
const Backend& batchedMemoryBackend();
// The backends the range commands' scenarios run on (defined once per program).
std::vector<const Backend*> commandBackends();

// Test fixture of a case table run against every backend: bench() opens the backend given
// as the first parameter.
template <class Case>
class ContractTest : public ::testing::TestWithParam<std::tuple<const Backend*, Case>> {
protected:
    const Case& param() const { return std::get<1>(this->GetParam()); }
    Bench& bench() {
        if (!bench_) bench_ = std::get<0>(this->GetParam())->open();
        return *bench_;
    }

private:
    std::unique_ptr<Bench> bench_;
};

// Test fixture of a single case run against every backend.
class BackendTest : public ::testing::TestWithParam<const Backend*> {
protected:
    Bench& bench() {
        if (!bench_) bench_ = GetParam()->open();
        return *bench_;
    }
    const Traits& traits() { return bench().traits(); }

private:
    std::unique_ptr<Bench> bench_;
};

// Test names: the backend, then the case's own name.
template <class Case>
std::string caseName(const ::testing::TestParamInfo<std::tuple<const Backend*, Case>>& p) {
    return std::string(std::get<0>(p.param)->name) + "_" + std::get<1>(p.param).name;
}
inline std::string backendName(const ::testing::TestParamInfo<const Backend*>& p) {
    return p.param->name;
}

using gridmoor::testing::causeOf;

// One area of Sheet1 from its A1 text.
A1Area at(std::string_view a1);
// Absolute addresses of the areas, sorted.
Strings sortedA1(const std::vector<A1Area>& areas);

}  // namespace gridmoor::contract
