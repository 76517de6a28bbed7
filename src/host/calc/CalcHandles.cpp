// The objects handed out in a run (workbooks, sheets told apart by document and name, ranges
// with reused slots) and what the run knows about them: each document's state, each sheet's
// protection. A handle that was never given, released or whose sheet was deleted is refused.
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XUniqueCellFormatRangesSupplier.hpp>
#include <com/sun/star/util/CellProtection.hpp>
#include <com/sun/star/util/XProtectable.hpp>

#include "host/calc/CalcImpl.h"

namespace gridmoor {

using rtl::OUString;
using uno::Reference;
using uno::UNO_QUERY;
using uno::UNO_QUERY_THROW;
using Cause = HostError::Cause;

void CalcHost::Impl::checkApp(AppHandle app) {
    if (app.id != 1 || !desktop.is()) fail(Cause::NotFound, "application: object not set");
}
SheetHandle CalcHost::Impl::addSheet(Reference<sheet::XSpreadsheetDocument> doc,
                                     Reference<sheet::XSpreadsheet> s) {
    Reference<uno::XInterface> docId(doc, UNO_QUERY);
    const OUString name = Reference<container::XNamed>(s, UNO_QUERY_THROW)->getName();
    SheetEntry* entry = nullptr;
    for (auto& e : sheetEntries) {
        if (!e->deleted && e->doc == docId && e->name == name) entry = e.get();
    }
    if (!entry) {
        sheetEntries.push_back(std::make_unique<SheetEntry>(SheetEntry{docId, name, false}));
        entry = sheetEntries.back().get();
    }
    return SheetHandle{sheets.insert({std::move(doc), std::move(s), entry})};
}
RangeHandle CalcHost::Impl::addRange(std::uint32_t sheetId, std::vector<A1Area> areas) {
    RangeObj r;
    r.sheet = sheetId;
    r.first = areas.front();
    r.more.assign(areas.begin() + 1, areas.end());
    return RangeHandle{ranges.insert(std::move(r))};
}
CalcHost::Impl::RangeObj& CalcHost::Impl::rangeOf(RangeHandle h, const char* what) {
    return ranges.at(h.id, what);
}
std::vector<A1Area> CalcHost::Impl::areasOf(const RangeObj& r) const {
    std::vector<A1Area> all{r.first};
    all.insert(all.end(), r.more.begin(), r.more.end());
    return all;
}
Reference<sheet::XSpreadsheetDocument> CalcHost::Impl::activeDocument() {
    Reference<sheet::XSpreadsheetDocument> doc(desktop->getCurrentComponent(), UNO_QUERY);
    if (doc.is()) return doc;
    // The current component is the Start Center or a document of another kind, or no
    // Calc window ever had the focus: take a spreadsheet that is open.
    Reference<container::XEnumerationAccess> all = desktop->getComponents();
    Reference<container::XEnumeration> it = all.is() ? all->createEnumeration() : nullptr;
    while (it.is() && it->hasMoreElements()) {
        Reference<sheet::XSpreadsheetDocument> d(it->nextElement(), UNO_QUERY);
        if (d.is()) return d;
    }
    fail(Cause::NotFound, "no workbook is open");
}

CalcHost::Impl::DocState& CalcHost::Impl::docState(
    const Reference<sheet::XSpreadsheetDocument>& doc) {
    for (auto& d : docs) {
        if (d.doc == doc) return d;
    }
    DocState fresh;
    fresh.doc = doc;
    docs.push_back(std::move(fresh));
    return docs.back();
}

CalcHost::Impl::Sheet& CalcHost::Impl::sheetOf(SheetHandle h) {
    Sheet& s = sheets.at(h.id, "worksheet");
    if (entryOf(s).deleted) fail(Cause::NotFound, "worksheet: the sheet has been deleted");
    return s;
}
CalcHost::Impl::SheetEntry& CalcHost::Impl::entryOf(const Sheet& s) {
    return *static_cast<SheetEntry*>(const_cast<void*>(s.identity));
}
CalcHost::Impl::Sheet& CalcHost::Impl::liveSheet(std::uint32_t id) {
    Sheet& s = sheets.at(id, "range");
    if (entryOf(s).deleted) fail(Cause::NotFound, "range: its sheet has been deleted");
    return s;
}

sal_Int16 CalcHost::Impl::sheetIndex(const Sheet& s) {
    Reference<sheet::XCellRangeAddressable> a(s.sheet, UNO_QUERY_THROW);
    return a->getRangeAddress().Sheet;
}

Reference<table::XCellRange> CalcHost::Impl::cellRange(const Sheet& s, const A1Area& a) {
    return s.sheet->getCellRangeByPosition(a.left - 1, a.top - 1, a.right - 1, a.bottom - 1);
}

// Asked once per sheet and run: protection does not change within a run.
bool CalcHost::Impl::sheetProtected(const Sheet& s) {
    auto known = protectedSheets.find(s.identity);
    if (known == protectedSheets.end()) {
        Reference<util::XProtectable> p(s.sheet, UNO_QUERY);
        known = protectedSheets.emplace(s.identity, p.is() && p->isProtected()).first;
    }
    return known->second;
}

void CalcHost::Impl::refuseIfStructureProtected(const Reference<sheet::XSpreadsheetDocument>& doc,
                                                const char* what) {
    Reference<util::XProtectable> p(doc, UNO_QUERY);
    if (p.is() && p->isProtected()) {
        fail(Cause::Protected, std::string(what) + ": the workbook's structure is protected");
    }
}

void CalcHost::Impl::refuseIfSheetProtected(const Sheet& s, const char* what) {
    if (sheetProtected(s)) fail(Cause::Protected, std::string(what) + ": the sheet is protected");
}

// Value writes on a protected sheet: refused when any cell of the area is locked.
void CalcHost::Impl::refuseLockedWrite(const Sheet& s, const A1Area& a) {
    if (!sheetProtected(s)) return;
    Reference<sheet::XUniqueCellFormatRangesSupplier> sup(cellRange(s, a), UNO_QUERY_THROW);
    Reference<container::XIndexAccess> groups = sup->getUniqueCellFormatRanges();
    for (sal_Int32 i = 0; i < groups->getCount(); ++i) {
        Reference<beans::XPropertySet> g(groups->getByIndex(i), UNO_QUERY_THROW);
        util::CellProtection prot;
        if ((g->getPropertyValue("CellProtection") >>= prot) && !prot.IsLocked) continue;
        fail(Cause::Protected, "value: the cell is on a protected sheet");
    }
}
A1Area CalcHost::Impl::checkedArea(const A1Area& a, const char* what) {
    if (!a.valid())
        throw HostError(Cause::BadArgument, std::string(what) + ": the area leaves the sheet");
    return a;
}

// Forgets every object handed out in a run and every merge still pending (flush sends
// those first); the connection stays.
void CalcHost::Impl::forgetRun() noexcept {
    books.clear();
    sheets.clear();
    ranges.clear();
    sheetEnums.clear();
    cellEnums.clear();
    docs.clear();
    pending.clear();
    clipboard.reset();
    protectedSheets.clear();
    sheetEntries.clear();
    userEditing.reset();
}

}  // namespace gridmoor
