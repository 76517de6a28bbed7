// A host that forwards every call to another host and adds up the wall time spent in each
// operation, so a benchmark can say where a command's time goes. A backend that defers work
// does it inside whichever call flushes it (often endRun): the table shows that call.
#pragma once

#include <chrono>
#include <cstdio>
#include <map>
#include <string>

#include "host/SpreadsheetHost.h"

namespace gridmoor::bench {

class TimedHost final : public SpreadsheetHost {
public:
    explicit TimedHost(SpreadsheetHost& inner) : inner_(inner) {}

    struct Tally {
        long calls = 0;
        double seconds = 0;
    };
    const std::map<std::string, Tally>& tallies() const { return tallies_; }
    void clear() { tallies_.clear(); }

    // Prints the operations that took at least `share` of the total, slowest first.
    void print(std::FILE* out, double share = 0.01) const {
        double total = 0;
        for (const auto& [op, t] : tallies_) total += t.seconds;
        std::multimap<double, std::string, std::greater<>> order;
        for (const auto& [op, t] : tallies_) order.emplace(t.seconds, op);
        for (const auto& [s, op] : order) {
            if (total > 0 && s < share * total) break;
            std::fprintf(out, "    %-16s %9ld calls %9.3f s\n", op.c_str(), tallies_.at(op).calls,
                         s);
        }
    }

    void beginRun() override {
        timed("beginRun", [&] { inner_.beginRun(); });
    }
    void endRun(RunEnd how) noexcept override {
        const auto t0 = Clock::now();
        inner_.endRun(how);
        add("endRun", t0);
    }
    std::optional<AppHandle> attach(std::string_view c) override {
        return timed("attach", [&] { return inner_.attach(c); });
    }
    WorkbookHandle Activeworkbook(AppHandle a) override {
        return timed("Activeworkbook", [&] { return inner_.Activeworkbook(a); });
    }
    SheetEnumHandle worksheets(AppHandle a) override {
        return timed("worksheets", [&] { return inner_.worksheets(a); });
    }
    std::optional<SheetHandle> nextWorksheet(SheetEnumHandle e) override {
        return timed("nextWorksheet", [&] { return inner_.nextWorksheet(e); });
    }
    SheetHandle Sheets(AppHandle a, std::string_view n) override {
        return timed("Sheets", [&] { return inner_.Sheets(a, n); });
    }
    SheetHandle Sheets(AppHandle a, long p) override {
        return timed("Sheets", [&] { return inner_.Sheets(a, p); });
    }
    long SheetsCount(AppHandle a) override {
        return timed("SheetsCount", [&] { return inner_.SheetsCount(a); });
    }
    SheetHandle SheetsAdd(AppHandle a, After after) override {
        return timed("SheetsAdd", [&] { return inner_.SheetsAdd(a, after); });
    }
    void DisplayAlerts(AppHandle a, bool on) override {
        timed("DisplayAlerts", [&] { inner_.DisplayAlerts(a, on); });
    }
    void ScreenUpdating(AppHandle a, bool on) override {
        timed("ScreenUpdating", [&] { inner_.ScreenUpdating(a, on); });
    }
    void Calculation(AppHandle a, std::int16_t m) override {
        timed("Calculation", [&] { inner_.Calculation(a, m); });
    }
    std::string Name(WorkbookHandle b) override {
        return timed("Name", [&] { return inner_.Name(b); });
    }
    SheetHandle ActiveSheet(WorkbookHandle b) override {
        return timed("ActiveSheet", [&] { return inner_.ActiveSheet(b); });
    }
    std::string Name(SheetHandle s) override {
        return timed("Name", [&] { return inner_.Name(s); });
    }
    void setName(SheetHandle s, std::string_view n) override {
        timed("setName", [&] { inner_.setName(s, n); });
    }
    void Delete(SheetHandle s) override {
        timed("Delete", [&] { inner_.Delete(s); });
    }
    void Select(SheetHandle s) override {
        timed("Select", [&] { inner_.Select(s); });
    }
    RangeHandle Range(SheetHandle s, std::string_view a) override {
        return timed("Range", [&] { return inner_.Range(s, a); });
    }
    RangeHandle Range(SheetHandle s, RangeHandle f, RangeHandle l) override {
        return timed("Range", [&] { return inner_.Range(s, f, l); });
    }
    RangeHandle Cells(SheetHandle s, long r, long c) override {
        return timed("Cells", [&] { return inner_.Cells(s, r, c); });
    }
    std::string address(RangeHandle r) override {
        return timed("address", [&] { return inner_.address(r); });
    }
    long RowsCount(RangeHandle r) override {
        return timed("RowsCount", [&] { return inner_.RowsCount(r); });
    }
    long ColumnsCount(RangeHandle r) override {
        return timed("ColumnsCount", [&] { return inner_.ColumnsCount(r); });
    }
    RangeHandle offset(RangeHandle r, std::optional<long> ro, long co) override {
        return timed("offset", [&] { return inner_.offset(r, ro, co); });
    }
    void Copy(RangeHandle r) override {
        timed("Copy", [&] { inner_.Copy(r); });
    }
    void Copy(RangeHandle r, Destination d) override {
        timed("Copy", [&] { inner_.Copy(r, d); });
    }
    void PasteSpecial(RangeHandle r, PasteSpecialArgs a) override {
        timed("PasteSpecial", [&] { inner_.PasteSpecial(r, a); });
    }
    void Merge(RangeHandle r) override {
        timed("Merge", [&] { inner_.Merge(r); });
    }
    void UnMerge(RangeHandle r) override {
        timed("UnMerge", [&] { inner_.UnMerge(r); });
    }
    RangeValue Value(RangeHandle r) override {
        return timed("Value", [&] { return inner_.Value(r); });
    }
    void setValue(RangeHandle r, const CellValue& v) override {
        timed("setValue", [&] { inner_.setValue(r, v); });
    }
    CellEnumHandle enumerateCells(RangeHandle r) override {
        return timed("enumerateCells", [&] { return inner_.enumerateCells(r); });
    }
    std::optional<RangeHandle> nextCell(CellEnumHandle e) override {
        return timed("nextCell", [&] { return inner_.nextCell(e); });
    }

private:
    using Clock = std::chrono::steady_clock;

    void add(const char* op, Clock::time_point t0) {
        Tally& t = tallies_[op];
        ++t.calls;
        t.seconds += std::chrono::duration<double>(Clock::now() - t0).count();
    }

    // Times f and counts it, also when it throws.
    template <class F>
    auto timed(const char* op, F&& f) -> decltype(f()) {
        const auto t0 = Clock::now();
        struct Add {
            TimedHost& self;
            const char* op;
            Clock::time_point t0;
            ~Add() { self.add(op, t0); }
        } add{*this, op, t0};
        return f();
    }

    SpreadsheetHost& inner_;
    std::map<std::string, Tally> tallies_;
};

}  // namespace gridmoor::bench
