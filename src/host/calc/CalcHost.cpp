// The SpreadsheetHost and BulkHost surface of CalcHost: each call checks its arguments and
// handles, runs guarded (every UNO exception becomes a HostError, a run is refused while the
// user edits a cell) and hands the work to the files CalcImpl.h lists.
#include "host/calc/CalcHost.h"

#include <algorithm>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XTitle.hpp>
#include <com/sun/star/sheet/XCalculatable.hpp>
#include <com/sun/star/sheet/XCellRangeMovement.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/table/CellAddress.hpp>
#include <rtl/uri.hxx>
#include <utility>
#include <vector>

#include "host/calc/CalcImpl.h"

namespace gridmoor {

using calc::fromU;
using calc::toCalc;
using calc::toU;
using rtl::OUString;
using uno::Reference;
using uno::UNO_QUERY;
using uno::UNO_QUERY_THROW;
using Cause = HostError::Cause;

// ======================================================================== CalcHost

CalcHost::CalcHost() : CalcHost(Options{}) {}
CalcHost::CalcHost(Options options) : impl_(std::make_unique<Impl>(std::move(options))) {}
CalcHost::~CalcHost() = default;

long CalcHost::bulkPastes() const noexcept {
    return impl_->bulkPastes;
}

long CalcHost::bulkMergeCalls() const noexcept {
    return impl_->bulkMergeCalls;
}

long CalcHost::bulkSplits() const noexcept {
    return impl_->bulkSplits;
}

void CalcHost::beginRun() {
    Impl& m = *impl_;
    m.inRun = true;
    m.forgetRun();
}

void CalcHost::flush() {
    Impl& m = *impl_;
    m.guarded(
        "flush",
        [&] {
            m.flushAllMerges();
            for (auto& d : m.docs) Impl::closeUndoGroup(d);
        },
        false);
}

void CalcHost::release(RangeHandle h) noexcept {
    impl_->ranges.erase(h.id);
}

// Merges still pending here were never flushed: the run ended by a failure, and none of
// them is sent. Locks and undo groups are released whatever happened.
void CalcHost::endRun() noexcept {
    Impl& m = *impl_;
    for (auto& d : m.docs) {
        try {
            Reference<frame::XModel> model(d.doc, UNO_QUERY);
            if (d.lockedForUser && model.is()) model->unlockControllers();
        } catch (...) {
        }
        try {
            Impl::closeUndoGroup(d);
        } catch (...) {
        }
    }
    m.forgetRun();
    m.inRun = false;
}

std::optional<AppHandle> CalcHost::attach(std::string_view className) {
    Impl& m = *impl_;
    if (className != kApplicationClass) return std::nullopt;
    try {
        return m.guarded(
            "attach", [&] { return m.attach(); }, false);
    } catch (const HostError& e) {
        // Calc quitting while we looked is the same as Calc not running.
        if (e.cause() == Cause::Gone) return std::nullopt;
        throw;
    }
}

WorkbookHandle CalcHost::Activeworkbook(AppHandle app) {
    Impl& m = *impl_;
    return m.guarded("ActiveWorkbook", [&] {
        m.checkApp(app);
        return WorkbookHandle{m.books.insert({m.activeDocument()})};
    });
}

SheetEnumHandle CalcHost::worksheets(AppHandle app) {
    Impl& m = *impl_;
    return m.guarded("Worksheets", [&] {
        m.checkApp(app);
        auto doc = m.activeDocument();
        Reference<container::XIndexAccess> all(doc->getSheets(), UNO_QUERY_THROW);
        Impl::SheetEnum e;
        for (sal_Int32 i = 0; i < all->getCount(); ++i) {
            Reference<sheet::XSpreadsheet> s(all->getByIndex(i), UNO_QUERY_THROW);
            e.sheets.push_back(m.addSheet(doc, s).id);
        }
        return SheetEnumHandle{m.sheetEnums.insert(std::move(e))};
    });
}

std::optional<SheetHandle> CalcHost::nextWorksheet(SheetEnumHandle h) {
    Impl& m = *impl_;
    auto& e = m.sheetEnums.at(h.id, "worksheet enumeration");
    if (e.next >= e.sheets.size()) return std::nullopt;
    return SheetHandle{e.sheets[e.next++]};
}

SheetHandle CalcHost::Sheets(AppHandle app, std::string_view name) {
    Impl& m = *impl_;
    return m.guarded("Sheets", [&] {
        m.checkApp(app);
        auto doc = m.activeDocument();
        Reference<container::XIndexAccess> all(doc->getSheets(), UNO_QUERY_THROW);
        const OUString wanted = toU(name);
        for (sal_Int32 i = 0; i < all->getCount(); ++i) {
            Reference<sheet::XSpreadsheet> s(all->getByIndex(i), UNO_QUERY_THROW);
            Reference<container::XNamed> named(s, UNO_QUERY_THROW);
            if (named->getName().equalsIgnoreAsciiCase(wanted)) return m.addSheet(doc, s);
        }
        m.fail(Cause::NotFound, "Sheets: no sheet named '" + std::string(name) + "'");
    });
}

SheetHandle CalcHost::Sheets(AppHandle app, long position) {
    Impl& m = *impl_;
    return m.guarded("Sheets", [&] {
        m.checkApp(app);
        auto doc = m.activeDocument();
        Reference<container::XIndexAccess> all(doc->getSheets(), UNO_QUERY_THROW);
        if (position < 1 || position > all->getCount()) {
            m.fail(Cause::NotFound, "Sheets: no sheet at position " + std::to_string(position));
        }
        Reference<sheet::XSpreadsheet> s(all->getByIndex(static_cast<sal_Int32>(position - 1)),
                                         UNO_QUERY_THROW);
        return m.addSheet(doc, s);
    });
}

long CalcHost::SheetsCount(AppHandle app) {
    Impl& m = *impl_;
    return m.guarded("Sheets.Count", [&] {
        m.checkApp(app);
        Reference<container::XIndexAccess> all(m.activeDocument()->getSheets(), UNO_QUERY_THROW);
        return static_cast<long>(all->getCount());
    });
}

SheetHandle CalcHost::SheetsAdd(AppHandle app, After after) {
    Impl& m = *impl_;
    return m.guarded("Sheets.Add", [&] {
        m.checkApp(app);
        auto& base = m.sheetOf(after.sheet);
        m.refuseIfStructureProtected(base.doc, "Sheets.Add");
        Reference<sheet::XSpreadsheets> all = base.doc->getSheets();
        Reference<container::XIndexAccess> indexed(all, UNO_QUERY_THROW);
        // The object model's next free "SheetN".
        OUString name;
        for (long n = indexed->getCount() + 1;; ++n) {
            name = "Sheet" + OUString::number(n);
            bool taken = false;
            for (const auto& existing : all->getElementNames()) {
                if (existing.equalsIgnoreAsciiCase(name)) taken = true;
            }
            if (!taken) break;
        }
        m.changing(base.doc);
        all->insertNewByName(name, static_cast<sal_Int16>(m.sheetIndex(base) + 1));
        Reference<sheet::XSpreadsheet> fresh(all->getByName(name), UNO_QUERY_THROW);
        // The new sheet becomes the active one, as in the object model.
        Reference<frame::XModel> model(base.doc, UNO_QUERY_THROW);
        Reference<sheet::XSpreadsheetView> view(model->getCurrentController(), UNO_QUERY);
        if (view.is()) view->setActiveSheet(fresh);
        return m.addSheet(base.doc, fresh);
    });
}

void CalcHost::DisplayAlerts(AppHandle app, bool) {
    // Calls through the API never prompt, so there is nothing to switch.
    Impl& m = *impl_;
    m.checkApp(app);
}

void CalcHost::ScreenUpdating(AppHandle app, bool on) {
    Impl& m = *impl_;
    m.guarded("ScreenUpdating", [&] {
        m.checkApp(app);
        auto doc = m.activeDocument();
        auto& d = m.docState(doc);
        Reference<frame::XModel> model(doc, UNO_QUERY_THROW);
        if (!on && !d.lockedForUser) {
            model->lockControllers();
            d.lockedForUser = true;
        } else if (on && d.lockedForUser) {
            model->unlockControllers();
            d.lockedForUser = false;
        }
    });
}

void CalcHost::Calculation(AppHandle app, std::int16_t mode) {
    Impl& m = *impl_;
    m.guarded("Calculation", [&] {
        m.checkApp(app);
        if (mode != xlCalculationAutomatic && mode != xlCalculationManual &&
            mode != xlCalculationSemiautomatic) {
            m.fail(Cause::BadArgument,
                   "Calculation: " + std::to_string(mode) + " is no calculation mode");
        }
        Reference<sheet::XCalculatable> calc(m.activeDocument(), UNO_QUERY_THROW);
        // Calc has no semiautomatic mode (automatic except data tables): automatic is closest.
        calc->enableAutomaticCalculation(mode != xlCalculationManual);
    });
}

std::string CalcHost::Name(WorkbookHandle book) {
    Impl& m = *impl_;
    return m.guarded("Workbook.Name", [&] {
        auto& b = m.books.at(book.id, "workbook");
        Reference<frame::XModel> model(b.doc, UNO_QUERY_THROW);
        const OUString url = model->getURL();
        if (!url.isEmpty()) {
            const sal_Int32 slash = url.lastIndexOf('/');
            const OUString last = url.copy(slash + 1);
            return fromU(rtl::Uri::decode(last, rtl_UriDecodeWithCharset, RTL_TEXTENCODING_UTF8));
        }
        Reference<frame::XTitle> title(b.doc, UNO_QUERY_THROW);
        return fromU(title->getTitle());
    });
}

SheetHandle CalcHost::ActiveSheet(WorkbookHandle book) {
    Impl& m = *impl_;
    return m.guarded("ActiveSheet", [&] {
        auto& b = m.books.at(book.id, "workbook");
        Reference<frame::XModel> model(b.doc, UNO_QUERY_THROW);
        Reference<sheet::XSpreadsheetView> view(model->getCurrentController(), UNO_QUERY);
        if (!view.is()) m.fail(Cause::NotFound, "ActiveSheet: the workbook has no window");
        auto doc = b.doc;
        return m.addSheet(doc, view->getActiveSheet());
    });
}

std::string CalcHost::Name(SheetHandle h) {
    Impl& m = *impl_;
    return m.guarded("Worksheet.Name", [&] {
        auto& s = m.sheetOf(h);
        return fromU(Reference<container::XNamed>(s.sheet, UNO_QUERY_THROW)->getName());
    });
}

void CalcHost::setName(SheetHandle h, std::string_view name) {
    Impl& m = *impl_;
    m.guarded("Worksheet.Name", [&] {
        auto& s = m.sheetOf(h);
        const OUString wanted = toU(name);
        if (wanted.isEmpty() || wanted.getLength() > 31) {
            m.fail(Cause::BadArgument, "Name: a sheet name has 1 to 31 characters");
        }
        for (const sal_Unicode c : {u'[', u']', u':', u'*', u'?', u'/', u'\\'}) {
            if (wanted.indexOf(c) >= 0) m.fail(Cause::BadArgument, "Name: the name holds []:*?/\\");
        }
        if (wanted[0] == '\'' || wanted[wanted.getLength() - 1] == '\'') {
            m.fail(Cause::BadArgument, "Name: a sheet name cannot begin or end with an apostrophe");
        }
        Reference<container::XNamed> named(s.sheet, UNO_QUERY_THROW);
        const OUString current = named->getName();
        for (const auto& other : s.doc->getSheets()->getElementNames()) {
            if (other != current && other.equalsIgnoreAsciiCase(wanted)) {
                m.fail(Cause::BadArgument, "Name: another sheet has the name already");
            }
        }
        m.refuseIfStructureProtected(s.doc, "Name");
        if (current == wanted) return;
        m.changing(s.doc);
        named->setName(wanted);
        Impl::entryOf(s).name = named->getName();
        // Calc ignores a name it does not accept without saying so.
        if (named->getName() != wanted) m.fail(Cause::BadArgument, "Name: Calc refused the name");
    });
}

void CalcHost::Delete(SheetHandle h) {
    Impl& m = *impl_;
    m.guarded("Worksheet.Delete", [&] {
        auto& s = m.sheetOf(h);
        m.refuseIfStructureProtected(s.doc, "Delete");
        Reference<container::XIndexAccess> all(s.doc->getSheets(), UNO_QUERY_THROW);
        if (all->getCount() <= 1)
            m.fail(Cause::Other, "Delete: a workbook keeps at least one sheet");
        const OUString name = Reference<container::XNamed>(s.sheet, UNO_QUERY_THROW)->getName();
        m.changing(s.doc);
        s.doc->getSheets()->removeByName(name);
        Impl::entryOf(s).deleted = true;
        // Merges pending on the sheet go with it; so does a copy of its cells.
        if (auto p = m.pendingFor(s.identity)) m.pending.erase(m.pending.begin() + *p);
        if (m.clipboard && m.sheets.at(m.clipboard->first, "worksheet").identity == s.identity)
            m.clipboard.reset();
    });
}

void CalcHost::Select(SheetHandle h) {
    Impl& m = *impl_;
    m.guarded("Worksheet.Select", [&] {
        auto& s = m.sheetOf(h);
        Reference<frame::XModel> model(s.doc, UNO_QUERY_THROW);
        Reference<sheet::XSpreadsheetView> view(model->getCurrentController(), UNO_QUERY);
        if (!view.is()) m.fail(Cause::Other, "Select: the workbook has no window");
        view->setActiveSheet(s.sheet);
    });
}

RangeHandle CalcHost::Range(SheetHandle h, std::string_view text) {
    Impl& m = *impl_;
    // A qualifier may name this very sheet; its name is the one this run knows it by.
    const std::string sheetName = fromU(Impl::entryOf(m.sheetOf(h)).name);
    std::string why;
    const auto parsed = A1Address::parse(text, sheetName, &why);
    if (!parsed) m.fail(Cause::BadArgument, "Range: " + why);
    return m.addRange(h.id, parsed->areas());
}

RangeHandle CalcHost::Range(SheetHandle h, RangeHandle first, RangeHandle second) {
    Impl& m = *impl_;
    const void* identity = m.sheetOf(h).identity;
    const auto a = m.rangeOf(first, "range");
    const auto b = m.rangeOf(second, "range");
    if (m.sheets.at(a.sheet, "range").identity != identity ||
        m.sheets.at(b.sheet, "range").identity != identity) {
        m.fail(Cause::BadArgument, "Range: both cells must be on this sheet");
    }
    return m.addRange(h.id, {a.first.spanWith(b.first)});
}

RangeHandle CalcHost::Cells(SheetHandle h, long row, long column) {
    Impl& m = *impl_;
    m.sheetOf(h);
    if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns) {
        m.fail(Cause::BadArgument, "Cells: (" + std::to_string(row) + ", " +
                                       std::to_string(column) + ") is outside the sheet");
    }
    return m.addRange(
        h.id, {A1Area::cell(static_cast<std::int32_t>(row), static_cast<std::int32_t>(column))});
}

