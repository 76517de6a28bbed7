// Format pastes: every group of equally formatted cells of an area with every property a
// format paste carries, given to a same-sized area where it differs, and checked.
#include <algorithm>
#include <com/sun/star/beans/Property.hpp>
#include <com/sun/star/beans/PropertyAttribute.hpp>
#include <com/sun/star/beans/XMultiPropertySet.hpp>
#include <com/sun/star/beans/XPropertySetInfo.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/XSheetCellRangeContainer.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XUniqueCellFormatRangesSupplier.hpp>
#include <iterator>

#include "host/calc/CalcImpl.h"

namespace gridmoor {

using calc::fromCalc;
using rtl::OUString;
using uno::Reference;
using uno::UNO_QUERY_THROW;
using Cause = HostError::Cause;

namespace {

// The programmatic name of the cell style every cell has until it is given another.
constexpr const char* kDefaultCellStyle = "Default";

// Cell properties a format paste never carries, though Calc lets them be set. Read-only
// properties and objects are never carried either.
const char* const kNotCarried[] = {
    // Content, never formatting: writing it would overwrite values.
    "FormulaLocal",
    // The outline of a range as a whole: it would draw a group's outline around each of
    // its rectangles.
    "TableBorder",
    "TableBorder2",
    // Set first and on its own: setting a style resets what is set by hand.
    "CellStyle",
    // Calc's name for the group of equally formatted cells a cell is in, not a format.
    "FormatID",
    // The horizontal alignment seen as a paragraph's: it has no "standard" and would turn
    // it into "left"; HoriJustify carries it.
    "ParaAdjust",
    "ParaLastLineAdjust",
    // Descriptions of conditional formats and validation: a paste that would have to bring
    // those is not taken where they exist.
    "ConditionalFormat",
    "ConditionalFormatLocal",
    "ConditionalFormatXML",
    "Validation",
    "ValidationLocal",
    "ValidationXML",
};

}  // namespace

// Every formatting property of a cell that a format paste carries: all that Calc reports
// as writable plain data (font, Asian and complex-script font, borders, alignment,
// protection, number format, ...), less kNotCarried. Learnt once from the first group
// of cells asked, as every group offers the same properties.
const uno::Sequence<OUString>& CalcHost::Impl::formatPropertyNames(
    const Reference<beans::XPropertySet>& g) {
    if (formatNames.hasElements()) return formatNames;
    std::vector<OUString> names;
    for (const beans::Property& p : g->getPropertySetInfo()->getProperties()) {
        if (p.Attributes & beans::PropertyAttribute::READONLY) continue;
        if (p.Type.getTypeClass() == uno::TypeClass_INTERFACE) continue;
        const bool excluded = std::any_of(std::begin(kNotCarried), std::end(kNotCarried),
                                          [&](const char* n) { return p.Name.equalsAscii(n); });
        if (!excluded) names.push_back(p.Name);
    }
    formatNames = uno::Sequence<OUString>(names.data(), static_cast<sal_Int32>(names.size()));
    return formatNames;
}

std::vector<CalcHost::Impl::FormatGroup> CalcHost::Impl::formatGroups(const Sheet& s,
                                                                      const A1Area& a) {
    Reference<sheet::XUniqueCellFormatRangesSupplier> sup(cellRange(s, a), UNO_QUERY_THROW);
    return formatGroupsOf(sup->getUniqueCellFormatRanges());
}

// The formatting of each of `groups`, Calc's groups of equally formatted cells of an area.
std::vector<CalcHost::Impl::FormatGroup> CalcHost::Impl::formatGroupsOf(
    const Reference<container::XIndexAccess>& groups) {
    std::vector<FormatGroup> out;
    for (sal_Int32 i = 0; i < groups->getCount(); ++i) {
        Reference<sheet::XSheetCellRanges> g(groups->getByIndex(i), UNO_QUERY_THROW);
        Reference<beans::XPropertySet> gp(g, UNO_QUERY_THROW);
        Reference<beans::XMultiPropertySet> gm(g, UNO_QUERY_THROW);
        FormatGroup group{gp->getPropertyValue("CellStyle"),
                          gm->getPropertyValues(formatPropertyNames(gp)), g->getRangeAddresses()};
        // Calc names no style for the cells of a column it has never stored anything in (an
        // untouched column of a sheet, even asked cell by cell): the group's style reads as
        // the empty name, which no style has and no format paste could give back. Such cells
        // have the default cell style.
        OUString style;
        if ((group.style >>= style) && style.isEmpty())
            group.style <<= OUString::createFromAscii(kDefaultCellStyle);
        out.push_back(std::move(group));
    }
    return out;
}

// Gives the cells of `target` the formatting of the same-sized area `from` of `src`.
void CalcHost::Impl::pasteFormats(const Sheet& src, const A1Area& from, const Sheet& dst,
                                  const A1Area& target) {
    applyFormats(formatGroups(src, from), from, dst, target);
}

// Gives the cells of `target` the formatting `groups` read from the same-sized area
// `from`, one group of equally formatted cells at a time, and checks that Calc took it.
// Only what differs is sent: a group whose every cell already has its formatting is left
// alone, and of the others only the properties that differ go (setting formats on cells
// that hold many merged areas costs Calc time that grows faster than the number of cells).
void CalcHost::Impl::applyFormats(const std::vector<FormatGroup>& groups, const A1Area& from,
                                  const Sheet& dst, const A1Area& target) {
    const std::vector<FormatChange> changes = formatsDiffering(groups, from, dst, target);
    if (changes.empty()) return;
    Reference<lang::XMultiServiceFactory> factory(dst.doc, UNO_QUERY_THROW);
    const sal_Int16 dstSheet = sheetIndex(dst);
    const long dr = target.top - from.top, dc = target.left - from.left;
    for (const FormatChange& change : changes) {
        const FormatGroup& group = groups[change.group];
        uno::Sequence<table::CellRangeAddress> moved = group.rects;
        for (sal_Int32 k = 0; k < moved.getLength(); ++k) {
            auto& a = moved.getArray()[k];
            a.Sheet = dstSheet;
            a.StartRow += static_cast<sal_Int32>(dr);
            a.EndRow += static_cast<sal_Int32>(dr);
            a.StartColumn += static_cast<sal_Int32>(dc);
            a.EndColumn += static_cast<sal_Int32>(dc);
        }
        Reference<sheet::XSheetCellRangeContainer> targetRanges(
            factory->createInstance("com.sun.star.sheet.SheetCellRanges"), UNO_QUERY_THROW);
        targetRanges->addRangeAddresses(moved, false);
        if (change.style) {
            changing(dst.doc);
            Reference<beans::XPropertySet>(targetRanges, UNO_QUERY_THROW)
                ->setPropertyValue("CellStyle", group.style);
        }
        std::vector<OUString> setNames;
        std::vector<uno::Any> setValues;
        for (const sal_Int32 k : change.properties) {
            setNames.push_back(formatNames[k]);
            setValues.push_back(group.values[k]);
        }
        if (setNames.empty()) continue;
        changing(dst.doc);
        Reference<beans::XMultiPropertySet>(targetRanges, UNO_QUERY_THROW)
            ->setPropertyValues(
                uno::Sequence<OUString>(setNames.data(), static_cast<sal_Int32>(setNames.size())),
                uno::Sequence<uno::Any>(setValues.data(),
                                        static_cast<sal_Int32>(setValues.size())));
    }
    if (!formatsDiffering(groups, from, dst, target).empty())
        fail(Cause::Other, "format paste: Calc did not take every format");
}

std::vector<CalcHost::Impl::FormatChange> CalcHost::Impl::formatsDiffering(
    const std::vector<FormatGroup>& groups, const A1Area& from, const Sheet& dst,
    const A1Area& target) {
    const std::vector<FormatGroup> now = formatGroups(dst, target);
    const long cols = target.columns();
    const long dr = target.top - from.top, dc = target.left - from.left;
    // Which target group each target cell is in (-1: none).
    std::vector<int> nowAt(static_cast<std::size_t>(target.cells()), -1);
    for (std::size_t h = 0; h < now.size(); ++h) {
        for (const auto& rect : now[h].rects) {
            const A1Area r = fromCalc(rect);
            for (long row = r.top; row <= r.bottom; ++row) {
                for (long col = r.left; col <= r.right; ++col) {
                    nowAt[static_cast<std::size_t>((row - target.top) * cols + col - target.left)] =
                        static_cast<int>(h);
                }
            }
        }
    }
    std::vector<FormatChange> out;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const FormatGroup& x = groups[g];
        // The target groups the source group's cells are in now; -1 for a cell in none.
        std::vector<char> met(now.size() + 1, 0);
        for (const auto& rect : x.rects) {
            const A1Area r = fromCalc(rect);
            for (long row = r.top; row <= r.bottom; ++row) {
                for (long col = r.left; col <= r.right; ++col) {
                    const int h = nowAt[static_cast<std::size_t>((row + dr - target.top) * cols +
                                                                 col + dc - target.left)];
                    met[static_cast<std::size_t>(h + 1)] = 1;
                }
            }
        }
        FormatChange change{g, met[0] != 0, {}};
        for (std::size_t h = 0; h < now.size() && !change.style; ++h)
            change.style = met[h + 1] && now[h].style != x.style;
        for (sal_Int32 k = 0; k < x.values.getLength(); ++k) {
            if (!x.values[k].hasValue()) continue;
            bool differs = change.style;
            for (std::size_t h = 0; h < now.size() && !differs; ++h)
                differs = met[h + 1] && x.values[k] != now[h].values[k];
            if (differs) change.properties.push_back(k);
        }
        if (change.style || !change.properties.empty()) out.push_back(std::move(change));
    }
    return out;
}

}  // namespace gridmoor
