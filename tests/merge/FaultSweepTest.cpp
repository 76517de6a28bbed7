// The fault sweep over the in-memory host: each command, call by call and through the
// batching layer, once per host call with that call failed and once with the application
// gone from it on (FaultSweep.h says what must hold).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "FaultSweep.h"
#include "host/memory/MemoryHost.h"
#include "support/Values.h"
#include "texts/Texts.h"

namespace gridmoor::testing {
namespace {

// The sweep's workbooks on a fresh MemoryHost each time, read back through the model.
class MemorySweep : public SweepBackend {
public:
    MemorySweep(void (*build)(MemoryHost&), std::string range)
        : build_(build), range_(std::move(range)) {}

    BulkHost& fresh() override {
        model_ = std::make_unique<MemoryHost>();
        build_(*model_);
        return *model_;
    }
    const HandleDescriber& describer() const override { return *model_; }
    WorkbookState state() override {
        return {model_->cells("Sheet1", range_),
                model_->sheetNames(),
                model_->activeSheetName(),
                model_->displayAlerts(),
                model_->screenUpdating(),
                model_->prompts(),
                model_->liveHandles()};
    }

private:
    void (*build_)(MemoryHost&);
    std::string range_;
    std::unique_ptr<MemoryHost> model_;
};

// Sheet1 (active, the data), a chart sheet, Sheet2, and a scratch sheet left over by an
// interrupted run; both settings off.
void buildMergeWorkbook(MemoryHost& host) {
    host.addWorkbook("Book1.xlsx", {"Sheet1"});
    host.addChartSheet("Chart1");
    host.addWorksheet("Sheet2");
    host.addWorksheet(std::string(texts::kScratchSheetName));
    host.setCells("Sheet1", "B2:B10",
                  {txt("a"), txt("a"), txt("b"), txt("b"), txt("b"), CellValue::error(2007),
                   txt("c"), kBlank, kBlank});
    CellFormat f;
    f.bold = true;
    host.setFormat("Sheet1", "B2:B10", f);
    host.setScreenUpdating(false);
}

// Two merged areas over blanks, an empty text and a zero; both settings off.
void buildFillWorkbook(MemoryHost& host) {
    host.addWorkbook("Book1.xlsx", {"Sheet1", "Sheet2"});
    host.setCells(
        "Sheet1", "B2:B9",
        {txt("x"), kBlank, kBlank, txt("y"), kBlank, txt(""), CellValue::integer(0), kBlank});
    host.mergeCells("Sheet1", "B2:B4");
    host.mergeCells("Sheet1", "B5:B6");
    host.setDisplayAlerts(false);
    host.setScreenUpdating(false);
}

TEST(FaultSweepTest, SmartMergeSurvivesEveryFailingCall) {
    MemorySweep backend(buildMergeWorkbook, "B2:B10");
    sweep(backend, smartMergeSweep(false), checkSmartMerge);
}

TEST(FaultSweepTest, SmartMergeThroughTheBatchingLayerSurvivesEveryFailingCall) {
    MemorySweep backend(buildMergeWorkbook, "B2:B10");
    sweep(backend, smartMergeSweep(true), checkSmartMerge);
}

TEST(FaultSweepTest, UnmergeFillSurvivesEveryFailingCall) {
    const std::vector<CellValue> done = {txt("x"),
                                         txt("x"),
                                         txt("x"),
                                         txt("y"),
                                         txt("y"),
                                         txt("y"),
                                         CellValue::integer(0),
                                         CellValue::integer(0)};
    for (bool batched : {false, true}) {
        SCOPED_TRACE(batched ? "batched" : "call by call");
        MemorySweep backend(buildFillWorkbook, "B2:B9");
        const SweepResult result = sweep(backend, unmergeFillSweep(batched), checkUnmergeFill);
        ASSERT_EQ(result.done.values.size(), done.size());
        for (std::size_t i = 0; i < done.size(); ++i)
            EXPECT_TRUE(identical(result.done.values[i], done[i])) << "B" << i + 2;
    }
}

}  // namespace
}  // namespace gridmoor::testing