std::string CalcHost::address(RangeHandle h) {
    Impl& m = *impl_;
    return A1Address(m.areasOf(m.rangeOf(h, "range"))).absolute();
}

long CalcHost::RowsCount(RangeHandle h) {
    Impl& m = *impl_;
    return m.rangeOf(h, "range").first.rows();
}

long CalcHost::ColumnsCount(RangeHandle h) {
    Impl& m = *impl_;
    return m.rangeOf(h, "range").first.columns();
}

RangeHandle CalcHost::offset(RangeHandle h, std::optional<long> rowOffset, long columnOffset) {
    Impl& m = *impl_;
    const auto r = m.rangeOf(h, "range");
    const long dr = rowOffset.value_or(0);
    std::vector<A1Area> moved;
    for (const A1Area& a : m.areasOf(r)) {
        const std::optional<A1Area> to = a.offsetBy(dr, columnOffset);
        if (!to) m.fail(Cause::BadArgument, "Offset: the range would leave the sheet");
        moved.push_back(*to);
    }
    return m.addRange(r.sheet, std::move(moved));
}

void CalcHost::Copy(RangeHandle h) {
    Impl& m = *impl_;
    const auto r = m.rangeOf(h, "range");
    if (!r.more.empty()) m.fail(Cause::BadArgument, "Copy: not possible on several areas");
    // The user's clipboard is left alone: the copy is a reference to the block, taken up by
    // PasteSpecial in this run.
    m.clipboard = std::pair{r.sheet, r.first};
}

