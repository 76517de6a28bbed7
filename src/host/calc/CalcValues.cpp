// Reading and writing cell values with the object model's typing: dates, booleans and
// currency keep their kind through the cell's number format, errors read as the object
// model's codes and are written as formulas that give them.
#include <algorithm>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSheetOperation.hpp>
#include <com/sun/star/sheet/XUniqueCellFormatRangesSupplier.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/util/Date.hpp>
#include <com/sun/star/util/NumberFormat.hpp>
#include <com/sun/star/util/XNumberFormatTypes.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>

#include "host/calc/CalcImpl.h"

namespace gridmoor {

using calc::fromCalc;
using calc::fromU;
using calc::toU;
using calc::Typing;
using rtl::OUString;
using uno::Reference;
using uno::UNO_QUERY;
using uno::UNO_QUERY_THROW;
using Cause = HostError::Cause;

namespace {

Typing typingOf(sal_Int16 formatType) {
    if (formatType & util::NumberFormat::LOGICAL) return Typing::Boolean;
    if (formatType & (util::NumberFormat::DATE | util::NumberFormat::TIME)) return Typing::Date;
    if (formatType & util::NumberFormat::CURRENCY) return Typing::Currency;
    return Typing::Plain;
}

}  // namespace

Typing CalcHost::Impl::typingOfKey(DocState& d, sal_Int32 key) {
    if (auto it = d.typings.find(key); it != d.typings.end()) return it->second;
    Reference<util::XNumberFormatsSupplier> fs(d.doc, UNO_QUERY_THROW);
    Reference<beans::XPropertySet> props = fs->getNumberFormats()->getByKey(key);
    sal_Int16 type = 0;
    props->getPropertyValue("Type") >>= type;
    return d.typings[key] = typingOf(type);
}

long CalcHost::Impl::nullDateOffset(DocState& d) {
    if (!d.nullDateKnown) {
        Reference<beans::XPropertySet> props(d.doc, UNO_QUERY);
        util::Date nd{30, 12, 1899};
        if (props.is()) props->getPropertyValue("NullDate") >>= nd;
        d.nullDateOffset =
            calc::daysFromCivil(nd.Year, nd.Month, nd.Day) - calc::daysFromCivil(1899, 12, 30);
        d.nullDateKnown = true;
    }
    return d.nullDateOffset;
}

sal_Int32 CalcHost::Impl::standardFormat(DocState& d, Typing t) {
    Reference<util::XNumberFormatsSupplier> fs(d.doc, UNO_QUERY_THROW);
    Reference<util::XNumberFormatTypes> types(fs->getNumberFormats(), UNO_QUERY_THROW);
    const sal_Int16 type = t == Typing::Date       ? util::NumberFormat::DATE
                           : t == Typing::Boolean  ? util::NumberFormat::LOGICAL
                           : t == Typing::Currency ? util::NumberFormat::CURRENCY
                                                   : util::NumberFormat::NUMBER;
    return types->getStandardFormat(type, lang::Locale());
}

// Sets `typing` (row-major over `a`) of the cells whose number format types their number,
// asking once per group of equally formatted cells.
void CalcHost::Impl::readTypings(DocState& d, const Reference<table::XCellRange>& range,
                                 const A1Area& a, std::vector<Typing>& typing) {
    const long cols = a.columns();
    auto at = [&](long row, long col) {
        return static_cast<std::size_t>((row - a.top) * cols + (col - a.left));
    };
    Reference<sheet::XUniqueCellFormatRangesSupplier> sup(range, UNO_QUERY_THROW);
    Reference<container::XIndexAccess> groups = sup->getUniqueCellFormatRanges();
    for (sal_Int32 i = 0; i < groups->getCount(); ++i) {
        Reference<sheet::XSheetCellRanges> g(groups->getByIndex(i), UNO_QUERY_THROW);
        Reference<beans::XPropertySet> gp(g, UNO_QUERY_THROW);
        sal_Int32 key = 0;
        if (!(gp->getPropertyValue("NumberFormat") >>= key)) continue;
        const Typing t = typingOfKey(d, key);
        if (t == Typing::Plain) continue;
        for (const auto& rect : g->getRangeAddresses()) {
            const A1Area f = fromCalc(rect);
            for (long r = f.top; r <= f.bottom; ++r) {
                for (long c = f.left; c <= f.right; ++c) typing[at(r, c)] = t;
            }
        }
    }
}

// Reads the values of an area in a few calls: the data array, the truly empty cells,
// the formula cells and the number format of each group of equally formatted cells.
CalcHost::Impl::Read CalcHost::Impl::readArea(const Sheet& s, const A1Area& a) {
    Read out;
    const long rows = a.rows(), cols = a.columns();
    const auto n = static_cast<std::size_t>(rows * cols);
    out.values.resize(n);
    out.typing.assign(n, Typing::Plain);
    out.formula.assign(n, 0);
    auto at = [&](long row, long col) {
        return static_cast<std::size_t>((row - a.top) * cols + (col - a.left));
    };
    Reference<table::XCellRange> range = cellRange(s, a);
    Reference<sheet::XCellRangeData> data(range, UNO_QUERY_THROW);
    const uno::Sequence<uno::Sequence<uno::Any>> rowsData = data->getDataArray();
    std::vector<char> empty(n, 0);
    Reference<sheet::XCellRangesQuery> query(range, UNO_QUERY_THROW);
    for (const auto& rect : query->queryEmptyCells()->getRangeAddresses()) {
        const A1Area e = fromCalc(rect);
        for (long r = e.top; r <= e.bottom; ++r) {
            for (long c = e.left; c <= e.right; ++c) empty[at(r, c)] = 1;
        }
    }
    for (const auto& rect :
         query->queryContentCells(sheet::CellFlags::FORMULA)->getRangeAddresses()) {
        const A1Area f = fromCalc(rect);
        for (long r = f.top; r <= f.bottom; ++r) {
            for (long c = f.left; c <= f.right; ++c) out.formula[at(r, c)] = 1;
        }
        out.hasFormulas = true;
    }
    DocState& d = docState(s.doc);
    readTypings(d, range, a, out.typing);
    const long offsetDays = nullDateOffset(d);
    for (long r = 0; r < rows && r < rowsData.getLength(); ++r) {
        const auto& row = rowsData[static_cast<sal_Int32>(r)];
        for (long c = 0; c < cols && c < row.getLength(); ++c) {
            const std::size_t i = static_cast<std::size_t>(r * cols + c);
            if (empty[i]) continue;
            const uno::Any& v = row[static_cast<sal_Int32>(c)];
            double num = 0;
            OUString str;
            if (v >>= num) {
                out.values[i] = calc::numberAs(num, out.typing[i], offsetDays);
            } else if (v >>= str) {
                out.values[i] = CellValue::text(fromU(str));
            } else {
                Reference<table::XCell> cell = s.sheet->getCellByPosition(
                    static_cast<sal_Int32>(a.left - 1 + c), static_cast<sal_Int32>(a.top - 1 + r));
                out.values[i] = CellValue::error(calc::objectModelError(cell->getError()));
            }
        }
    }
    return out;
}

// What Calc is sent for a value: a number in Calc's terms or a text; never void.
uno::Any CalcHost::Impl::calcDatum(DocState& d, const CellValue& v) {
    if (v.isText()) return uno::Any(toU(v.text()));
    double num = v.number();
    if (v.numberKind() == NumberKind::Date) num -= static_cast<double>(nullDateOffset(d));
    if (v.numberKind() == NumberKind::Boolean) num = num != 0 ? 1.0 : 0.0;
    return uno::Any(num);
}

// Writes one value into every cell of an area, immediately.
// `setFormat`: give the area the standard format of a date, boolean or currency value.
void CalcHost::Impl::writeArea(const Sheet& s, const A1Area& a, const CellValue& v,
                               bool setFormat) {
    DocState& d = docState(s.doc);
    changing(s.doc);
    Reference<table::XCellRange> range = cellRange(s, a);
    const bool clears = v.isEmpty() || (v.isText() && v.text().empty());
    if (clears) {
        Reference<sheet::XSheetOperation> op(range, UNO_QUERY_THROW);
        op->clearContents(sheet::CellFlags::VALUE | sheet::CellFlags::DATETIME |
                          sheet::CellFlags::STRING | sheet::CellFlags::FORMULA);
        return;
    }
    if (v.isError()) {
        for (long r = a.top; r <= a.bottom; ++r) {
            for (long c = a.left; c <= a.right; ++c) {
                changing(s.doc);
                s.sheet
                    ->getCellByPosition(static_cast<sal_Int32>(c - 1),
                                        static_cast<sal_Int32>(r - 1))
                    ->setFormula(OUString::createFromAscii(calc::errorFormula(v.errorCode())));
            }
        }
        return;
    }
    const uno::Any datum = calcDatum(d, v);
    if (a.cells() == 1) {
        Reference<table::XCell> cell = s.sheet->getCellByPosition(
            static_cast<sal_Int32>(a.left - 1), static_cast<sal_Int32>(a.top - 1));
        if (v.isText()) {
            Reference<com::sun::star::text::XTextRange>(cell, UNO_QUERY_THROW)
                ->setString(toU(v.text()));
        } else {
            double num = 0;
            datum >>= num;
            cell->setValue(num);
        }
    } else {
        uno::Sequence<uno::Any> row(static_cast<sal_Int32>(a.columns()));
        std::fill(row.getArray(), row.getArray() + row.getLength(), datum);
        uno::Sequence<uno::Sequence<uno::Any>> all(static_cast<sal_Int32>(a.rows()));
        std::fill(all.getArray(), all.getArray() + all.getLength(), row);
        Reference<sheet::XCellRangeData>(range, UNO_QUERY_THROW)->setDataArray(all);
    }
    // A date, boolean or currency keeps its kind through the cell's number format.
    const Typing want = calc::typingFor(v);
    if (want != Typing::Plain && setFormat) {
        changing(s.doc);
        Reference<beans::XPropertySet>(range, UNO_QUERY_THROW)
            ->setPropertyValue("NumberFormat", uno::Any(standardFormat(d, want)));
    }
}

}  // namespace gridmoor
