// The model side of the in-memory host: building workbooks, inspecting them, and the
// bulk operations, each with the effect of the single calls it stands for.
#include "host/memory/MemoryHost.h"
#include "host/memory/MemoryState.h"

namespace gridmoor {

// ============================ model side ============================

void MemoryHost::setRunning(bool running) {
    s_->running = running;
}
bool MemoryHost::running() const {
    return s_->running;
}
void MemoryHost::setClassName(std::string className) {
    s_->className = std::move(className);
}
void MemoryHost::setBusy(bool busy) {
    s_->busy = busy;
}
bool MemoryHost::displayAlerts() const {
    return s_->alerts;
}
bool MemoryHost::screenUpdating() const {
    return s_->screenUpdating;
}
std::int16_t MemoryHost::calculation() const {
    return s_->calculation;
}
void MemoryHost::setDisplayAlerts(bool on) {
    s_->alerts = on;
}
void MemoryHost::setScreenUpdating(bool on) {
    s_->screenUpdating = on;
}
const std::vector<std::string>& MemoryHost::prompts() const {
    return s_->prompts;
}

std::optional<std::string> MemoryHost::clipboard() const {
    if (!s_->clipboard) return std::nullopt;
    return s_->clipboard->source;
}

void MemoryHost::addWorkbook(std::string name, std::vector<std::string> worksheetNames) {
    if (name.empty()) throw std::invalid_argument("a workbook needs a name");
    for (const auto& [id, wb] : s_->books)
        if (sameNameIgnoringCase(wb.name, name))
            throw std::invalid_argument("a workbook named " + quoted(name) + " is open already");
    if (worksheetNames.empty()) throw std::invalid_argument("a workbook needs a sheet");
    Workbook wb;
    wb.id = s_->nextObjectId++;
    wb.name = std::move(name);
    Workbook& stored = s_->books.emplace(wb.id, std::move(wb)).first->second;
    s_->bookOrder.push_back(stored.id);
    try {
        for (auto& sheetName : worksheetNames) {
            s_->validateNewSheetName(stored, sheetName);
            s_->createSheet(stored, std::move(sheetName), false, stored.sheets.size());
        }
    } catch (...) {
        for (std::uint32_t id : stored.sheets) s_->sheets.erase(id);
        s_->bookOrder.pop_back();
        s_->books.erase(stored.id);
        throw;
    }
    stored.activeSheet = stored.sheets.front();
    stored.sheetCounter = static_cast<long>(stored.sheets.size());
    s_->activeBook = stored.id;
}

void MemoryHost::activateWorkbook(std::string_view name) {
    if (name.empty()) throw std::invalid_argument("which workbook?");
    s_->activeBook = s_->modelBook(name).id;
}

void MemoryHost::deactivateWorkbooks() {
    s_->activeBook = 0;
}

void MemoryHost::closeWorkbook(std::string_view name) {
    if (name.empty()) throw std::invalid_argument("which workbook?");
    Workbook& wb = s_->modelBook(name);
    const std::uint32_t id = wb.id;
    for (std::uint32_t sheet : wb.sheets) s_->sheets.erase(sheet);
    s_->books.erase(id);
    s_->bookOrder.erase(std::find(s_->bookOrder.begin(), s_->bookOrder.end(), id));
    if (s_->activeBook == id) s_->activeBook = s_->bookOrder.empty() ? 0 : s_->bookOrder.back();
}

std::optional<std::string> MemoryHost::activeWorkbookName() const {
    const auto it = s_->books.find(s_->activeBook);
    if (it == s_->books.end()) return std::nullopt;
    return it->second.name;
}

std::vector<std::string> MemoryHost::workbookNames() const {
    std::vector<std::string> names;
    for (std::uint32_t id : s_->bookOrder) names.push_back(s_->books.at(id).name);
    return names;
}

void MemoryHost::protectStructure(bool on, std::string_view book) {
    s_->modelBook(book).structureProtected = on;
}

void MemoryHost::addWorksheet(std::string name, std::string_view book) {
    Workbook& wb = s_->modelBook(book);
    s_->validateNewSheetName(wb, name);
    s_->createSheet(wb, std::move(name), false, wb.sheets.size());
}

void MemoryHost::addChartSheet(std::string name, std::string_view book) {
    Workbook& wb = s_->modelBook(book);
    s_->validateNewSheetName(wb, name);
    s_->createSheet(wb, std::move(name), true, wb.sheets.size());
}

std::vector<std::string> MemoryHost::sheetNames(std::string_view book) const {
    std::vector<std::string> names;
    for (std::uint32_t id : s_->modelBook(book).sheets) names.push_back(s_->sheets.at(id)->name);
    return names;
}

bool MemoryHost::isChartSheet(std::string_view sheet) const {
    return s_->modelSheet(sheet).chart;
}

std::string MemoryHost::activeSheetName(std::string_view book) const {
    return s_->sheets.at(s_->modelBook(book).activeSheet)->name;
}

void MemoryHost::activateSheet(std::string_view sheet) {
    Sheet& s = s_->modelSheet(sheet);
    s_->bookOfSheet(s).activeSheet = s.id;
}

void MemoryHost::protectSheet(std::string_view sheet, bool on) {
    s_->modelSheet(sheet).protectedContents = on;
}

void MemoryHost::setCell(std::string_view sheet, std::string_view address, const CellValue& value) {
    Sheet& s = s_->modelSheet(sheet);
    for (const A1Area& a : s_->modelAreas(s, address)) State::writeValue(s, a, value);
}

void MemoryHost::setCells(std::string_view sheet, std::string_view address,
                          const std::vector<CellValue>& values) {
    Sheet& s = s_->modelSheet(sheet);
    const A1Area a = s_->modelBlock(s, address);
    if (static_cast<std::int64_t>(values.size()) != a.cells())
        throw std::invalid_argument(std::to_string(values.size()) + " values for " +
                                    std::to_string(a.cells()) + " cells");
    const auto width = a.columns();
    s.cells.forEachCell(a, [&](std::int32_t row, std::int32_t column, StoredCell& c) {
        c.setValue(values[static_cast<std::size_t>((row - a.top) * width + (column - a.left))]);
    });
    for (std::uint32_t id : s.merges.meeting(a)) {
        MergedArea& m = s.merges.get(id);
        m.coveredClean = State::coveredCellsEmpty(s, m.area);
    }
}

CellValue MemoryHost::cell(std::string_view sheet, std::string_view cellAddress) const {
    const Sheet& s = s_->modelSheet(sheet);
    const A1Area a = s_->modelBlock(s, cellAddress);
    if (!a.isCell()) throw std::invalid_argument(quoted(cellAddress) + " is not one cell");
    const StoredCell* c = s.cells.find(a.top, a.left);
    return c ? c->value() : CellValue{};
}

std::vector<CellValue> MemoryHost::cells(std::string_view sheet, std::string_view address) const {
    const Sheet& s = s_->modelSheet(sheet);
    const A1Area a = s_->modelBlock(s, address);
    std::vector<CellValue> values(static_cast<std::size_t>(a.cells()));
    const auto width = a.columns();
    std::as_const(s.cells).forEachStored(
        a, [&](std::int32_t row, std::int32_t column, const StoredCell& c) {
            values[static_cast<std::size_t>((row - a.top) * width + (column - a.left))] = c.value();
        });
    return values;
}

void MemoryHost::setFormat(std::string_view sheet, std::string_view address,
                           const CellFormat& format) {
    Sheet& s = s_->modelSheet(sheet);
    const std::uint32_t id = s_->formatId(format);
    for (const A1Area& a : s_->modelAreas(s, address)) {
        if (a.cells() > kMaxCellsPerCall) throw std::invalid_argument("too many cells");
        s.cells.forEachCell(a, [&](std::int32_t, std::int32_t, StoredCell& c) { c.format = id; });
    }
}

CellFormat MemoryHost::format(std::string_view sheet, std::string_view cellAddress) const {
    const Sheet& s = s_->modelSheet(sheet);
    const A1Area a = s_->modelBlock(s, cellAddress);
    if (!a.isCell()) throw std::invalid_argument(quoted(cellAddress) + " is not one cell");
    const StoredCell* c = s.cells.find(a.top, a.left);
    return s_->formats.at(c ? c->format : 0);
}

void MemoryHost::mergeCells(std::string_view sheet, std::string_view address) {
    Sheet& s = s_->modelSheet(sheet);
    for (const A1Area& a : s_->modelAreas(s, address)) {
        if (a.isCell()) throw std::invalid_argument("a merged area needs two or more cells");
        if (!s.merges.meeting(a).empty())
            throw std::invalid_argument(absoluteAddress(a) + " meets a merged area");
        s.merges.add(a, State::coveredCellsEmpty(s, a));
    }
}

std::vector<std::string> MemoryHost::mergedAreas(std::string_view sheet) const {
    std::vector<std::string> out;
    for (const A1Area& a : s_->modelSheet(sheet).merges.all()) out.push_back(absoluteAddress(a));
    return out;
}

std::string MemoryHost::describe(WorkbookHandle h) const {
    return s_->describeBook(h);
}
std::string MemoryHost::describe(SheetHandle h) const {
    return s_->describeSheet(h);
}
std::string MemoryHost::describe(RangeHandle h) const {
    return s_->describeRange(h);
}
std::string MemoryHost::describe(SheetEnumHandle h) const {
    return s_->describeSheetEnum(h);
}
std::string MemoryHost::describe(CellEnumHandle h) const {
    return s_->describeCellEnum(h);
}

std::size_t MemoryHost::liveHandles() const {
    return s_->liveHandles();
}

// --- bulk operations: each has the effect of the single calls it stands for ---

CellBlock MemoryHost::readBlock(SheetHandle sheet, const A1Area& area) {
    s_->admit();
    const Sheet& s = s_->cellSheetOf(sheet);
    if (area.cells() > kMaxCellsPerCall)
        raise(Cause::Other,
              "not enough memory for the values of " + std::to_string(area.cells()) + " cells");
    CellBlock block{area, std::vector<CellValue>(static_cast<std::size_t>(area.cells())), {}};
    s.cells.forEachStored(area, [&](std::int32_t row, std::int32_t column, const StoredCell& c) {
        block.values[static_cast<std::size_t>((row - area.top) * area.columns() +
                                              (column - area.left))] = c.value();
    });
    return block;
}

std::vector<A1Area> MemoryHost::mergedAreasMeeting(SheetHandle sheet, const A1Area& region) {
    s_->admit();
    const Sheet& s = s_->cellSheetOf(sheet);
    std::vector<A1Area> out;
    for (const std::uint32_t id : s.merges.meeting(region)) out.push_back(s.merges.get(id).area);
    return out;
}

void MemoryHost::mergeAreas(SheetHandle sheet, std::span<const A1Area> areas) {
    s_->admit();
    Sheet& s = s_->cellSheetOf(sheet);
    State::requireUnprotected(s, "Merge");
    for (const A1Area& a : areas) s_->mergeArea(s, a);
}

void MemoryHost::writeAreas(SheetHandle sheet, std::span<const AreaWrite> writes) {
    s_->admit();
    Sheet& s = s_->cellSheetOf(sheet);
    State::requireUnprotected(s, "writing a value");
    for (const AreaWrite& w : writes) {
        if (!w.value.isEmpty() && w.area.cells() > kMaxCellsPerCall)
            raise(Cause::Other,
                  "not enough memory to write " + std::to_string(w.area.cells()) + " cells");
        State::writeValue(s, w.area, w.value);
    }
}

}  // namespace gridmoor