void CalcHost::Copy(RangeHandle h, Destination destination) {
    Impl& m = *impl_;
    m.guarded("Copy", [&] {
        const auto r = m.rangeOf(h, "range");
        const auto d = m.rangeOf(destination.range, "destination");
        if (!r.more.empty()) m.fail(Cause::BadArgument, "Copy: not possible on several areas");
        auto& src = m.liveSheet(r.sheet);
        auto& dst = m.liveSheet(d.sheet);
        if (Reference<uno::XInterface>(src.doc, UNO_QUERY) !=
            Reference<uno::XInterface>(dst.doc, UNO_QUERY)) {
            m.fail(Cause::Other, "Copy: copying between workbooks is not supported");
        }
        // The copy lands at the destination's top-left cell, the block's size.
        if (!d.first.resized(r.first.rows(), r.first.columns()))
            m.fail(Cause::BadArgument, "Copy: the copy would leave the sheet");
        m.refuseIfSheetProtected(dst, "Copy");
        m.flushMerges(r.sheet);
        m.flushMerges(d.sheet);
        m.changing(dst.doc);
        Reference<sheet::XCellRangeMovement> move(dst.sheet, UNO_QUERY_THROW);
        const table::CellAddress to{m.sheetIndex(dst), d.first.left - 1, d.first.top - 1};
        const auto unlock = Impl::lockControllers(dst.doc);
        move->copyRange(to, toCalc(r.first, m.sheetIndex(src)));
    });
}

