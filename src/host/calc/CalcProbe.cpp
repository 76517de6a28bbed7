#include "host/calc/CalcProbe.h"

#include <algorithm>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/document/XUndoManager.hpp>
#include <com/sun/star/document/XUndoManagerSupplier.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/sheet/XCalculatable.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/sheet/XUniqueCellFormatRangesSupplier.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XMergeable.hpp>
#include <com/sun/star/util/XNumberFormatTypes.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>
#include <com/sun/star/util/XProtectable.hpp>
#include <stdexcept>

#include "host/calc/CalcArea.h"
#include "host/calc/UnoSupport.h"

namespace gridmoor::calc {

namespace uno = com::sun::star::uno;
namespace beans = com::sun::star::beans;
namespace container = com::sun::star::container;
namespace document = com::sun::star::document;
namespace frame = com::sun::star::frame;
namespace sheet = com::sun::star::sheet;
namespace table = com::sun::star::table;
namespace util = com::sun::star::util;
using rtl::OUString;
using uno::Reference;
using uno::UNO_QUERY;
using uno::UNO_QUERY_THROW;

struct CalcProbe::Impl {
    Reference<uno::XComponentContext> remote;
    Reference<frame::XDesktop2> desktop;
    Reference<sheet::XSpreadsheetDocument> doc;

