#include "host/calc/CalcProbe.h"

#include <algorithm>
#include <com/sun/star/beans/Property.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XMultiPropertySet.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/beans/XPropertySetInfo.hpp>
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
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/ValidationType.hpp>
#include <com/sun/star/sheet/XCalculatable.hpp>
#include <com/sun/star/sheet/XCellAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSheetAnnotation.hpp>
#include <com/sun/star/sheet/XSheetAnnotationAnchor.hpp>
#include <com/sun/star/sheet/XSheetAnnotations.hpp>
#include <com/sun/star/sheet/XSheetAnnotationsSupplier.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/sheet/XUniqueCellFormatRangesSupplier.hpp>
#include <com/sun/star/table/BorderLine2.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/text/XSimpleText.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XMergeable.hpp>
#include <com/sun/star/util/XNumberFormatTypes.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>
#include <com/sun/star/util/XProtectable.hpp>
#include <stdexcept>

#include "host/A1Address.h"
#include "host/calc/UnoSupport.h"

namespace gridmoor::calc {

namespace uno = com::sun::star::uno;
namespace beans = com::sun::star::beans;
namespace container = com::sun::star::container;
namespace document = com::sun::star::document;
namespace frame = com::sun::star::frame;
namespace lang = com::sun::star::lang;
namespace text = com::sun::star::text;
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

void CalcProbe::setNumberProperty(std::string_view s, std::string_view r, std::string_view name,
                                  double value) {
    Reference<beans::XPropertySet> props(impl_->range(s, r), UNO_QUERY_THROW);
    const OUString n = toU(name);
    switch (props->getPropertySetInfo()->getPropertyByName(n).Type.getTypeClass()) {
        case uno::TypeClass_FLOAT:
            props->setPropertyValue(n, uno::Any(static_cast<float>(value)));
            break;
        case uno::TypeClass_DOUBLE:
            props->setPropertyValue(n, uno::Any(value));
            break;
        case uno::TypeClass_SHORT:
            props->setPropertyValue(n, uno::Any(static_cast<sal_Int16>(value)));
            break;
        case uno::TypeClass_BOOLEAN:
            props->setPropertyValue(n, uno::Any(value != 0));
            break;
        default:
            props->setPropertyValue(n, uno::Any(static_cast<sal_Int32>(value)));
    }
}

void CalcProbe::setBorders(std::string_view s, std::string_view r) {
    table::BorderLine2 line;
    line.OuterLineWidth = 26;
    line.LineWidth = 26;
    Reference<beans::XPropertySet> props(impl_->range(s, r), UNO_QUERY_THROW);
    for (const char* side : {"TopBorder", "BottomBorder", "LeftBorder", "RightBorder"})
        props->setPropertyValue(OUString::createFromAscii(side), uno::Any(line));
}

void CalcProbe::allowWholeNumbersOnly(std::string_view s, std::string_view r) {
    Reference<beans::XPropertySet> props(impl_->range(s, r), UNO_QUERY_THROW);
    Reference<beans::XPropertySet> rule(props->getPropertyValue("Validation"), UNO_QUERY_THROW);
    rule->setPropertyValue("Type", uno::Any(sheet::ValidationType_WHOLE));
    props->setPropertyValue("Validation", uno::Any(rule));
}

void CalcProbe::enterRichText(std::string_view s, std::string_view cell, std::string_view text,
                              int boldChars) {
    Reference<text::XText> t(impl_->range(s, cell)->getCellByPosition(0, 0), UNO_QUERY_THROW);
    t->setString(toU(text));
    Reference<text::XTextCursor> c = t->createTextCursor();
    c->gotoStart(false);
    c->goRight(static_cast<sal_Int16>(boldChars), true);
    Reference<beans::XPropertySet>(c, UNO_QUERY_THROW)
        ->setPropertyValue("CharWeight", uno::Any(150.0f));
}

void CalcProbe::enterHyperlink(std::string_view s, std::string_view cell, std::string_view text,
                               std::string_view url) {
    Reference<text::XText> t(impl_->range(s, cell)->getCellByPosition(0, 0), UNO_QUERY_THROW);
    t->setString("");
    Reference<lang::XMultiServiceFactory> factory(impl_->doc, UNO_QUERY_THROW);
    Reference<beans::XPropertySet> field(factory->createInstance("com.sun.star.text.TextField.URL"),
                                         UNO_QUERY_THROW);
    field->setPropertyValue("Representation", uno::Any(toU(text)));
    field->setPropertyValue("URL", uno::Any(toU(url)));
    t->insertTextContent(Reference<text::XTextRange>(t->createTextCursor(), UNO_QUERY_THROW),
                         Reference<text::XTextContent>(field, UNO_QUERY_THROW), false);
}

void CalcProbe::addNote(std::string_view s, std::string_view cell, std::string_view text) {
    Reference<sheet::XSheetAnnotationsSupplier> notes(impl_->sheet(s), UNO_QUERY_THROW);
    Reference<sheet::XCellAddressable> at(impl_->range(s, cell)->getCellByPosition(0, 0),
                                          UNO_QUERY_THROW);
    notes->getAnnotations()->insertNew(at->getCellAddress(), toU(text));
}

struct CalcProbe::CellRecord {
    std::vector<std::string> cells;  // A1 of each cell, row by row
    uno::Sequence<OUString> names;   // the cell properties recorded
    std::vector<uno::Sequence<uno::Any>> values;
    std::vector<std::string> content;  // formula, text portions with fields, note
};

namespace {

// The portions of a cell's text with what formats them, and the fields among them.
std::string portionsOf(const Reference<table::XCell>& cell) {
    std::string out;
    Reference<container::XEnumerationAccess> paragraphs(cell, UNO_QUERY_THROW);
    Reference<container::XEnumeration> p = paragraphs->createEnumeration();
    while (p->hasMoreElements()) {
        Reference<container::XEnumerationAccess> para(p->nextElement(), UNO_QUERY_THROW);
        Reference<container::XEnumeration> portions = para->createEnumeration();
        while (portions->hasMoreElements()) {
            Reference<beans::XPropertySet> portion(portions->nextElement(), UNO_QUERY_THROW);
            OUString type;
            float weight = 0;
            portion->getPropertyValue("TextPortionType") >>= type;
            portion->getPropertyValue("CharWeight") >>= weight;
            out += fromU(type) + ":" +
                   fromU(Reference<text::XTextRange>(portion, UNO_QUERY_THROW)->getString()) + ":" +
                   std::to_string(weight);
            if (type == "TextField") {
                Reference<beans::XPropertySet> field(portion->getPropertyValue("TextField"),
                                                     UNO_QUERY);
                OUString url;
                if (field.is() && field->getPropertySetInfo()->hasPropertyByName("URL"))
                    field->getPropertyValue("URL") >>= url;
                out += ":" + fromU(url);
            }
            out += "|";
        }
        out += "\n";
    }
    return out;
}

}  // namespace

std::shared_ptr<const CalcProbe::CellRecord> CalcProbe::recordCells(std::string_view s,
                                                                    std::string_view r) {
    auto record = std::make_shared<CellRecord>();
    Reference<table::XCellRange> range = impl_->range(s, r);
    const auto a =
        Reference<sheet::XCellRangeAddressable>(range, UNO_QUERY_THROW)->getRangeAddress();
    for (sal_Int32 row = 0; row <= a.EndRow - a.StartRow; ++row) {
        for (sal_Int32 col = 0; col <= a.EndColumn - a.StartColumn; ++col) {
            Reference<table::XCell> cell = range->getCellByPosition(col, row);
            Reference<beans::XPropertySet> props(cell, UNO_QUERY_THROW);
            if (!record->names.hasElements()) {
                std::vector<OUString> names;
                for (const auto& p : props->getPropertySetInfo()->getProperties()) {
                    // Not the cell's own: FormatID names the group of equally formatted
                    // cells (a merged area is part of the format), Position and Size follow
                    // the row heights, which Calc fits to what the rows show. The content's
                    // kind and formula are recorded with the content.
                    const bool own = p.Name != "FormatID" && p.Name != "Position" &&
                                     p.Name != "Size" && p.Name != "CellContentType" &&
                                     p.Name != "FormulaLocal" && p.Name != "FormulaResultType" &&
                                     p.Name != "FormulaResultType2";
                    if (own && p.Type.getTypeClass() != uno::TypeClass_INTERFACE)
                        names.push_back(p.Name);
                }
                record->names =
                    uno::Sequence<OUString>(names.data(), static_cast<sal_Int32>(names.size()));
            }
            record->cells.push_back(
                absoluteAddress(A1Area::cell(a.StartRow + row + 1, a.StartColumn + col + 1)));
            record->values.push_back(Reference<beans::XMultiPropertySet>(cell, UNO_QUERY_THROW)
                                         ->getPropertyValues(record->names));
            Reference<sheet::XSheetAnnotationAnchor> anchor(cell, UNO_QUERY_THROW);
            record->content.push_back(
                fromU(cell->getFormula()) + "#" + portionsOf(cell) + "#" +
                fromU(Reference<text::XSimpleText>(anchor->getAnnotation(), UNO_QUERY_THROW)
                          ->getString()));
        }
    }
    return record;
}

std::vector<std::string> CalcProbe::differences(const CellRecord& before, const CellRecord& after) {
    if (before.cells != after.cells || before.names != after.names)
        return {"the records are of different ranges"};
    std::vector<std::string> out;
    for (std::size_t i = 0; i < before.cells.size(); ++i) {
        for (sal_Int32 k = 0; k < before.names.getLength(); ++k) {
            if (before.values[i][k] != after.values[i][k])
                out.push_back(before.cells[i] + " " + fromU(before.names[k]));
        }
        if (before.content[i] != after.content[i])
            out.push_back(before.cells[i] + " content " + before.content[i] + " -> " +
                          after.content[i]);
    }
    return out;
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
                    out.push_back(absoluteAddress(
                        A1Area{a.StartRow + 1, a.StartColumn + 1, a.EndRow + 1, a.EndColumn + 1}));
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