void CalcHost::PasteSpecial(RangeHandle h, PasteSpecialArgs args) {
    Impl& m = *impl_;
    m.guarded("PasteSpecial", [&] {
        if (args.Paste != xlPasteFormats) {
            m.fail(Cause::BadArgument, "PasteSpecial: only formats (-4122) can be pasted");
        }
        if (args.Operation != xlPasteSpecialOperationNone || args.SkipBlanks || args.Transpose) {
            m.fail(Cause::BadArgument,
                   "PasteSpecial: operations, skip blanks and transpose are not supported");
        }
        if (!m.clipboard) m.fail(Cause::Other, "PasteSpecial: nothing has been copied");
        const auto t = m.rangeOf(h, "range");
        if (!t.more.empty())
            m.fail(Cause::BadArgument, "PasteSpecial: not possible on several areas");
        auto [srcSheet, block] = *m.clipboard;
        auto& src = m.liveSheet(srcSheet);
        auto& dst = m.liveSheet(t.sheet);
        // The object model's paste area: the block's size from a single cell, or the target
        // itself when it has the block's size. Other sizes are refused (no tiling).
        A1Area target = t.first;
        if (target.cells() == 1) {
            const std::optional<A1Area> sized = target.resized(block.rows(), block.columns());
            if (!sized) m.fail(Cause::BadArgument, "PasteSpecial: the paste would leave the sheet");
            target = *sized;
        }
        if (target.rows() != block.rows() || target.columns() != block.columns()) {
            m.fail(Cause::BadArgument,
                   "PasteSpecial: the copy area and the paste area differ in size");
        }
        m.refuseIfSheetProtected(dst, "PasteSpecial");
        // The block's merged areas as they are once the merges pending on its sheet apply.
        A1Area srcRegion = block;
        const MergeProjection projected = m.projectedMerges(src, srcRegion);
        // Both corners lie on the sheet, so the differences and the moved areas (inside the
        // target, which has the block's size) fit the area type.
        const std::int32_t dr = target.top - block.top, dc = target.left - block.left;
        std::vector<A1Area> wanted;
        for (const auto& a : projected.current()) {
            if (a.inside(block))
                wanted.push_back({a.top + dr, a.left + dc, a.bottom + dr, a.right + dc});
        }
        if (src.identity != dst.identity) m.flushMerges(t.sheet);
        A1Area dstRegion = target;
        const std::vector<A1Area> existing = m.mergedAreas(dst, dstRegion);
        for (const auto& a : existing) {
            if (a.meets(target) && !a.inside(target)) {
                m.fail(Cause::Other, "PasteSpecial: cannot change part of a merged cell at " +
                                         absoluteAddress(a));
            }
        }
        m.changing(dst.doc);
        // Merged areas: split what the target holds, merge what the block has. Many merges go
        // the bulk route, which checks its preconditions and its result and otherwise leaves
        // the work to the one-area-at-a-time route.
        if (m.bulkMerges(dst, target, wanted)) {
            ++m.bulkPastes;
        } else {
            A1Area again = target;
            const std::vector<A1Area> now = m.mergedAreas(dst, again);
            std::vector<A1Area> removed, added;
            for (const auto& a : now) {
                if (a.inside(target) && std::find(wanted.begin(), wanted.end(), a) == wanted.end())
                    removed.push_back(a);
            }
            for (const auto& a : wanted) {
                if (std::find(now.begin(), now.end(), a) == now.end()) added.push_back(a);
            }
            m.applyMerges(dst, removed, added, target);
        }
        m.pasteFormats(src, block, dst, target);
    });
}

