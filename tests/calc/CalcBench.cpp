// The host contract suite against a real Calc: the program's shared soffice, a fresh
// document per case, the CalcHost as the backend (under the batching layer for the
// commands) and the probe as the model side.
#include "Bench.h"
#include "CalcFixture.h"

namespace gridmoor::contract {
namespace {

// NumberFormat type codes of Calc (com.sun.star.util.NumberFormat).
constexpr short kLogical = 1024, kDate = 2, kCurrency = 8;

class CalcBench final : public Bench {
public:
    CalcBench()
        : office_(calctest::sharedOffice()),
          probe_(office_.pipeName()),
          host_(CalcHost::Options{office_.pipeName(), true}),
          commands_(CalcHost::Options{office_.pipeName(), true}) {
        probe_.newWorkbook("Sheet1");
        probe_.addSheet("Sheet2");
        probe_.addSheet("数据");
    }

    const Traits& traits() const override {
        static const Traits t{.mergeKeepsValues = true,
                              .countsPrompts = false,
                              .holdsFormulas = true,
                              .integersReadAsFloating = true,
                              .emptyTextClears = true,
                              .kindFollowsFormat = true};
        return t;
    }
    void enter(std::string_view cell, const Content& content) override {
        probe_.enter("Sheet1", cell, content.typed);
        switch (content.format) {
            case Format::Boolean:
                probe_.setNumberFormat("Sheet1", cell, kLogical);
                break;
            case Format::Date:
                probe_.setNumberFormat("Sheet1", cell, kDate);
                break;
            case Format::Currency:
                probe_.setNumberFormat("Sheet1", cell, kCurrency);
                break;
            case Format::None:
                break;
        }
    }
    void merge(std::string_view area, std::string_view sheet) override {
        probe_.merge(sheet, area);
    }
    void protectSheet() override { probe_.protectSheet("Sheet1", true); }
    void protectStructure() override { probe_.protectStructure(true); }
    void setBold(std::string_view area) override { probe_.setBold("Sheet1", area); }
    bool isBold(std::string_view cell) override { return probe_.isBold("Sheet1", cell); }
    void setDateFormat(std::string_view cell) override {
        probe_.setNumberFormat("Sheet1", cell, kDate);
    }
    Strings mergedAreas(std::string_view sheet) override { return probe_.mergedAreas(sheet); }
    Strings sheetNames() override { return probe_.sheetNames(); }
    std::size_t prompts() override { return 0; }
    std::optional<std::string> formula(std::string_view cell) override {
        return probe_.formula("Sheet1", cell);
    }
    void addSheet(std::string_view name) override { probe_.addSheet(name); }
    std::string activeSheet() override { return probe_.activeSheet(); }
    bool screenUpdating() override { return !probe_.controllersLocked(); }
    bool automaticCalculation() override { return probe_.automaticCalculation(); }
    void setManualCalculation() override { probe_.setAutomaticCalculation(false); }
    long undoEntries() override { return probe_.undoCount(); }

protected:
    BulkHost& host() override { return host_; }
    SpreadsheetHost& commandHost() override { return commands_; }

private:
    calctest::Soffice& office_;
    calc::CalcProbe probe_;
    CalcHost host_;
    BatchedCalc commands_;  // the commands run through the batching layer, as in the product
};

}  // namespace

std::vector<const Backend*> contractBackends() {
    static const Backend calc{"calc", [] { return std::make_unique<CalcBench>(); }};
    return {&calc};
}

std::vector<const Backend*> commandBackends() {
    return contractBackends();
}

}  // namespace gridmoor::contract
