#include "MemoryBench.h"

#include <algorithm>
#include <string>

#include "host/BatchingHost.h"

namespace gridmoor::contract {

ModelBench::ModelBench() {
    model_.addWorkbook("Book1.xlsx", {"Sheet1", "Sheet2", "数据"});
}

void ModelBench::enter(std::string_view cell, const Content& content) {
    model_.setCell("Sheet1", cell, valueOf(content));
    if (content.format == Format::Date) setDateFormat(cell);
}

void ModelBench::merge(std::string_view area, std::string_view sheet) {
    model_.mergeCells(sheet, area);
}

// Cell by cell, so that each keeps its other attributes.
void ModelBench::setBold(std::string_view area) {
    const A1Area a = at(area);
    for (std::int32_t r = a.top; r <= a.bottom; ++r) {
        for (std::int32_t c = a.left; c <= a.right; ++c) {
            const std::string cell = absoluteAddress({r, c, r, c});
            CellFormat f = model_.format("Sheet1", cell);
            f.bold = true;
            model_.setFormat("Sheet1", cell, f);
        }
    }
}

void ModelBench::setDateFormat(std::string_view cell) {
    CellFormat f = model_.format("Sheet1", cell);
    f.numberFormat = "yyyy/m/d";
    model_.setFormat("Sheet1", cell, f);
}

Strings ModelBench::mergedAreas(std::string_view sheet) {
    Strings m = model_.mergedAreas(sheet);
    std::sort(m.begin(), m.end());
    return m;
}

namespace {

class MemoryBench : public ModelBench {
public:
    const Traits& traits() const override {
        static const Traits t{};
        return t;
    }

protected:
    BulkHost& host() override { return model_; }
};

// The commands through the batching layer over the model, the route the tool takes to an
// application: reads by block, merges and writes collected and sent in bulk.
class BatchedMemoryBench final : public MemoryBench {
protected:
    SpreadsheetHost& commandHost() override { return batching_; }

private:
    BatchingHost batching_{model_};
};

}  // namespace

const Backend& memoryBackend() {
    static const Backend b{"memory", [] { return std::make_unique<MemoryBench>(); }};
    return b;
}

const Backend& batchedMemoryBackend() {
    static const Backend b{"memory_batched", [] { return std::make_unique<BatchedMemoryBench>(); }};
    return b;
}

}  // namespace gridmoor::contract