void CalcHost::Merge(RangeHandle h) {
    Impl& m = *impl_;
    m.guarded("Merge", [&] {
        const auto r = m.rangeOf(h, "range");
        auto& s = m.liveSheet(r.sheet);
        m.refuseIfSheetProtected(s, "Merge");
        m.flushMerges(r.sheet);
        m.sendMerges(s, m.areasOf(r), false);
    });
}

void CalcHost::UnMerge(RangeHandle h) {
    Impl& m = *impl_;
    m.guarded("UnMerge", [&] {
        const auto r = m.rangeOf(h, "range");
        auto& s = m.liveSheet(r.sheet);
        m.refuseIfSheetProtected(s, "UnMerge");
        m.flushMerges(r.sheet);
        for (const auto& area : m.areasOf(r)) {
            A1Area region = area;
            Reference<container::XIndexAccess> groups;
            const std::vector<A1Area> all = m.mergedAreas(s, region, &groups);
            std::vector<A1Area> split;
            for (const auto& a : all) {
                if (a.meets(area)) split.push_back(a);
            }
            if (split.empty()) continue;
            // Many areas, none reaching out of the range: split by clearing formats.
            if (split.size() >= Impl::kBulkMinimum && region == area &&
                m.splitInBulk(s, area, groups))
                continue;
            m.applyMerges(s, split, {}, region, &area);
        }
    });
}