    Reference<sheet::XSpreadsheet> sheet(std::string_view name) {
        if (!doc.is()) throw std::runtime_error("probe: no workbook");
        return Reference<sheet::XSpreadsheet>(doc->getSheets()->getByName(toU(name)),
                                              UNO_QUERY_THROW);
    }
    Reference<table::XCellRange> range(std::string_view s, std::string_view a1) {
        return sheet(s)->getCellRangeByName(toU(a1));
    }
};

CalcProbe::CalcProbe(const std::string& pipeName) : impl_(std::make_unique<Impl>()) {
    try {
        // A soffice that goes away then fails the probe's calls instead of killing the test.
        Reference<uno::XComponentContext> local = bootstrapLocalContext();
        impl_->remote = connectToOffice(local, pipeName);
        impl_->desktop = frame::Desktop::create(impl_->remote);
    } catch (const uno::Exception& e) {
        throw std::runtime_error("probe: cannot connect: " + fromU(e.Message));
    }
}

CalcProbe::~CalcProbe() = default;

void CalcProbe::closeAll() {
    Reference<container::XEnumeration> it = impl_->desktop->getComponents()->createEnumeration();
    std::vector<Reference<util::XCloseable>> open;
    while (it->hasMoreElements()) {
        Reference<util::XCloseable> c(it->nextElement(), UNO_QUERY);
        if (c.is()) open.push_back(c);
    }
    for (auto& c : open) {
        try {
            c->close(true);
        } catch (const uno::Exception&) {
        }
    }
    impl_->doc.clear();
}

void CalcProbe::newWorkbook(std::string_view firstSheet, bool closeOthers) {
    if (closeOthers) closeAll();
    Reference<frame::XComponentLoader> loader(impl_->desktop, UNO_QUERY_THROW);
    impl_->doc.set(loader->loadComponentFromURL("private:factory/scalc", "_blank", 0, {}),
                   UNO_QUERY_THROW);
    Reference<container::XIndexAccess> sheets(impl_->doc->getSheets(), UNO_QUERY_THROW);
    Reference<container::XNamed>(sheets->getByIndex(0), UNO_QUERY_THROW)->setName(toU(firstSheet));
    while (sheets->getCount() > 1) {
        Reference<container::XNamed> last(sheets->getByIndex(sheets->getCount() - 1),
                                          UNO_QUERY_THROW);
        impl_->doc->getSheets()->removeByName(last->getName());
    }
}

void CalcProbe::addSheet(std::string_view name) {
    Reference<container::XIndexAccess> sheets(impl_->doc->getSheets(), UNO_QUERY_THROW);
    impl_->doc->getSheets()->insertNewByName(toU(name), static_cast<sal_Int16>(sheets->getCount()));
}

std::vector<std::string> CalcProbe::sheetNames() {
    std::vector<std::string> out;
    Reference<container::XIndexAccess> sheets(impl_->doc->getSheets(), UNO_QUERY_THROW);
    for (sal_Int32 i = 0; i < sheets->getCount(); ++i) {
        out.push_back(
            fromU(Reference<container::XNamed>(sheets->getByIndex(i), UNO_QUERY_THROW)->getName()));
    }
    return out;
}

std::string CalcProbe::activeSheet() {
    Reference<frame::XModel> model(impl_->doc, UNO_QUERY_THROW);
    Reference<sheet::XSpreadsheetView> view(model->getCurrentController(), UNO_QUERY_THROW);
    return fromU(Reference<container::XNamed>(view->getActiveSheet(), UNO_QUERY_THROW)->getName());
}

void CalcProbe::enter(std::string_view s, std::string_view cell, std::string_view content) {
    impl_->range(s, cell)->getCellByPosition(0, 0)->setFormula(toU(content));
}

void CalcProbe::enterColumn(std::string_view s, std::string_view top,
                            const std::vector<std::string>& contents) {
    Reference<sheet::XSpreadsheet> sh = impl_->sheet(s);
    Reference<sheet::XCellRangeAddressable> a(sh->getCellRangeByName(toU(top)), UNO_QUERY_THROW);
    const auto at = a->getRangeAddress();
    for (std::size_t i = 0; i < contents.size(); ++i) {
        sh->getCellByPosition(at.StartColumn, at.StartRow + static_cast<sal_Int32>(i))
            ->setFormula(toU(contents[i]));
    }
}

void CalcProbe::fillNumbers(std::string_view s, std::string_view top,
                            const std::vector<double>& v) {
    Reference<sheet::XSpreadsheet> sh = impl_->sheet(s);
    Reference<sheet::XCellRangeAddressable> a(sh->getCellRangeByName(toU(top)), UNO_QUERY_THROW);
    const auto at = a->getRangeAddress();
    uno::Sequence<uno::Sequence<uno::Any>> rows(static_cast<sal_Int32>(v.size()));
    for (std::size_t i = 0; i < v.size(); ++i) {
        const uno::Any one(v[i]);
        rows.getArray()[i] = uno::Sequence<uno::Any>(&one, 1);
    }
    Reference<sheet::XCellRangeData> data(
        sh->getCellRangeByPosition(at.StartColumn, at.StartRow, at.StartColumn,
                                   at.StartRow + static_cast<sal_Int32>(v.size()) - 1),
        UNO_QUERY_THROW);
    data->setDataArray(rows);
}

std::string CalcProbe::formula(std::string_view s, std::string_view cell) {
    return fromU(impl_->range(s, cell)->getCellByPosition(0, 0)->getFormula());
}

void CalcProbe::setNumberFormat(std::string_view s, std::string_view r, short type) {
    Reference<util::XNumberFormatsSupplier> fs(impl_->doc, UNO_QUERY_THROW);
    Reference<util::XNumberFormatTypes> types(fs->getNumberFormats(), UNO_QUERY_THROW);
    const sal_Int32 key = types->getStandardFormat(type, com::sun::star::lang::Locale());
    Reference<beans::XPropertySet>(impl_->range(s, r), UNO_QUERY_THROW)
        ->setPropertyValue("NumberFormat", uno::Any(key));
}

void CalcProbe::setBold(std::string_view s, std::string_view r) {
    Reference<beans::XPropertySet>(impl_->range(s, r), UNO_QUERY_THROW)
        ->setPropertyValue("CharWeight", uno::Any(150.0f));
}

bool CalcProbe::isBold(std::string_view s, std::string_view cell) {
    float w = 0;
    Reference<beans::XPropertySet>(impl_->range(s, cell), UNO_QUERY_THROW)
        ->getPropertyValue("CharWeight") >>= w;
    return w > 100.0f;
}

void CalcProbe::merge(std::string_view s, std::string_view r) {
    Reference<util::XMergeable>(impl_->range(s, r), UNO_QUERY_THROW)->merge(true);
}

std::vector<std::string> CalcProbe::mergedAreas(std::string_view s, long rows) {
    Reference<sheet::XSpreadsheet> sh = impl_->sheet(s);
    // Empty merged cells do not count as used: look at a fixed block instead.
    Reference<sheet::XUniqueCellFormatRangesSupplier> sup(
        sh->getCellRangeByPosition(0, 0, 51, static_cast<sal_Int32>(rows - 1)), UNO_QUERY_THROW);
    Reference<container::XIndexAccess> groups = sup->getUniqueCellFormatRanges();
    std::vector<std::string> out;
    for (sal_Int32 i = 0; i < groups->getCount(); ++i) {
        Reference<sheet::XSheetCellRanges> g(groups->getByIndex(i), UNO_QUERY_THROW);
        for (const auto& rect : g->getRangeAddresses()) {
            for (sal_Int32 row = rect.StartRow; row <= rect.EndRow; ++row) {
                for (sal_Int32 col = rect.StartColumn; col <= rect.EndColumn; ++col) {
                    Reference<table::XCellRange> cell =
                        sh->getCellRangeByPosition(col, row, col, row);
                    if (!Reference<util::XMergeable>(cell, UNO_QUERY_THROW)->getIsMerged()) break;
                    Reference<sheet::XSheetCellCursor> c = sh->createCursorByRange(
                        Reference<sheet::XSheetCellRange>(cell, UNO_QUERY_THROW));
                    c->collapseToMergedArea();
                    const auto a = Reference<sheet::XCellRangeAddressable>(c, UNO_QUERY_THROW)
                                       ->getRangeAddress();
                    out.push_back(printA1(Area{a.StartRow + 1L, a.StartColumn + 1L, a.EndRow + 1L,
                                               a.EndColumn + 1L}));
                }
            }
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

void CalcProbe::protectSheet(std::string_view s, bool on) {
    Reference<util::XProtectable> p(impl_->sheet(s), UNO_QUERY_THROW);
    on ? p->protect("") : p->unprotect("");
}

void CalcProbe::protectStructure(bool on) {
    Reference<util::XProtectable> p(impl_->doc, UNO_QUERY_THROW);
    on ? p->protect("") : p->unprotect("");
}

long CalcProbe::undoCount() {
    Reference<document::XUndoManagerSupplier> us(impl_->doc, UNO_QUERY_THROW);
    return us->getUndoManager()->getAllUndoActionTitles().getLength();
}

void CalcProbe::undo() {
    Reference<document::XUndoManagerSupplier> us(impl_->doc, UNO_QUERY_THROW);
    us->getUndoManager()->undo();
}

bool CalcProbe::controllersLocked() {
    return Reference<frame::XModel>(impl_->doc, UNO_QUERY_THROW)->hasControllersLocked();
}

bool CalcProbe::automaticCalculation() {
    return Reference<sheet::XCalculatable>(impl_->doc, UNO_QUERY_THROW)
        ->isAutomaticCalculationEnabled();
}

void CalcProbe::setAutomaticCalculation(bool on) {
    Reference<sheet::XCalculatable>(impl_->doc, UNO_QUERY_THROW)->enableAutomaticCalculation(on);
}

}  // namespace gridmoor::calc
