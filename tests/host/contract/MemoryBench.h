// Benches whose workbook is the in-memory model: the model itself as the backend, and
// (on Windows) the fake Excel serving it. The model side is the model's own.
#pragma once

#include "Bench.h"
#include "host/memory/MemoryHost.h"

namespace gridmoor::contract {

class ModelBench : public Bench {
public:
    ModelBench();

    void enter(std::string_view cell, const Content& content) override;
    void merge(std::string_view area, std::string_view sheet) override;
    void protectSheet() override { model_.protectSheet("Sheet1", true); }
    void protectStructure() override { model_.protectStructure(true); }
    void setBold(std::string_view area) override;
    bool isBold(std::string_view cell) override { return model_.format("Sheet1", cell).bold; }
    void setDateFormat(std::string_view cell) override;
    Strings mergedAreas(std::string_view sheet) override;
    Strings sheetNames() override { return model_.sheetNames(); }
    std::size_t prompts() override { return model_.prompts().size(); }
    std::optional<std::string> formula(std::string_view) override { return std::nullopt; }
    void addSheet(std::string_view name) override { model_.addWorksheet(std::string(name)); }
    std::string activeSheet() override { return model_.activeSheetName(); }
    bool screenUpdating() override { return model_.screenUpdating(); }
    bool automaticCalculation() override { return model_.calculation() == xlCalculationAutomatic; }

protected:
    MemoryHost model_;
};

}  // namespace gridmoor::contract