RangeValue CalcHost::Value(RangeHandle h) {
    Impl& m = *impl_;
    return m.guarded("Value", [&] {
        const auto r = m.rangeOf(h, "range");
        const A1Area& a = r.first;
        auto read = m.readArea(m.liveSheet(r.sheet), a);
        if (a.cells() == 1) return RangeValue(std::move(read.values[0]));
        ValueArray arr(a.rows(), a.columns());
        for (long row = 1; row <= a.rows(); ++row) {
            for (long col = 1; col <= a.columns(); ++col) {
                arr.at(row, col) = std::move(
                    read.values[static_cast<std::size_t>((row - 1) * a.columns() + col - 1)]);
            }
        }
        return RangeValue(std::move(arr));
    });
}

void CalcHost::setValue(RangeHandle h, const CellValue& value) {
    Impl& m = *impl_;
    m.guarded("Value", [&] {
        const auto r = m.rangeOf(h, "range");
        auto& s = m.liveSheet(r.sheet);
        for (const auto& area : m.areasOf(r)) {
            m.refuseLockedWrite(s, area);
            m.writeArea(s, area, value, true);
        }
    });
}

CellEnumHandle CalcHost::enumerateCells(RangeHandle h) {
    Impl& m = *impl_;
    const Impl::RangeObj& r = m.rangeOf(h, "range");
    return CellEnumHandle{m.cellEnums.insert({r.sheet, m.areasOf(r), 0, 0})};
}

std::optional<RangeHandle> CalcHost::nextCell(CellEnumHandle h) {
    Impl& m = *impl_;
    return m.guarded("next cell", [&]() -> std::optional<RangeHandle> {
        auto& e = m.cellEnums.at(h.id, "cell enumeration");
        const std::vector<A1Area>& areas = e.areas;
        while (e.area < areas.size() && e.index >= areas[e.area].cells()) {
            ++e.area;
            e.index = 0;
        }
        if (e.area >= areas.size()) return std::nullopt;
        const A1Area& a = areas[e.area];
        const auto row = static_cast<std::int32_t>(a.top + e.index / a.columns());
        const auto col = static_cast<std::int32_t>(a.left + e.index % a.columns());
        ++e.index;
        return m.addRange(e.sheet, {A1Area::cell(row, col)});
    });
}

// ======================================================================== bulk operations

CellBlock CalcHost::readBlock(SheetHandle h, const A1Area& area) {
    Impl& m = *impl_;
    return m.guarded("read", [&] {
        const A1Area a = Impl::checkedArea(area, "read");
        Impl::Sheet& s = m.sheetOf(h);
        m.flushAllMerges();
        Impl::Read read = m.readArea(s, a);
        CellBlock out{area, std::move(read.values), {}};
        if (read.hasFormulas) out.formula = std::move(read.formula);
        return out;
    });
}

std::vector<A1Area> CalcHost::mergedAreasMeeting(SheetHandle h, const A1Area& region) {
    Impl& m = *impl_;
    return m.guarded("merged areas", [&] {
        const A1Area wanted = Impl::checkedArea(region, "merged areas");
        Impl::Sheet& s = m.sheetOf(h);
        m.flushAllMerges();
        A1Area grown = wanted;
        std::vector<A1Area> out;
        for (const A1Area& a : m.mergedAreas(s, grown)) {
            if (a.meets(wanted)) out.push_back(a);
        }
        return out;
    });
}

void CalcHost::mergeAreas(SheetHandle h, std::span<const A1Area> areas) {
    Impl& m = *impl_;
    m.guarded("Merge", [&] {
        std::vector<A1Area> merges;
        for (const A1Area& a : areas) merges.push_back(Impl::checkedArea(a, "Merge"));
        Impl::Sheet& s = m.sheetOf(h);
        // Refused now, as the merge itself would be; the merges are sent when a later call
        // needs them, a format paste from the sheet carries them, or at flush.
        m.refuseIfSheetProtected(s, "Merge");
        m.deferMerges(h.id, std::move(merges));
    });
}

void CalcHost::writeAreas(SheetHandle h, std::span<const AreaWrite> writes) {
    Impl& m = *impl_;
    m.guarded("Value", [&] {
        Impl::Sheet& s = m.sheetOf(h);
        m.flushAllMerges();
        for (const AreaWrite& w : writes) {
            const A1Area a = Impl::checkedArea(w.area, "Value");
            m.refuseLockedWrite(s, a);
            m.writeArea(s, a, w.value, true);
        }
    });
}

}  // namespace gridmoor
